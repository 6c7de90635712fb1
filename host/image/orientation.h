#pragma once

#include "host/image/bgra_image.h"

namespace host {

// EXIF and TIFF orientation: how the stored rows and columns map to the
// upright picture. 1 is upright; 2 mirrored left to right; 3 turned 180°;
// 4 mirrored top to bottom; 5 mirrored along the main diagonal; 6 stored
// turned 90° anticlockwise (shown after a quarter turn clockwise); 7 mirrored
// along the other diagonal; 8 stored turned 90° clockwise.
//
// The upright picture of `stored`; orientations outside 1..8 count as 1.
BgraImage orientUpright(const BgraImage& stored, int orientation);

}  // namespace host
