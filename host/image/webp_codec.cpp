// WebP through libwebp (decoder, encoder, and its container library for the
// ICC profile and EXIF chunks).
#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "host/host_error.h"
#include "host/image/bgra_image.h"
#include "host/image/codecs.h"
#include "host/image/held_picture.h"
#include "host/image/jpeg_segments.h"
#include "host/metadata/exif_signature.h"

namespace host {

namespace {

struct DemuxRelease {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};
struct MuxRelease {
    void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};

std::vector<std::uint8_t> chunk(WebPDemuxer* demux, const char* fourcc) {
    WebPChunkIterator iterator{};
    std::vector<std::uint8_t> bytes;
    if (WebPDemuxGetChunk(demux, fourcc, 1, &iterator) != 0) {
        bytes.assign(iterator.chunk.bytes, iterator.chunk.bytes + iterator.chunk.size);
    }
    WebPDemuxReleaseChunkIterator(&iterator);
    return bytes;
}

const char* encodingError(WebPEncodingError error) {
    switch (error) {
        case VP8_ENC_ERROR_OUT_OF_MEMORY:
        case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
            return "out of memory";
        case VP8_ENC_ERROR_BAD_DIMENSION:
            return "the image is too large for WebP (at most 16383 pixels a side)";
        default:
            return "encoder error";
    }
}

struct AnimDecoderRelease {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

// An animation's first frame as it shows on its canvas, and how many
// frames there are.
void decodeFirstFrame(const WebPData& data, const std::string& name, FileHeader& decoded, std::uint8_t* pixels,
                      std::size_t size) {
    WebPAnimDecoderOptions options;
    if (WebPAnimDecoderOptionsInit(&options) == 0) {
        throw HostError::reading(name, "libwebp version mismatch");
    }
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const std::unique_ptr<WebPAnimDecoder, AnimDecoderRelease> decoder(WebPAnimDecoderNew(&data, &options));
    WebPAnimInfo info{};
    if (!decoder || WebPAnimDecoderGetInfo(decoder.get(), &info) == 0 ||
        info.canvas_width != static_cast<std::uint32_t>(decoded.layout.width) ||
        info.canvas_height != static_cast<std::uint32_t>(decoded.layout.height)) {
        throw HostError::reading(name, "not a valid WebP image (bad animation)");
    }
    std::uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) == 0 || canvas == nullptr) {
        throw HostError::reading(name, "not a valid WebP image (corrupt first frame)");
    }
    std::memcpy(pixels, canvas, size);
    decoded.layout.hasAlpha = true;  // the canvas around and between frames may be transparent
    decoded.pages = static_cast<int>(std::min<std::uint32_t>(info.frame_count, 1u << 30));
    decoded.pageKind = "frame";
}

// WebP decodes whole pictures only: the reader holds one (WebP's are at
// most 16383 x 16383 pixels).
class WebpReader : public ImageReader {
public:
    WebpReader(ByteSource& file, const ReadLimits& limits) {
        const std::string& name = file.name();
        const std::uint8_t* data = file.mapped();
        const std::size_t size = static_cast<std::size_t>(file.size());
        WebPBitstreamFeatures features{};
        if (data == nullptr || WebPGetFeatures(data, size, &features) != VP8_STATUS_OK) {
            throw HostError::reading(name, "not a valid WebP image");
        }
        header_.layout = checkedLayout(name, static_cast<std::uint64_t>(features.width),
                                       static_cast<std::uint64_t>(features.height), features.has_alpha != 0, limits);
        picture_ =
            HeldPicture(Phase::Read, name, "a WebP picture", features.width, features.height, limits.maxMemoryBytes);
        const WebPData whole{data, size};
        const std::unique_ptr<WebPDemuxer, DemuxRelease> demux(WebPDemux(&whole));
        if (!demux) {
            throw HostError::reading(name, "not a valid WebP image (bad container)");
        }
        header_.metadata.iccProfile = chunk(demux.get(), "ICCP");
        const std::vector<std::uint8_t> exif = chunk(demux.get(), "EXIF");
        header_.metadata.exif = exifWithoutSignature(exif.data(), exif.size());
        const std::vector<std::uint8_t> xmp = chunk(demux.get(), "XMP ");
        header_.metadata.xmp.assign(xmp.begin(), xmp.end());
        if (features.has_animation != 0) {
            decodeFirstFrame(whole, name, header_, picture_.data(), picture_.size());
            return;
        }
        if (WebPDecodeBGRAInto(data, size, picture_.data(), picture_.size(), 4 * features.width) == nullptr) {
            throw HostError::reading(name, "not a valid WebP image (corrupt image data)");
        }
    }

    void readRows(std::uint8_t* bgra, int rows) override { picture_.take(bgra, rows); }

private:
    HeldPicture picture_;
};

// libwebp encodes whole pictures only: the writer gathers the rows.
class WebpWriter : public ImageWriter {
public:
    WebpWriter(ByteSink& out, const PictureLayout& layout, const ImageMetadata& metadata, const EncodeOptions& options,
               EncodeReport& report)
        : out_(out), name_(out.name()), layout_(layout), metadata_(metadata), options_(options), report_(report) {
        if (layout.width > WEBP_MAX_DIMENSION || layout.height > WEBP_MAX_DIMENSION) {
            throw HostError::writing(
                name_, "cannot encode WebP (" + std::string(encodingError(VP8_ENC_ERROR_BAD_DIMENSION)) + ")");
        }
        picture_ = HeldPicture(Phase::Write, name_, "a WebP picture", layout.width, layout.height, kMaxImageBytes);
    }

    void writeRows(const std::uint8_t* bgra, int rows) override { picture_.put(bgra, rows); }

    void finish() override {
        if (!picture_.complete()) {
            throw HostError::writing(name_, "cannot encode WebP (the picture is incomplete)");
        }
        const std::vector<std::uint8_t> file = encode();
        out_.write(file.data(), file.size());
    }

private:
    std::vector<std::uint8_t> encode() {
        WebPConfig config;
        if (WebPConfigInit(&config) == 0) {
            throw HostError::writing(name_, "cannot encode WebP (library version mismatch)");
        }
        if (options_.lossless) {
            WebPConfigLosslessPreset(&config, 6);
            config.exact = 1;  // keep the colour of fully transparent pixels too
        } else {
            config.quality = static_cast<float>(options_.quality);
        }
        WebPPicture input;
        if (WebPPictureInit(&input) == 0) {
            throw HostError::writing(name_, "cannot encode WebP (library version mismatch)");
        }
        input.width = layout_.width;
        input.height = layout_.height;
        input.use_argb = 1;
        WebPMemoryWriter written;
        WebPMemoryWriterInit(&written);
        input.writer = WebPMemoryWrite;
        input.custom_ptr = &written;
        const bool imported = layout_.hasAlpha ? WebPPictureImportBGRA(&input, picture_.data(), 4 * layout_.width) != 0
                                               : WebPPictureImportBGRX(&input, picture_.data(), 4 * layout_.width) != 0;
        picture_.release();  // libwebp holds its own copy now
        const bool encoded = imported && WebPEncode(&config, &input) != 0;
        const WebPEncodingError error = input.error_code;
        WebPPictureFree(&input);
        std::vector<std::uint8_t> out;
        if (encoded) {
            out.assign(written.mem, written.mem + written.size);
        }
        WebPMemoryWriterClear(&written);
        if (!encoded) {
            throw HostError::writing(
                name_, std::string("cannot encode WebP (") + (imported ? encodingError(error) : "out of memory") + ")");
        }
        const ImageMetadata& metadata = metadata_;
        const std::string& xmp = metadata.xmp;
        if (metadata.iccProfile.empty() && metadata.exif.empty() && xmp.empty()) {
            return out;
        }
        // The container: the image, then its ICC profile, EXIF and XMP chunks.
        const WebPData bitstream{out.data(), out.size()};
        const std::unique_ptr<WebPMux, MuxRelease> mux(WebPMuxCreate(&bitstream, 1));
        bool ok = mux != nullptr;
        if (ok && !metadata.iccProfile.empty()) {
            const WebPData profile{metadata.iccProfile.data(), metadata.iccProfile.size()};
            ok = WebPMuxSetChunk(mux.get(), "ICCP", &profile, 1) == WEBP_MUX_OK;
        }
        if (ok && !metadata.exif.empty()) {
            const WebPData exif{metadata.exif.data(), metadata.exif.size()};
            ok = WebPMuxSetChunk(mux.get(), "EXIF", &exif, 1) == WEBP_MUX_OK;
        }
        if (ok && !xmp.empty()) {
            const WebPData packet{reinterpret_cast<const std::uint8_t*>(xmp.data()), xmp.size()};
            ok = WebPMuxSetChunk(mux.get(), "XMP ", &packet, 1) == WEBP_MUX_OK;
        }
        WebPData assembled{};
        ok = ok && WebPMuxAssemble(mux.get(), &assembled) == WEBP_MUX_OK;
        if (!ok) {
            WebPDataClear(&assembled);
            report_.leftOut("ICC profile, EXIF and XMP", "libwebp cannot add them");
            return out;
        }
        out.assign(assembled.bytes, assembled.bytes + assembled.size);
        WebPDataClear(&assembled);
        return out;
    }

    ByteSink& out_;
    std::string name_;
    PictureLayout layout_;
    ImageMetadata metadata_;
    EncodeOptions options_;
    EncodeReport& report_;
    HeldPicture picture_;
};

}  // namespace

std::unique_ptr<ImageReader> openWebpReader(ByteSource& file, const ReadLimits& limits) {
    return std::make_unique<WebpReader>(file, limits);
}

std::unique_ptr<ImageWriter> openWebpWriter(ByteSink& out, const PictureLayout& layout, const ImageMetadata& metadata,
                                            const EncodeOptions& options, EncodeReport& report) {
    return std::make_unique<WebpWriter>(out, layout, metadata, options, report);
}

}  // namespace host
