#pragma once

#include <tiffio.h>

#include "host/metadata/file_metadata.h"

namespace host {

// The fields of a TIFF's current directory and of the EXIF and GPS
// directories it points at, as libtiff reads them, in TIFF's own types and
// little-endian bytes (libtiff's floating-point rationals made fractions
// again). For BigTIFF files, whose EXIF exiv2 does not read. Leaves libtiff
// in the EXIF or GPS directory: the caller sets the directory it wants.
TiffExifFields readExifFields(TIFF* tiff);

}  // namespace host
