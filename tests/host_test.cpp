// The reference host end to end, in process: real files in, real files out,
// the built plug-in loaded by path; and each bad input it must refuse cleanly.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/cli/command_line.h"
#include "host/plugin/module_path.h"
#include "host/sheet/stb.h"
#include "tests/exact_form.h"

namespace {

namespace fs = std::filesystem;

struct HostRun {
    int exitCode;
    std::string out;
    std::string err;
};

HostRun sepiaHost(const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    const int code = host::runCommandLine(arguments, out, err);
    return {code, out.str(), err.str()};
}

void appendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    out->insert(out->end(), static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size);
}

void writeBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class HostTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 37;
    static constexpr int kHeight = 23;

    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("sepia-host-test-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(folder_);
        plugin_ = host::pluginBesideExecutable();
        // An RGBA picture whose every pixel differs, with varied alpha.
        rgba_.resize(4u * kWidth * kHeight);
        for (std::size_t i = 0; i < rgba_.size(); ++i) {
            rgba_[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 9);
        }
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    std::string writePng(const std::string& name, int channels) const {
        std::vector<std::uint8_t> pixels;
        for (std::size_t i = 0; i < rgba_.size(); i += 4) {
            pixels.insert(pixels.end(), rgba_.begin() + static_cast<std::ptrdiff_t>(i),
                          rgba_.begin() + static_cast<std::ptrdiff_t>(i) + channels);
        }
        std::vector<std::uint8_t> file;
        stbi_write_png_to_func(appendBytes, &file, kWidth, kHeight, channels, pixels.data(), kWidth * channels);
        writeBytes(folder_ / name, file);
        return path(name);
    }

    // The files in the test folder, to show nothing stray was left behind.
    std::vector<std::string> listing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder_;
    std::string plugin_;
    std::vector<std::uint8_t> rgba_;
};

TEST_F(HostTest, ApplyTonesEveryPixelExactlyAndKeepsAlpha) {
    const std::string input = writePng("in.png", 4);
    for (const std::string& preset : {std::string("Cyanotype 2"), std::string("7")}) {
        const HostRun run = sepiaHost({"apply", plugin_, "--preset", preset, input, path("out.png")});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        int width = 0, height = 0, channels = 0;
        const std::vector<std::uint8_t> file = readBytes(folder_ / "out.png");
        stbi_uc* out = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &width, &height, &channels, 4);
        ASSERT_NE(out, nullptr);
        ASSERT_EQ(width, kWidth);
        ASSERT_EQ(height, kHeight);
        EXPECT_EQ(channels, 4);
        for (std::size_t i = 0; i < rgba_.size(); i += 4) {
            const auto expected = exact_form::tone(7, rgba_[i + 2], rgba_[i + 1], rgba_[i]);
            ASSERT_EQ(out[i], expected[2]) << "red of pixel " << i / 4;
            ASSERT_EQ(out[i + 1], expected[1]) << "green of pixel " << i / 4;
            ASSERT_EQ(out[i + 2], expected[0]) << "blue of pixel " << i / 4;
            ASSERT_EQ(out[i + 3], rgba_[i + 3]) << "alpha of pixel " << i / 4;
        }
        stbi_image_free(out);
    }
}

TEST_F(HostTest, ImagesWithoutAlphaComeOutOpaqueAndEveryInputFormatReads) {
    std::vector<std::uint8_t> rgb;
    for (std::size_t i = 0; i < rgba_.size(); i += 4) {
        rgb.insert(rgb.end(), {rgba_[i], rgba_[i + 1], rgba_[i + 2]});
    }
    std::vector<std::uint8_t> bmp, tga, jpg;
    stbi_write_bmp_to_func(appendBytes, &bmp, kWidth, kHeight, 3, rgb.data());
    stbi_write_tga_to_func(appendBytes, &tga, kWidth, kHeight, 3, rgb.data());
    stbi_write_jpg_to_func(appendBytes, &jpg, kWidth, kHeight, 3, rgb.data(), 90);
    writeBytes(folder_ / "in.bmp", bmp);
    writeBytes(folder_ / "in.tga", tga);
    writeBytes(folder_ / "in.jpg", jpg);
    for (const std::string name : {"in.bmp", "in.tga", "in.jpg"}) {
        for (const std::string output : {"out.png", "OUT.BMP"}) {
            const HostRun run = sepiaHost({"apply", plugin_, "-p", "Sepia 1", path(name), path(output)});
            ASSERT_EQ(run.exitCode, 0) << name << ": " << run.err;
            const std::vector<std::uint8_t> file = readBytes(folder_ / output);
            int width = 0, height = 0, channels = 0;
            stbi_uc* out =
                stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &width, &height, &channels, 4);
            ASSERT_NE(out, nullptr) << output;
            EXPECT_EQ(channels, 3) << output;
            for (int p = 0; p < width * height; ++p) {
                ASSERT_EQ(out[4 * p + 3], 255);
            }
            if (name != "in.jpg") {  // lossless inputs tone exactly
                const auto expected = exact_form::tone(0, rgb[2], rgb[1], rgb[0]);
                EXPECT_EQ(out[0], expected[2]);
                EXPECT_EQ(out[2], expected[0]);
            }
            stbi_image_free(out);
        }
    }
}

TEST_F(HostTest, InfoListsWhatThePluginReports) {
    const HostRun run = sepiaHost({"info", plugin_});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* expected :
         {"name         Sepia\n", "description  Simulates Sepia and Cyanotype\n", "4=0x483D38", "5=0x828282", "6=70",
          "maximum 10", "kind 3", "   0  Sepia 1\n", "  10  Cyanotype 5\n"}) {
        EXPECT_NE(run.out.find(expected), std::string::npos) << expected << " in\n" << run.out;
    }
}

TEST_F(HostTest, SheetOfTheBuiltInChartAndOfAFile) {
    HostRun run = sepiaHost({"sheet", plugin_, path("chart.png")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    int width = 0, height = 0, channels = 0;
    std::vector<std::uint8_t> file = readBytes(folder_ / "chart.png");
    ASSERT_EQ(stbi_info_from_memory(file.data(), static_cast<int>(file.size()), &width, &height, &channels), 1);
    EXPECT_GT(width, 4 * 256);

    run = sepiaHost({"sheet", plugin_, writePng("in.png", 4), path("sheet.bmp")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    file = readBytes(folder_ / "sheet.bmp");
    EXPECT_EQ(stbi_info_from_memory(file.data(), static_cast<int>(file.size()), &width, &height, &channels), 1);
}

TEST_F(HostTest, HelpAndUsageErrors) {
    for (const std::vector<std::string>& help :
         {std::vector<std::string>{"--help"}, {"info", "--help"}, {"apply", "--help"}, {"sheet", "-h"}}) {
        const HostRun run = sepiaHost(help);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_NE(run.out.find("usage: sepia-host"), std::string::npos);
    }
    for (const std::vector<std::string>& wrong : {std::vector<std::string>{},
                                                  {"frobnicate"},
                                                  {"info"},
                                                  {"apply", plugin_, "in.png", "out.png"},
                                                  {"apply", plugin_, "--preset"},
                                                  {"sheet", plugin_},
                                                  {"info", plugin_, "--bogus"}}) {
        const HostRun run = sepiaHost(wrong);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find("usage: sepia-host"), std::string::npos) << run.err;
    }
}

// A failing run reports on stderr, exits non-zero, leaves an existing OUT as
// it was and no temporary file behind.
TEST_F(HostTest, BadInputFailsCleanly) {
    const std::string good = writePng("good.png", 4);
    writeBytes(folder_ / "text.png", {'h', 'e', 'l', 'l', 'o'});
    std::vector<std::uint8_t> png = readBytes(good);
    writeBytes(folder_ / "truncated.png", std::vector<std::uint8_t>(png.begin(), png.begin() + 60));
    // A valid RGB header announcing 18000 x 18000 pixels, which the decoder
    // would accept but which holds more than 1 GiB as BGRA (stb ignores the
    // CRC).
    std::vector<std::uint8_t> huge = readBytes(writePng("rgb.png", 3));
    for (int i : {16, 20}) {
        huge[static_cast<std::size_t>(i) + 0] = 0;
        huge[static_cast<std::size_t>(i) + 1] = 0;
        huge[static_cast<std::size_t>(i) + 2] = 0x46;
        huge[static_cast<std::size_t>(i) + 3] = 0x50;
    }
    writeBytes(folder_ / "huge.png", huge);
    // A JPEG whose Huffman table lists 16 x 255 codes; the decoder would
    // write past its 256-entry tables.
    std::vector<std::uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xC4, 0x00, 0x13, 0x00};
    jpeg.insert(jpeg.end(), 16, 0xFF);
    writeBytes(folder_ / "huffman.jpg", jpeg);
    fs::create_directory(folder_ / "folder.png");
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
        {{"apply", plugin_, "-p", "1", path("text.png"), out}, 1, "not a PNG, JPEG, BMP or TGA"},
        {{"apply", plugin_, "-p", "1", path("truncated.png"), out}, 1, "corrupt"},
        {{"apply", plugin_, "-p", "1", path("huge.png"), out}, 1, "too large"},
        {{"apply", plugin_, "-p", "1", path("huffman.jpg"), out}, 1, "corrupt JPEG"},
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
        {{"apply", plugin_, "-p", "1", good, path("out.jpg")}, 2, ".png or .bmp"},
        {{"sheet", plugin_, path("truncated.png"), out}, 1, "corrupt"},
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

TEST_F(HostTest, SuccessReplacesAnExistingOutputWhole) {
    writeBytes(folder_ / "out.png", {'o', 'l', 'd'});
    const HostRun run = sepiaHost({"apply", plugin_, "--preset=Sepia 3", writePng("in.png", 3), path("out.png")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::uint8_t> file = readBytes(folder_ / "out.png");
    int width = 0, height = 0, channels = 0;
    EXPECT_EQ(stbi_info_from_memory(file.data(), static_cast<int>(file.size()), &width, &height, &channels), 1);
    EXPECT_EQ(listing(), (std::vector<std::string>{"in.png", "out.png"}));
}

}  // namespace
