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
    bool strip = false;  // write no metadata: no ICC profile, EXIF, XMP or IPTC-IIM
};

// Decodes a PNG, JPEG, TIFF or WebP file held in memory (the format is
// recognised by its content) into an upright picture: the orientation the
// file records is applied, and its metadata is kept as uprightMetadata()
// (metadata.h) makes it. Metadata that cannot be read costs only itself:
// the picture's warnings say what was left out. Checks the size the file
// announces against `maxBytes` of BGRA pixels before allocating pixel
// memory. Throws HostError naming `name` for anything else.
Picture decodeImage(const std::vector<std::uint8_t>& file, const std::string& name,
                    std::uint64_t maxBytes = kMaxImageBytes);

// Reads and decodes an image file; HostError when that fails.
Picture readImageFile(const std::string& path);

// Encodes in `format` with all of the picture's metadata, unless
// `options.strip`: the ICC profile, EXIF and XMP in every format; IPTC-IIM in
// JPEG and TIFF, and in PNG and WebP (which have no place for it) as the
// XMP's IPTC Core properties. A block that cannot be written is left out
// with a warning naming `name`. Alpha is kept in PNG, TIFF and WebP; JPEG
// drops it.
std::vector<std::uint8_t> encodeImage(const Picture& picture, ImageFormat format, const WriteOptions& options,
                                      const std::string& name, std::vector<std::string>& warnings);

// Encodes in the format `path`'s extension names and writes the file whole or
// not at all (see writeFileAtomically); returns the warnings of encoding.
// HostError for any other extension.
std::vector<std::string> writeImageFile(const Picture& picture, const std::string& path, const WriteOptions& options);

// Whether writeImageFile can write files with `path`'s extension.
bool canWriteImageTo(const std::string& path);

}  // namespace host
