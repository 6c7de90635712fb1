#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/image/picture.h"

namespace host {

// A file as its decoder reads it: the pixels as stored (not yet turned
// upright) and the file's metadata blocks as stored. `orientation` (1 to 8)
// is set by formats that record it outside EXIF (TIFF's own tag); for the
// others it is the EXIF's. `xmpExtensions` are a JPEG's extended XMP
// packets by GUID; the one the main packet names holds more of its
// properties. `warnings` tell of metadata the decoder found but could not
// take.
struct DecodedFile {
    BgraImage image;
    ImageMetadata metadata;
    std::optional<int> orientation;
    std::map<std::string, std::string> xmpExtensions;
    std::vector<std::string> warnings;
    // Pictures in the file: pages of a TIFF, frames of an animation. The
    // first is `image`.
    int pages = 1;
    const char* pageKind = "page";  // "page" or "frame", for messages
};

// How to encode.
struct EncodeOptions {
    int quality = 90;       // JPEG and lossy WebP, 1 to 100
    bool lossless = false;  // WebP
};

// One decoder and one encoder per format, each through its well-kept
// library (libpng, libjpeg-turbo, libtiff, libwebp). Decoders convert any
// layout to 8-bit BGRA (16-bit samples rounded to 8 bits), check the
// image's size against `maxBytes` of BGRA pixels before allocating its
// pixel memory, and throw HostError naming `name` for anything they refuse.
// Encoders write the picture's metadata where the format has room for it
// (see image_files.h), add a warning naming `name` for any block they must
// leave out, and throw HostError when the library fails.
DecodedFile decodePng(const std::vector<std::uint8_t>& file, const std::string& name, std::uint64_t maxBytes);
DecodedFile decodeJpeg(const std::vector<std::uint8_t>& file, const std::string& name, std::uint64_t maxBytes);
DecodedFile decodeTiff(const std::vector<std::uint8_t>& file, const std::string& name, std::uint64_t maxBytes);
DecodedFile decodeWebp(const std::vector<std::uint8_t>& file, const std::string& name, std::uint64_t maxBytes);

// Where an encoder reports: the name of the file it makes, and the warnings.
struct EncodeReport {
    std::string name;
    std::vector<std::string>& warnings;

    // `block` ("EXIF", "XMP", ...) is left out of the file, because of `why`.
    void leftOut(const std::string& block, const std::string& why) {
        warnings.push_back("cannot write the " + block + " of '" + name + "' (" + why + "); it is written without it");
    }
};

std::vector<std::uint8_t> encodePng(const BgraImage& image, const ImageMetadata& metadata, const EncodeOptions& options,
                                    EncodeReport& report);
std::vector<std::uint8_t> encodeJpeg(const BgraImage& image, const ImageMetadata& metadata,
                                     const EncodeOptions& options, EncodeReport& report);
std::vector<std::uint8_t> encodeTiff(const BgraImage& image, const ImageMetadata& metadata,
                                     const EncodeOptions& options, EncodeReport& report);
std::vector<std::uint8_t> encodeWebp(const BgraImage& image, const ImageMetadata& metadata,
                                     const EncodeOptions& options, EncodeReport& report);

}  // namespace host
