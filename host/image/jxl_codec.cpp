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
#include "host/image/bgra_image.h"
#include "host/image/codecs.h"
#include "host/image/held_picture.h"
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

    void readRows(std::uint8_t* bgra, int rows) override { picture_.take(bgra, rows); }

private:
    void check(bool ok, const char* why) const {
        if (!ok) {
            throw HostError::reading(name_, "not a valid JPEG XL image (" + std::string(why) + ")");
        }
    }

    // Runs the decoder to the end of the first frame, taking the metadata
    // boxes on the way, and converts the frame to BGRA.
    void decodeAll(const ReadLimits& limits) {
        JxlDecoder* decoder = decoder_.get();
        for (;;) {
            const JxlDecoderStatus status = JxlDecoderProcessInput(decoder);
            switch (status) {
                case JXL_DEC_ERROR:
                    check(false, "libjxl cannot decode it");
                    break;
                case JXL_DEC_NEED_MORE_INPUT:
                    check(false, "the file ends early");
                    break;
                case JXL_DEC_BASIC_INFO:
                    takeBasicInfo(limits);
                    break;
                case JXL_DEC_COLOR_ENCODING:
                    takeColourEncoding();
                    break;
                case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
                    giveOutputBuffer();
                    break;
                case JXL_DEC_FULL_IMAGE:
                    haveImage_ = true;
                    break;
                case JXL_DEC_JPEG_RECONSTRUCTION:
                    recompressedJpeg_ = true;  // pixels still wanted: no JPEG buffer set
                    break;
                case JXL_DEC_BOX:
                    startBox();
                    break;
                case JXL_DEC_BOX_NEED_MORE_OUTPUT:
                    growBox();
                    break;
                case JXL_DEC_SUCCESS:
                    takeBox();
                    break;
                default:
                    break;
            }
            // An animation stops at its first frame.
            if (status == JXL_DEC_SUCCESS || (haveImage_ && info_.have_animation != 0)) {
                break;
            }
        }
        check(haveImage_, "no picture");
        toBgra();
    }

    // The picture's size and samples; refused beyond the limits before
    // anything of its size is allocated.
    void takeBasicInfo(const ReadLimits& limits) {
        check(JxlDecoderGetBasicInfo(decoder_.get(), &info_) == JXL_DEC_SUCCESS, "no basic information");
        header_.layout = checkedLayout(name_, info_.xsize, info_.ysize, info_.alpha_bits > 0, limits);
        if (info_.bits_per_sample > 8 || info_.exponent_bits_per_sample > 0) {
            format_.data_type = JXL_TYPE_UINT16;
        }
        // 16-bit samples are decoded beside the 8-bit picture they become.
        const std::uint64_t pixels = std::uint64_t{info_.xsize} * info_.ysize;
        checkHeldWhole(Phase::Read, name_, "a JPEG XL picture", info_.xsize, info_.ysize,
                       4 * pixels * (format_.data_type == JXL_TYPE_UINT16 ? 3 : 1), limits.maxMemoryBytes);
        picture_ = HeldPicture(Phase::Read, name_, "a JPEG XL picture", static_cast<int>(info_.xsize),
                               static_cast<int>(info_.ysize), limits.maxMemoryBytes);
        if (info_.have_animation != 0) {
            header_.pages = 2;  // at least: only the first frame is decoded
            header_.pageKind = "frame";
        }
    }

    // The colour of the decoded pixels: none needed for sRGB, else the
    // profile libjxl gives (the file's own, or one made from its
    // description).
    void takeColourEncoding() {
        JxlDecoder* decoder = decoder_.get();
        JxlColorEncoding encoding{};
        if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &encoding) ==
                JXL_DEC_SUCCESS &&
            isSrgb(encoding)) {
            return;
        }
        std::size_t size = 0;
        if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) == JXL_DEC_SUCCESS &&
            size > 0) {
            std::vector<std::uint8_t> icc(size);
            if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, icc.data(), size) ==
                JXL_DEC_SUCCESS) {
                header_.metadata.iccProfile = std::move(icc);
            }
        }
    }

    // 8-bit samples go straight into the picture; deeper ones beside it.
    void giveOutputBuffer() {
        std::size_t size = 0;
        check(JxlDecoderImageOutBufferSize(decoder_.get(), &format_, &size) == JXL_DEC_SUCCESS, "no output size");
        std::uint8_t* buffer = picture_.data();
        if (format_.data_type == JXL_TYPE_UINT16) {
            wide_.resize(size);
            buffer = wide_.data();
        } else {
            check(size == picture_.size(), "an unexpected output size");
        }
        check(JxlDecoderSetImageOutBuffer(decoder_.get(), &format_, buffer, size) == JXL_DEC_SUCCESS,
              "libjxl refuses the output");
    }

    void startBox() {
        takeBox();
        JxlBoxType type;
        if (JxlDecoderGetBoxType(decoder_.get(), type, JXL_TRUE) == JXL_DEC_SUCCESS &&
            (std::memcmp(type, "Exif", 4) == 0 || std::memcmp(type, "xml ", 4) == 0)) {
            std::memcpy(boxType_, type, 4);
            box_.assign(std::size_t{1} << 16, 0);
            JxlDecoderSetBoxBuffer(decoder_.get(), box_.data(), box_.size());
        }
    }

    void growBox() {
        const std::size_t used = box_.size() - JxlDecoderReleaseBoxBuffer(decoder_.get());
        check(box_.size() < (std::size_t{64} << 20), "a metadata box larger than 64 MiB");
        box_.resize(box_.size() * 2);
        JxlDecoderSetBoxBuffer(decoder_.get(), box_.data() + used, box_.size() - used);
    }

    // The EXIF or XMP box just read, for the blocks the header lacks.
    void takeBox() {
        if (boxType_[0] == 0) {
            return;
        }
        box_.resize(box_.size() - JxlDecoderReleaseBoxBuffer(decoder_.get()));
        ImageMetadata& metadata = header_.metadata;
        if (std::memcmp(boxType_, "Exif", 4) == 0 && box_.size() > 4 && metadata.exif.empty()) {
            // The TIFF structure, after a four-byte offset to it.
            const std::size_t offset =
                (std::size_t{box_[0]} << 24) | (std::size_t{box_[1]} << 16) | (std::size_t{box_[2]} << 8) | box_[3];
            if (offset < box_.size() - 4) {
                metadata.exif = exifWithoutSignature(box_.data() + 4 + offset, box_.size() - 4 - offset);
            }
        } else if (std::memcmp(boxType_, "xml ", 4) == 0 && metadata.xmp.empty()) {
            metadata.xmp.assign(box_.begin(), box_.end());
        }
        boxType_[0] = 0;
    }

    // RGBA (16-bit samples to the nearest 8-bit value, as PNG's and TIFF's
    // are) to BGRA.
    void toBgra() {
        std::uint8_t* pixels = picture_.data();
        if (format_.data_type == JXL_TYPE_UINT16) {
            check(wide_.size() == 2 * picture_.size(), "an unexpected output size");
            for (std::size_t i = 0; i < picture_.size(); ++i) {
                std::uint16_t sample;
                std::memcpy(&sample, &wide_[2 * i], 2);
                pixels[i] = static_cast<std::uint8_t>((sample + 128) / 257);
            }
            std::vector<std::uint8_t>().swap(wide_);
        }
        for (std::size_t i = 0; i + 3 < picture_.size(); i += 4) {
            std::swap(pixels[i], pixels[i + 2]);
            if (info_.alpha_bits == 0) {
                pixels[i + 3] = 255;
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
    JxlBasicInfo info_{};
    JxlPixelFormat format_{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    HeldPicture picture_;
    std::vector<std::uint8_t> wide_;  // 16-bit samples, for deeper pictures
    std::vector<std::uint8_t> box_;
    char boxType_[5] = {};
    bool haveImage_ = false;
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
        : out_(out),
          name_(out.name()),
          layout_(layout),
          metadata_(metadata),
          options_(options),
          report_(report),
          picture_(Phase::Write, name_, "a JPEG XL picture", layout.width, layout.height, kMaxImageBytes) {}

    void writeRows(const std::uint8_t* bgra, int rows) override { picture_.put(bgra, rows); }

    void finish() override {
        if (!picture_.complete()) {
            throw HostError::writing(name_, "cannot encode JPEG XL (the picture is incomplete)");
        }
        std::uint8_t* pixels = picture_.data();
        const std::size_t bytes = toLibjxlSamples();
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
        const JxlPixelFormat format{layout_.hasAlpha ? 4u : 3u, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
        check(JxlEncoderAddImageFrame(settings, &format, pixels, bytes) == JXL_ENC_SUCCESS,
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
    // BGRA to libjxl's RGB or RGBA, in place (each pixel moves down, never
    // over one not yet moved); the bytes it then takes.
    std::size_t toLibjxlSamples() {
        const std::size_t samples = layout_.hasAlpha ? 4 : 3;
        std::uint8_t* pixels = picture_.data();
        const std::size_t count = picture_.size() / 4;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t rgba[4] = {pixels[4 * i + 2], pixels[4 * i + 1], pixels[4 * i], pixels[4 * i + 3]};
            std::memcpy(pixels + samples * i, rgba, samples);
        }
        return samples * count;
    }

    static void setSrgb(JxlEncoder* encoder) {
        JxlColorEncoding srgb;
        JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
        JxlEncoderSetColorEncoding(encoder, &srgb);
    }

    void check(bool ok, const char* why) const {
        if (!ok) {
            throw HostError::writing(name_, std::string("cannot encode JPEG XL (") + why + ")");
        }
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

std::unique_ptr<ImageReader> openJxlReader(ByteSource& file, const ReadLimits& limits) {
    return std::make_unique<JxlReader>(file, limits);
}

std::unique_ptr<ImageWriter> openJxlWriter(ByteSink& out, const PictureLayout& layout, const ImageMetadata& metadata,
                                           const EncodeOptions& options, EncodeReport& report) {
    return std::make_unique<JxlWriter>(out, layout, metadata, options, report);
}

}  // namespace host
