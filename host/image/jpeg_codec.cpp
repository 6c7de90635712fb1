// JPEG through libjpeg-turbo.
#include <cstdio>  // jpeglib.h needs FILE and size_t first

#include <jerror.h>
#include <jpeglib.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "host/host_error.h"
#include "host/image/codecs.h"
#include "host/image/jpeg_segments.h"
#include "host/image/metadata.h"
#include "host/image/print_resolution.h"

namespace host {

namespace {

// libjpeg reports errors through error_exit, which must not return; the
// exception unwinds through libjpeg back to the decoder or encoder below,
// whose guard destroys libjpeg's state.
class JpegError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void throwJpegError(j_common_ptr common) {
    char message[JMSG_LENGTH_MAX] = {};
    (*common->err->format_message)(common, message);
    throw JpegError(message);
}

// Warnings are ignored (libjpeg recovers from them), except the one that
// says the file ended early: the rest of the picture would be made up.
void onJpegMessage(j_common_ptr common, int level) {
    if (level < 0) {
        if (common->err->msg_code == JWRN_JPEG_EOF) {
            throwJpegError(common);
        }
        ++common->err->num_warnings;
    }
}

// Progressive files may hold any number of scans, each of which costs a
// pass over the whole image; real ones have a dozen or so.
constexpr int kMaxScans = 1000;
void limitScans(j_common_ptr common) {
    if (common->is_decompressor) {
        const auto* decompress = reinterpret_cast<j_decompress_ptr>(common);
        if (decompress->input_scan_number > kMaxScans) {
            throw JpegError("more than " + std::to_string(kMaxScans) + " scans");
        }
    }
}

struct DecompressGuard {
    jpeg_decompress_struct* info;
    ~DecompressGuard() { jpeg_destroy_decompress(info); }
};
struct CompressGuard {
    jpeg_compress_struct* info;
    ~CompressGuard() { jpeg_destroy_compress(info); }
};

// Four bytes of CMYK (Adobe's files store them inverted) to BGRA, without
// colour management: each channel is the product of its ink and black.
void cmykToBgra(const JSAMPLE* cmyk, std::uint8_t* bgra, int width, bool inverted) {
    for (int x = 0; x < width; ++x, cmyk += 4, bgra += 4) {
        const int k = inverted ? cmyk[3] : 255 - cmyk[3];
        for (int c = 0; c < 3; ++c) {
            const int ink = inverted ? cmyk[c] : 255 - cmyk[c];
            bgra[2 - c] = static_cast<std::uint8_t>((ink * k + 127) / 255);
        }
        bgra[3] = 255;
    }
}

// The metadata blocks among the markers libjpeg saved.
void takeMetadata(jpeg_decompress_struct& info, DecodedFile& decoded) {
    ExtendedXmpChunks extensions;
    std::vector<std::uint8_t> photoshopResources;
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker != nullptr; marker = marker->next) {
        const std::uint8_t* payload = marker->data;
        const std::size_t size = marker->data_length;
        if (marker->marker == JPEG_APP0 + 1) {
            if (decoded.metadata.exif.empty() && startsWith(payload, size, kExifSignature, kExifSignatureSize)) {
                decoded.metadata.exif.assign(payload + kExifSignatureSize, payload + size);
            } else if (decoded.metadata.xmp.empty() && startsWith(payload, size, kXmpSignature, kXmpSignatureSize)) {
                decoded.metadata.xmp.assign(payload + kXmpSignatureSize, payload + size);
            } else if (startsWith(payload, size, kXmpExtensionSignature, kXmpExtensionSignatureSize)) {
                extensions.add(payload, size);
            }
        } else if (marker->marker == JPEG_COM) {
            decoded.metadata.comments.emplace_back(reinterpret_cast<const char*>(payload), size);
        } else if (marker->marker == JPEG_APP0 + 13 &&
                   startsWith(payload, size, kPhotoshopSignature, kPhotoshopSignatureSize)) {
            // Resources too large for one segment continue in the next.
            photoshopResources.insert(photoshopResources.end(), payload + kPhotoshopSignatureSize, payload + size);
        }
    }
    decoded.xmpExtensions = extensions.packets();
    if (!photoshopResources.empty()) {
        decoded.metadata.iptc = iptcFromPhotoshopResources(photoshopResources);
    }
}

// A destination that appends libjpeg's output to a vector this code owns,
// in blocks of 64 KiB, so that nothing of libjpeg's own buffers outlives
// an error.
struct VectorDestination {
    jpeg_destination_mgr manager{};
    std::vector<std::uint8_t>* out = nullptr;
    std::vector<JOCTET> block = std::vector<JOCTET>(std::size_t{1} << 16);

    explicit VectorDestination(std::vector<std::uint8_t>& target) : out(&target) {
        manager.init_destination = [](j_compress_ptr info) { restart(info); };
        manager.empty_output_buffer = [](j_compress_ptr info) -> boolean {
            auto* self = of(info);
            self->out->insert(self->out->end(), self->block.begin(), self->block.end());
            restart(info);
            return TRUE;
        };
        manager.term_destination = [](j_compress_ptr info) {
            auto* self = of(info);
            const std::size_t used = self->block.size() - info->dest->free_in_buffer;
            self->out->insert(self->out->end(), self->block.begin(),
                              self->block.begin() + static_cast<std::ptrdiff_t>(used));
        };
    }
    // Attached through libjpeg's field for the application's own data.
    void attach(jpeg_compress_struct& info) {
        info.client_data = this;
        info.dest = &manager;
    }
    static VectorDestination* of(j_compress_ptr info) { return static_cast<VectorDestination*>(info->client_data); }
    static void restart(j_compress_ptr info) {
        auto* self = of(info);
        info->dest->next_output_byte = self->block.data();
        info->dest->free_in_buffer = self->block.size();
    }
};

void writeMarker(jpeg_compress_struct& info, int marker, const std::vector<std::uint8_t>& payload) {
    jpeg_write_marker(&info, marker, payload.data(), static_cast<unsigned>(payload.size()));
}

std::vector<std::uint8_t> withSignature(const char* signature, std::size_t signatureSize,
                                        const std::vector<std::uint8_t>& block) {
    std::vector<std::uint8_t> payload(signature, signature + signatureSize);
    payload.insert(payload.end(), block.begin(), block.end());
    return payload;
}

}  // namespace

DecodedFile decodeJpeg(const std::vector<std::uint8_t>& file, const std::string& name, std::uint64_t maxBytes) {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    errors.error_exit = throwJpegError;
    errors.emit_message = onJpegMessage;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = limitScans;
    DecodedFile decoded;
    try {
        jpeg_create_decompress(&info);
        const DecompressGuard guard{&info};
        info.progress = &progress;
        jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
        jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);   // EXIF, XMP
        jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);   // ICC profile
        jpeg_save_markers(&info, JPEG_APP0 + 13, 0xFFFF);  // IPTC-IIM among Photoshop's resources
        jpeg_save_markers(&info, JPEG_COM, 0xFFFF);        // comments
        jpeg_read_header(&info, TRUE);
        // JFIF's density, unless it is the 1:1 that says nothing.
        if (info.saw_JFIF_marker && info.X_density > 0 && info.Y_density > 0 &&
            (info.density_unit != 0 || info.X_density != info.Y_density)) {
            decoded.metadata.resolution =
                PrintResolution{static_cast<double>(info.X_density), static_cast<double>(info.Y_density),
                                info.density_unit == 1   ? PrintResolution::Unit::Inch
                                : info.density_unit == 2 ? PrintResolution::Unit::Centimetre
                                                         : PrintResolution::Unit::None};
        }
        decoded.image = imageForFile(name, info.image_width, info.image_height, maxBytes);

        JOCTET* profile = nullptr;
        unsigned profileLength = 0;
        if (jpeg_read_icc_profile(&info, &profile, &profileLength) && profile != nullptr) {
            decoded.metadata.iccProfile.assign(profile, profile + profileLength);
            std::free(profile);  // allocated by libjpeg with malloc
        }
        takeMetadata(info, decoded);

        const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
        info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
        jpeg_start_decompress(&info);
        if (info.output_width != info.image_width || info.output_height != info.image_height ||
            info.output_components != 4) {
            throw JpegError("unexpected output layout");
        }
        std::vector<JSAMPLE> cmykRow(cmyk ? std::size_t{4} * info.output_width : 0);
        while (info.output_scanline < info.output_height) {
            const int y = static_cast<int>(info.output_scanline);
            JSAMPROW row = cmyk ? cmykRow.data() : decoded.image.at(0, y);
            if (jpeg_read_scanlines(&info, &row, 1) != 1) {
                throw JpegError("the file ends early");
            }
            if (cmyk) {
                cmykToBgra(cmykRow.data(), decoded.image.at(0, y), decoded.image.width, info.saw_Adobe_marker != 0);
            }
        }
        jpeg_finish_decompress(&info);
    } catch (const JpegError& error) {
        throw HostError("'" + name + "' is not a valid JPEG image (" + error.what() + ")");
    }
    return decoded;
}

std::vector<std::uint8_t> encodeJpeg(const BgraImage& image, const ImageMetadata& metadata,
                                     const EncodeOptions& options, EncodeReport& report) {
    // The metadata's segments, made before libjpeg starts: APP1 EXIF, APP1
    // XMP (and extended XMP), APP13 IPTC-IIM.
    std::vector<std::uint8_t> exif =
        metadata.exif.empty() ? std::vector<std::uint8_t>() : exifForJpeg(metadata.exif, report);
    if (exif.size() > kMaxSegmentPayload - kExifSignatureSize) {
        report.leftOut("EXIF", "more than one JPEG segment holds");
        exif.clear();
    }
    std::vector<std::vector<std::uint8_t>> xmpPayloads;
    if (!metadata.xmp.empty()) {
        const JpegXmp xmp = xmpForJpeg(metadata.xmp, kMaxStandardXmp, report);
        if (!xmp.standard.empty()) {
            xmpPayloads = xmpSegments(xmp.standard, xmp.extended, xmp.guid);
        }
    }
    std::vector<std::uint8_t> iptc;
    if (!metadata.iptc.empty()) {
        iptc = withSignature(kPhotoshopSignature, kPhotoshopSignatureSize, photoshopResourcesWith(metadata.iptc));
        if (iptc.size() > kMaxSegmentPayload) {
            report.leftOut("IPTC-IIM data", "more than one JPEG segment holds");
            iptc.clear();
        }
    }

    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    errors.error_exit = throwJpegError;
    std::vector<std::uint8_t> out;
    VectorDestination destination(out);
    try {
        jpeg_create_compress(&info);
        const CompressGuard guard{&info};
        destination.attach(info);
        info.image_width = static_cast<JDIMENSION>(image.width);
        info.image_height = static_cast<JDIMENSION>(image.height);
        info.input_components = 4;
        info.in_color_space = JCS_EXT_BGRX;  // JPEG has no alpha: the fourth byte is dropped
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, options.quality, TRUE);
        info.optimize_coding = TRUE;
        if (options.quality >= 90) {
            // Full-resolution colour at high quality, as image tools do.
            info.comp_info[0].h_samp_factor = 1;
            info.comp_info[0].v_samp_factor = 1;
        }
        // EXIF's APP1 segment must come first; a JFIF segment would precede
        // it. Without EXIF, JFIF carries the resolution.
        info.write_JFIF_header = exif.empty() ? TRUE : FALSE;
        if (metadata.resolution && exif.empty()) {
            const JfifDensity density = jfifDensityFor(*metadata.resolution);
            info.density_unit = density.unit;
            info.X_density = density.x;
            info.Y_density = density.y;
        }
        jpeg_start_compress(&info, TRUE);
        if (!exif.empty()) {
            writeMarker(info, JPEG_APP0 + 1, withSignature(kExifSignature, kExifSignatureSize, exif));
        }
        for (const std::vector<std::uint8_t>& payload : xmpPayloads) {
            writeMarker(info, JPEG_APP0 + 1, payload);
        }
        if (!metadata.iccProfile.empty()) {
            jpeg_write_icc_profile(&info, metadata.iccProfile.data(),
                                   static_cast<unsigned>(metadata.iccProfile.size()));
        }
        if (!iptc.empty()) {
            writeMarker(info, JPEG_APP0 + 13, iptc);
        }
        for (const std::string& comment : metadata.comments) {
            if (comment.size() > kMaxSegmentPayload) {
                report.leftOut("comment", "it is longer than a JPEG segment holds");
                continue;
            }
            jpeg_write_marker(&info, JPEG_COM, reinterpret_cast<const JOCTET*>(comment.data()),
                              static_cast<unsigned>(comment.size()));
        }
        while (info.next_scanline < info.image_height) {
            JSAMPROW row = const_cast<JSAMPROW>(image.at(0, static_cast<int>(info.next_scanline)));
            jpeg_write_scanlines(&info, &row, 1);
        }
        jpeg_finish_compress(&info);
    } catch (const JpegError& error) {
        throw HostError(std::string("cannot encode JPEG (") + error.what() + ")");
    }
    return out;
}

}  // namespace host
