// HEIF (HEVC: HEIC) and AVIF (AV1) through libheif: libde265 and dav1d
// decode, libaom encodes AVIF. libheif decodes and encodes whole pictures,
// so a reader and a writer each hold one.
#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "host/host_error.h"
#include "host/image/bgra_image.h"
#include "host/image/codecs.h"
#include "host/image/held_picture.h"
#include "host/image/jpeg_segments.h"

namespace host {

namespace {

struct ContextRelease {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleRelease {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageRelease {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct EncoderRelease {
    void operator()(heif_encoder* encoder) const { heif_encoder_release(encoder); }
};
struct DecodingOptionsRelease {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
struct EncodingOptionsRelease {
    void operator()(heif_encoding_options* options) const { heif_encoding_options_free(options); }
};
struct NclxRelease {
    void operator()(heif_color_profile_nclx* nclx) const { heif_nclx_color_profile_free(nclx); }
};
using Context = std::unique_ptr<heif_context, ContextRelease>;
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;
using Image = std::unique_ptr<heif_image, ImageRelease>;

// A sample of `bits` (9 to 16) to the nearest 8-bit value.
std::uint8_t nearest8Bits(unsigned value, int bits) {
    const unsigned maximum = (1u << bits) - 1;
    return static_cast<std::uint8_t>((std::min(value, maximum) * 255 + maximum / 2) / maximum);
}

// The metadata blocks of an item, by type ("Exif", "mime").
std::vector<std::vector<std::uint8_t>> metadataBlocks(const heif_image_handle* handle, const char* type,
                                                      const char* contentType) {
    const int count = heif_image_handle_get_number_of_metadata_blocks(handle, type);
    std::vector<heif_item_id> ids(static_cast<std::size_t>(std::max(count, 0)));
    heif_image_handle_get_list_of_metadata_block_IDs(handle, type, ids.data(), count);
    std::vector<std::vector<std::uint8_t>> blocks;
    for (const heif_item_id id : ids) {
        if (contentType != nullptr) {
            const char* content = heif_image_handle_get_metadata_content_type(handle, id);
            if (content == nullptr || std::strcmp(content, contentType) != 0) {
                continue;
            }
        }
        std::vector<std::uint8_t> block(heif_image_handle_get_metadata_size(handle, id));
        if (heif_image_handle_get_metadata(handle, id, block.data()).code == heif_error_Ok) {
            blocks.push_back(std::move(block));
        }
    }
    return blocks;
}

class HeifReader : public ImageReader {
public:
    HeifReader(ByteSource& file, const ReadLimits& limits) : name_(file.name()) {
        context_.reset(heif_context_alloc());
        if (!context_) {
            throw std::bad_alloc();
        }
        // libheif refuses pictures wider or taller than this before it
        // allocates them.
        heif_context_set_maximum_image_size_limit(context_.get(),
                                                  static_cast<int>(std::min<std::uint64_t>(limits.maxPixels, 65535)));
        check(heif_context_read_from_memory_without_copy(context_.get(), file.mapped(),
                                                         static_cast<std::size_t>(file.size()), nullptr));
        heif_image_handle* primary = nullptr;
        check(heif_context_get_primary_image_handle(context_.get(), &primary));
        handle_.reset(primary);
        header_.pages = std::max(1, heif_context_get_number_of_top_level_images(context_.get()));
        header_.pageKind = "picture";

        // The size shown: after the container's rotation, mirroring and
        // clean aperture, which decoding applies.
        const int width = heif_image_handle_get_width(handle_.get());
        const int height = heif_image_handle_get_height(handle_.get());
        header_.layout = checkedLayout(name_, static_cast<std::uint64_t>(std::max(width, 0)),
                                       static_cast<std::uint64_t>(std::max(height, 0)),
                                       heif_image_handle_has_alpha_channel(handle_.get()) != 0, limits);
        // Decoded whole, in up to 16 bits a sample.
        checkHeldWhole(Phase::Read, name_, "a HEIF picture", static_cast<std::uint64_t>(width),
                       static_cast<std::uint64_t>(height),
                       std::uint64_t{8} * static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height),
                       limits.maxMemoryBytes);
        // Decoded upright: the EXIF's orientation says nothing more.
        header_.orientation = 1;
        takeMetadata();
    }

    void readRows(std::uint8_t* bgra, int rows) override {
        if (!image_) {
            decode();
        }
        const int width = header_.layout.width;
        for (int y = 0; y < rows; ++y, ++row_) {
            if (row_ >= header_.layout.height) {
                throw HostError::reading(name_, "has fewer rows than asked for");
            }
            const std::uint8_t* in = plane_ + static_cast<std::size_t>(row_) * static_cast<std::size_t>(stride_);
            std::uint8_t* out = bgra + static_cast<std::size_t>(y) * 4 * static_cast<std::size_t>(width);
            const int samples = header_.layout.hasAlpha ? 4 : 3;
            for (int x = 0; x < width; ++x, out += 4) {
                std::uint8_t value[4] = {0, 0, 0, 255};
                for (int c = 0; c < samples; ++c) {
                    if (bits_ == 8) {
                        value[c] = in[static_cast<std::size_t>(x * samples + c)];
                    } else {
                        std::uint16_t wide;  // little-endian, as asked for
                        std::memcpy(&wide, in + 2 * static_cast<std::size_t>(x * samples + c), 2);
                        value[c] = nearest8Bits(wide, bits_);
                    }
                }
                out[0] = value[2];
                out[1] = value[1];
                out[2] = value[0];
                out[3] = value[3];
            }
        }
    }

private:
    void check(const heif_error& error) const {
        if (error.code != heif_error_Ok) {
            throw HostError::reading(name_, std::string("not a valid HEIF image (") +
                                                (error.message != nullptr ? error.message : "libheif failed") + ")");
        }
    }

    void takeMetadata() {
        ImageMetadata& metadata = header_.metadata;
        for (const std::vector<std::uint8_t>& block : metadataBlocks(handle_.get(), "Exif", nullptr)) {
            // The TIFF structure, after a four-byte offset to it.
            if (block.size() > 4 && metadata.exif.empty()) {
                const std::size_t offset = (std::size_t{block[0]} << 24) | (std::size_t{block[1]} << 16) |
                                           (std::size_t{block[2]} << 8) | block[3];
                if (offset < block.size() - 4) {
                    metadata.exif = exifWithoutSignature(block.data() + 4 + offset, block.size() - 4 - offset);
                }
            }
        }
        for (const std::vector<std::uint8_t>& block : metadataBlocks(handle_.get(), "mime", "application/rdf+xml")) {
            if (metadata.xmp.empty()) {
                metadata.xmp.assign(block.begin(), block.end());
            }
        }
        const heif_color_profile_type profile = heif_image_handle_get_color_profile_type(handle_.get());
        if (profile == heif_color_profile_type_prof || profile == heif_color_profile_type_rICC) {
            std::vector<std::uint8_t> icc(heif_image_handle_get_raw_color_profile_size(handle_.get()));
            if (!icc.empty() &&
                heif_image_handle_get_raw_color_profile(handle_.get(), icc.data()).code == heif_error_Ok) {
                metadata.iccProfile = std::move(icc);
            }
        }
        if (metadata.iccProfile.empty()) {
            heif_color_profile_nclx* nclx = nullptr;
            const heif_error error = heif_image_handle_get_nclx_color_profile(handle_.get(), &nclx);
            // libheif hands back the profile it allocated also with an error
            // (values it does not know): it is freed either way.
            const std::unique_ptr<heif_color_profile_nclx, NclxRelease> release(nclx);
            if (error.code == heif_error_Ok && nclx != nullptr) {
                metadata.cicp = Cicp{static_cast<std::uint16_t>(nclx->color_primaries),
                                     static_cast<std::uint16_t>(nclx->transfer_characteristics),
                                     static_cast<std::uint16_t>(nclx->matrix_coefficients), nclx->full_range_flag != 0};
            }
        }
    }

    void decode() {
        const std::unique_ptr<heif_decoding_options, DecodingOptionsRelease> options(heif_decoding_options_alloc());
        options->ignore_transformations = 0;  // rotation, mirroring and clean aperture applied
        const int depth = heif_image_handle_get_luma_bits_per_pixel(handle_.get());
        const bool alpha = header_.layout.hasAlpha;
        const heif_chroma chroma =
            depth > 8 ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                      : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
        heif_image* decoded = nullptr;
        check(heif_decode_image(handle_.get(), &decoded, heif_colorspace_RGB, chroma, options.get()));
        image_.reset(decoded);
        bits_ = heif_image_get_bits_per_pixel_range(image_.get(), heif_channel_interleaved);
        plane_ = heif_image_get_plane_readonly(image_.get(), heif_channel_interleaved, &stride_);
        if (plane_ == nullptr || heif_image_get_width(image_.get(), heif_channel_interleaved) != header_.layout.width ||
            heif_image_get_height(image_.get(), heif_channel_interleaved) != header_.layout.height ||
            (bits_ != 8 && (bits_ < 9 || bits_ > 16 || depth <= 8))) {
            throw HostError::reading(name_, "not a valid HEIF image (unexpected decoded layout)");
        }
    }

    std::string name_;
    Context context_;
    Handle handle_;
    Image image_;
    const std::uint8_t* plane_ = nullptr;
    int stride_ = 0;
    int bits_ = 8;
    int row_ = 0;
};

heif_error writeToSink(heif_context* /*context*/, const void* data, std::size_t size, void* userdata) {
    try {
        static_cast<ByteSink*>(userdata)->write(data, size);
        return {heif_error_Ok, heif_suberror_Unspecified, "Success"};
    } catch (const HostError&) {
        return {heif_error_Encoding_error, heif_suberror_Cannot_write_output_data, "cannot write the file"};
    }
}

// libheif encodes whole pictures only: the writer gathers the rows into
// libheif's picture, and libaom encodes it at the end.
class AvifWriter : public ImageWriter {
public:
    AvifWriter(ByteSink& out, const PictureLayout& layout, const ImageMetadata& metadata, const EncodeOptions& options,
               EncodeReport& report)
        : out_(out), name_(out.name()), layout_(layout), metadata_(metadata), options_(options), report_(report) {
        // libheif encodes whole pictures: the rows go straight into its own.
        checkHeldWhole(
            Phase::Write, name_, "an AVIF picture", static_cast<std::uint64_t>(layout.width),
            static_cast<std::uint64_t>(layout.height),
            std::uint64_t{4} * static_cast<std::uint64_t>(layout.width) * static_cast<std::uint64_t>(layout.height),
            kMaxImageBytes);
        heif_image* image = nullptr;
        check(heif_image_create(layout.width, layout.height, heif_colorspace_RGB,
                                layout.hasAlpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &image));
        image_.reset(image);
        check(heif_image_add_plane(image_.get(), heif_channel_interleaved, layout.width, layout.height, 8));
        plane_ = heif_image_get_plane(image_.get(), heif_channel_interleaved, &stride_);
    }

    void writeRows(const std::uint8_t* bgra, int rows) override {
        const int samples = layout_.hasAlpha ? 4 : 3;
        for (int y = 0; y < rows; ++y, ++row_) {
            if (row_ >= layout_.height) {
                throw HostError::writing(name_, "cannot encode AVIF (more rows than the picture has)");
            }
            const std::uint8_t* in = bgra + static_cast<std::size_t>(y) * 4 * static_cast<std::size_t>(layout_.width);
            std::uint8_t* out = plane_ + static_cast<std::size_t>(row_) * static_cast<std::size_t>(stride_);
            for (int x = 0; x < layout_.width; ++x, in += 4, out += samples) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
                if (samples == 4) {
                    out[3] = in[3];
                }
            }
        }
    }

    void finish() override {
        if (row_ != layout_.height) {
            throw HostError::writing(name_, "cannot encode AVIF (the picture is incomplete)");
        }
        const Context context(heif_context_alloc());
        heif_encoder* encoder = nullptr;
        check(heif_context_get_encoder_for_format(context.get(), heif_compression_AV1, &encoder));
        const std::unique_ptr<heif_encoder, EncoderRelease> releaseEncoder(encoder);
        const std::unique_ptr<heif_encoding_options, EncodingOptionsRelease> options(heif_encoding_options_alloc());
        options->save_alpha_channel = 1;
        // Lossless needs the colour kept as RGB (matrix 0) at full chroma
        // resolution; lossy takes full chroma from quality 90, as JPEG does.
        const std::unique_ptr<heif_color_profile_nclx, NclxRelease> nclx(heif_nclx_color_profile_alloc());
        if (options_.lossless) {
            check(heif_encoder_set_lossless(encoder, 1));
            check(heif_encoder_set_parameter_string(encoder, "chroma", "444"));
            nclx->matrix_coefficients = heif_matrix_coefficients_RGB_GBR;
        } else {
            check(heif_encoder_set_lossy_quality(encoder, options_.quality));
            check(heif_encoder_set_parameter_string(encoder, "chroma", options_.quality >= 90 ? "444" : "420"));
        }
        nclx->full_range_flag = 1;
        if (metadata_.cicp) {
            nclx->color_primaries = static_cast<heif_color_primaries>(metadata_.cicp->primaries);
            nclx->transfer_characteristics = static_cast<heif_transfer_characteristics>(metadata_.cicp->transfer);
        }
        // libheif codes AV1 with the numbers the picture carries; with an
        // ICC profile beside them, they are written too: a lossless
        // picture's colour is coded as RGB (matrix 0).
        check(heif_image_set_nclx_color_profile(image_.get(), nclx.get()));
        options->output_nclx_profile = nclx.get();
        options->save_two_colr_boxes_when_ICC_and_nclx_available = 1;
        if (!metadata_.iccProfile.empty()) {
            check(heif_image_set_raw_color_profile(image_.get(), "prof", metadata_.iccProfile.data(),
                                                   metadata_.iccProfile.size()));
        }
        heif_image_handle* encoded = nullptr;
        check(heif_context_encode_image(context.get(), image_.get(), encoder, options.get(), &encoded));
        const Handle handle(encoded);
        if (!metadata_.exif.empty() &&
            heif_context_add_exif_metadata(context.get(), handle.get(), metadata_.exif.data(),
                                           static_cast<int>(metadata_.exif.size()))
                    .code != heif_error_Ok) {
            report_.leftOut("EXIF", "libheif cannot add it");
        }
        if (!metadata_.xmp.empty() && heif_context_add_XMP_metadata(context.get(), handle.get(), metadata_.xmp.data(),
                                                                    static_cast<int>(metadata_.xmp.size()))
                                              .code != heif_error_Ok) {
            report_.leftOut("XMP", "libheif cannot add it");
        }
        heif_writer writer{1, writeToSink};
        check(heif_context_write(context.get(), &writer, &out_));
    }

private:
    void check(const heif_error& error) const {
        if (error.code != heif_error_Ok) {
            throw HostError::writing(name_, std::string("cannot encode AVIF (") +
                                                (error.message != nullptr ? error.message : "libheif failed") + ")");
        }
    }

    ByteSink& out_;
    std::string name_;
    PictureLayout layout_;
    ImageMetadata metadata_;
    EncodeOptions options_;
    EncodeReport& report_;
    Image image_;
    std::uint8_t* plane_ = nullptr;
    int stride_ = 0;
    int row_ = 0;
};

}  // namespace

std::unique_ptr<ImageReader> openHeifReader(ByteSource& file, const ReadLimits& limits) {
    return std::make_unique<HeifReader>(file, limits);
}

std::unique_ptr<ImageWriter> openAvifWriter(ByteSink& out, const PictureLayout& layout, const ImageMetadata& metadata,
                                            const EncodeOptions& options, EncodeReport& report) {
    return std::make_unique<AvifWriter>(out, layout, metadata, options, report);
}

}  // namespace host
