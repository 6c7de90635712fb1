#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/files/byte_stream.h"
#include "host/image/codecs.h"
#include "host/image/formats.h"
#include "host/image/picture.h"

namespace host {

// Image files as the reference host reads and writes them (formats.h
// lists the formats), metadata kept as image tools keep it.

struct WriteOptions {
    EncodeOptions encode;
    // Write no metadata: no ICC profile, EXIF, XMP, IPTC-IIM, text or
    // comments. The print resolution, the picture's size on paper, stays.
    bool strip = false;
};

// Opens an image file of any format the host reads (recognised by its
// content) for reading band by band. HostError (Read) naming the file for
// anything it cannot read, before any pixel for a size beyond the limits.
std::unique_ptr<ImageReader> openImageReader(ByteSource& file, const ReadLimits& limits = {});

// Opens `out` for writing a picture of `layout` in `format`, with the
// upright picture's `metadata` as the format can hold it (see
// metadataForFormat in metadata.h), or none but its resolution with
// `options.strip`; warnings go to `report`.
std::unique_ptr<ImageWriter> openImageWriter(ImageFormat format, ByteSink& out, const PictureLayout& layout,
                                             const ImageMetadata& metadata, const WriteOptions& options,
                                             EncodeReport& report);

// Whole pictures, for what needs one at once (the contact sheet, tests,
// the fuzz target): decodes a file held in memory into an upright picture
// (the orientation the file records applied, its metadata as
// uprightMetadata() in metadata.h makes it, with warnings for what could
// not be read), refusing pictures of more than `maxBytes` as BGRA. HostError
// naming `name` for anything else.
Picture decodeImage(const std::vector<std::uint8_t>& file, const std::string& name,
                    std::uint64_t maxBytes = kMaxImageBytes);

// Reads and decodes an image file; HostError when that fails.
Picture readImageFile(const std::string& path);

// Encodes a whole picture in `format`, as openImageWriter does.
std::vector<std::uint8_t> encodeImage(const Picture& picture, ImageFormat format, const WriteOptions& options,
                                      const std::string& name, std::vector<std::string>& warnings);

// Encodes in the format `path`'s extension names and writes the file whole or
// not at all (see OutputFile); returns the warnings of encoding. HostError
// for any other extension.
std::vector<std::string> writeImageFile(const Picture& picture, const std::string& path, const WriteOptions& options);

// Whether writeImageFile can write files with `path`'s extension.
bool canWriteImageTo(const std::string& path);

}  // namespace host
