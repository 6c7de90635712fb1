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
#include "host/image/codecs.h"
#include "host/image/jpeg_segments.h"
#include "host/image/metadata.h"

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
void decodeFirstFrame(const WebPData& data, const std::string& name, DecodedFile& decoded) {
    WebPAnimDecoderOptions options;
    if (WebPAnimDecoderOptionsInit(&options) == 0) {
        throw HostError("'" + name + "': libwebp version mismatch");
    }
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const std::unique_ptr<WebPAnimDecoder, AnimDecoderRelease> decoder(WebPAnimDecoderNew(&data, &options));
    WebPAnimInfo info{};
    if (!decoder || WebPAnimDecoderGetInfo(decoder.get(), &info) == 0 ||
        info.canvas_width != static_cast<std::uint32_t>(decoded.image.width) ||
        info.canvas_height != static_cast<std::uint32_t>(decoded.image.height)) {
        throw HostError("'" + name + "' is not a valid WebP image (bad animation)");
    }
    std::uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) == 0 || canvas == nullptr) {
        throw HostError("'" + name + "' is not a valid WebP image (corrupt first frame)");
    }
    std::memcpy(decoded.image.pixels.data(), canvas, decoded.image.pixels.size());
    decoded.image.hasAlpha = true;  // the canvas around and between frames may be transparent
    decoded.pages = static_cast<int>(std::min<std::uint32_t>(info.frame_count, 1u << 30));
    decoded.pageKind = "frame";
}

}  // namespace

DecodedFile decodeWebp(const std::vector<std::uint8_t>& file, const std::string& name, std::uint64_t maxBytes) {
    WebPBitstreamFeatures features{};
    if (WebPGetFeatures(file.data(), file.size(), &features) != VP8_STATUS_OK) {
        throw HostError("'" + name + "' is not a valid WebP image");
    }
    DecodedFile decoded;
    decoded.image = imageForFile(name, static_cast<std::uint64_t>(features.width),
                                 static_cast<std::uint64_t>(features.height), maxBytes);
    decoded.image.hasAlpha = features.has_alpha != 0;
    const WebPData data{file.data(), file.size()};
    const std::unique_ptr<WebPDemuxer, DemuxRelease> demux(WebPDemux(&data));
    if (!demux) {
        throw HostError("'" + name + "' is not a valid WebP image (bad container)");
    }
    decoded.metadata.iccProfile = chunk(demux.get(), "ICCP");
    const std::vector<std::uint8_t> exif = chunk(demux.get(), "EXIF");
    decoded.metadata.exif = exifWithoutSignature(exif.data(), exif.size());
    const std::vector<std::uint8_t> xmp = chunk(demux.get(), "XMP ");
    decoded.metadata.xmp.assign(xmp.begin(), xmp.end());
    if (features.has_animation != 0) {
        decodeFirstFrame(data, name, decoded);
        return decoded;
    }
    if (WebPDecodeBGRAInto(file.data(), file.size(), decoded.image.pixels.data(), decoded.image.pixels.size(),
                           4 * decoded.image.width) == nullptr) {
        throw HostError("'" + name + "' is not a valid WebP image (corrupt image data)");
    }
    return decoded;
}

std::vector<std::uint8_t> encodeWebp(const BgraImage& image, const ImageMetadata& metadata,
                                     const EncodeOptions& options, EncodeReport& report) {
    WebPConfig config;
    if (WebPConfigInit(&config) == 0) {
        throw HostError("cannot encode WebP (library version mismatch)");
    }
    if (options.lossless) {
        WebPConfigLosslessPreset(&config, 6);
        config.exact = 1;  // keep the colour of fully transparent pixels too
    } else {
        config.quality = static_cast<float>(options.quality);
    }
    WebPPicture input;
    if (WebPPictureInit(&input) == 0) {
        throw HostError("cannot encode WebP (library version mismatch)");
    }
    input.width = image.width;
    input.height = image.height;
    input.use_argb = 1;
    WebPMemoryWriter written;
    WebPMemoryWriterInit(&written);
    input.writer = WebPMemoryWrite;
    input.custom_ptr = &written;
    const bool imported = image.hasAlpha ? WebPPictureImportBGRA(&input, image.pixels.data(), 4 * image.width) != 0
                                         : WebPPictureImportBGRX(&input, image.pixels.data(), 4 * image.width) != 0;
    const bool encoded = imported && WebPEncode(&config, &input) != 0;
    const WebPEncodingError error = input.error_code;
    WebPPictureFree(&input);
    std::vector<std::uint8_t> out;
    if (encoded) {
        out.assign(written.mem, written.mem + written.size);
    }
    WebPMemoryWriterClear(&written);
    if (!encoded) {
        throw HostError(std::string("cannot encode WebP (") + (imported ? encodingError(error) : "out of memory") +
                        ")");
    }

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
        report.leftOut("ICC profile, EXIF and XMP", "libwebp cannot add them");
        return out;
    }
    out.assign(assembled.bytes, assembled.bytes + assembled.size);
    WebPDataClear(&assembled);
    return out;
}

}  // namespace host
