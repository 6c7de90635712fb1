#pragma once

#include <libexif/exif-data.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace host {

// EXIF data as the host reads and rewrites it, through libexif. Blocks are
// in TIFF form (see ImageMetadata::exif).

struct ExifDataRelease {
    void operator()(ExifData* data) const;
};
using ExifDataPtr = std::unique_ptr<ExifData, ExifDataRelease>;

// libexif's reading of a block, keeping tags it does not know and maker notes
// as they are; null when it finds no tag in it.
ExifDataPtr parseExif(const std::vector<std::uint8_t>& exif);

// The block libexif writes for `data`, in TIFF form.
std::vector<std::uint8_t> serializeExif(ExifData* data);

// The orientation the block records (1 to 8); 1 when it records none or
// cannot be read.
int exifOrientation(const std::vector<std::uint8_t>& exif);

// The block rewritten for the upright picture of `width` x `height` that the
// host makes: orientation 1, pixel dimensions updated, and no thumbnail (it
// would show the picture as it was before toning). Empty when libexif cannot
// read the block.
std::vector<std::uint8_t> exifForUprightPicture(const std::vector<std::uint8_t>& exif, int width, int height);

// The TIFF form of an EXIF payload as files store it: JPEG segments (and some
// WebP and PNG writers) put "Exif\0\0" before it.
std::vector<std::uint8_t> exifWithoutPrefix(const std::uint8_t* data, std::size_t size);

// The payload of a JPEG APP1 segment: "Exif\0\0" and the block.
std::vector<std::uint8_t> exifWithPrefix(const std::vector<std::uint8_t>& exif);

}  // namespace host
