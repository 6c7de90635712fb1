// TIFF through libtiff: strips and tiles, classic and BigTIFF, every page,
// a band of rows at a time both ways.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "host/host_error.h"
#include "host/image/codecs.h"
#include "host/image/metadata.h"
#include "host/image/tiff_stream.h"

namespace host {

namespace {

// Most bytes a reader keeps of a strip or tile row at once; taller ones are
// read in pieces.
constexpr std::uint64_t kMaxChunkBytes = std::uint64_t{64} << 20;

// The layouts read sample by sample, so that colours and unassociated alpha
// arrive exactly: 8- or 16-bit unsigned grey or RGB samples, contiguous,
// optionally followed by unassociated alpha, in strips or tiles.
struct DirectLayout {
    bool colour = false;
    bool alpha = false;
    int samplesPerPixel = 0;
    int bytesPerSample = 0;
};

bool directLayout(TIFF* tiff, DirectLayout& layout) {
    std::uint16_t bits = 0, samples = 0, photometric = 0, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
    if (TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) != 1 || (bits != 8 && bits != 16) ||
        format != SAMPLEFORMAT_UINT || (planar != PLANARCONFIG_CONTIG && samples > 1)) {
        return false;
    }
    const int colourSamples = photometric == PHOTOMETRIC_RGB ? 3 : photometric == PHOTOMETRIC_MINISBLACK ? 1 : 0;
    if (colourSamples == 0 || samples < colourSamples) {
        return false;
    }
    std::uint16_t extraCount = 0;
    std::uint16_t* extraKinds = nullptr;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds);
    // Premultiplied alpha goes through the general path; so does an extra
    // sample of unspecified kind beside three others, which libtiff takes
    // for premultiplied alpha.
    if (extraCount > 0 && extraKinds != nullptr &&
        (extraKinds[0] == EXTRASAMPLE_ASSOCALPHA || (extraKinds[0] == EXTRASAMPLE_UNSPECIFIED && samples > 3))) {
        return false;
    }
    layout.colour = colourSamples == 3;
    layout.alpha =
        samples > colourSamples && extraCount > 0 && extraKinds != nullptr && extraKinds[0] == EXTRASAMPLE_UNASSALPHA;
    layout.samplesPerPixel = samples;
    layout.bytesPerSample = bits / 8;
    return true;
}

// Samples of one row to BGRA.
void directRowToBgra(const std::uint8_t* row, const DirectLayout& layout, int width, std::uint8_t* out) {
    auto sample = [&](std::size_t pixel, int index) -> std::uint8_t {
        const std::size_t at =
            (pixel * static_cast<std::size_t>(layout.samplesPerPixel) + static_cast<std::size_t>(index)) *
            static_cast<std::size_t>(layout.bytesPerSample);
        if (layout.bytesPerSample == 1) {
            return row[at];
        }
        std::uint16_t wide;
        std::memcpy(&wide, &row[at], 2);                       // libtiff has put it in this machine's byte order
        return static_cast<std::uint8_t>((wide + 128) / 257);  // nearest 8-bit value
    };
    for (int x = 0; x < width; ++x, out += 4) {
        const auto p = static_cast<std::size_t>(x);
        const std::uint8_t red = sample(p, 0);
        out[0] = layout.colour ? sample(p, 2) : red;
        out[1] = layout.colour ? sample(p, 1) : red;
        out[2] = red;
        out[3] = layout.alpha ? sample(p, layout.colour ? 3 : 1) : 255;
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

// libtiff's RGBA reader, ended with the object that holds it.
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

class TiffReader : public ImageReader {
public:
    TiffReader(ByteSource& file, const ReadLimits& limits)
        : name_(file.name()), limits_(limits), stream_(file, limits.maxMemoryBytes) {
        tiff_ = stream_.tiff();
        if (tiff_ == nullptr) {
            fail(stream_.error().empty() ? "cannot open" : stream_.error());
        }
        header_.pages = countPages();
        if (isReducedImage(tiff_) && !moveToNextPage()) {
            fail("it holds no full-size picture");
        }
        readPage();
        if (!readTiffMetadata(file, header_)) {
            // Without exiv2's reading of the directories (a BigTIFF file, or
            // damaged ones), the XMP and IPTC-IIM tags as libtiff hands
            // them out.
            std::uint32_t size = 0;
            const void* data = nullptr;
            if (TIFFGetField(tiff_, TIFFTAG_XMLPACKET, &size, &data) == 1 && data != nullptr) {
                header_.metadata.xmp.assign(static_cast<const char*>(data), size);
            }
            if (TIFFGetField(tiff_, TIFFTAG_RICHTIFFIPTC, &size, &data) == 1 && data != nullptr) {
                const auto* bytes = static_cast<const std::uint8_t*>(data);
                header_.metadata.iptc.assign(bytes, bytes + size);
            }
        }
    }

    void readRows(std::uint8_t* bgra, int rows) override {
        const std::size_t stride = std::size_t{4} * static_cast<std::size_t>(header_.layout.width);
        for (int done = 0; done < rows;) {
            if (row_ >= static_cast<std::uint32_t>(header_.layout.height)) {
                fail("more rows asked for than the picture has");
            }
            if (row_ < chunkStart_ || row_ >= chunkStart_ + chunkCount_) {
                readChunk();
            }
            const std::uint32_t available = chunkStart_ + chunkCount_ - row_;
            const int count =
                static_cast<int>(std::min<std::uint32_t>(available, static_cast<std::uint32_t>(rows - done)));
            std::memcpy(bgra + static_cast<std::size_t>(done) * stride,
                        chunk_.data() + static_cast<std::size_t>(row_ - chunkStart_) * stride,
                        static_cast<std::size_t>(count) * stride);
            done += count;
            row_ += static_cast<std::uint32_t>(count);
        }
    }

    bool nextPage() override { return moveToNextPage(); }

private:
    bool moveToNextPage() {
        while (TIFFReadDirectory(tiff_) == 1) {
            if (!isReducedImage(tiff_)) {
                readPage();
                header_.metadata = pageMetadata();
                return true;
            }
        }
        return false;
    }

    [[noreturn]] void fail(const std::string& why) const {
        throw HostError("'" + name_ + "' is not a valid TIFF image (" + why + ")");
    }

    // The pages of the file: its directories but those of reduced-resolution
    // copies (thumbnails, previews). Leaves the first directory current.
    int countPages() {
        int pages = 0;
        const tdir_t directories = TIFFNumberOfDirectories(tiff_);
        for (tdir_t i = 0; i < directories && i < 65535; ++i) {
            if (TIFFSetDirectory(tiff_, i) == 1 && !isReducedImage(tiff_)) {
                ++pages;
            }
        }
        TIFFSetDirectory(tiff_, 0);
        return std::max(pages, 1);
    }

    // The ICC profile and resolution a page carries in its own directory.
    ImageMetadata pageMetadata() const {
        ImageMetadata metadata;
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
        return metadata;
    }

    // The current directory's layout and how to read it.
    void readPage() {
        std::uint32_t width = 0, height = 0;
        if (TIFFGetField(tiff_, TIFFTAG_IMAGEWIDTH, &width) != 1 ||
            TIFFGetField(tiff_, TIFFTAG_IMAGELENGTH, &height) != 1) {
            fail("no image size");
        }
        std::uint16_t orientation = ORIENTATION_TOPLEFT;
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_ORIENTATION, &orientation);
        header_.orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
        const ImageMetadata page = pageMetadata();
        header_.metadata.iccProfile = page.iccProfile;
        header_.metadata.resolution = page.resolution;

        rgba_.end();
        direct_ = directLayout(tiff_, layout_);
        bool alpha = layout_.alpha;
        if (!direct_) {
            char message[1024] = {};
            if (TIFFRGBAImageOK(tiff_, message) != 1) {
                throw HostError("'" + name_ + "' is a TIFF image of a kind that cannot be read (" + message + ")");
            }
            if (!rgba_.begin(tiff_, message)) {
                fail(message);
            }
            alpha = rgba_->alpha != 0;
        }
        header_.layout = checkedLayout(name_, width, height, alpha, limits_);

        // Read in the file's own pieces: a strip's rows, or a row of tiles.
        std::uint32_t pieceRows = 0;
        tiled_ = TIFFIsTiled(tiff_) != 0;
        if (tiled_) {
            TIFFGetField(tiff_, TIFFTAG_TILELENGTH, &pieceRows);
            std::uint32_t tileWidth = 0;
            TIFFGetField(tiff_, TIFFTAG_TILEWIDTH, &tileWidth);
            tileWidth_ = tileWidth;
            if (pieceRows == 0 || tileWidth == 0) {
                fail("no tile size");
            }
        } else {
            TIFFGetFieldDefaulted(tiff_, TIFFTAG_ROWSPERSTRIP, &pieceRows);
        }
        const std::uint64_t rowBytes = std::uint64_t{4} * width;
        const std::uint64_t fitting = std::max<std::uint64_t>(1, kMaxChunkBytes / rowBytes);
        pieceRows = std::clamp<std::uint32_t>(pieceRows, 1, height);
        if (direct_ && tiled_ && pieceRows > fitting) {
            // Tiles taller than the memory allows are read through libtiff's
            // RGBA reader, in pieces.
            direct_ = false;
            char message[1024] = {};
            if (!rgba_.begin(tiff_, message)) {
                fail(message);
            }
            header_.layout.hasAlpha = rgba_->alpha != 0;
        }
        chunkRows_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(pieceRows, direct_ ? pieceRows : fitting));
        if (!direct_) {
            chunkRows_ =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(std::max<std::uint32_t>(pieceRows, 16), fitting));
        }
        chunkRows_ = std::min(chunkRows_, height);
        chunk_.assign(static_cast<std::size_t>(rowBytes * chunkRows_), 0);
        chunkStart_ = 0;
        chunkCount_ = 0;
        row_ = 0;
    }

    void readChunk() {
        const auto width = static_cast<std::uint32_t>(header_.layout.width);
        const auto height = static_cast<std::uint32_t>(header_.layout.height);
        const std::uint32_t start = chunkStart_ + chunkCount_;
        const std::uint32_t count = std::min(chunkRows_, height - start);
        const std::size_t stride = std::size_t{4} * width;
        if (!direct_) {
            rgba_->row_offset = static_cast<int>(start);
            rgba_->col_offset = 0;
            std::vector<std::uint32_t>& raster = raster_;
            raster.resize(static_cast<std::size_t>(width) * count);
            if (TIFFRGBAImageGet(rgba_.get(), raster.data(), width, count) != 1) {
                fail(stream_.error().empty() ? "unreadable pixels" : stream_.error());
            }
            rgbaToBgra(raster.data(), raster.size(), rgba_->alpha != 0, chunk_.data());
        } else if (!tiled_) {
            const tmsize_t rowBytes = TIFFScanlineSize(tiff_);
            const std::size_t needed = static_cast<std::size_t>(width) *
                                       static_cast<std::size_t>(layout_.samplesPerPixel) *
                                       static_cast<std::size_t>(layout_.bytesPerSample);
            if (rowBytes <= 0 || static_cast<std::size_t>(rowBytes) < needed) {
                fail("unexpected row size");
            }
            samples_.resize(static_cast<std::size_t>(rowBytes));
            for (std::uint32_t y = 0; y < count; ++y) {
                if (TIFFReadScanline(tiff_, samples_.data(), start + y, 0) != 1) {
                    fail(stream_.error().empty() ? "unreadable row" : stream_.error());
                }
                directRowToBgra(samples_.data(), layout_, static_cast<int>(width), chunk_.data() + y * stride);
            }
        } else {
            // A row of tiles; each tile's rows go where they belong.
            const tmsize_t tileBytes = TIFFTileSize(tiff_);
            const std::size_t pixelBytes =
                static_cast<std::size_t>(layout_.samplesPerPixel) * static_cast<std::size_t>(layout_.bytesPerSample);
            const std::size_t tileRowBytes = static_cast<std::size_t>(tileWidth_) * pixelBytes;
            if (tileBytes <= 0 || static_cast<std::size_t>(tileBytes) < tileRowBytes * count) {
                fail("unexpected tile size");
            }
            samples_.resize(static_cast<std::size_t>(tileBytes));
            for (std::uint32_t x = 0; x < width; x += tileWidth_) {
                if (TIFFReadTile(tiff_, samples_.data(), x, start, 0, 0) < 0) {
                    fail(stream_.error().empty() ? "unreadable tile" : stream_.error());
                }
                const std::uint32_t across = std::min(tileWidth_, width - x);
                for (std::uint32_t y = 0; y < count; ++y) {
                    directRowToBgra(samples_.data() + y * tileRowBytes, layout_, static_cast<int>(across),
                                    chunk_.data() + y * stride + std::size_t{4} * x);
                }
            }
        }
        chunkStart_ = start;
        chunkCount_ = count;
        if (row_ < chunkStart_ || row_ >= chunkStart_ + count) {
            fail("rows asked for out of order");
        }
    }

    std::string name_;
    ReadLimits limits_;
    TiffStream stream_;
    TIFF* tiff_ = nullptr;
    bool direct_ = false;
    bool tiled_ = false;
    std::uint32_t tileWidth_ = 0;
    DirectLayout layout_;
    RgbaReader rgba_;
    std::vector<std::uint8_t> chunk_;  // BGRA rows from chunkStart_
    std::vector<std::uint8_t> samples_;
    std::vector<std::uint32_t> raster_;
    std::uint32_t chunkStart_ = 0;
    std::uint32_t chunkRows_ = 0;   // rows a chunk holds at most
    std::uint32_t chunkCount_ = 0;  // rows it holds now
    std::uint32_t row_ = 0;
};

// Largest classic TIFF: its offsets are 32-bit. A file that may pass it,
// with room for its directories, is written as BigTIFF.
constexpr std::uint64_t kClassicTiffBytes = (std::uint64_t{1} << 32) - (std::uint64_t{64} << 20);

class TiffWriter : public ImageWriter {
public:
    TiffWriter(ByteSink& out, const PictureLayout& layout, const ImageMetadata& metadata, EncodeReport& report)
        : name_(out.name()), report_(report) {
        const std::uint64_t samples = layout.hasAlpha ? 4 : 3;
        const bool big =
            samples * static_cast<std::uint64_t>(layout.width) * static_cast<std::uint64_t>(layout.height) +
                metadata.exif.size() + metadata.xmp.size() + metadata.iptc.size() + metadata.iccProfile.size() >
            kClassicTiffBytes;
        ExifForTiff exif;
        if (!metadata.exif.empty()) {
            if (big) {
                report.leftOut("EXIF", "it cannot be written into a BigTIFF file, which a picture this large needs");
            } else {
                exif = exifForTiff(metadata.exif, report);
                if (!exif.prefix.empty()) {
                    out.write(exif.prefix.data(), exif.prefix.size());
                }
            }
        }
        // Little-endian, as the EXIF written before it.
        stream_.emplace(out, big ? "w8l" : "wl");
        tiff_ = stream_->tiff();
        if (tiff_ == nullptr) {
            fail();
        }
        setPage(layout, metadata);
        setMetadata(metadata, exif);
    }

    void writeRows(const std::uint8_t* bgra, int rows) override {
        const int samples = layout_.hasAlpha ? 4 : 3;
        row_.resize(static_cast<std::size_t>(layout_.width) * static_cast<std::size_t>(samples));
        for (int y = 0; y < rows; ++y) {
            const std::uint8_t* in = bgra + static_cast<std::size_t>(y) * 4 * static_cast<std::size_t>(layout_.width);
            std::uint8_t* pixel = row_.data();
            for (int x = 0; x < layout_.width; ++x, in += 4, pixel += samples) {
                pixel[0] = in[2];
                pixel[1] = in[1];
                pixel[2] = in[0];
                if (samples == 4) {
                    pixel[3] = in[3];
                }
            }
            if (TIFFWriteScanline(tiff_, row_.data(), written_, 0) != 1) {
                fail();
            }
            ++written_;
        }
    }

    bool startPage(const PictureLayout& layout, const ImageMetadata& page) override {
        endPage();
        ++page_;
        setPage(layout, page);
        return true;
    }

    void finish() override {
        endPage();
        if (!stream_->close()) {
            fail();
        }
    }

private:
    [[noreturn]] void fail() const {
        const std::string error = stream_ ? stream_->error() : std::string();
        if (error.rfind("cannot write '", 0) == 0) {
            throw HostError(error);  // the file's own failure, which names it
        }
        throw HostError("cannot encode TIFF (" + (error.empty() ? std::string("libtiff failed") : error) + ")");
    }

    void endPage() {
        if (written_ != static_cast<std::uint32_t>(layout_.height)) {
            throw HostError("cannot encode TIFF (the picture is incomplete)");
        }
        if (TIFFWriteDirectory(tiff_) != 1) {
            fail();
        }
    }

    // The fields that describe a page's pixels, its ICC profile and
    // resolution.
    void setPage(const PictureLayout& layout, const ImageMetadata& metadata) {
        layout_ = layout;
        written_ = 0;
        const int samples = layout.hasAlpha ? 4 : 3;
        TIFFSetField(tiff_, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(layout.width));
        TIFFSetField(tiff_, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(layout.height));
        TIFFSetField(tiff_, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff_, TIFFTAG_SAMPLESPERPIXEL, samples);
        TIFFSetField(tiff_, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tiff_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tiff_, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
        // Lossless: Deflate with horizontal differencing.
        TIFFSetField(tiff_, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
        TIFFSetField(tiff_, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        // Strips of about 256 KiB before compression.
        const std::uint32_t rowBytes = static_cast<std::uint32_t>(samples) * static_cast<std::uint32_t>(layout.width);
        TIFFSetField(tiff_, TIFFTAG_ROWSPERSTRIP, std::max<std::uint32_t>(1, (256u << 10) / std::max(rowBytes, 1u)));
        if (layout.hasAlpha) {
            const std::uint16_t kind = EXTRASAMPLE_UNASSALPHA;
            TIFFSetField(tiff_, TIFFTAG_EXTRASAMPLES, 1, &kind);
        }
        if (const std::optional<PrintResolution>& resolution = metadata.resolution) {
            TIFFSetField(tiff_, TIFFTAG_XRESOLUTION, static_cast<float>(resolution->x));
            TIFFSetField(tiff_, TIFFTAG_YRESOLUTION, static_cast<float>(resolution->y));
            TIFFSetField(tiff_, TIFFTAG_RESOLUTIONUNIT, static_cast<std::uint16_t>(resolution->unit));
        }
        if (!metadata.iccProfile.empty()) {
            TIFFSetField(tiff_, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(metadata.iccProfile.size()),
                         metadata.iccProfile.data());
        }
        if (page_ > 0) {
            TIFFSetField(tiff_, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        }
    }

    // The first page's XMP, IPTC-IIM and EXIF.
    void setMetadata(const ImageMetadata& metadata, const ExifForTiff& exif) {
        if (!metadata.xmp.empty()) {
            TIFFSetField(tiff_, TIFFTAG_XMLPACKET, static_cast<std::uint32_t>(metadata.xmp.size()),
                         metadata.xmp.data());
        }
        if (!metadata.iptc.empty()) {
            // Padded to whole 32-bit words, as readers that take the tag
            // for LONG values expect.
            std::vector<std::uint8_t> padded = metadata.iptc;
            padded.resize((padded.size() + 3) / 4 * 4, 0);
            TIFFSetField(tiff_, TIFFTAG_RICHTIFFIPTC, static_cast<std::uint32_t>(padded.size()), padded.data());
        }
        std::string leftOut;
        for (const TiffField& field : exif.imageFields) {
            if (!setField(field)) {
                leftOut += (leftOut.empty() ? "" : ", ") + std::to_string(field.tag);
            }
        }
        if (!leftOut.empty()) {
            report_.leftOut("EXIF fields " + leftOut + " of the image's directory",
                            "libtiff cannot write them as stored");
        }
        if (exif.exifDirectory != 0) {
            TIFFSetField(tiff_, TIFFTAG_EXIFIFD, exif.exifDirectory);
        }
        if (exif.gpsDirectory != 0) {
            TIFFSetField(tiff_, TIFFTAG_GPSIFD, exif.gpsDirectory);
        }
    }

    // One field of the image's directory: text that libtiff knows by name,
    // and any field it does not know, as stored. The other fields libtiff
    // knows describe pixels (their resolution, orientation, colours, pages)
    // and are the writer's own: the source's are not carried over. False
    // for a field that cannot be written.
    bool setField(const TiffField& field) {
        if (const TIFFField* known = TIFFFindField(tiff_, field.tag, TIFF_ANY); known != nullptr) {
            if (TIFFFieldDataType(known) != TIFF_ASCII) {
                return true;
            }
            if (field.type != TIFF_ASCII) {
                return false;
            }
            std::string text(field.bytes.begin(), field.bytes.end());
            if (const std::size_t end = text.find('\0'); end != std::string::npos) {
                text.resize(end);
            }
            return TIFFSetField(tiff_, field.tag, text.c_str()) == 1;
        }
        static constexpr std::size_t kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
        if (field.type == 0 || field.type >= std::size(kSizes) || field.count == 0 ||
            field.bytes.size() != kSizes[field.type] * field.count) {
            return false;
        }
        TIFFFieldInfo info{};
        info.field_tag = field.tag;
        info.field_readcount = TIFF_VARIABLE2;
        info.field_writecount = TIFF_VARIABLE2;
        info.field_type = static_cast<TIFFDataType>(field.type);
        info.field_bit = FIELD_CUSTOM;
        info.field_oktochange = 1;
        info.field_passcount = 1;
        info.field_name = const_cast<char*>("");
        if (TIFFMergeFieldInfo(tiff_, &info, 1) != 0) {
            return false;
        }
        if (field.type == TIFF_RATIONAL || field.type == TIFF_SRATIONAL) {
            // libtiff takes fractions as floating-point numbers.
            std::vector<float> values(field.count);
            for (std::uint32_t i = 0; i < field.count; ++i) {
                std::uint32_t numerator = 0, denominator = 0;
                std::memcpy(&numerator, &field.bytes[8 * i], 4);
                std::memcpy(&denominator, &field.bytes[8 * i + 4], 4);
                values[i] = denominator == 0 ? 0.0f
                            : field.type == TIFF_SRATIONAL
                                ? static_cast<float>(static_cast<std::int32_t>(numerator)) /
                                      static_cast<float>(static_cast<std::int32_t>(denominator))
                                : static_cast<float>(numerator) / static_cast<float>(denominator);
            }
            return TIFFSetField(tiff_, field.tag, field.count, values.data()) == 1;
        }
        return TIFFSetField(tiff_, field.tag, field.count, field.bytes.data()) == 1;
    }

    std::string name_;
    EncodeReport& report_;
    std::optional<TiffStream> stream_;
    TIFF* tiff_ = nullptr;
    PictureLayout layout_;
    std::vector<std::uint8_t> row_;
    std::uint32_t written_ = 0;
    int page_ = 0;
};

}  // namespace

std::unique_ptr<ImageReader> openTiffReader(ByteSource& file, const ReadLimits& limits) {
    return std::make_unique<TiffReader>(file, limits);
}

std::unique_ptr<ImageWriter> openTiffWriter(ByteSink& out, const PictureLayout& layout, const ImageMetadata& metadata,
                                            const EncodeOptions& /*options*/, EncodeReport& report) {
    return std::make_unique<TiffWriter>(out, layout, metadata, report);
}

}  // namespace host
