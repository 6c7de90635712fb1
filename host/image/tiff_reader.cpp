// TIFF read through libtiff, a row at a time: strips and tiles, contiguous
// and separate planes, classic and BigTIFF, every page. Memory stays at a
// row of strips (libtiff reads a tall strip in pieces) or a row of tiles,
// whatever the picture's size.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>

#include "host/host_error.h"
#include "host/image/codecs.h"
#include "host/image/tiff_fields.h"
#include "host/image/tiff_stream.h"
#include "host/metadata/file_metadata.h"

namespace host {

namespace {

// Rows libtiff's whole-picture reader converts at once, in bytes of BGRA.
constexpr std::uint64_t kMaxChunkBytes = std::uint64_t{16} << 20;

// Memory that is written before it is read: pages the decoder never reaches
// (a header that claims more than the file holds) cost nothing.
class Buffer {
public:
    void reserve(std::size_t bytes) {
        if (bytes > size_) {
            data_.reset();
            data_ = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
            size_ = bytes;
        }
    }
    std::uint8_t* data() { return data_.get(); }

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t size_ = 0;
};

// How a page's samples become BGRA.
enum class Conversion {
    // Here, sample by sample, so that colours and unassociated alpha arrive
    // exactly: 8- or 16-bit unsigned grey or RGB samples (JPEG's YCbCr as
    // libtiff turns it into RGB), optionally with unassociated alpha.
    Direct,
    // By libtiff's own conversion of a row (palette, bilevel and 2- or
    // 4-bit grey, CMYK, CIE L*a*b*, LogLuv, premultiplied alpha, ...), as
    // its RGBA reader does it.
    Libtiff,
    // By libtiff's RGBA reader over a band of rows: YCbCr that libtiff
    // does not turn into RGB itself, whose rows come in blocks.
    LibtiffBands,
};

// A page's samples for the direct conversion.
struct DirectLayout {
    bool colour = false;
    bool alpha = false;
    int samplesPerPixel = 0;
    int bytesPerSample = 0;
};

std::uint16_t defaulted16(TIFF* tiff, std::uint32_t tag) {
    std::uint16_t value = 0;
    TIFFGetFieldDefaulted(tiff, tag, &value);
    return value;
}

std::optional<DirectLayout> directLayout(TIFF* tiff, std::uint16_t photometric) {
    const std::uint16_t bits = defaulted16(tiff, TIFFTAG_BITSPERSAMPLE);
    const std::uint16_t samples = defaulted16(tiff, TIFFTAG_SAMPLESPERPIXEL);
    if ((bits != 8 && bits != 16) || defaulted16(tiff, TIFFTAG_SAMPLEFORMAT) != SAMPLEFORMAT_UINT) {
        return std::nullopt;
    }
    const int colourSamples = photometric == PHOTOMETRIC_RGB ? 3 : photometric == PHOTOMETRIC_MINISBLACK ? 1 : 0;
    if (colourSamples == 0 || samples < colourSamples) {
        return std::nullopt;
    }
    std::uint16_t extraCount = 0;
    std::uint16_t* extraKinds = nullptr;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds);
    const std::uint16_t firstExtra = extraCount > 0 && extraKinds != nullptr ? extraKinds[0] : EXTRASAMPLE_UNSPECIFIED;
    // Premultiplied alpha goes through libtiff; so does an extra sample of
    // unspecified kind beside three others, which libtiff takes for
    // premultiplied alpha.
    if (samples > colourSamples &&
        (firstExtra == EXTRASAMPLE_ASSOCALPHA || (firstExtra == EXTRASAMPLE_UNSPECIFIED && samples > 3))) {
        return std::nullopt;
    }
    DirectLayout layout;
    layout.colour = colourSamples == 3;
    layout.alpha = samples > colourSamples && firstExtra == EXTRASAMPLE_UNASSALPHA;
    layout.samplesPerPixel = samples;
    layout.bytesPerSample = bits / 8;
    return layout;
}

// One row of `width` pixels to BGRA: sample i of pixel x lies at
// planes[i] + x * step, in this machine's byte order.
void directPixelsToBgra(const std::uint8_t* const planes[4], std::size_t step, const DirectLayout& layout, int width,
                        std::uint8_t* out) {
    auto sample = [&](int index, std::size_t x) -> std::uint8_t {
        const std::uint8_t* at = planes[index] + x * step;
        if (layout.bytesPerSample == 1) {
            return *at;
        }
        std::uint16_t wide;
        std::memcpy(&wide, at, 2);
        return static_cast<std::uint8_t>((wide + 128) / 257);  // nearest 8-bit value
    };
    const int alphaIndex = layout.colour ? 3 : 1;
    for (int i = 0; i < width; ++i, out += 4) {
        const auto x = static_cast<std::size_t>(i);
        const std::uint8_t red = sample(0, x);
        out[0] = layout.colour ? sample(2, x) : red;
        out[1] = layout.colour ? sample(1, x) : red;
        out[2] = red;
        out[3] = layout.alpha ? sample(alphaIndex, x) : 255;
    }
}

// libtiff's RGBA values (red | green << 8 | blue << 16 | alpha << 24, alpha
// premultiplied) to BGRA with straight alpha.
void rgbaToBgra(const std::uint32_t* raster, std::size_t count, bool alpha, std::uint8_t* out) {
    for (std::size_t i = 0; i < count; ++i, out += 4) {
        const std::uint32_t value = raster[i];
        std::uint8_t red = static_cast<std::uint8_t>(value);
        std::uint8_t green = static_cast<std::uint8_t>(value >> 8);
        std::uint8_t blue = static_cast<std::uint8_t>(value >> 16);
        const std::uint8_t a = alpha ? static_cast<std::uint8_t>(value >> 24) : 255;
        if (a != 255) {
            auto straight = [a](std::uint8_t c) {
                return a == 0 ? std::uint8_t{0} : static_cast<std::uint8_t>(std::min(255, (c * 255 + a / 2) / a));
            };
            red = straight(red);
            green = straight(green);
            blue = straight(blue);
        }
        out[0] = blue;
        out[1] = green;
        out[2] = red;
        out[3] = a;
    }
}

// libtiff's RGBA reader, ended with the object that holds it. Its row
// conversions serve the Libtiff conversion; its whole reading, LibtiffBands.
class RgbaReader {
public:
    RgbaReader() = default;
    ~RgbaReader() { end(); }
    RgbaReader(const RgbaReader&) = delete;
    RgbaReader& operator=(const RgbaReader&) = delete;

    // Starts reading the current directory; false with libtiff's reason.
    bool begin(TIFF* tiff, char (&message)[1024]) {
        end();
        image_.emplace();
        if (TIFFRGBAImageBegin(&*image_, tiff, 0, message) != 1) {
            image_.reset();
            return false;
        }
        image_->req_orientation = image_->orientation;  // no flipping: orientation is applied later
        return true;
    }
    void end() {
        if (image_) {
            TIFFRGBAImageEnd(&*image_);
            image_.reset();
        }
    }
    TIFFRGBAImage* operator->() { return &*image_; }
    TIFFRGBAImage* get() { return &*image_; }

private:
    std::optional<TIFFRGBAImage> image_;
};

bool isReducedImage(TIFF* tiff) {
    std::uint32_t kind = 0;
    return TIFFGetField(tiff, TIFFTAG_SUBFILETYPE, &kind) == 1 && (kind & FILETYPE_REDUCEDIMAGE) != 0;
}

bool isBigTiff(ByteSource& file) {
    std::uint8_t start[4] = {};
    file.seek(0);
    const bool big = file.read(start, 4) == 4 && (start[2] == 0x2B || start[3] == 0x2B);
    file.seek(0);
    return big;
}

class TiffReader : public ImageReader {
public:
    TiffReader(ByteSource& file, const ReadLimits& limits)
        : file_(file), name_(file.name()), limits_(limits), stream_(file, limits.maxMemoryBytes) {
        tiff_ = stream_.tiff();
        if (tiff_ == nullptr) {
            fail(stream_.error().empty() ? "cannot open" : stream_.error());
        }
        header_.pages = countPages();
        readFirstDirectoryMetadata();
        if (isReducedImage(tiff_) && !moveToNextPage()) {
            fail("it holds no full-size picture");
        }
        readPage();
    }

    void readRows(std::uint8_t* bgra, int rows) override {
        const std::size_t stride = std::size_t{4} * static_cast<std::size_t>(header_.layout.width);
        for (int y = 0; y < rows; ++y) {
            if (row_ >= static_cast<std::uint32_t>(header_.layout.height)) {
                fail("more rows asked for than the picture has");
            }
            readRow(bgra + static_cast<std::size_t>(y) * stride);
            ++row_;
        }
    }

    bool nextPage() override { return moveToNextPage(); }

private:
    [[noreturn]] void fail(const std::string& why) const {
        throw HostError::reading(name_, "not a valid TIFF image (" + why + ")");
    }
    [[noreturn]] void failReading(const char* what) const { fail(firstError().empty() ? what : firstError()); }
    std::string firstError() const {
        if (!stream_.error().empty()) {
            return stream_.error();
        }
        for (const std::unique_ptr<TiffStream>& plane : planeStreams_) {
            if (!plane->error().empty()) {
                return plane->error();
            }
        }
        return {};
    }

    bool moveToNextPage() {
        while (TIFFReadDirectory(tiff_) == 1) {
            if (!isReducedImage(tiff_)) {
                readPage();
                return true;
            }
        }
        return false;
    }

    // The pages of the file: its directories but those of reduced-resolution
    // copies (thumbnails, previews), read once each in order. Leaves the
    // first directory current.
    int countPages() {
        int pages = 0;
        int directories = 0;
        do {
            pages += isReducedImage(tiff_) ? 0 : 1;
        } while (++directories < 65535 && TIFFReadDirectory(tiff_) == 1);
        // Reading past the last directory leaves libtiff's state behind it.
        if (TIFFSetDirectory(tiff_, 0) != 1) {
            failReading("cannot read its first directory again");
        }
        return std::max(pages, 1);
    }

    // The EXIF, XMP and IPTC-IIM of the first directory. exiv2 reads them
    // from classic TIFF; BigTIFF's come through libtiff.
    void readFirstDirectoryMetadata() {
        const bool big = isBigTiff(file_);
        if (!big && readTiffMetadata(file_, header_.metadata, header_.warnings)) {
            return;
        }
        std::uint32_t size = 0;
        const void* data = nullptr;
        if (TIFFGetField(tiff_, TIFFTAG_XMLPACKET, &size, &data) == 1 && data != nullptr) {
            header_.metadata.xmp.assign(static_cast<const char*>(data), size);
        }
        if (TIFFGetField(tiff_, TIFFTAG_RICHTIFFIPTC, &size, &data) == 1 && data != nullptr) {
            const auto* bytes = static_cast<const std::uint8_t*>(data);
            header_.metadata.iptc.assign(bytes, bytes + size);
        }
        if (big) {
            const TiffExifFields fields = readExifFields(tiff_);
            if (TIFFSetDirectory(tiff_, 0) != 1) {
                failReading("cannot read its first directory again");
            }
            if (!fields.image.empty() || !fields.exif.empty() || !fields.gps.empty()) {
                header_.metadata.exif = exifFromFields(fields, name_, header_.warnings);
            }
        }
    }

    // The ICC profile and resolution a page carries in its own directory.
    void readPageMetadata() {
        ImageMetadata& metadata = header_.metadata;
        metadata.iccProfile.clear();
        metadata.resolution.reset();
        std::uint32_t profileLength = 0;
        const void* profile = nullptr;
        if (TIFFGetField(tiff_, TIFFTAG_ICCPROFILE, &profileLength, &profile) == 1 && profile != nullptr) {
            const auto* bytes = static_cast<const std::uint8_t*>(profile);
            metadata.iccProfile.assign(bytes, bytes + profileLength);
        }
        float x = 0, y = 0;
        std::uint16_t unit = RESUNIT_INCH;
        if (TIFFGetField(tiff_, TIFFTAG_XRESOLUTION, &x) == 1 && TIFFGetField(tiff_, TIFFTAG_YRESOLUTION, &y) == 1 &&
            x > 0 && y > 0 && std::isfinite(x) && std::isfinite(y)) {
            TIFFGetFieldDefaulted(tiff_, TIFFTAG_RESOLUTIONUNIT, &unit);
            metadata.resolution = PrintResolution{
                x, y, unit >= 1 && unit <= 3 ? static_cast<PrintResolution::Unit>(unit) : PrintResolution::Unit::Inch};
        }
    }

    // The current directory's layout, and how to read and convert it.
    void readPage() {
        std::uint32_t width = 0, height = 0;
        if (TIFFGetField(tiff_, TIFFTAG_IMAGEWIDTH, &width) != 1 ||
            TIFFGetField(tiff_, TIFFTAG_IMAGELENGTH, &height) != 1) {
            fail("no image size");
        }
        // Only a recorded orientation counts: without one, the EXIF's or the
        // XMP's may say how the picture stands.
        std::uint16_t orientation = 0;
        header_.orientation.reset();
        if (TIFFGetField(tiff_, TIFFTAG_ORIENTATION, &orientation) == 1) {
            header_.orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
        }
        readPageMetadata();

        rgba_.end();
        planeStreams_.clear();
        row_ = 0;
        const std::uint16_t compression = defaulted16(tiff_, TIFFTAG_COMPRESSION);
        std::uint16_t photometric = 0;
        if (TIFFGetField(tiff_, TIFFTAG_PHOTOMETRIC, &photometric) != 1) {
            photometric = 0xFFFF;  // none: libtiff's reader guesses or refuses
        }
        separate_ = defaulted16(tiff_, TIFFTAG_PLANARCONFIG) == PLANARCONFIG_SEPARATE &&
                    defaulted16(tiff_, TIFFTAG_SAMPLESPERPIXEL) > 1;
        if (compression == COMPRESSION_JPEG && photometric == PHOTOMETRIC_YCBCR && !separate_) {
            // libjpeg turns it into RGB, row by row, as it decodes.
            TIFFSetField(tiff_, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
            photometric = PHOTOMETRIC_RGB;
        }
        bool alpha = false;
        if (const std::optional<DirectLayout> direct = directLayout(tiff_, photometric)) {
            conversion_ = Conversion::Direct;
            direct_ = *direct;
            alpha = direct->alpha;
            planes_ = separate_ ? (direct->colour ? 3 : 1) + (direct->alpha ? 1 : 0) : 1;
        } else {
            char message[1024] = {};
            if (TIFFRGBAImageOK(tiff_, message) != 1) {
                throw HostError::reading(name_,
                                         std::string("a TIFF image of a kind that cannot be read (") + message + ")");
            }
            if (!rgba_.begin(tiff_, message)) {
                fail(message);
            }
            alpha = rgba_->alpha != 0;
            conversion_ = photometric == PHOTOMETRIC_YCBCR ? Conversion::LibtiffBands : Conversion::Libtiff;
            const bool grey = rgba_->photometric == PHOTOMETRIC_MINISWHITE ||
                              rgba_->photometric == PHOTOMETRIC_MINISBLACK || rgba_->photometric == PHOTOMETRIC_PALETTE;
            planes_ = separate_ ? (grey ? 1 : 3) + (alpha ? 1 : 0) : 1;
            if (conversion_ == Conversion::Libtiff &&
                (separate_ ? rgba_->put.separate == nullptr : rgba_->put.contig == nullptr)) {
                fail("no conversion of its samples");
            }
        }
        header_.layout = checkedLayout(name_, width, height, alpha, limits_);
        raster_.resize(conversion_ == Conversion::Libtiff ? width : 0);

        tiled_ = TIFFIsTiled(tiff_) != 0;
        if (conversion_ == Conversion::LibtiffBands) {
            startBands();
        } else if (tiled_) {
            startTiles();
        } else {
            startStrips();
        }
    }

    // Strips: each plane's rows in order, through a libtiff handle of its
    // own, so that no plane's strip is decoded again from its start.
    void startStrips() {
        for (int plane = 1; plane < planes_; ++plane) {
            auto stream = std::make_unique<TiffStream>(file_, limits_.maxMemoryBytes);
            if (stream->tiff() == nullptr || (TIFFCurrentDirOffset(stream->tiff()) != TIFFCurrentDirOffset(tiff_) &&
                                              TIFFSetSubDirectory(stream->tiff(), TIFFCurrentDirOffset(tiff_)) != 1)) {
                fail(stream->error().empty() ? "cannot read its planes" : stream->error());
            }
            planeStreams_.push_back(std::move(stream));
        }
        const tmsize_t rowBytes = TIFFScanlineSize(tiff_);
        if (rowBytes <= 0) {
            failReading("no row size");
        }
        rowBytes_ = static_cast<std::size_t>(rowBytes);
        for (int plane = 0; plane < planes_; ++plane) {
            planeRows_[plane].reserve(rowBytes_);
        }
    }

    TIFF* planeHandle(int plane) const {
        return plane == 0 ? tiff_ : planeStreams_[static_cast<std::size_t>(plane - 1)]->tiff();
    }

    // Tiles: a row of them decoded at once, each plane's.
    void startTiles() {
        std::uint32_t tileWidth = 0, tileHeight = 0;
        TIFFGetField(tiff_, TIFFTAG_TILEWIDTH, &tileWidth);
        TIFFGetField(tiff_, TIFFTAG_TILELENGTH, &tileHeight);
        const tmsize_t tileBytes = TIFFTileSize(tiff_);
        const tmsize_t tileRowBytes = TIFFTileRowSize(tiff_);
        if (tileWidth == 0 || tileHeight == 0 || tileBytes <= 0 || tileRowBytes <= 0) {
            failReading("no tile size");
        }
        tileWidth_ = tileWidth;
        tileHeight_ = tileHeight;
        tileBytes_ = static_cast<std::size_t>(tileBytes);
        rowBytes_ = static_cast<std::size_t>(tileRowBytes);
        const std::uint64_t across = (static_cast<std::uint64_t>(header_.layout.width) + tileWidth - 1) / tileWidth;
        const std::uint64_t bytes = across * tileBytes_ * static_cast<std::uint64_t>(planes_);
        if (bytes > limits_.maxMemoryBytes) {
            throw HostError::reading(name_, "a TIFF image whose tiles need " + std::to_string(bytes >> 20) +
                                                " MiB a row once decoded, more than the " +
                                                std::to_string(limits_.maxMemoryBytes >> 20) +
                                                " MiB the host holds at once");
        }
        for (int plane = 0; plane < planes_; ++plane) {
            planeRows_[plane].reserve(static_cast<std::size_t>(bytes) / static_cast<std::size_t>(planes_));
        }
        tileRowLoaded_ = std::nullopt;
    }

    // libtiff's whole reader, over bands that start where a strip, a tile
    // row or a block of subsampled rows starts.
    void startBands() {
        const auto width = static_cast<std::uint64_t>(header_.layout.width);
        const auto height = static_cast<std::uint32_t>(header_.layout.height);
        const std::uint64_t fitting = std::max<std::uint64_t>(1, kMaxChunkBytes / (4 * width));
        std::uint32_t piece = 0;
        if (tiled_) {
            TIFFGetField(tiff_, TIFFTAG_TILELENGTH, &piece);
        } else {
            TIFFGetFieldDefaulted(tiff_, TIFFTAG_ROWSPERSTRIP, &piece);
        }
        std::uint16_t across = 1, down = 1;
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_YCBCRSUBSAMPLING, &across, &down);
        const std::uint32_t block = std::max<std::uint16_t>(down, 1);
        piece = std::clamp<std::uint32_t>(piece, 1, height);
        std::uint64_t rows = 0;
        if (tiled_ || piece <= fitting) {
            rows = std::max<std::uint64_t>(1, fitting / piece) * piece;  // whole strips or tile rows
        } else {
            rows = std::max<std::uint64_t>(1, fitting / block) * block;  // a tall strip, in whole blocks
        }
        bandRows_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(rows, height));
        bandStart_ = 0;
        bandCount_ = 0;
    }

    void readRow(std::uint8_t* out) {
        switch (conversion_) {
            case Conversion::LibtiffBands:
                readBandRow(out);
                return;
            case Conversion::Direct:
            case Conversion::Libtiff:
                if (tiled_) {
                    readTiledRow(out);
                } else {
                    readStripRow(out);
                }
                return;
        }
    }

    void readStripRow(std::uint8_t* out) {
        const std::uint8_t* planes[4] = {};
        for (int plane = 0; plane < planes_; ++plane) {
            std::uint8_t* row = planeRows_[plane].data();
            if (TIFFReadScanline(planeHandle(plane), row, row_, static_cast<std::uint16_t>(separate_ ? plane : 0)) !=
                1) {
                failReading("unreadable row");
            }
            planes[plane] = row;
        }
        convert(planes, header_.layout.width, out);
    }

    void readTiledRow(std::uint8_t* out) {
        const std::uint32_t tileRow = row_ / tileHeight_;
        if (tileRowLoaded_ != tileRow) {
            loadTileRow(tileRow);
        }
        const std::size_t inTile = static_cast<std::size_t>(row_ % tileHeight_) * rowBytes_;
        const auto width = static_cast<std::uint32_t>(header_.layout.width);
        std::size_t tile = 0;
        for (std::uint32_t x = 0; x < width; x += tileWidth_, ++tile) {
            const std::uint8_t* planes[4] = {};
            for (int plane = 0; plane < planes_; ++plane) {
                planes[plane] = planeRows_[plane].data() + tile * tileBytes_ + inTile;
            }
            convert(planes, static_cast<int>(std::min(tileWidth_, width - x)), out + std::size_t{4} * x);
        }
    }

    void loadTileRow(std::uint32_t tileRow) {
        tileRowLoaded_.reset();
        const auto width = static_cast<std::uint32_t>(header_.layout.width);
        for (int plane = 0; plane < planes_; ++plane) {
            std::size_t tile = 0;
            for (std::uint32_t x = 0; x < width; x += tileWidth_, ++tile) {
                if (TIFFReadTile(tiff_, planeRows_[plane].data() + tile * tileBytes_, x, tileRow * tileHeight_, 0,
                                 static_cast<std::uint16_t>(separate_ ? plane : 0)) < 0) {
                    failReading("unreadable tile");
                }
            }
        }
        tileRowLoaded_ = tileRow;
    }

    // `width` pixels of the planes' samples to BGRA.
    void convert(const std::uint8_t* const planes[4], int width, std::uint8_t* out) {
        if (conversion_ == Conversion::Direct) {
            if (separate_) {
                directPixelsToBgra(planes, static_cast<std::size_t>(direct_.bytesPerSample), direct_, width, out);
            } else {
                const auto sampleBytes = static_cast<std::size_t>(direct_.bytesPerSample);
                const std::uint8_t* samples[4] = {planes[0], planes[0] + sampleBytes, planes[0] + 2 * sampleBytes,
                                                  planes[0] + 3 * sampleBytes};
                directPixelsToBgra(samples, static_cast<std::size_t>(direct_.samplesPerPixel) * sampleBytes, direct_,
                                   width, out);
            }
            return;
        }
        const auto count = static_cast<std::uint32_t>(width);
        if (separate_) {
            // Grey and palette pictures have one plane of colour; alpha
            // follows the colour planes.
            const bool grey = planes_ - (header_.layout.hasAlpha ? 1 : 0) == 1;
            unsigned char* const red = const_cast<unsigned char*>(planes[0]);
            unsigned char* const green = grey ? red : const_cast<unsigned char*>(planes[1]);
            unsigned char* const blue = grey ? red : const_cast<unsigned char*>(planes[2]);
            unsigned char* const alpha =
                header_.layout.hasAlpha ? const_cast<unsigned char*>(planes[planes_ - 1]) : nullptr;
            (*rgba_->put.separate)(rgba_.get(), raster_.data(), 0, row_, count, 1, 0, 0, red, green, blue, alpha);
        } else {
            (*rgba_->put.contig)(rgba_.get(), raster_.data(), 0, row_, count, 1, 0, 0,
                                 const_cast<unsigned char*>(planes[0]));
        }
        rgbaToBgra(raster_.data(), count, header_.layout.hasAlpha, out);
    }

    void readBandRow(std::uint8_t* out) {
        const std::size_t stride = std::size_t{4} * static_cast<std::size_t>(header_.layout.width);
        if (row_ >= bandStart_ + bandCount_) {
            const auto width = static_cast<std::uint32_t>(header_.layout.width);
            const std::uint32_t start = bandStart_ + bandCount_;
            const std::uint32_t count = std::min(bandRows_, static_cast<std::uint32_t>(header_.layout.height) - start);
            rgba_->row_offset = static_cast<int>(start);
            rgba_->col_offset = 0;
            bandRaster_.resize(static_cast<std::size_t>(width) * count);
            if (TIFFRGBAImageGet(rgba_.get(), bandRaster_.data(), width, count) != 1) {
                failReading("unreadable pixels");
            }
            band_.reserve(stride * count);
            rgbaToBgra(bandRaster_.data(), bandRaster_.size(), header_.layout.hasAlpha, band_.data());
            bandStart_ = start;
            bandCount_ = count;
        }
        std::memcpy(out, band_.data() + static_cast<std::size_t>(row_ - bandStart_) * stride, stride);
    }

    ByteSource& file_;
    std::string name_;
    ReadLimits limits_;
    TiffStream stream_;
    TIFF* tiff_ = nullptr;
    std::vector<std::unique_ptr<TiffStream>> planeStreams_;  // separate planes in strips: planes 1 and up

    Conversion conversion_ = Conversion::Direct;
    DirectLayout direct_;
    RgbaReader rgba_;
    bool separate_ = false;
    bool tiled_ = false;
    int planes_ = 1;
    std::uint32_t row_ = 0;  // the next row to give

    // Strips: a row of each plane; tiles: a row of tiles of each plane.
    Buffer planeRows_[4];
    std::size_t rowBytes_ = 0;  // a row's bytes in a strip or in a tile, of one plane
    std::uint32_t tileWidth_ = 0;
    std::uint32_t tileHeight_ = 0;
    std::size_t tileBytes_ = 0;
    std::optional<std::uint32_t> tileRowLoaded_;
    std::vector<std::uint32_t> raster_;  // a row converted by libtiff

    // LibtiffBands: BGRA rows from bandStart_.
    Buffer band_;
    std::vector<std::uint32_t> bandRaster_;
    std::uint32_t bandStart_ = 0;
    std::uint32_t bandRows_ = 0;
    std::uint32_t bandCount_ = 0;
};

}  // namespace

std::unique_ptr<ImageReader> openTiffReader(ByteSource& file, const ReadLimits& limits) {
    return std::make_unique<TiffReader>(file, limits);
}

}  // namespace host
