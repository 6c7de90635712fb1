#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/metadata/image_metadata.h"

namespace host {

// What a decoder found of a file's metadata, and the stored picture's size.
struct StoredMetadata {
    const ImageMetadata& metadata;
    // The file's own orientation, where the format records it outside EXIF
    // (TIFF's tag); none to take the EXIF's or the XMP's.
    std::optional<int> orientation;
    int width = 0;
    int height = 0;
    // A JPEG's extended XMP packets, by GUID.
    const std::map<std::string, std::string>& xmpExtensions;
};

// Metadata made true of the upright picture the host writes, and the
// orientation that turns the stored pixels upright.
struct UprightMetadata {
    ImageMetadata metadata;
    int orientation = 1;
};

// From what a decoder found, through exiv2, in steps:
//  - the orientation: the file's own, else the EXIF's, else the XMP's;
//  - the resolution: the EXIF's, else the file's own, across and down
//    exchanged when the picture turns a quarter;
//  - EXIF whole, GPS and maker notes included, but without its thumbnail and
//    without the tags that describe how the stored pixels were laid out or
//    that carry the other blocks; orientation 1, the upright picture's
//    resolution and pixel dimensions where it records them;
//  - XMP whole (a JPEG's extended XMP merged in), with tiff:Orientation 1 and
//    the upright picture's resolution and pixel dimensions where it records
//    them;
//  - IPTC-IIM as stored; the ICC profile when it describes RGB data, as the
//    toned picture is (a grey or CMYK profile would misdescribe it); text,
//    comments and PNG's colour chunks as they are.
// A block exiv2 cannot read is left out, with a warning naming `name`.
// Safe to call from several threads at once.
UprightMetadata uprightMetadata(const StoredMetadata& stored, const std::string& name,
                                std::vector<std::string>& warnings);

}  // namespace host
