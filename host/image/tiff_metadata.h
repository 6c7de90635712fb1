#pragma once

#include <cstdint>
#include <vector>

#include "host/metadata/encode_report.h"
#include "host/metadata/file_metadata.h"

namespace host {

// EXIF as a TIFF output carries it. The fields of the image's own
// directory (Make, Model, Artist, ...) go into the output's first
// directory, each as stored (little-endian). The EXIF, GPS and maker-note
// directories come as `prefix`, a TIFF structure whose offsets count from
// its own start: written at the start of the output, before libtiff's
// data, it holds them ready, and the output's first directory points at
// `exifDirectory` and `gpsDirectory` (0: none) within it. What cannot be
// made is left out with a warning.
struct ExifForTiff {
    std::vector<TiffField> imageFields;
    std::vector<std::uint8_t> prefix;
    std::uint64_t exifDirectory = 0;
    std::uint64_t gpsDirectory = 0;
};
ExifForTiff exifForTiff(const std::vector<std::uint8_t>& exif, EncodeReport& report);

}  // namespace host
