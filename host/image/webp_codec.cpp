// WebP through libwebp (decoder, encoder, and its container library for the
// ICC profile and EXIF chunks).
#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

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

}  // namespace

DecodedFile decodeWebp(const std::vector<std::uint8_t>& file, const std::string& name, std::uint64_t maxBytes) {
    WebPBitstreamFeatures features{};
    if (WebPGetFeatures(file.data(), file.size(), &features) != VP8_STATUS_OK) {
        throw HostError("'" + name + "' is not a valid WebP image");
    }
    if (features.has_animation != 0) {
        throw HostError("'" + name + "' is an animated WebP image, which the host does not tone");
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

    // WebP has no place for IPTC-IIM; the XMP carries its IPTC Core fields.
    const std::string xmp = xmpCarryingIptc(metadata, report);
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
        throw HostError("cannot encode WebP (libwebp cannot add the ICC profile, EXIF or XMP)");
    }
    out.assign(assembled.bytes, assembled.bytes + assembled.size);
    WebPDataClear(&assembled);
    return out;
}

}  // namespace host
