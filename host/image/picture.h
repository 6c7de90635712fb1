#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/image/bgra_image.h"

namespace host {

// What an image file carries besides its pixels, as the host keeps it: each
// block in the form that every output format can take it from.
struct ImageMetadata {
    // The embedded ICC profile, as stored; empty if none.
    std::vector<std::uint8_t> iccProfile;
    // EXIF data in its TIFF form (starting with "II*\0" or "MM\0*", without
    // the "Exif\0\0" prefix of a JPEG segment); empty if none.
    std::vector<std::uint8_t> exif;
    // An XMP packet (UTF-8 XML); empty if none.
    std::string xmp;
    // IPTC-IIM datasets, as a JPEG's Photoshop resource or a TIFF's IPTC tag
    // holds them; empty if none.
    std::vector<std::uint8_t> iptc;

    bool empty() const { return iccProfile.empty() && exif.empty() && xmp.empty() && iptc.empty(); }
};

// A decoded image: pixels in the plug-in's layout, upright, with its
// metadata, and what could not be kept of the file's metadata (each warning
// names the file and what was dropped, and why).
struct Picture {
    BgraImage image;
    ImageMetadata metadata;
    std::vector<std::string> warnings;
};

}  // namespace host
