#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/image/bgra_image.h"
#include "host/metadata/image_metadata.h"

namespace host {

// A decoded image: pixels in the plug-in's layout, upright, with its
// metadata, and what could not be kept of the file's metadata (each warning
// names the file and what was dropped, and why).
struct Picture {
    BgraImage image;
    ImageMetadata metadata;
    std::vector<std::string> warnings;
    // Pictures the file holds: pages of a TIFF, frames of an animation;
    // `image` is the first.
    int pages = 1;
    const char* pageKind = "page";  // "page" or "frame"
};

}  // namespace host
