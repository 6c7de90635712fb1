// PNG through libpng.
#include <png.h>

#include <cstring>
#include <stdexcept>

#include "host/host_error.h"
#include "host/image/codecs.h"
#include "host/image/exif_block.h"

namespace host {

namespace {

// libpng reports errors through this callback, which must not return; the
// exception unwinds through libpng back to the reader or writer below, whose
// destructor frees libpng's state.
class PngError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void throwPngError(png_structp /*png*/, png_const_charp message) { throw PngError(message); }
void ignorePngWarning(png_structp /*png*/, png_const_charp /*message*/) {}

struct MemorySource {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t offset;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t length) {
    auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (length > source->size - source->offset) {
        png_error(png, "the file ends early");
    }
    std::memcpy(out, source->data + source->offset, length);
    source->offset += length;
}

void appendToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void flushNothing(png_structp /*png*/) {}

class PngReader {
public:
    PngReader() : png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, throwPngError, ignorePngWarning)) {
        if (png_ != nullptr) {
            info_ = png_create_info_struct(png_);
        }
        if (png_ == nullptr || info_ == nullptr) {
            png_destroy_read_struct(&png_, &info_, nullptr);
            throw std::bad_alloc();
        }
    }
    ~PngReader() { png_destroy_read_struct(&png_, &info_, nullptr); }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

class PngWriter {
public:
    PngWriter() : png_(png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, throwPngError, ignorePngWarning)) {
        if (png_ != nullptr) {
            info_ = png_create_info_struct(png_);
        }
        if (png_ == nullptr || info_ == nullptr) {
            png_destroy_write_struct(&png_, &info_);
            throw std::bad_alloc();
        }
    }
    ~PngWriter() { png_destroy_write_struct(&png_, &info_); }
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

// Largest ancillary chunk libpng may allocate (ICC profiles, EXIF).
constexpr png_alloc_size_t kMaxChunkBytes = png_alloc_size_t{64} << 20;

}  // namespace

DecodedFile decodePng(const std::vector<std::uint8_t>& file, const std::string& name, std::uint64_t maxBytes) {
    PngReader reader;
    png_structp png = reader.png();
    png_infop info = reader.info();
    MemorySource source{file.data(), file.size(), 0};
    DecodedFile decoded;
    try {
        png_set_read_fn(png, &source, readFromMemory);
        png_set_chunk_malloc_max(png, kMaxChunkBytes);
        // Text chunks are never used: libpng skips them unread.
        static const png_byte kTextChunks[] = "tEXt\0zTXt\0iTXt";
        png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kTextChunks, 3);
        png_read_info(png, info);

        const png_uint_32 width = png_get_image_width(png, info);
        const png_uint_32 height = png_get_image_height(png, info);
        const int colourType = png_get_color_type(png, info);
        decoded.image = imageForFile(name, width, height, maxBytes);
        decoded.image.hasAlpha =
            (colourType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;

        png_charp profileName = nullptr;
        int compression = 0;
        png_bytep profile = nullptr;
        png_uint_32 profileLength = 0;
        if (png_get_iCCP(png, info, &profileName, &compression, &profile, &profileLength) != 0 && profile != nullptr) {
            decoded.metadata.iccProfile.assign(profile, profile + profileLength);
        }
        png_bytep exif = nullptr;
        png_uint_32 exifLength = 0;
        if (png_get_eXIf_1(png, info, &exifLength, &exif) != 0 && exif != nullptr) {
            decoded.metadata.exif = exifWithoutPrefix(exif, exifLength);
        }

        // Any layout to 8-bit BGRA: palettes, low bit depths and
        // transparency chunks expanded; 16-bit samples rounded to 8 bits.
        png_set_expand(png);
        png_set_scale_16(png);
        if ((colourType & PNG_COLOR_MASK_COLOR) == 0) {
            png_set_gray_to_rgb(png);
        }
        png_set_bgr(png);
        if (!decoded.image.hasAlpha) {
            png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        }
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        if (png_get_rowbytes(png, info) != std::size_t{4} * width) {
            png_error(png, "unexpected row layout");
        }
        std::vector<png_bytep> rows(height);
        for (png_uint_32 y = 0; y < height; ++y) {
            rows[y] = decoded.image.at(0, static_cast<int>(y));
        }
        png_read_image(png, rows.data());
        // Nothing after the image data is used, so the rest of the file is
        // not read (png_read_end).
    } catch (const PngError& error) {
        throw HostError("'" + name + "' is not a valid PNG image (" + error.what() + ")");
    }
    return decoded;
}

std::vector<std::uint8_t> encodePng(const BgraImage& image, const ImageMetadata& metadata,
                                    const EncodeOptions& /*options*/) {
    PngWriter writer;
    png_structp png = writer.png();
    png_infop info = writer.info();
    std::vector<std::uint8_t> out;
    try {
        png_set_write_fn(png, &out, appendToVector, flushNothing);
        png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                     image.hasAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        if (!metadata.iccProfile.empty()) {
            // libpng checks the profile; one it rejects is left out with a
            // warning rather than failing the file.
            png_set_benign_errors(png, 1);
            png_set_iCCP(png, info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, metadata.iccProfile.data(),
                         static_cast<png_uint_32>(metadata.iccProfile.size()));
        }
        png_write_info(png, info);
        png_set_bgr(png);
        if (!image.hasAlpha) {
            png_set_filler(png, 0, PNG_FILLER_AFTER);  // the fourth byte is dropped
        }
        std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
        for (int y = 0; y < image.height; ++y) {
            rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(image.at(0, y));
        }
        png_write_image(png, rows.data());
        png_write_end(png, nullptr);
    } catch (const PngError& error) {
        throw HostError(std::string("cannot encode PNG (") + error.what() + ")");
    }
    return out;
}

}  // namespace host
