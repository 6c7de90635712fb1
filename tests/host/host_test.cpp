// The reference host end to end, in process: its commands, many files at
// once, and every bad input it must refuse cleanly.
#include <gtest/gtest.h>
#include <tiff.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/exact_form.h"
#include "tests/host/host_fixture.h"
#include "tests/host/test_pictures.h"

namespace {

using host_fixture::HostRun;
using host_fixture::readBytes;
using host_fixture::sepiaHost;
using host_fixture::writeBytes;
using namespace test_pictures;

using HostCommands = host_fixture::HostTest;

TEST_F(HostCommands, InfoListsWhatThePluginReports) {
    const HostRun run = sepiaHost({"info", plugin_});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* expected :
         {"name         Sepia\n", "description  Simulates Sepia and Cyanotype\n", "4=0x483D38", "5=0x828282", "6=70",
          "maximum 10", "kind 3", "   0  Sepia 1\n", "  10  Cyanotype 5\n"}) {
        EXPECT_NE(run.out.find(expected), std::string::npos) << expected << " in\n" << run.out;
    }
}

TEST_F(HostCommands, SheetOfTheBuiltInChartAndOfAFile) {
    HostRun run = sepiaHost({"sheet", plugin_, path("chart.png")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_GT(readPng(readBytes(path("chart.png"))).width, 4 * 256);

    run = sepiaHost({"sheet", plugin_, write("in.jpg", makeJpeg(smooth(300, 200, false))), path("sheet.webp")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_GT(readWebp(readBytes(path("sheet.webp"))).width, 4 * 256);
}

TEST_F(HostCommands, HelpAndUsageErrors) {
    for (const std::vector<std::string>& help :
         {std::vector<std::string>{"--help"}, {"info", "--help"}, {"apply", "--help"}, {"sheet", "-h"}}) {
        const HostRun run = sepiaHost(help);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_NE(run.out.find("usage: sepia-host"), std::string::npos);
    }
    EXPECT_NE(sepiaHost({"apply", "--help"}).out.find("16-bit samples are rounded to 8 bits"), std::string::npos);
    const std::string in = write("in.png", makePng(patterned(5, 4, false)));
    for (const std::vector<std::string>& wrong : {std::vector<std::string>{},
                                                  {"frobnicate"},
                                                  {"info"},
                                                  {"apply", plugin_, "in.png", "out.png"},
                                                  {"apply", plugin_, "--preset"},
                                                  {"apply", plugin_, "-p", "1", "--quality", "0", in, "out.jpg"},
                                                  {"apply", plugin_, "-p", "1", "--quality", "ninety", in, "out.jpg"},
                                                  {"apply", plugin_, "-p", "1", "--lossless=yes", in, "out.webp"},
                                                  {"apply", plugin_, "-p", "1", "--format", "png", in, "out.png"},
                                                  {"apply", plugin_, "-p", "1", "-o", path("d"), "--format", "gif", in},
                                                  {"apply", plugin_, "-p", "1", "-o", path("d"), "--jobs", "0", in},
                                                  {"apply", plugin_, "-p", "1", "-o", path("d")},
                                                  {"apply", plugin_, "-p", "1", "-p", "2", in, "out.png"},
                                                  {"sheet", plugin_},
                                                  {"info", plugin_, "--bogus"}}) {
        const HostRun run = sepiaHost(wrong);
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_NE(run.err.find("usage: sepia-host"), std::string::npos) << run.err;
    }
}

TEST_F(HostCommands, SuccessReplacesAnExistingOutputWhole) {
    writeBytes(folder_ / "out.jpg", {'o', 'l', 'd'});
    const std::string in = write("in.png", makePng(patterned(37, 23, false)));
    const HostRun run = sepiaHost({"apply", plugin_, "--preset=Sepia 3", "--quality=75", in, path("out.jpg")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readJpeg(readBytes(path("out.jpg"))).width, 37);
    EXPECT_EQ(listing(), (std::vector<std::string>{"in.png", "out.jpg"}));
}

// A PNG whose header announces `width` x `height` pixels, with the right
// checksums, and no image data.
std::vector<std::uint8_t> pngHeaderOnly(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (const std::uint32_t value : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            file.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    }
    file.insert(file.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    auto appendCrc = [&file](std::size_t chunkType) {
        const auto crc =
            static_cast<std::uint32_t>(crc32(0, &file[chunkType], static_cast<unsigned>(file.size() - chunkType)));
        for (int shift = 24; shift >= 0; shift -= 8) {
            file.push_back(static_cast<std::uint8_t>(crc >> shift));
        }
    };
    appendCrc(12);
    // An empty image data chunk: the decoder reads up to it.
    file.insert(file.end(), {0, 0, 0, 0, 'I', 'D', 'A', 'T'});
    appendCrc(file.size() - 4);
    return file;
}

// A JPEG whose frame header announces 30000 x 30000 pixels.
std::vector<std::uint8_t> jpegHeaderOnly() {
    std::vector<std::uint8_t> file = makeJpeg(patterned(8, 8, false));
    for (std::size_t i = 2; i + 8 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] == 0xC0) {  // start of frame: length, precision, height, width
            file[i + 5] = 0x75;
            file[i + 6] = 0x30;
            file[i + 7] = 0x75;
            file[i + 8] = 0x30;
            break;
        }
    }
    return file;
}

// A failing run reports on stderr, exits non-zero, leaves an existing OUT as
// it was and no temporary file behind.
TEST_F(HostCommands, BadInputFailsCleanly) {
    const std::string good = write("good.png", makePng(patterned(37, 23, true)));
    write("text.png", {'h', 'e', 'l', 'l', 'o'});
    const std::vector<std::uint8_t> goodBytes = readBytes(good);
    write("truncated.png", std::vector<std::uint8_t>(goodBytes.begin(), goodBytes.begin() + 60));
    write("huge.png", pngHeaderOnly(60000, 60000));  // 14 GB as BGRA
    write("huge.jpg", jpegHeaderOnly());
    write("empty.tif", {});
    write("animated.webp", {});
    const std::string wide = write("wide.png", makePng(patterned(16384, 1, false)));
    std::filesystem::create_directory(folder_ / "folder.png");
    const std::vector<std::uint8_t> previous = {'o', 'l', 'd'};
    writeBytes(folder_ / "out.png", previous);
    const std::vector<std::string> before = listing();

    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string message;
    };
    const std::string out = path("out.png");
    const Case cases[] = {
        {{"apply", plugin_, "-p", "1", path("missing.png"), out}, 1, "no such file"},
        {{"apply", plugin_, "-p", "1", path("folder.png"), out}, 1, "is a folder"},
        {{"apply", plugin_, "-p", "1", path("text.png"), out},
         1,
         "not a PNG, JPEG, TIFF, WebP, HEIF, AVIF or JPEG XL image"},
        {{"apply", plugin_, "-p", "1", path("empty.tif"), out}, 1, "is empty"},
        {{"apply", plugin_, "-p", "1", path("truncated.png"), out}, 1, "not a valid PNG"},
        // A header that claims a huge picture costs what its data does.
        {{"apply", plugin_, "-p", "1", path("huge.png"), out}, 1, "not a valid PNG image (the file ends early)"},
        {{"apply", plugin_, "-p", "1", path("huge.jpg"), out}, 1, "not a valid JPEG image"},
        {{"apply", plugin_, "-p", "1", "--max-pixels", "1000000", path("huge.png"), out},
         1,
         "60000 x 60000 pixels, more than the limit of 1000000 pixels (--max-pixels)"},
        {{"apply", plugin_, "-p", "1", "--max-pixels", "0", good, out}, 2, "--max-pixels must be a whole number"},
        {{"apply", path("text.png"), "-p", "1", good, out}, 1, "cannot load plug-in library"},
        {{"apply", path("missing.so"), "-p", "1", good, out}, 1, "cannot load plug-in library"},
        {{"apply", host::libraryBesideExecutable("incomplete_plugin"), "-p", "1", good, out},
         1,
         "does not export Release_Plugin"},
        {{"apply", plugin_, "-p", "Sepia 7", good, out}, 2, "Cyanotype 5"},
        {{"apply", plugin_, "-p", "sepia 1", good, out}, 2, "unknown preset"},
        {{"apply", plugin_, "-p", "11", good, out}, 2, "outside 0 to 10"},
        {{"apply", plugin_, "-p", "-1", good, out}, 2, "outside 0 to 10"},
        {{"apply", plugin_, "-p", "1", good, path("no-such-folder/out.png")}, 1, "does not exist"},
        {{"apply", plugin_, "-p", "1", good, path("out.gif")}, 2, ".png, .jpg"},
        {{"sheet", plugin_, path("truncated.png"), out}, 1, "not a valid PNG"},
        // An encoder's refusal names the input and the output too.
        {{"apply", plugin_, "-p", "1", wide, path("wide.webp")},
         1,
         "'" + wide + "': cannot write '" + path("wide.webp") + "': cannot encode WebP (the image is too large"},
    };
    for (const Case& c : cases) {
        const HostRun run = sepiaHost(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.message << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << "expected '" << c.message << "' in: " << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_EQ(readBytes(folder_ / "out.png"), previous) << "OUT was changed by: " << c.message;
        EXPECT_EQ(listing(), before) << "files left behind by: " << c.message;
    }
}

// Truncated and bit-flipped files of every format: each gives a picture, or
// a refusal that names the file and writes nothing.
TEST_F(HostCommands, DamagedFilesGiveAPictureOrACleanRefusal) {
    const BgraImage picture = smooth(40, 30, true);
    const struct {
        const char* name;
        std::vector<std::uint8_t> file;
    } originals[] = {
        {"in.png", makePng(picture, {.exif = exifBlock(6), .icc = rgbProfile("damaged")})},
        {"in.jpg", makeJpeg(picture, {.exif = exifBlock(3), .icc = rgbProfile("damaged")})},
        {"in-progressive.jpg", makeJpeg(picture, {.progressive = true})},
        {"in.tif", makeTiff(picture, {.orientation = 5, .compression = COMPRESSION_LZW, .icc = rgbProfile("d")})},
        {"in.webp", makeWebp(picture, false, exifBlock(8))},
        {"in-lossless.webp", makeWebp(picture, true)},
        {"in.avif", makeAvif(picture, {.orientation = 6, .exif = exifBlock(1)})},
        {"in.jxl", makeJxl(picture, {.orientation = 3, .xmp = xmpPacket()})},
    };
    int refused = 0, toned = 0;
    for (const auto& original : originals) {
        std::vector<std::vector<std::uint8_t>> damaged;
        const std::size_t size = original.file.size();
        for (const std::size_t keep : {std::size_t{8}, size / 10, size / 3, size / 2, size - 40, size - 1}) {
            damaged.emplace_back(original.file.begin(), original.file.begin() + static_cast<std::ptrdiff_t>(keep));
        }
        for (std::size_t seed = 1; seed <= 24; ++seed) {
            std::vector<std::uint8_t> flipped = original.file;
            const std::size_t at = (seed * 2654435761u) % size;
            flipped[at] ^= static_cast<std::uint8_t>(1u << (seed % 8));
            damaged.push_back(flipped);
        }
        for (std::size_t i = 0; i < damaged.size(); ++i) {
            const std::string in = write(original.name, damaged[i]);
            const std::string out = path("out.tif");
            const HostRun run = sepiaHost({"apply", plugin_, "-p", "2", in, out});
            const std::string what = std::string(original.name) + ", damage " + std::to_string(i);
            if (run.exitCode == 0) {
                ++toned;
                EXPECT_NO_THROW(readTiff(readBytes(out))) << what;
                std::filesystem::remove(out);
            } else {
                ++refused;
                EXPECT_EQ(run.exitCode, 1) << what << ": " << run.err;
                EXPECT_NE(run.err.find(in), std::string::npos) << what << ": " << run.err;
            }
            EXPECT_EQ(listing(), std::vector<std::string>{original.name}) << what;
            std::filesystem::remove(in);
        }
    }
    std::printf("damaged files: %d refused, %d toned\n", refused, toned);
}

// Many files at once: each IN toned into DIR under its own name, the broken
// one reported by name and skipped, the exit status 1 because of it.
TEST_F(HostCommands, ManyFilesWithOneBrokenAmongThem) {
    const BgraImage picture = patterned(37, 23, true);
    const std::vector<std::string> inputs = {
        write("a.png", makePng(picture)),
        write("b.TIF", makeTiff(picture)),
        write("broken.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0}),
        write("c.webp", makeWebp(picture, true)),
    };
    for (const std::string jobs : {"1", "4"}) {
        const std::string dir = path("out-" + jobs + "/nested");  // created, parents and all
        std::vector<std::string> arguments = {"apply", plugin_, "-p", "Cyanotype 1", "--output-dir",
                                              dir,     "-j",    jobs, "--lossless"};
        arguments.insert(arguments.end(), inputs.begin(), inputs.end());
        const HostRun run = sepiaHost(arguments);
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_NE(run.err.find("broken.png"), std::string::npos) << run.err;
        EXPECT_EQ(listing(dir), (std::vector<std::string>{"a.png", "b.TIF", "c.webp"}));
        for (const char* name : {"a.png", "b.TIF", "c.webp"}) {
            EXPECT_NE(run.out.find(name), std::string::npos) << run.out;
        }
        const std::vector<std::uint8_t> expected = exact_form::tonePixels(6, picture.pixels);
        EXPECT_EQ(readPng(readBytes(dir + "/a.png")).pixels, expected);
        EXPECT_EQ(readTiff(readBytes(dir + "/b.TIF")).pixels, expected);
        EXPECT_EQ(readWebp(readBytes(dir + "/c.webp")).pixels, expected);
    }
}

// File names in any script, on every system: Windows' narrow encoding
// cannot name them all, so the host keeps names in UTF-8 to the last step.
TEST_F(HostCommands, FileNamesBeyondAscii) {
    const std::string in = write("caf\u00e9 \u00e9t\u00e9 \u5199\u771f.png", makePng(patterned(9, 7, true)));
    HostRun run = sepiaHost({"apply", plugin_, "-p", "0", in, path("gr\u00fc\u00dfe.jpg")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readJpeg(readBytes(path("gr\u00fc\u00dfe.jpg"))).width, 9);
    run = sepiaHost({"apply", plugin_, "-p", "0", "-o", path("\u00e9t\u00e9"), "--format", "webp", in});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(listing(path("\u00e9t\u00e9")), std::vector<std::string>{"caf\u00e9 \u00e9t\u00e9 \u5199\u771f.webp"});
}

// On a terminal, a line at the bottom counts the files done and failed.
TEST_F(HostCommands, ProgressLineOnATerminal) {
    const std::string good = write("good.png", makePng(patterned(9, 7, false)));
    const std::string bad = write("bad.png", {'x'});
    std::ostringstream out;
    std::ostringstream err;
    const int code = host::runCommandLine({"apply", plugin_, "-p", "1", "-o", path("out"), "-j", "1", good, bad}, out,
                                          err, /*errIsTerminal=*/true);
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.str().find("2 of 2 files, 1 failed"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("\r\x1B[K"), std::string::npos) << "the line is redrawn in place";
    EXPECT_EQ(out.str().find('\r'), std::string::npos) << "results stay clean: " << out.str();
}

TEST_F(HostCommands, ManyFilesInOneFormatAndNamesThatWouldCollide) {
    std::filesystem::create_directory(folder_ / "other");
    const std::string a = write("a.png", makePng(patterned(9, 7, false)));
    const std::string otherA = write("other/a.tif", makeTiff(patterned(9, 7, false)));
    const std::string b = write("b.webp", makeWebp(patterned(9, 7, false), true));
    const std::string dir = path("jpegs");
    HostRun run = sepiaHost({"apply", plugin_, "-p", "4", "-o", dir, "--format", "JPG", a, otherA, b});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("already written for"), std::string::npos) << run.err;
    EXPECT_EQ(listing(dir), (std::vector<std::string>{"a.JPG", "b.JPG"}));

    // An output that would be the input itself is refused, not overwritten.
    const std::vector<std::uint8_t> before = readBytes(a);
    run = sepiaHost({"apply", plugin_, "-p", "4", "-o", folder_.string(), a});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("would replace it"), std::string::npos) << run.err;
    EXPECT_EQ(readBytes(a), before);
}

}  // namespace

// A file that holds more pictures than its output takes: the first is
// toned, and a warning names the input, the output and what was left out.
TEST_F(HostCommands, PicturesLeftOutAreNamed) {
    const BgraImage picture = patterned(24, 16, true);
    const struct {
        const char* name;
        std::vector<std::uint8_t> file;
        const char* heldBack;
    } inputs[] = {
        {"animated.png", makePng(picture, {.frames = 3}), "holds 3 frames"},
        {"pages.tif", makeTiff(picture, {.pages = 3}), "holds 3 pages"},
        {"animated.webp", makeAnimatedWebp(picture, 4), "holds 4 frames"},
    };
    for (const auto& input : inputs) {
        const std::string in = write(input.name, input.file);
        const std::string out = path("out.png");
        const HostRun run = sepiaHost({"apply", plugin_, "-p", "5", in, out});
        ASSERT_EQ(run.exitCode, 0) << input.name << ": " << run.err;
        EXPECT_NE(run.err.find("'" + in + "' " + input.heldBack + "; only the first is toned into '" + out + "'"),
                  std::string::npos)
            << input.name << ": " << run.err;
        EXPECT_EQ(readPng(readBytes(out)).pixels, exact_form::tonePixels(5, picture.pixels)) << input.name;
    }
    // TIFF into TIFF: every page toned.
    BgraImage upsideDown = picture;
    for (int y = 0; y < picture.height; ++y) {
        std::memcpy(upsideDown.at(0, y), picture.at(0, picture.height - 1 - y), 4 * std::size_t{24});
    }
    const HostRun run =
        sepiaHost({"apply", plugin_, "-p", "5", write("pages.tif", makeTiff(picture, {.pages = 3})), path("out.tif")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<std::uint8_t> pages = readBytes(path("out.tif"));
    ASSERT_EQ(tiffPages(pages), 3);
    for (int page = 0; page < 3; ++page) {
        EXPECT_EQ(readTiff(pages, page).pixels, exact_form::tonePixels(5, (page == 0 ? picture : upsideDown).pixels))
            << "page " << page;
    }
}
