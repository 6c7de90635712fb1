#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/files/byte_stream.h"
#include "host/image/picture.h"
#include "host/metadata/encode_report.h"
#include "host/metadata/upright_metadata.h"

namespace host {

// The shape of a picture's pixels.
struct PictureLayout {
    int width = 0;
    int height = 0;
    bool hasAlpha = false;  // false: the file has no alpha, every pixel is opaque
};

// What a decoder knows of a file once it is open, before any pixel: the
// stored picture's layout (not yet turned upright), its metadata blocks as
// stored, `orientation` (1 to 8) where the format records it outside EXIF
// (TIFF's own tag; for the others the EXIF's counts), a JPEG's extended XMP
// packets by GUID, warnings about metadata it found but could not take, and
// how many pictures the file holds.
struct FileHeader {
    PictureLayout layout;
    ImageMetadata metadata;
    std::optional<int> orientation;
    std::map<std::string, std::string> xmpExtensions;
    std::vector<std::string> warnings;
    int pages = 1;
    const char* pageKind = "page";  // "page" or "frame", for messages
};

// How far a decoder may go: pictures of more pixels are refused before any
// pixel is read, and no decoder holds more than `maxMemoryBytes` of its own
// (JPEG's progressive coefficients, the pictures of formats that cannot
// stream).
struct ReadLimits {
    std::uint64_t maxPixels = std::uint64_t{1} << 32;
    std::uint64_t maxMemoryBytes = std::uint64_t{1} << 30;
};

// The header's metadata as uprightMetadata takes it.
inline StoredMetadata storedMetadataOf(const FileHeader& header) {
    return {header.metadata, header.orientation, header.layout.width, header.layout.height, header.xmpExtensions};
}

// A file being decoded, band by band: one per file, one thread at a time.
// Errors are HostError naming the file.
class ImageReader {
public:
    virtual ~ImageReader() = default;
    const FileHeader& header() const { return header_; }
    // The next `rows` rows of the current picture, top to bottom as stored,
    // as 8-bit BGRA (16-bit samples rounded to the nearest 8-bit value),
    // rows packed into `bgra`.
    virtual void readRows(std::uint8_t* bgra, int rows) = 0;
    // Moves to the file's next page, whose layout, orientation, ICC profile
    // and resolution then replace the header's; false when there is none.
    virtual bool nextPage() { return false; }

    // Blocks found elsewhere in the file, where the decoder does not look,
    // for those it lacks; and what was said of them.
    void addMissingBlocks(const ImageMetadata& found, const std::vector<std::string>& warnings) {
        ImageMetadata& metadata = header_.metadata;
        if (metadata.exif.empty()) {
            metadata.exif = found.exif;
        }
        if (metadata.xmp.empty()) {
            metadata.xmp = found.xmp;
        }
        if (metadata.iptc.empty()) {
            metadata.iptc = found.iptc;
        }
        if (metadata.iccProfile.empty()) {
            metadata.iccProfile = found.iccProfile;
        }
        header_.warnings.insert(header_.warnings.end(), warnings.begin(), warnings.end());
    }

protected:
    FileHeader header_;
};

// How to encode.
struct EncodeOptions {
    int quality = 90;       // JPEG and lossy WebP, 1 to 100
    bool lossless = false;  // WebP
};

// A file being encoded, band by band, into a ByteSink. The metadata is the
// picture's as metadataForFormat() made it for this format; a block the
// encoder cannot write is left out with a warning. Errors are HostError.
class ImageWriter {
public:
    virtual ~ImageWriter() = default;
    // The next `rows` rows, top to bottom, BGRA, rows packed; alpha is
    // dropped when the layout has none.
    virtual void writeRows(const std::uint8_t* bgra, int rows) = 0;
    // Ends the current picture and starts another (TIFF's pages) with its
    // own layout and ICC profile and resolution; false for formats that
    // hold one picture.
    virtual bool startPage(const PictureLayout& /*layout*/, const ImageMetadata& /*page*/) { return false; }
    // Completes the file once every row is written.
    virtual void finish() = 0;
};

// One decoder and one encoder per format, each through its well-kept
// library (libpng, libjpeg-turbo, libtiff, libwebp, libheif, libjxl). Decoders check the
// size a file announces against the limits before anything the size of the
// picture is allocated.
std::unique_ptr<ImageReader> openPngReader(ByteSource& file, const ReadLimits& limits);
std::unique_ptr<ImageReader> openJpegReader(ByteSource& file, const ReadLimits& limits);
std::unique_ptr<ImageReader> openTiffReader(ByteSource& file, const ReadLimits& limits);
std::unique_ptr<ImageReader> openWebpReader(ByteSource& file, const ReadLimits& limits);
// HEIF and AVIF (libheif, on libde265 and dav1d); JPEG XL (libjxl).
std::unique_ptr<ImageReader> openHeifReader(ByteSource& file, const ReadLimits& limits);
std::unique_ptr<ImageReader> openJxlReader(ByteSource& file, const ReadLimits& limits);

std::unique_ptr<ImageWriter> openPngWriter(ByteSink& out, const PictureLayout& layout, const ImageMetadata& metadata,
                                           const EncodeOptions& options, EncodeReport& report);
std::unique_ptr<ImageWriter> openJpegWriter(ByteSink& out, const PictureLayout& layout, const ImageMetadata& metadata,
                                            const EncodeOptions& options, EncodeReport& report);
std::unique_ptr<ImageWriter> openTiffWriter(ByteSink& out, const PictureLayout& layout, const ImageMetadata& metadata,
                                            const EncodeOptions& options, EncodeReport& report);
std::unique_ptr<ImageWriter> openWebpWriter(ByteSink& out, const PictureLayout& layout, const ImageMetadata& metadata,
                                            const EncodeOptions& options, EncodeReport& report);
// AVIF (libheif, on libaom) and JPEG XL (libjxl).
std::unique_ptr<ImageWriter> openAvifWriter(ByteSink& out, const PictureLayout& layout, const ImageMetadata& metadata,
                                            const EncodeOptions& options, EncodeReport& report);
std::unique_ptr<ImageWriter> openJxlWriter(ByteSink& out, const PictureLayout& layout, const ImageMetadata& metadata,
                                           const EncodeOptions& options, EncodeReport& report);

// The layout a file announces, checked against the limits; HostError naming
// the file otherwise (no pixels, more than the format or the limits allow).
PictureLayout checkedLayout(const std::string& name, std::uint64_t width, std::uint64_t height, bool hasAlpha,
                            const ReadLimits& limits);

}  // namespace host
