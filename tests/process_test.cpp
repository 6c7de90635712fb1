// Process, reached through the host loader: the pixels it writes, the bytes
// it must leave alone, and every colour under every preset.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/plugin/plugin_library.h"
#include "tests/built_plugin.h"
#include "tests/colour_sweep.h"
#include "tests/exact_form.h"
#include "toning/kernel_dispatch.h"

namespace {

using host::ParameterBlock;
using host::PluginObject;
using testing_support::plugin;

using Bgr = std::array<int, 3>;

ParameterBlock recordFor(double value) {
    ParameterBlock record;
    record.setValue(value);
    return record;
}

std::vector<std::uint8_t> pixelsFrom(const std::vector<Bgr>& colours, std::uint8_t fourth) {
    std::vector<std::uint8_t> bytes;
    for (const Bgr& c : colours) {
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(c[0]), static_cast<std::uint8_t>(c[1]),
                                   static_cast<std::uint8_t>(c[2]), fourth});
    }
    return bytes;
}

TEST(Process, ReferencePixels) {
    const std::vector<Bgr> sources = {{255, 255, 255}, {128, 128, 128}, {37, 99, 201}, {10, 200, 90}};
    const std::array<std::array<Bgr, 4>, 11> expected = {{
        {{{238, 255, 255}, {119, 153, 172}, {112, 144, 162}, {132, 170, 191}}},
        {{{204, 255, 255}, {102, 128, 153}, {97, 122, 146}, {116, 145, 174}}},
        {{{168, 232, 255}, {84, 116, 139}, {54, 77, 91}, {66, 92, 107}}},
        {{{174, 231, 255}, {87, 116, 132}, {64, 85, 97}, {70, 96, 110}}},
        {{{238, 255, 255}, {119, 153, 172}, {87, 112, 126}, {56, 71, 80}}},
        {{{220, 255, 255}, {110, 135, 148}, {52, 62, 67}, {71, 80, 85}}},
        {{{255, 255, 0}, {145, 135, 0}, {107, 62, 0}, {96, 80, 0}}},
        {{{255, 211, 0}, {190, 106, 0}, {132, 75, 0}, {138, 88, 0}}},
        {{{255, 255, 0}, {190, 170, 0}, {132, 103, 0}, {138, 122, 0}}},
        {{{252, 243, 0}, {126, 122, 0}, {63, 80, 0}, {60, 133, 0}}},
        {{{255, 255, 0}, {165, 160, 0}, {123, 140, 0}, {87, 160, 0}}},
    }};
    PluginObject object(plugin());
    const std::vector<std::uint8_t> source = pixelsFrom(sources, 0x11);
    for (int preset = 0; preset < 11; ++preset) {
        std::vector<std::uint8_t> destination(source.size(), 0x7F);
        object.process(destination.data(), source.data(), 4, 1, recordFor(preset));
        for (std::size_t p = 0; p < sources.size(); ++p) {
            const Bgr got = {destination[4 * p], destination[4 * p + 1], destination[4 * p + 2]};
            EXPECT_EQ(got, expected[static_cast<std::size_t>(preset)][p]) << "preset " << preset << ", pixel " << p;
            EXPECT_EQ(destination[4 * p + 3], 0x7F);
        }
    }
}

TEST(Process, GreyKeepsItsLevelInGreenUnderSepia2) {
    std::vector<Bgr> greys;
    greys.reserve(256);
    for (int v = 0; v < 256; ++v) {
        greys.push_back({v, v, v});
    }
    const std::vector<std::uint8_t> source = pixelsFrom(greys, 0);
    std::vector<std::uint8_t> destination(source.size());
    PluginObject(plugin()).process(destination.data(), source.data(), 16, 16, recordFor(1.0));
    for (int v = 0; v < 256; ++v) {
        EXPECT_EQ(destination[4 * v + 1], v);
    }
    EXPECT_EQ(destination[4 * 5], 4);
    EXPECT_EQ(destination[4 * 5 + 2], 6);
}

TEST(Process, EmptyImagesLeaveTheDestinationUntouched) {
    PluginObject object(plugin());
    const std::vector<std::uint8_t> source(64, 200);
    const std::pair<int, int> sizes[] = {{0, 4}, {4, 0}, {-1, 4}, {4, -1}, {-3, -3}, {INT32_MIN, 1}, {1, INT32_MIN}};
    for (auto [width, height] : sizes) {
        std::vector<std::uint8_t> destination(64, 0x5A);
        object.process(destination.data(), source.data(), width, height, recordFor(0.0));
        EXPECT_EQ(destination, std::vector<std::uint8_t>(64, 0x5A)) << width << " x " << height;
    }
}

TEST(Process, OutOfRangeTurnsEveryPixelBlackAndKeepsTheFourthByte) {
    std::vector<std::uint8_t> source(4 * 37 * 3);
    for (std::size_t i = 0; i < source.size(); ++i) {
        source[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
    std::vector<std::uint8_t> destination(source.size(), 0x7F);
    PluginObject(plugin()).process(destination.data(), source.data(), 37, 3, recordFor(11.0));
    for (std::size_t p = 0; p < destination.size(); p += 4) {
        EXPECT_EQ(destination[p], 0);
        EXPECT_EQ(destination[p + 1], 0);
        EXPECT_EQ(destination[p + 2], 0);
        EXPECT_EQ(destination[p + 3], 0x7F);
    }
}

TEST(Process, InPlaceEqualsOutOfPlaceAndTheSourceIsNotWritten) {
    PluginObject object(plugin());
    std::vector<std::uint8_t> source(4 * 61 * 7);
    for (std::size_t i = 0; i < source.size(); ++i) {
        source[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 13);
    }
    const std::vector<std::uint8_t> original = source;
    for (int preset = -1; preset <= 11; ++preset) {
        std::vector<std::uint8_t> separate(source.size(), 0);
        object.process(separate.data(), source.data(), 61, 7, recordFor(preset));
        ASSERT_EQ(source, original);

        std::vector<std::uint8_t> inPlace = original;
        object.process(inPlace.data(), inPlace.data(), 61, 7, recordFor(preset));
        for (std::size_t i = 0; i < inPlace.size(); ++i) {
            // Bytes 0..2 agree; byte 3 is whatever each destination held.
            const std::uint8_t expected = (i % 4 == 3) ? original[i] : separate[i];
            ASSERT_EQ(inPlace[i], expected) << "preset " << preset << ", byte " << i;
        }
    }
}

// Bytes 0..2 of `toned` against the exact form of `source` under `preset`,
// byte 3 against `fourth` (the destination's own byte before the call);
// reports the first few differences.
void expectExactlyToned(const std::vector<std::uint8_t>& toned, const std::uint8_t* source, int preset,
                        const std::uint8_t* fourth, const std::string& what) {
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < toned.size(); i += 4) {
        const auto expected = exact_form::tone(preset, source[i], source[i + 1], source[i + 2]);
        const std::uint8_t* out = &toned[i];
        if (out[0] != expected[0] || out[1] != expected[1] || out[2] != expected[2] || out[3] != fourth[i + 3]) {
            if (++mismatches <= 5) {
                ADD_FAILURE() << what << ", preset " << preset << ", pixel " << i / 4 << " (" << int(source[i]) << ","
                              << int(source[i + 1]) << "," << int(source[i + 2]) << "): got " << int(out[0]) << ","
                              << int(out[1]) << "," << int(out[2]) << "," << int(out[3]) << " expected "
                              << int(expected[0]) << "," << int(expected[1]) << "," << int(expected[2]) << ","
                              << int(fourth[i + 3]);
            }
        }
    }
    EXPECT_EQ(mismatches, 0u) << what << ", preset " << preset;
}

// Every one of the 2^24 colours (fewer where SEPIA_COLOUR_STEP says so) under
// every preset and two indices that select none, out of place and in place,
// against the exact form stated independently in exact_form.h.
TEST(Process, EveryColourUnderEveryPresetMatchesTheExactForm) {
    const std::vector<std::uint32_t> colours = colour_sweep::colours();
    const std::vector<std::uint8_t> source = colour_sweep::pixels(colours);
    const int height = static_cast<int>(colours.size() / colour_sweep::kSweepWidth);
    const std::vector<std::uint8_t> fourth(source.size(), 0xC3);
    std::vector<std::uint8_t> destination(source.size());
    PluginObject object(plugin());
    for (int preset = -1; preset <= 11; ++preset) {
        destination = fourth;
        object.process(destination.data(), source.data(), colour_sweep::kSweepWidth, height, recordFor(preset));
        expectExactlyToned(destination, source.data(), preset, fourth.data(), "out of place");
        destination = source;
        object.process(destination.data(), destination.data(), colour_sweep::kSweepWidth, height, recordFor(preset));
        expectExactlyToned(destination, source.data(), preset, source.data(), "in place");
    }
}

// Widths around every vector width and cache line, one row and three, with
// the destination on a line boundary, off one, and off whole pixels; in
// place and not. Nothing outside the image is written.
TEST(Process, WidthsAroundEveryVectorWidth) {
    constexpr std::size_t kGuard = 64;
    constexpr std::uint8_t kGuardByte = 0xEE;
    PluginObject object(plugin());
    for (int height : {1, 3}) {
        for (int width = 1; width <= 70; ++width) {
            const std::size_t bytes = 4 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
            std::vector<std::uint8_t> source(bytes);
            for (std::size_t i = 0; i < bytes; ++i) {
                source[i] = static_cast<std::uint8_t>(i * 151 + static_cast<std::size_t>(width));
            }
            for (std::size_t offset : {0, 4, 8, 36, 60, 1, 3}) {
                for (bool inPlace : {false, true}) {
                    std::vector<std::uint8_t> storage(2 * kGuard + offset + bytes + 64, kGuardByte);
                    std::uint8_t* buffer =
                        storage.data() + (64 - reinterpret_cast<std::uintptr_t>(storage.data()) % 64);
                    std::uint8_t* out = buffer + kGuard + offset;
                    const std::vector<std::uint8_t> before(source.rbegin(), source.rend());
                    std::copy(inPlace ? source.begin() : before.begin(), inPlace ? source.end() : before.end(), out);
                    object.process(out, inPlace ? out : source.data(), width, height, recordFor(8));
                    const std::string what = std::to_string(width) + " x " + std::to_string(height) + " at offset " +
                                             std::to_string(offset) + (inPlace ? ", in place" : "");
                    expectExactlyToned(std::vector<std::uint8_t>(out, out + bytes), source.data(), 8,
                                       inPlace ? source.data() : before.data(), what);
                    ASSERT_TRUE(std::all_of(buffer, out, [](std::uint8_t b) { return b == kGuardByte; })) << what;
                    ASSERT_TRUE(std::all_of(out + bytes, out + bytes + kGuard, [](std::uint8_t b) {
                        return b == kGuardByte;
                    })) << what;
                }
            }
        }
    }
}

// An image whose source and destination together exceed the size from which
// stores go around the caches on this CPU.
TEST(Process, AnImagePastTheStreamingThreshold) {
    const std::size_t threshold = activeToningPlan().streamingBytes;
    constexpr int kWidth = 2048;
    const int height = static_cast<int>(threshold / 8 / kWidth + 3);
    std::vector<std::uint8_t> source(4 * std::size_t{kWidth} * static_cast<std::size_t>(height));
    for (std::size_t i = 0; i < source.size(); ++i) {
        source[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 11);
    }
    const std::vector<std::uint8_t> fourth(source.size(), 0x7F);
    std::vector<std::uint8_t> destination = fourth;
    ASSERT_GE(2 * destination.size(), threshold);
    PluginObject(plugin()).process(destination.data(), source.data(), kWidth, height, recordFor(4));
    expectExactlyToned(destination, source.data(), 4, fourth.data(),
                       std::to_string(threshold >> 20) + " MiB threshold");
}

// The kernel the dispatch takes. Where the test runs on a CPU it was told of
// (SEPIA_EXPECTED_KERNEL, as the emulated CPU models set it), that kernel.
TEST(Dispatch, TakesTheKernelThisCpuShouldRun) {
    const ToningPlan plan = activeToningPlan();
    const char* chosen = nullptr;
    for (const ToningKernelChoice& choice : toningKernels()) {
        if (choice.kernel == plan.kernel) {
            chosen = choice.id;
        }
    }
    ASSERT_NE(chosen, nullptr);
    std::printf("dispatch chose the %s kernel; stores go around the caches from %zu MiB on\n", chosen,
                plan.streamingBytes >> 20);
    if (const char* expected = std::getenv("SEPIA_EXPECTED_KERNEL"); expected != nullptr) {
        EXPECT_STREQ(chosen, expected);
    }
}

}  // namespace
