// JPEG through libjpeg-turbo, a band of rows at a time both ways.
#include <cstdio>  // jpeglib.h needs FILE and size_t first

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "host/host_error.h"
#include "host/image/codecs.h"
#include "host/image/held_picture.h"
#include "host/image/jpeg_metadata.h"
#include "host/image/jpeg_segments.h"
#include "host/metadata/print_resolution.h"

namespace host {

namespace {

// libjpeg reports errors through error_exit, which must not return; the
// exception unwinds through libjpeg back to the reader or writer below,
// whose destructor destroys libjpeg's state.
class JpegError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void throwJpegError(j_common_ptr common) {
    char message[JMSG_LENGTH_MAX] = {};
    (*common->err->format_message)(common, message);
    throw JpegError(message);
}

// Warnings are ignored (libjpeg recovers from them), except those that say
// the picture's data ended early: libjpeg would make up the rest, and a
// file of a few bytes that claims a huge picture would cost as much as the
// picture.
void onJpegMessage(j_common_ptr common, int level) {
    if (level < 0) {
        if (common->err->msg_code == JWRN_JPEG_EOF || common->err->msg_code == JWRN_HIT_MARKER) {
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

constexpr std::size_t kBlockBytes = std::size_t{1} << 16;

// libjpeg's input, read from the file in blocks.
struct SourceManager {
    jpeg_source_mgr manager{};
    ByteSource* file = nullptr;
    std::vector<JOCTET> block = std::vector<JOCTET>(kBlockBytes);

    static SourceManager* of(j_decompress_ptr info) { return static_cast<SourceManager*>(info->client_data); }

    void attach(jpeg_decompress_struct& info, ByteSource& source) {
        file = &source;
        info.client_data = this;
        info.src = &manager;
        manager.init_source = [](j_decompress_ptr) {};
        manager.fill_input_buffer = [](j_decompress_ptr info) -> boolean {
            SourceManager* self = of(info);
            std::size_t got = self->file->read(self->block.data(), self->block.size());
            if (got == 0) {
                // The file ended: an end-of-image marker, and libjpeg's
                // warning, which onJpegMessage turns into an error.
                WARNMS(info, JWRN_JPEG_EOF);
                self->block[0] = 0xFF;
                self->block[1] = JPEG_EOI;
                got = 2;
            }
            info->src->next_input_byte = self->block.data();
            info->src->bytes_in_buffer = got;
            return TRUE;
        };
        manager.skip_input_data = [](j_decompress_ptr info, long count) {
            while (count > 0) {
                if (count <= static_cast<long>(info->src->bytes_in_buffer)) {
                    info->src->next_input_byte += count;
                    info->src->bytes_in_buffer -= static_cast<std::size_t>(count);
                    return;
                }
                count -= static_cast<long>(info->src->bytes_in_buffer);
                info->src->bytes_in_buffer = 0;
                (*info->src->fill_input_buffer)(info);
            }
        };
        manager.resync_to_restart = jpeg_resync_to_restart;
        manager.term_source = [](j_decompress_ptr) {};
    }
};

// libjpeg's output, written to the file in blocks.
struct DestinationManager {
    jpeg_destination_mgr manager{};
    ByteSink* out = nullptr;
    std::vector<JOCTET> block = std::vector<JOCTET>(kBlockBytes);

    static DestinationManager* of(j_compress_ptr info) { return static_cast<DestinationManager*>(info->client_data); }

    void attach(jpeg_compress_struct& info, ByteSink& sink) {
        out = &sink;
        info.client_data = this;
        info.dest = &manager;
        manager.init_destination = [](j_compress_ptr info) { restart(info); };
        manager.empty_output_buffer = [](j_compress_ptr info) -> boolean {
            DestinationManager* self = of(info);
            self->out->write(self->block.data(), self->block.size());
            restart(info);
            return TRUE;
        };
        manager.term_destination = [](j_compress_ptr info) {
            DestinationManager* self = of(info);
            self->out->write(self->block.data(), self->block.size() - info->dest->free_in_buffer);
        };
    }
    static void restart(j_compress_ptr info) {
        DestinationManager* self = of(info);
        info->dest->next_output_byte = self->block.data();
        info->dest->free_in_buffer = self->block.size();
    }
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
void takeMetadata(jpeg_decompress_struct& info, FileHeader& header) {
    ExtendedXmpChunks extensions;
    std::vector<std::uint8_t> photoshopResources;
    ImageMetadata& metadata = header.metadata;
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker != nullptr; marker = marker->next) {
        const std::uint8_t* payload = marker->data;
        const std::size_t size = marker->data_length;
        if (marker->marker == JPEG_APP0 + 1) {
            if (metadata.exif.empty() && startsWith(payload, size, kExifSignature, kExifSignatureSize)) {
                metadata.exif.assign(payload + kExifSignatureSize, payload + size);
            } else if (metadata.xmp.empty() && startsWith(payload, size, kXmpSignature, kXmpSignatureSize)) {
                metadata.xmp.assign(payload + kXmpSignatureSize, payload + size);
            } else if (startsWith(payload, size, kXmpExtensionSignature, kXmpExtensionSignatureSize)) {
                extensions.add(payload, size);
            }
        } else if (marker->marker == JPEG_COM) {
            metadata.comments.emplace_back(reinterpret_cast<const char*>(payload), size);
        } else if (marker->marker == JPEG_APP0 + 13 &&
                   startsWith(payload, size, kPhotoshopSignature, kPhotoshopSignatureSize)) {
            // Resources too large for one segment continue in the next.
            photoshopResources.insert(photoshopResources.end(), payload + kPhotoshopSignatureSize, payload + size);
        }
    }
    header.xmpExtensions = extensions.packets();
    if (!photoshopResources.empty()) {
        metadata.iptc = iptcFromPhotoshopResources(photoshopResources);
    }
    // JFIF's density, unless it is the 1:1 that says nothing.
    if (info.saw_JFIF_marker && info.X_density > 0 && info.Y_density > 0 &&
        (info.density_unit != 0 || info.X_density != info.Y_density)) {
        metadata.resolution = PrintResolution{static_cast<double>(info.X_density), static_cast<double>(info.Y_density),
                                              info.density_unit == 1   ? PrintResolution::Unit::Inch
                                              : info.density_unit == 2 ? PrintResolution::Unit::Centimetre
                                                                       : PrintResolution::Unit::None};
    }
}

// Destroys libjpeg's state with the object that holds it, also when its
// constructor throws.
struct DecompressGuard {
    jpeg_decompress_struct* info;
    bool created = false;
    ~DecompressGuard() {
        if (created) {
            jpeg_destroy_decompress(info);
        }
    }
};
struct CompressGuard {
    jpeg_compress_struct* info;
    bool created = false;
    ~CompressGuard() {
        if (created) {
            jpeg_destroy_compress(info);
        }
    }
};

class JpegReader : public ImageReader {
public:
    JpegReader(ByteSource& file, const ReadLimits& limits) : name_(file.name()) {
        info_.err = jpeg_std_error(&errors_);
        errors_.error_exit = throwJpegError;
        errors_.emit_message = onJpegMessage;
        progress_.progress_monitor = limitScans;
        try {
            jpeg_create_decompress(&info_);
            guard_.created = true;
            info_.progress = &progress_;
            // Progressive files hold their coefficients whole (checked
            // below); libjpeg's other buffers are small beside them.
            info_.mem->max_memory_to_use = static_cast<long>(std::min<std::uint64_t>(
                limits.maxMemoryBytes + (std::uint64_t{64} << 20), static_cast<std::uint64_t>(LONG_MAX)));
            source_.attach(info_, file);
            jpeg_save_markers(&info_, JPEG_APP0 + 1, 0xFFFF);   // EXIF, XMP
            jpeg_save_markers(&info_, JPEG_APP0 + 2, 0xFFFF);   // ICC profile
            jpeg_save_markers(&info_, JPEG_APP0 + 13, 0xFFFF);  // IPTC-IIM among Photoshop's resources
            jpeg_save_markers(&info_, JPEG_COM, 0xFFFF);        // comments
            jpeg_read_header(&info_, TRUE);
            header_.layout = checkedLayout(name_, info_.image_width, info_.image_height, false, limits);
            checkCoefficients(limits);

            JOCTET* profile = nullptr;
            unsigned profileLength = 0;
            if (jpeg_read_icc_profile(&info_, &profile, &profileLength) && profile != nullptr) {
                header_.metadata.iccProfile.assign(profile, profile + profileLength);
                std::free(profile);  // allocated by libjpeg with malloc
            }
            takeMetadata(info_, header_);

            cmyk_ = info_.jpeg_color_space == JCS_CMYK || info_.jpeg_color_space == JCS_YCCK;
            info_.out_color_space = cmyk_ ? JCS_CMYK : JCS_EXT_BGRA;
            jpeg_start_decompress(&info_);
            if (info_.output_width != info_.image_width || info_.output_height != info_.image_height ||
                info_.output_components != 4) {
                throw JpegError("unexpected output layout");
            }
            cmykRow_.resize(cmyk_ ? std::size_t{4} * info_.output_width : 0);
        } catch (const JpegError& error) {
            throw HostError::reading(name_, std::string("not a valid JPEG image (") + error.what() + ")");
        }
    }
    JpegReader(const JpegReader&) = delete;
    JpegReader& operator=(const JpegReader&) = delete;

    void readRows(std::uint8_t* bgra, int rows) override {
        const std::size_t stride = std::size_t{4} * info_.output_width;
        try {
            for (int done = 0; done < rows;) {
                if (info_.output_scanline >= info_.output_height) {
                    throw JpegError("more rows asked for than the picture has");
                }
                std::uint8_t* out = bgra + static_cast<std::size_t>(done) * stride;
                if (cmyk_) {
                    JSAMPROW row = cmykRow_.data();
                    if (jpeg_read_scanlines(&info_, &row, 1) != 1) {
                        throw JpegError("the file ends early");
                    }
                    cmykToBgra(cmykRow_.data(), out, static_cast<int>(info_.output_width), info_.saw_Adobe_marker != 0);
                    ++done;
                    continue;
                }
                // As many rows as libjpeg gives at once (its row group).
                JSAMPROW pointers[16];
                const int want = std::min(rows - done, 16);
                for (int i = 0; i < want; ++i) {
                    pointers[i] = out + static_cast<std::size_t>(i) * stride;
                }
                const JDIMENSION got = jpeg_read_scanlines(&info_, pointers, static_cast<JDIMENSION>(want));
                if (got == 0) {
                    throw JpegError("the file ends early");
                }
                done += static_cast<int>(got);
            }
        } catch (const JpegError& error) {
            throw HostError::reading(name_, std::string("not a valid JPEG image (") + error.what() + ")");
        }
    }

private:
    // A progressive (or multi-scan) file is decoded from all of its
    // coefficients, held whole: 128 bytes a block of 8 x 8 samples, each
    // component's blocks padded to its sampling factors. Pictures whose
    // coefficients pass the limit are refused by name, before anything of
    // their size is allocated.
    void checkCoefficients(const ReadLimits& limits) {
        if (jpeg_has_multiple_scans(&info_) == 0) {
            return;
        }
        std::uint64_t bytes = 0;
        for (int c = 0; c < info_.num_components; ++c) {
            const jpeg_component_info& component = info_.comp_info[c];
            auto roundUp = [](std::uint64_t value, std::uint64_t step) { return (value + step - 1) / step * step; };
            bytes += roundUp(component.width_in_blocks, static_cast<std::uint64_t>(component.h_samp_factor)) *
                     roundUp(component.height_in_blocks, static_cast<std::uint64_t>(component.v_samp_factor)) *
                     sizeof(JBLOCK);
        }
        checkHeldWhole(Phase::Read, name_, "a progressive JPEG", info_.image_width, info_.image_height, bytes,
                       limits.maxMemoryBytes);
    }

    std::string name_;
    jpeg_decompress_struct info_{};
    jpeg_error_mgr errors_{};
    jpeg_progress_mgr progress_{};
    SourceManager source_;
    DecompressGuard guard_{&info_};
    bool cmyk_ = false;
    std::vector<JSAMPLE> cmykRow_;
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

// The metadata's segments, made before libjpeg starts: APP1 EXIF, APP1 XMP
// (and extended XMP), APP13 IPTC-IIM; what does not fit is left out with a
// warning.
struct MetadataSegments {
    std::vector<std::uint8_t> exif;
    std::vector<std::vector<std::uint8_t>> xmp;
    std::vector<std::uint8_t> iptc;
};

MetadataSegments segmentsFor(const ImageMetadata& metadata, EncodeReport& report) {
    MetadataSegments segments;
    if (!metadata.exif.empty()) {
        segments.exif = exifForJpeg(metadata.exif, report);
        if (segments.exif.size() > kMaxSegmentPayload - kExifSignatureSize) {
            report.leftOut("EXIF", "more than one JPEG segment holds");
            segments.exif.clear();
        }
    }
    if (!metadata.xmp.empty()) {
        const JpegXmp xmp = xmpForJpeg(metadata.xmp, kMaxStandardXmp, report);
        if (!xmp.standard.empty()) {
            segments.xmp = xmpSegments(xmp.standard, xmp.extended, xmp.guid);
        }
    }
    if (!metadata.iptc.empty()) {
        segments.iptc =
            withSignature(kPhotoshopSignature, kPhotoshopSignatureSize, photoshopResourcesWith(metadata.iptc));
        if (segments.iptc.size() > kMaxSegmentPayload) {
            report.leftOut("IPTC-IIM data", "more than one JPEG segment holds");
            segments.iptc.clear();
        }
    }
    return segments;
}

class JpegWriter : public ImageWriter {
public:
    JpegWriter(ByteSink& out, const PictureLayout& layout, const ImageMetadata& metadata, const EncodeOptions& options,
               EncodeReport& report)
        : name_(out.name()), height_(layout.height) {
        const MetadataSegments segments = segmentsFor(metadata, report);
        info_.err = jpeg_std_error(&errors_);
        errors_.error_exit = throwJpegError;
        try {
            jpeg_create_compress(&info_);
            guard_.created = true;
            destination_.attach(info_, out);
            setPicture(layout, options);
            // EXIF's APP1 segment must come first; a JFIF segment would
            // precede it. Without EXIF, JFIF carries the resolution.
            info_.write_JFIF_header = segments.exif.empty() ? TRUE : FALSE;
            if (metadata.resolution && segments.exif.empty()) {
                const JfifDensity density = jfifDensityFor(*metadata.resolution);
                info_.density_unit = density.unit;
                info_.X_density = density.x;
                info_.Y_density = density.y;
            }
            jpeg_start_compress(&info_, TRUE);
            writeSegments(segments, metadata, report);
        } catch (const JpegError& error) {
            throw HostError::writing(name_, std::string("cannot encode JPEG (") + error.what() + ")");
        }
    }
    JpegWriter(const JpegWriter&) = delete;
    JpegWriter& operator=(const JpegWriter&) = delete;

    void writeRows(const std::uint8_t* bgra, int rows) override {
        const std::size_t stride = std::size_t{4} * info_.image_width;
        try {
            for (int done = 0; done < rows;) {
                JSAMPROW pointers[16];
                const int count = std::min(rows - done, 16);
                for (int i = 0; i < count; ++i) {
                    pointers[i] = const_cast<JSAMPROW>(bgra + static_cast<std::size_t>(done + i) * stride);
                }
                done += static_cast<int>(jpeg_write_scanlines(&info_, pointers, static_cast<JDIMENSION>(count)));
            }
        } catch (const JpegError& error) {
            throw HostError::writing(name_, std::string("cannot encode JPEG (") + error.what() + ")");
        }
    }

    void finish() override {
        try {
            if (info_.next_scanline != static_cast<JDIMENSION>(height_)) {
                throw JpegError("the picture is incomplete");
            }
            jpeg_finish_compress(&info_);
        } catch (const JpegError& error) {
            throw HostError::writing(name_, std::string("cannot encode JPEG (") + error.what() + ")");
        }
    }

private:
    void setPicture(const PictureLayout& layout, const EncodeOptions& options) {
        info_.image_width = static_cast<JDIMENSION>(layout.width);
        info_.image_height = static_cast<JDIMENSION>(layout.height);
        info_.input_components = 4;
        info_.in_color_space = JCS_EXT_BGRX;  // JPEG has no alpha: the fourth byte is dropped
        jpeg_set_defaults(&info_);
        jpeg_set_quality(&info_, options.quality, TRUE);
        // Huffman tables of the defaults: optimised ones would need the
        // whole picture's coefficients in memory, and a second pass.
        info_.optimize_coding = FALSE;
        if (options.quality >= 90) {
            // Full-resolution colour at high quality, as image tools do.
            info_.comp_info[0].h_samp_factor = 1;
            info_.comp_info[0].v_samp_factor = 1;
        }
    }

    // The segments, in the order readers expect them, after the start of
    // the picture.
    void writeSegments(const MetadataSegments& segments, const ImageMetadata& metadata, EncodeReport& report) {
        if (!segments.exif.empty()) {
            writeMarker(info_, JPEG_APP0 + 1, withSignature(kExifSignature, kExifSignatureSize, segments.exif));
        }
        for (const std::vector<std::uint8_t>& payload : segments.xmp) {
            writeMarker(info_, JPEG_APP0 + 1, payload);
        }
        if (!metadata.iccProfile.empty()) {
            jpeg_write_icc_profile(&info_, metadata.iccProfile.data(),
                                   static_cast<unsigned>(metadata.iccProfile.size()));
        }
        if (!segments.iptc.empty()) {
            writeMarker(info_, JPEG_APP0 + 13, segments.iptc);
        }
        for (const std::string& comment : metadata.comments) {
            if (comment.size() > kMaxSegmentPayload) {
                report.leftOut("comment", "it is longer than a JPEG segment holds");
                continue;
            }
            jpeg_write_marker(&info_, JPEG_COM, reinterpret_cast<const JOCTET*>(comment.data()),
                              static_cast<unsigned>(comment.size()));
        }
    }

    std::string name_;
    int height_ = 0;
    jpeg_compress_struct info_{};
    jpeg_error_mgr errors_{};
    DestinationManager destination_;
    CompressGuard guard_{&info_};
};

}  // namespace

std::unique_ptr<ImageReader> openJpegReader(ByteSource& file, const ReadLimits& limits) {
    return std::make_unique<JpegReader>(file, limits);
}

std::unique_ptr<ImageWriter> openJpegWriter(ByteSink& out, const PictureLayout& layout, const ImageMetadata& metadata,
                                            const EncodeOptions& options, EncodeReport& report) {
    return std::make_unique<JpegWriter>(out, layout, metadata, options, report);
}

}  // namespace host
