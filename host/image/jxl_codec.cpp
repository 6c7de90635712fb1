// JPEG XL through libjxl, with its thread pool. libjxl 0.7 decodes and
// encodes whole frames, so a reader and a writer each hold one picture;
// the file is read from its mapping, as libjxl asks for it.
#include <jxl/decode.h>
#include <jxl/encode.h>
#include <jxl/thread_parallel_runner.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "host/host_error.h"
#include "host/image/codecs.h"
#include "host/image/jpeg_segments.h"

namespace host {

namespace {

struct DecoderRelease {
    void operator()(JxlDecoder* decoder) const { JxlDecoderDestroy(decoder); }
};
struct EncoderRelease {
    void operator()(JxlEncoder* encoder) const { JxlEncoderDestroy(encoder); }
};
struct RunnerRelease {
    void operator()(void* runner) const { JxlThreadParallelRunnerDestroy(runner); }
};
using Runner = std::unique_ptr<void, RunnerRelease>;

Runner makeRunner() {
    return Runner(JxlThreadParallelRunnerCreate(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads()));
}

// Whether a colour encoding is plain sRGB, which needs no profile.
bool isSrgb(const JxlColorEncoding& encoding) {
    return encoding.color_space == JXL_COLOR_SPACE_RGB && encoding.white_point == JXL_WHITE_POINT_D65 &&
           encoding.primaries == JXL_PRIMARIES_SRGB && encoding.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
}

class JxlReader : public ImageReader {
public:
    JxlReader(ByteSource& file, const ReadLimits& limits) : name_(file.name()) {
        decoder_.reset(JxlDecoderCreate(nullptr));
        runner_ = makeRunner();
        if (!decoder_ || !runner_) {
            throw std::bad_alloc();
        }
        JxlDecoder* decoder = decoder_.get();
        check(JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE |
                                                     JXL_DEC_BOX | JXL_DEC_JPEG_RECONSTRUCTION) == JXL_DEC_SUCCESS,
              "libjxl refuses its settings");
        check(JxlDecoderSetParallelRunner(decoder, JxlThreadParallelRunner, runner_.get()) == JXL_DEC_SUCCESS,
              "libjxl refuses its threads");
        // Orientation applied, alpha straight, metadata boxes unpacked.
        JxlDecoderSetKeepOrientation(decoder, JXL_FALSE);
        JxlDecoderSetUnpremultiplyAlpha(decoder, JXL_TRUE);
        JxlDecoderSetDecompressBoxes(decoder, JXL_TRUE);
        check(JxlDecoderSetInput(decoder, file.mapped(), static_cast<std::size_t>(file.size())) == JXL_DEC_SUCCESS,
              "libjxl cannot take the file");
        JxlDecoderCloseInput(decoder);
        decodeAll(limits);
        header_.orientation = 1;  // decoded upright
        if (recompressedJpeg_) {
            takeJpegMetadata(file, limits);
        }
    }

    void readRows(std::uint8_t* bgra, int rows) override {
        const std::size_t bytes = static_cast<std::size_t>(rows) * 4 * static_cast<std::size_t>(header_.layout.width);
        if (taken_ + bytes > size_) {
            throw HostError("more rows asked for than the picture has");
        }
        std::memcpy(bgra, pixels_.get() + taken_, bytes);
        taken_ += bytes;
    }

private:
    void check(bool ok, const char* why) const {
        if (!ok) {
            throw HostError("'" + name_ + "' is not a valid JPEG XL image (" + why + ")");
        }
    }

    // Runs the decoder to the end of the first frame, taking the metadata
    // boxes on the way, and converts the frame to BGRA.
    void decodeAll(const ReadLimits& limits) {
        JxlDecoder* decoder = decoder_.get();
        JxlBasicInfo info{};
        JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
        std::vector<std::uint8_t> wide;  // 16-bit samples, for deeper pictures
        std::vector<std::uint8_t> box;
        char boxType[5] = {};
        bool haveImage = false;
        auto takeBox = [&] {
            if (boxType[0] == 0) {
                return;
            }
            box.resize(box.size() - JxlDecoderReleaseBoxBuffer(decoder));
            ImageMetadata& metadata = header_.metadata;
            if (std::memcmp(boxType, "Exif", 4) == 0 && box.size() > 4 && metadata.exif.empty()) {
                // The TIFF structure, after a four-byte offset to it.
                const std::size_t offset =
                    (std::size_t{box[0]} << 24) | (std::size_t{box[1]} << 16) | (std::size_t{box[2]} << 8) | box[3];
                if (offset < box.size() - 4) {
                    metadata.exif = exifWithoutSignature(box.data() + 4 + offset, box.size() - 4 - offset);
                }
            } else if (std::memcmp(boxType, "xml ", 4) == 0 && metadata.xmp.empty()) {
                metadata.xmp.assign(box.begin(), box.end());
            }
            boxType[0] = 0;
        };
        for (;;) {
            const JxlDecoderStatus status = JxlDecoderProcessInput(decoder);
            switch (status) {
                case JXL_DEC_ERROR:
                    check(false, "libjxl cannot decode it");
                    break;
                case JXL_DEC_NEED_MORE_INPUT:
                    check(false, "the file ends early");
                    break;
                case JXL_DEC_BASIC_INFO: {
                    check(JxlDecoderGetBasicInfo(decoder, &info) == JXL_DEC_SUCCESS, "no basic information");
                    header_.layout = checkedLayout(name_, info.xsize, info.ysize, info.alpha_bits > 0, limits);
                    if (info.bits_per_sample > 8 || info.exponent_bits_per_sample > 0) {
                        format.data_type = JXL_TYPE_UINT16;
                    }
                    const std::uint64_t bytes =
                        std::uint64_t{4} * info.xsize * info.ysize * (format.data_type == JXL_TYPE_UINT16 ? 3 : 1);
                    if (bytes > limits.maxMemoryBytes) {
                        throw HostError("'" + name_ + "' is a JPEG XL picture of " + std::to_string(info.xsize) +
                                        " x " + std::to_string(info.ysize) +
                                        " pixels, which must be held whole: more than " +
                                        std::to_string(limits.maxMemoryBytes >> 20) + " MiB");
                    }
                    if (info.have_animation != 0) {
                        header_.pages = 2;  // at least: only the first frame is decoded
                        header_.pageKind = "frame";
                    }
                    break;
                }
                case JXL_DEC_COLOR_ENCODING: {
                    // The colour of the decoded pixels: none needed for sRGB,
                    // else the profile libjxl gives (the file's own, or one
                    // made from its description).
                    JxlColorEncoding encoding{};
                    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                                           &encoding) == JXL_DEC_SUCCESS &&
                        isSrgb(encoding)) {
                        break;
                    }
                    std::size_t size = 0;
                    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) ==
                            JXL_DEC_SUCCESS &&
                        size > 0) {
                        std::vector<std::uint8_t> icc(size);
                        if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, icc.data(),
                                                           size) == JXL_DEC_SUCCESS) {
                            header_.metadata.iccProfile = std::move(icc);
                        }
                    }
                    break;
                }
                case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
                    std::size_t size = 0;
                    check(JxlDecoderImageOutBufferSize(decoder, &format, &size) == JXL_DEC_SUCCESS, "no output size");
                    if (format.data_type == JXL_TYPE_UINT16) {
                        wide.resize(size);
                        check(JxlDecoderSetImageOutBuffer(decoder, &format, wide.data(), size) == JXL_DEC_SUCCESS,
                              "libjxl refuses the output");
                    } else {
                        // Not cleared first: memory the decoder never reaches
                        // (a short file that claims a large picture) is
                        // never touched.
                        size_ = size;
                        pixels_.reset(new std::uint8_t[size]);
                        check(JxlDecoderSetImageOutBuffer(decoder, &format, pixels_.get(), size) == JXL_DEC_SUCCESS,
                              "libjxl refuses the output");
                    }
                    break;
                }
                case JXL_DEC_FULL_IMAGE:
                    haveImage = true;
                    break;
                case JXL_DEC_JPEG_RECONSTRUCTION:
                    recompressedJpeg_ = true;  // pixels still wanted: no JPEG buffer set
                    break;
                case JXL_DEC_BOX: {
                    takeBox();
                    JxlBoxType type;
                    if (JxlDecoderGetBoxType(decoder, type, JXL_TRUE) == JXL_DEC_SUCCESS &&
                        (std::memcmp(type, "Exif", 4) == 0 || std::memcmp(type, "xml ", 4) == 0)) {
                        std::memcpy(boxType, type, 4);
                        box.assign(std::size_t{1} << 16, 0);
                        JxlDecoderSetBoxBuffer(decoder, box.data(), box.size());
                    }
                    break;
                }
                case JXL_DEC_BOX_NEED_MORE_OUTPUT: {
                    const std::size_t left = JxlDecoderReleaseBoxBuffer(decoder);
                    const std::size_t used = box.size() - left;
                    check(box.size() < (std::size_t{64} << 20), "a metadata box larger than 64 MiB");
                    box.resize(box.size() * 2);
                    JxlDecoderSetBoxBuffer(decoder, box.data() + used, box.size() - used);
                    break;
                }
                case JXL_DEC_SUCCESS:
                    takeBox();
                    break;
                default:
                    break;
            }
            // An animation stops at its first frame.
            if (status == JXL_DEC_SUCCESS || (haveImage && info.have_animation != 0)) {
                break;
            }
        }
        check(haveImage, "no picture");
        if (format.data_type == JXL_TYPE_UINT16) {
            // To the nearest 8-bit value, as 16-bit PNG and TIFF samples are.
            size_ = wide.size() / 2;
            pixels_.reset(new std::uint8_t[size_]);
            for (std::size_t i = 0; i < size_; ++i) {
                std::uint16_t sample;
                std::memcpy(&sample, &wide[2 * i], 2);
                pixels_[i] = static_cast<std::uint8_t>((sample + 128) / 257);
            }
        }
        // RGBA to BGRA.
        for (std::size_t i = 0; i + 3 < size_; i += 4) {
            std::swap(pixels_[i], pixels_[i + 2]);
            if (info.alpha_bits == 0) {
                pixels_[i + 3] = 255;
            }
        }
    }

    // A JPEG recompressed into JPEG XL keeps its markers (IPTC-IIM,
    // comments, its EXIF and XMP too) in its reconstruction data: the JPEG is
    // rebuilt, in a pass of its own, and its metadata read as a JPEG's, for
    // the blocks the file's boxes lack.
    void takeJpegMetadata(ByteSource& file, const ReadLimits& limits) {
        const std::unique_ptr<JxlDecoder, DecoderRelease> decoder(JxlDecoderCreate(nullptr));
        if (!decoder || JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_JPEG_RECONSTRUCTION | JXL_DEC_FULL_IMAGE) !=
                            JXL_DEC_SUCCESS) {
            return;
        }
        JxlDecoderSetInput(decoder.get(), file.mapped(), static_cast<std::size_t>(file.size()));
        JxlDecoderCloseInput(decoder.get());
        std::vector<std::uint8_t> jpeg;
        std::size_t used = 0;
        for (bool done = false; !done;) {
            switch (JxlDecoderProcessInput(decoder.get())) {
                case JXL_DEC_JPEG_RECONSTRUCTION:
                    jpeg.resize(std::max<std::size_t>(std::size_t{1} << 20, static_cast<std::size_t>(file.size()) * 2));
                    JxlDecoderSetJPEGBuffer(decoder.get(), jpeg.data(), jpeg.size());
                    break;
                case JXL_DEC_JPEG_NEED_MORE_OUTPUT: {
                    used = jpeg.size() - JxlDecoderReleaseJPEGBuffer(decoder.get());
                    if (jpeg.size() > limits.maxMemoryBytes) {
                        return;
                    }
                    jpeg.resize(jpeg.size() * 2);
                    JxlDecoderSetJPEGBuffer(decoder.get(), jpeg.data() + used, jpeg.size() - used);
                    break;
                }
                case JXL_DEC_FULL_IMAGE:
                case JXL_DEC_SUCCESS:
                    done = true;
                    break;
                default:
                    header_.warnings.push_back("'" + name_ +
                                               "': the JPEG it was made from cannot be rebuilt; its markers "
                                               "(IPTC-IIM, comments) are left out");
                    return;
            }
        }
        jpeg.resize(jpeg.size() - JxlDecoderReleaseJPEGBuffer(decoder.get()));
        try {
            MemorySource rebuilt(jpeg, name_);
            const std::unique_ptr<ImageReader> reader = openJpegReader(rebuilt, limits);
            const ImageMetadata& found = reader->header().metadata;
            ImageMetadata& metadata = header_.metadata;
            addMissingBlocks(found, reader->header().warnings);
            if (metadata.comments.empty()) {
                metadata.comments = found.comments;
            }
            if (!metadata.resolution) {
                metadata.resolution = found.resolution;
            }
            header_.xmpExtensions = reader->header().xmpExtensions;
        } catch (const HostError& error) {
            header_.warnings.push_back("'" + name_ + "': the JPEG it was made from cannot be read (" + error.what() +
                                       "); its markers are left out");
        }
    }

    std::string name_;
    bool recompressedJpeg_ = false;
    std::unique_ptr<JxlDecoder, DecoderRelease> decoder_;
    Runner runner_;
    std::unique_ptr<std::uint8_t[]> pixels_;
    std::size_t size_ = 0;
    std::size_t taken_ = 0;
};

// cjxl's mapping from a JPEG-like quality to libjxl's distance: 90 is 1.0,
// visually lossless; 100 would be 0.1.
float distanceFor(int quality) {
    if (quality >= 30) {
        return 0.1f + static_cast<float>(100 - quality) * 0.09f;
    }
    return 6.4f + static_cast<float>(std::pow(2.5, (30 - quality) / 5.0)) / 6.25f;
}

// libjxl 0.7 encodes whole frames: the writer gathers the rows.
class JxlWriter : public ImageWriter {
public:
    JxlWriter(ByteSink& out, const PictureLayout& layout, const ImageMetadata& metadata, const EncodeOptions& options,
              EncodeReport& report)
        : out_(out), layout_(layout), metadata_(metadata), options_(options), report_(report) {
        pixels_.reserve(std::size_t{4} * static_cast<std::size_t>(layout.width) *
                        static_cast<std::size_t>(layout.height));
    }

    void writeRows(const std::uint8_t* bgra, int rows) override {
        const int samples = layout_.hasAlpha ? 4 : 3;
        for (std::size_t i = 0; i < static_cast<std::size_t>(rows) * static_cast<std::size_t>(layout_.width); ++i) {
            const std::uint8_t* pixel = bgra + 4 * i;
            const std::uint8_t rgba[4] = {pixel[2], pixel[1], pixel[0], pixel[3]};
            pixels_.insert(pixels_.end(), rgba, rgba + samples);
        }
    }

    void finish() override {
        const std::size_t samples = layout_.hasAlpha ? 4 : 3;
        if (pixels_.size() !=
            samples * static_cast<std::size_t>(layout_.width) * static_cast<std::size_t>(layout_.height)) {
            throw HostError("cannot encode JPEG XL (the picture is incomplete)");
        }
        const std::unique_ptr<JxlEncoder, EncoderRelease> encoderHolder(JxlEncoderCreate(nullptr));
        const Runner runner = makeRunner();
        JxlEncoder* encoder = encoderHolder.get();
        check(encoder != nullptr && runner != nullptr, "out of memory");
        check(JxlEncoderSetParallelRunner(encoder, JxlThreadParallelRunner, runner.get()) == JXL_ENC_SUCCESS,
              "libjxl refuses its threads");
        const bool boxes = !metadata_.exif.empty() || !metadata_.xmp.empty();
        if (boxes) {
            check(JxlEncoderUseBoxes(encoder) == JXL_ENC_SUCCESS, "libjxl refuses metadata");
        }
        JxlBasicInfo info;
        JxlEncoderInitBasicInfo(&info);
        info.xsize = static_cast<std::uint32_t>(layout_.width);
        info.ysize = static_cast<std::uint32_t>(layout_.height);
        info.bits_per_sample = 8;
        info.num_color_channels = 3;
        if (layout_.hasAlpha) {
            info.alpha_bits = 8;
            info.num_extra_channels = 1;
        }
        // Lossless keeps the samples as they are; lossy works in libjxl's
        // own colour space.
        info.uses_original_profile = options_.lossless ? JXL_TRUE : JXL_FALSE;
        check(JxlEncoderSetBasicInfo(encoder, &info) == JXL_ENC_SUCCESS, "libjxl refuses the picture's size");
        if (!metadata_.iccProfile.empty()) {
            if (JxlEncoderSetICCProfile(encoder, metadata_.iccProfile.data(), metadata_.iccProfile.size()) !=
                JXL_ENC_SUCCESS) {
                report_.leftOut("ICC profile", "libjxl cannot take it");
                setSrgb(encoder);
            }
        } else {
            setSrgb(encoder);
        }
        if (!metadata_.exif.empty()) {
            // The TIFF structure, after a four-byte offset to it (none).
            std::vector<std::uint8_t> exif = {0, 0, 0, 0};
            exif.insert(exif.end(), metadata_.exif.begin(), metadata_.exif.end());
            if (JxlEncoderAddBox(encoder, "Exif", exif.data(), exif.size(), JXL_FALSE) != JXL_ENC_SUCCESS) {
                report_.leftOut("EXIF", "libjxl cannot add it");
            }
        }
        if (!metadata_.xmp.empty() &&
            JxlEncoderAddBox(encoder, "xml ", reinterpret_cast<const std::uint8_t*>(metadata_.xmp.data()),
                             metadata_.xmp.size(), JXL_FALSE) != JXL_ENC_SUCCESS) {
            report_.leftOut("XMP", "libjxl cannot add it");
        }
        if (boxes) {
            JxlEncoderCloseBoxes(encoder);
        }
        JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder, nullptr);
        check(settings != nullptr, "out of memory");
        if (options_.lossless) {
            check(JxlEncoderSetFrameLossless(settings, JXL_TRUE) == JXL_ENC_SUCCESS, "libjxl refuses lossless");
        } else {
            check(JxlEncoderSetFrameDistance(settings, distanceFor(options_.quality)) == JXL_ENC_SUCCESS,
                  "libjxl refuses the quality");
        }
        const JxlPixelFormat format{static_cast<std::uint32_t>(samples), JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
        check(JxlEncoderAddImageFrame(settings, &format, pixels_.data(), pixels_.size()) == JXL_ENC_SUCCESS,
              "libjxl refuses the picture");
        JxlEncoderCloseInput(encoder);
        std::vector<std::uint8_t> buffer(std::size_t{1} << 20);
        for (;;) {
            std::uint8_t* next = buffer.data();
            std::size_t available = buffer.size();
            const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder, &next, &available);
            out_.write(buffer.data(), buffer.size() - available);
            if (status == JXL_ENC_SUCCESS) {
                break;
            }
            check(status == JXL_ENC_NEED_MORE_OUTPUT, "libjxl failed");
        }
    }

private:
    static void setSrgb(JxlEncoder* encoder) {
        JxlColorEncoding srgb;
        JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
        JxlEncoderSetColorEncoding(encoder, &srgb);
    }

    static void check(bool ok, const char* why) {
        if (!ok) {
            throw HostError(std::string("cannot encode JPEG XL (") + why + ")");
        }
    }

    ByteSink& out_;
    PictureLayout layout_;
    ImageMetadata metadata_;
    EncodeOptions options_;
    EncodeReport& report_;
    std::vector<std::uint8_t> pixels_;
};

}  // namespace

std::unique_ptr<ImageReader> openJxlReader(ByteSource& file, const ReadLimits& limits) {
    return std::make_unique<JxlReader>(file, limits);
}

std::unique_ptr<ImageWriter> openJxlWriter(ByteSink& out, const PictureLayout& layout, const ImageMetadata& metadata,
                                           const EncodeOptions& options, EncodeReport& report) {
    return std::make_unique<JxlWriter>(out, layout, metadata, options, report);
}

}  // namespace host
