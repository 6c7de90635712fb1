#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/metadata/encode_report.h"
#include "host/metadata/photoshop_resources.h"

namespace host {

// The metadata blocks a JPEG file carries, made for its segments through
// exiv2.

// EXIF in TIFF form for a JPEG's APP1 segment, which holds at most 64 KiB:
// what does not fit (large maker-note previews first) is left out, with a
// warning naming what.
std::vector<std::uint8_t> exifForJpeg(const std::vector<std::uint8_t>& exif, EncodeReport& report);

// XMP for a JPEG: the whole packet when it fits `standardLimit` bytes;
// otherwise a standard packet that does, pointing at an extended packet
// (xmpNote:HasExtendedXMP) that holds the properties moved out of it,
// largest first. `extended` is empty when one packet holds everything.
struct JpegXmp {
    std::string standard;
    std::string extended;
    std::string guid;  // 32 upper-case hex digits: MD5 of `extended`
};
JpegXmp xmpForJpeg(const std::string& xmp, std::size_t standardLimit, EncodeReport& report);

}  // namespace host
