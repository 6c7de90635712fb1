#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/image/codecs.h"
#include "host/image/image_format.h"
#include "host/image/picture.h"

namespace host {

// Image files as the reference host reads and writes them: PNG, JPEG, TIFF
// and WebP, metadata kept as image tools keep it.

struct WriteOptions {
    EncodeOptions encode;
    bool strip = false;  // write no ICC profile and no EXIF
};

// Decodes a PNG, JPEG, TIFF or WebP file held in memory (the format is
// recognised by its content) into an upright picture: the orientation EXIF
// or TIFF records is applied, and the EXIF kept says 1 (upright). The ICC
// profile is kept when it describes RGB data, as the toned picture is; a
// grey or CMYK profile would misdescribe it. Checks the size the file
// announces against `maxBytes` of BGRA pixels before allocating pixel
// memory. Throws HostError naming `name` for anything else.
Picture decodeImage(const std::vector<std::uint8_t>& file, const std::string& name,
                    std::uint64_t maxBytes = kMaxImageBytes);

// Reads and decodes an image file; HostError when that fails.
Picture readImageFile(const std::string& path);

// Encodes in `format`, with the ICC profile where the format carries one
// (PNG, JPEG, TIFF, WebP) and the EXIF where it carries one (JPEG, TIFF,
// WebP), unless `options.strip`. Alpha is kept in PNG, TIFF and WebP; JPEG
// drops it.
std::vector<std::uint8_t> encodeImage(const Picture& picture, ImageFormat format, const WriteOptions& options);

// Encodes in the format `path`'s extension names and writes the file whole or
// not at all (see writeFileAtomically). HostError for any other extension.
void writeImageFile(const Picture& picture, const std::string& path, const WriteOptions& options);

// Whether writeImageFile can write files with `path`'s extension.
bool canWriteImageTo(const std::string& path);

}  // namespace host
