// TIFF written through libtiff, a band of rows at a time: RGB(A) in 8 bits,
// Deflate strips, classic or (past 4 GiB) BigTIFF, every page.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "host/host_error.h"
#include "host/image/codecs.h"
#include "host/image/tiff_metadata.h"
#include "host/image/tiff_stream.h"

namespace host {

namespace {

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
        if (stream_ && stream_->fileFailure()) {
            std::rethrow_exception(stream_->fileFailure());  // the file's own failure, which names it
        }
        const std::string error = stream_ ? stream_->error() : std::string();
        throw HostError::writing(
            name_, "cannot encode TIFF (" + (error.empty() ? std::string("libtiff failed") : error) + ")");
    }

    void endPage() {
        if (written_ != static_cast<std::uint32_t>(layout_.height)) {
            throw HostError::writing(name_, "cannot encode TIFF (the picture is incomplete)");
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

std::unique_ptr<ImageWriter> openTiffWriter(ByteSink& out, const PictureLayout& layout, const ImageMetadata& metadata,
                                            const EncodeOptions& /*options*/, EncodeReport& report) {
    return std::make_unique<TiffWriter>(out, layout, metadata, report);
}

}  // namespace host
