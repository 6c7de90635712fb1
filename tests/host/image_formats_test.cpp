// The reference host on pictures made with the codec libraries themselves:
// every input layout decodes as an independent decoder sees it, lossless
// outputs carry exactly the toned pixels, lossy ones come close, and every
// orientation comes out upright.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <exiv2/exiv2.hpp>

#include <cstring>
#include <string>
#include <vector>

#include "host/files/byte_stream.h"
#include "host/host_error.h"
#include "host/image/image_files.h"
#include "tests/exact_form.h"
#include "tests/host/host_fixture.h"
#include "tests/host/test_pictures.h"

namespace {

using host::BgraImage;
using host_fixture::HostRun;
using host_fixture::readBytes;
using host_fixture::sepiaHost;
using namespace test_pictures;

class ImageFormats : public host_fixture::HostTest {};

// What toning `image` with `preset` must give: the exact form in bytes 0 to
// 2, alpha kept.
BgraImage toned(const BgraImage& image, int preset) {
    BgraImage out = image;
    out.pixels = exact_form::tonePixels(preset, image.pixels);
    return out;
}

// The first differing pixel, for messages; "" when the images are equal.
std::string difference(const BgraImage& expected, const BgraImage& actual) {
    if (expected.width != actual.width || expected.height != actual.height) {
        return "size " + std::to_string(actual.width) + " x " + std::to_string(actual.height) + " instead of " +
               std::to_string(expected.width) + " x " + std::to_string(expected.height);
    }
    if (expected.hasAlpha != actual.hasAlpha) {
        return expected.hasAlpha ? "alpha lost" : "alpha where there was none";
    }
    for (std::size_t i = 0; i < expected.pixels.size(); ++i) {
        if (expected.pixels[i] != actual.pixels[i]) {
            return "pixel " + std::to_string(i / 4) + ", byte " + std::to_string(i % 4) + ": " +
                   std::to_string(actual.pixels[i]) + " instead of " + std::to_string(expected.pixels[i]);
        }
    }
    return "";
}

BgraImage readOutput(const std::string& path) {
    const std::vector<std::uint8_t> file = readBytes(path);
    switch (*host::formatFromExtension(path)) {
        case host::ImageFormat::Png:
            return readPng(file);
        case host::ImageFormat::Jpeg:
            return readJpeg(file);
        case host::ImageFormat::Tiff:
            return readTiff(file);
        case host::ImageFormat::Webp:
            return readWebp(file);
        case host::ImageFormat::Avif:
            return readAvif(file);
        case host::ImageFormat::Jxl:
            return readJxl(file);
        case host::ImageFormat::Heif:
            break;
    }
    return {};
}

struct Input {
    std::string name;
    std::vector<std::uint8_t> file;
    BgraImage decoded;  // what the host must read from it
};

std::vector<Input> losslessInputs() {
    const BgraImage rgb = patterned(37, 23, false);
    const BgraImage rgba = patterned(37, 23, true);
    const BgraImage few = fewColours(37, 23, false);
    const BgraImage fewAlpha = fewColours(37, 23, true);
    std::vector<Input> inputs = {
        {"rgb.png", makePng(rgb), rgb},
        {"rgba.png", makePng(rgba), rgba},
        {"interlaced.png", makePng(rgba, {.interlaced = true}), rgba},
        {"palette.png", makePng(few, {.palette = true}), few},
        {"palette-alpha.png", makePng(fewAlpha, {.palette = true}), fewAlpha},
        {"rgb.tif", makeTiff(rgb), rgb},
        {"rgba.tif", makeTiff(rgba), rgba},
        {"rgba-lzw.tif", makeTiff(rgba, {.compression = COMPRESSION_LZW}), rgba},
        {"rgb-packbits.tif", makeTiff(rgb, {.compression = COMPRESSION_PACKBITS}), rgb},
        {"rgb-deflate-tiled.tif", makeTiff(rgb, {.compression = COMPRESSION_ADOBE_DEFLATE, .tiled = true}), rgb},
        {"rgba-tiled-bigtiff.tif", makeTiff(rgba, {.tiled = true, .bigTiff = true}), rgba},
        {"rgb.webp", makeWebp(rgb, true), rgb},
        {"rgba.webp", makeWebp(rgba, true), rgba},
        {"rgb.avif", makeAvif(rgb), rgb},
        {"rgba.avif", makeAvif(rgba), rgba},
        {"rgb.jxl", makeJxl(rgb), rgb},
        {"rgba.jxl", makeJxl(rgba), rgba},
    };
    const char* names[] = {"", "grey", "grey-alpha", "rgb", "rgba"};
    for (int channels = 1; channels <= 4; ++channels) {
        const WideImage samples = wide(29, 17, channels);
        inputs.push_back({std::string(names[channels]) + "-16bit.png", makePng16(samples), roundedTo8Bits(samples)});
        inputs.push_back({std::string(names[channels]) + "-16bit.tif", makeTiff16(samples), roundedTo8Bits(samples)});
    }
    return inputs;
}

TEST_F(ImageFormats, LosslessInputsToLosslessOutputsAreExact) {
    for (const Input& input : losslessInputs()) {
        const std::string in = write(input.name, input.file);
        for (const std::string output : {"out.png", "out.TIF", "out.webp", "out.avif", "out.jxl"}) {
            const HostRun run = sepiaHost({"apply", plugin_, "-p", "Cyanotype 2", "--lossless", in, path(output)});
            ASSERT_EQ(run.exitCode, 0) << input.name << " to " << output << ": " << run.err;
            EXPECT_EQ(difference(toned(input.decoded, 7), readOutput(path(output))), "")
                << input.name << " to " << output;
        }
    }
}

TEST_F(ImageFormats, LossyOutputsAreCloseToTheExactToning) {
    for (const bool alpha : {false, true}) {
        const BgraImage original = smooth(160, 120, alpha);
        const std::string in = write("smooth.png", makePng(original));
        for (const int preset : {0, 1, 7}) {
            for (const std::string output : {"out.jpg", "out.webp", "out.avif", "out.jxl"}) {
                const HostRun run = sepiaHost({"apply", plugin_, "-p", std::to_string(preset), in, path(output)});
                ASSERT_EQ(run.exitCode, 0) << run.err;
                BgraImage expected = toned(original, preset);
                BgraImage actual = readOutput(path(output));
                if (output == "out.jpg") {
                    EXPECT_FALSE(actual.hasAlpha);  // JPEG has none
                } else {
                    EXPECT_EQ(actual.hasAlpha, alpha);
                }
                const double quality = psnr(expected, actual);
                EXPECT_GE(quality, 35.0) << output << ", preset " << preset << (alpha ? ", with alpha" : "");
            }
        }
    }
}

TEST_F(ImageFormats, JpegInputsDecodeAsLibjpegDecodesThem) {
    const BgraImage original = smooth(64, 48, false);
    const struct {
        const char* name;
        JpegOptions options;
    } inputs[] = {
        {"baseline.jpg", {}},
        {"progressive.jpg", {.progressive = true}},
        {"grey.jpg", {.grey = true}},
    };
    for (const auto& input : inputs) {
        const std::vector<std::uint8_t> file = makeJpeg(original, input.options);
        const HostRun run = sepiaHost({"apply", plugin_, "-p", "3", write(input.name, file), path("out.png")});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(difference(toned(readJpeg(file), 3), readOutput(path("out.png"))), "") << input.name;
    }
    // CMYK as Adobe writes it, inverted: libjpeg gives no RGB for it to
    // compare with, so the toned picture is held to the original's.
    const HostRun run = sepiaHost(
        {"apply", plugin_, "-p", "3", write("cmyk.jpg", makeJpeg(original, {.cmyk = true})), path("out.png")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_GE(psnr(toned(original, 3), readOutput(path("out.png"))), 35.0);
}

// The stored picture that a viewer shows as `upright` under EXIF or TIFF
// orientation `orientation`, built from the definition: where each stored
// row and column appear in the picture shown.
BgraImage storedFor(const BgraImage& upright, int orientation) {
    const bool transposed = orientation >= 5;
    BgraImage stored =
        host::makeImage(transposed ? upright.height : upright.width, transposed ? upright.width : upright.height);
    stored.hasAlpha = upright.hasAlpha;
    const int w = upright.width;
    const int h = upright.height;
    for (int r = 0; r < stored.height; ++r) {
        for (int c = 0; c < stored.width; ++c) {
            int x = c, y = r;
            switch (orientation) {
                case 2:
                    x = w - 1 - c;
                    break;
                case 3:
                    x = w - 1 - c;
                    y = h - 1 - r;
                    break;
                case 4:
                    y = h - 1 - r;
                    break;
                case 5:
                    x = r;
                    y = c;
                    break;
                case 6:
                    x = w - 1 - r;
                    y = c;
                    break;
                case 7:
                    x = w - 1 - r;
                    y = h - 1 - c;
                    break;
                case 8:
                    x = r;
                    y = h - 1 - c;
                    break;
                default:
                    break;
            }
            std::memcpy(stored.at(c, r), upright.at(x, y), 4);
        }
    }
    return stored;
}

TEST_F(ImageFormats, EveryOrientationComesOutUpright) {
    const BgraImage upright = quadrants(48, 32);
    const BgraImage expected = toned(upright, 0);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const BgraImage stored = storedFor(upright, orientation);
        const std::vector<std::uint8_t> exif = exifBlock(orientation);
        const struct {
            std::string name;
            std::vector<std::uint8_t> file;
            bool exact;
        } inputs[] = {
            {"exif.jpg", makeJpeg(stored, {.quality = 98, .exif = exif}), false},
            {"exif.png", makePng(stored, {.exif = exif}), true},
            {"exif.webp", makeWebp(stored, true, exif), true},
            {"tagged.tif", makeTiff(stored, {.orientation = orientation}), true},
            {"transformed.avif", makeAvif(stored, {.orientation = orientation}), true},
            {"oriented.jxl", makeJxl(stored, {.orientation = orientation}), true},
        };
        for (const auto& input : inputs) {
            const HostRun run =
                sepiaHost({"apply", plugin_, "-p", "0", write(input.name, input.file), path("out.png")});
            ASSERT_EQ(run.exitCode, 0) << run.err;
            const BgraImage actual = readOutput(path("out.png"));
            const std::string what = input.name + ", orientation " + std::to_string(orientation);
            if (input.exact) {
                EXPECT_EQ(difference(expected, actual), "") << what;
                continue;
            }
            ASSERT_EQ(actual.width, expected.width) << what;
            ASSERT_EQ(actual.height, expected.height) << what;
            // JPEG blurs the edges between quadrants: look at their middles.
            for (const auto& [x, y] : {std::pair{12, 8}, std::pair{36, 8}, std::pair{36, 24}, std::pair{12, 24}}) {
                for (int c = 0; c < 3; ++c) {
                    EXPECT_NEAR(actual.at(x, y)[c], expected.at(x, y)[c], 8) << what << " at " << x << ", " << y;
                }
            }
        }
    }
}

// Pictures larger than a tile of the temporary file that turns them: every
// orientation, exact, across tile rows and columns that end part-way.
TEST_F(ImageFormats, LargePicturesTurnThroughTiles) {
    const BgraImage upright = patterned(700, 530, true);
    const BgraImage expected = toned(upright, 4);
    for (int orientation = 2; orientation <= 8; ++orientation) {
        const std::string in =
            write("turned.png", makePng(storedFor(upright, orientation), {.exif = exifBlock(orientation)}));
        const HostRun run = sepiaHost({"apply", plugin_, "-p", "4", in, path("out.png")});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(difference(expected, readOutput(path("out.png"))), "") << "orientation " << orientation;
        EXPECT_EQ(listing(), (std::vector<std::string>{"out.png", "turned.png"})) << "no temporary file is left";
    }
}

// An extra sample of unspecified kind beside red, green and blue is alpha,
// premultiplied, as libtiff reads it: the same in strips and in tiles.
TEST(TiffAlpha, UnspecifiedExtraSampleReadsAlikeInStripsAndTiles) {
    const BgraImage image = patterned(37, 23, true);
    const host::Picture strips = host::decodeImage(makeTiff(image, {.alphaKind = 0}), "strips.tif");
    const host::Picture tiles = host::decodeImage(makeTiff(image, {.tiled = true, .alphaKind = 0}), "tiles.tif");
    EXPECT_TRUE(strips.image.hasAlpha);
    EXPECT_EQ(difference(tiles.image, strips.image), "");
}

// Each decoder checks the size its file announces against the limit before
// it allocates the pixels: here 1 MiB of BGRA pixels.
TEST(ImageLimits, EveryDecoderRefusesAnImageBeyondTheLimit) {
    const BgraImage big = smooth(600, 600, false);  // 1.4 MB as BGRA
    const struct {
        const char* name;
        std::vector<std::uint8_t> file;
    } files[] = {
        {"big.png", makePng(big)},
        {"big.jpg", makeJpeg(big)},
        {"big.tif", makeTiff(big)},
        {"big.webp", makeWebp(big, false)},
    };
    for (const auto& file : files) {
        try {
            host::decodeImage(file.file, file.name, std::uint64_t{1} << 20);
            ADD_FAILURE() << file.name << " was decoded";
        } catch (const host::HostError& error) {
            EXPECT_NE(std::string(error.what()).find("more than the limit of"), std::string::npos) << error.what();
            EXPECT_NE(std::string(error.what()).find(file.name), std::string::npos) << error.what();
        }
        EXPECT_NO_THROW(host::decodeImage(file.file, file.name, std::uint64_t{2} << 20)) << file.name;
    }
}

// A file held in memory that counts the bytes read from it.
class CountingSource : public host::ByteSource {
public:
    CountingSource(const std::vector<std::uint8_t>& bytes, const std::string& name) : file_(bytes, name) {}
    std::size_t read(void* buffer, std::size_t size) override {
        const std::size_t got = file_.read(buffer, size);
        bytesRead_ += got;
        return got;
    }
    void seek(std::uint64_t position) override { file_.seek(position); }
    std::uint64_t position() const override { return file_.position(); }
    std::uint64_t size() const override { return file_.size(); }
    const std::uint8_t* mapped() override { return file_.mapped(); }
    const std::string& name() const override { return file_.name(); }
    std::uint64_t bytesRead() const { return bytesRead_; }

private:
    host::MemorySource file_;
    std::uint64_t bytesRead_ = 0;
};

// Counting a TIFF's pages reads each directory a few times, not once for
// every page before it.
TEST(TiffReading, PagesAreCountedInOnePass) {
    const std::vector<std::uint8_t> file = makeTiff(patterned(1, 1, false), {.pages = 3000});
    CountingSource source(file, "pages.tif");
    const std::unique_ptr<host::ImageReader> reader = host::openImageReader(source);
    EXPECT_EQ(reader->header().pages, 3000);
    EXPECT_LT(source.bytesRead(), 8 * file.size());
}

// A TIFF without an Orientation tag stands as its XMP says.
TEST(TiffReading, OrientationOnlyInTheXmpTurnsThePicture) {
    const std::string xmp =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
        "<rdf:Description rdf:about=\"\" xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\" tiff:Orientation=\"6\"/>"
        "</rdf:RDF></x:xmpmeta>";
    const BgraImage stored = quadrants(8, 6);
    const host::Picture picture = host::decodeImage(makeTiff(stored, {.orientation = 0, .xmp = xmp}), "x.tif");
    EXPECT_EQ(difference(storedFor(stored, 8), picture.image), "") << "turned a quarter clockwise";
    EXPECT_NE(picture.metadata.xmp.find("tiff:Orientation=\"1\""), std::string::npos) << picture.metadata.xmp;
}

// The EXIF of a BigTIFF file, which exiv2 does not read, arrives through
// libtiff, as a classic TIFF's does through exiv2.
TEST(TiffReading, EveryTiffKeepsItsExif) {
    for (const bool big : {false, true}) {
        const host::Picture picture =
            host::decodeImage(makeTiff(smooth(8, 8, false), {.bigTiff = big, .exifFields = true}), "x.tif");
        EXPECT_EQ(picture.warnings, std::vector<std::string>()) << "BigTIFF " << big;
        Exiv2::ExifData exif;
        ASSERT_NE(Exiv2::ExifParser::decode(exif, picture.metadata.exif.data(),
                                            static_cast<std::uint32_t>(picture.metadata.exif.size())),
                  Exiv2::invalidByteOrder)
            << "BigTIFF " << big;
        auto value = [&exif](const char* key) {
            const auto found = exif.findKey(Exiv2::ExifKey(key));
            return found == exif.end() ? std::string("(none)") : found->toString();
        };
        auto number = [&exif](const char* key) {
            const auto found = exif.findKey(Exiv2::ExifKey(key));
            return found == exif.end() ? -1.0 : static_cast<double>(found->toFloat());
        };
        EXPECT_EQ(value("Exif.Image.Make"), "Darkroom Test") << "BigTIFF " << big;
        // As exact as libtiff, which keeps fractions as floating point, keeps them.
        EXPECT_NEAR(number("Exif.Photo.ExposureTime"), 0.004, 1e-9) << "BigTIFF " << big;
        EXPECT_NEAR(number("Exif.Photo.FNumber"), 2.8, 1e-6) << "BigTIFF " << big;
    }
}

// PNG text in several languages: each language an alternative of the XMP
// property in formats without text chunks, the plain text the default.
TEST(PngText, EveryLanguageReachesTheXmp) {
    const std::vector<std::uint8_t> png = makePng(
        smooth(8, 8, false),
        {.text = {{"Title", "Pier"}}, .internationalText = {{"Title", "ru", "Пирс"}, {"Description", "de", "Steg"}}});
    for (const host::ImageFormat format : {host::ImageFormat::Jpeg, host::ImageFormat::Tiff, host::ImageFormat::Webp}) {
        std::vector<std::string> warnings;
        const std::vector<std::uint8_t> written =
            host::encodeImage(host::decodeImage(png, "x.png"), format, {}, "out", warnings);
        EXPECT_EQ(warnings, std::vector<std::string>()) << host::formatName(format);
        Exiv2::XmpData xmp;
        ASSERT_EQ(Exiv2::XmpParser::decode(xmp, host::decodeImage(written, "out").metadata.xmp), 0);
        auto alternatives = [&xmp](const char* key) {
            const auto found = xmp.findKey(Exiv2::XmpKey(key));
            return found == xmp.end() ? std::string("(none)") : found->value().toString();
        };
        EXPECT_EQ(alternatives("Xmp.dc.title"), "lang=\"x-default\" Pier, lang=\"ru\" Пирс")
            << host::formatName(format);
        EXPECT_EQ(alternatives("Xmp.dc.description"), "lang=\"x-default\" Steg, lang=\"de\" Steg")
            << host::formatName(format);
    }
}

// A progressive JPEG is held whole as its coefficients: it is refused for
// their size against the limit, which the message names, not for how well
// it compresses.
TEST(JpegReading, ProgressiveFilesAreBoundByTheirPixels) {
    const std::vector<std::uint8_t> file = makeJpeg(smooth(1000, 700, false), {.quality = 20, .progressive = true});
    ASSERT_LT(file.size(), std::size_t{64} << 10);
    host::MemorySource source(file, "small.jpg");
    EXPECT_NO_THROW(host::openImageReader(source));
    try {
        host::openImageReader(source, {.maxMemoryBytes = std::uint64_t{2} << 20});
        ADD_FAILURE() << "refused no progressive JPEG beyond the limit";
    } catch (const host::HostError& error) {
        EXPECT_NE(std::string(error.what()).find("'small.jpg': a progressive JPEG of 1000 x 700 pixels"),
                  std::string::npos)
            << error.what();
        EXPECT_NE(std::string(error.what()).find("limit of 2 MiB"), std::string::npos) << error.what();
    }
}

}  // namespace
