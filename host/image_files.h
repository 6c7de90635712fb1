#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/bgra_image.h"

namespace host {

// Decodes a PNG, JPEG, BMP or TGA file held in memory into the plug-in's
// BGRA layout. Checks the size the header announces against `maxBytes` (of
// BGRA pixels) before decoding. Throws HostError for anything that is not
// such an image.
BgraImage decodeImage(const std::vector<std::uint8_t>& file, const std::string& name,
                      std::uint64_t maxBytes = kMaxImageBytes);

// Reads and decodes an image file; HostError when that fails.
BgraImage readImageFile(const std::string& path);

// Encodes as PNG or BMP, chosen by `path`'s extension (case-insensitive), in
// the file's RGB order: with alpha when the image has it, opaque otherwise.
// Throws HostError for any other extension.
std::vector<std::uint8_t> encodeImage(const BgraImage& image, const std::string& path);

// Encodes and writes atomically (see writeFileAtomically).
void writeImageFile(const BgraImage& image, const std::string& path);

// Whether encodeImage can write files with `path`'s extension.
bool canWriteImageTo(const std::string& path);

}  // namespace host
