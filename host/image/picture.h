#pragma once

#include <cstdint>
#include <vector>

#include "host/image/bgra_image.h"

namespace host {

// What an image file carries besides its pixels, as the host keeps it.
struct ImageMetadata {
    // The embedded ICC profile, as stored; empty if none.
    std::vector<std::uint8_t> iccProfile;
    // EXIF data in its TIFF form (starting with "II*\0" or "MM\0*", without
    // the "Exif\0\0" prefix of a JPEG segment); empty if none.
    std::vector<std::uint8_t> exif;
};

// A decoded image: pixels in the plug-in's layout, upright, with its metadata.
struct Picture {
    BgraImage image;
    ImageMetadata metadata;
};

}  // namespace host
