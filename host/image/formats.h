#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/image/codecs.h"
#include "host/metadata/format_metadata.h"

namespace host {

// Every format the host reads; all but HEIF are written too.
enum class ImageFormat { Png, Jpeg, Tiff, Webp, Heif, Avif, Jxl };

using ReaderFactory = std::unique_ptr<ImageReader> (*)(ByteSource& file, const ReadLimits& limits);
using WriterFactory = std::unique_ptr<ImageWriter> (*)(ByteSink& out, const PictureLayout& layout,
                                                       const ImageMetadata& metadata, const EncodeOptions& options,
                                                       EncodeReport& report);

// One format: all the host knows of it. Adding a format is an entry here
// and a codec file with its factories.
struct Format {
    ImageFormat id;
    const char* name;                     // "JPEG XL"
    const char* alsoCalled;               // "HEIC", or nullptr
    std::vector<const char*> extensions;  // lower case, with the dot; the first is the one written
    // Whether a file starts as this format's do (at most its first 1024
    // bytes are given).
    bool (*recognises)(const std::uint8_t* start, std::size_t size);
    ReaderFactory read;
    WriterFactory write;            // nullptr: read, not written
    const char* notWrittenBecause;  // why not, when write is nullptr
    ImageFormat writtenAs;          // what a batch writes its files as without --format
    bool quality;                   // written lossy, at a quality (--quality)
    bool lossless;                  // written lossy or lossless (--lossless)
    bool everyPage;                 // a file of many pages is written with every page
    bool streams;                   // read and written a band at a time (else held whole)
    const char* heldWholeToo;       // what of it is held whole though it streams ("interlaced PNG"), or nullptr
    MetadataPlaces metadata;
};

// The formats, in the order the host recognises them.
std::span<const Format> formats();
const Format& formatOf(ImageFormat format);

// "PNG", "JPEG", "TIFF", "WebP", "HEIF", "AVIF", "JPEG XL".
const char* formatName(ImageFormat format);

// The format a file's extension names, in any case; none for any other.
std::optional<ImageFormat> formatFromExtension(const std::string& path);

// The format whose signature the file starts with; none for any other.
std::optional<ImageFormat> formatFromContent(const std::vector<std::uint8_t>& start);

// Whether the host writes `format`.
bool canWrite(ImageFormat format);

// Lists of the formats for usage texts, messages and the docs, each ending
// in `conjunction` ("or", "and"):
//   read:        "PNG, JPEG, TIFF, WebP, HEIF, AVIF or JPEG XL"
//   written:     the same, of the formats written
//   extensions:  ".png, .jpg, .jpeg, .tif, .tiff, .webp, .avif or .jxl"
//   short:       "png, jpg, tif, webp, avif or jxl" (one extension each)
//   streamed:    the formats read and written a band at a time
//   held:        those held whole
//   quality:     those written at a quality (--quality)
//   lossless:    those written lossless on request (--lossless)
std::string formatList(const std::string& which, const char* conjunction = "or");

// ".png, .jpg, .jpeg, .tif, .tiff, .webp, .avif or .jxl", for messages.
std::string writableExtensions();

// "PNG, JPEG, TIFF, WebP, HEIF, AVIF or JPEG XL", for messages.
std::string readableFormats();

}  // namespace host
