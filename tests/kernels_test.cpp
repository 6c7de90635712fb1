// Every kernel this CPU can run, reached directly, against the scalar kernel;
// and the scalar kernel against the exact form and the literal float steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/colour_sweep.h"
#include "tests/exact_form.h"
#include "toning/kernel_choice.h"
#include "toning/kernel_dispatch.h"
#include "toning/memory_access.h"
#include "toning/preset_index.h"
#include "toning/preset_matrices.h"
#include "toning/scalar_kernel.h"

namespace {

// Presets 0..10 and one index that selects none.
const std::vector<PresetIndex>& presetsUnderTest() {
    static const std::vector<PresetIndex> presets = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, kNoPreset};
    return presets;
}

std::string kernelName(const ::testing::TestParamInfo<std::size_t>& info) {
    std::string name = toningKernels()[info.param].name;
    std::erase(name, '-');
    return name;
}

constexpr StorePolicy kStorePolicies[] = {StorePolicy::ThroughCaches, StorePolicy::AroundCaches};
const char* nameOf(StorePolicy stores) {
    return stores == StorePolicy::AroundCaches ? "stores around the caches" : "stores through the caches";
}

class Kernel : public ::testing::TestWithParam<std::size_t> {
protected:
    void SetUp() override {
        const ToningKernelChoice choice = toningKernels()[GetParam()];
        if (!choice.supported) {
            GTEST_SKIP() << choice.name << " is not supported by this CPU (or its OS); skipped";
        }
        kernel_ = choice.kernel;
    }
    ToningKernel kernel_ = nullptr;
};

TEST_P(Kernel, EveryColourMatchesTheScalarKernel) {
    const std::vector<std::uint8_t> source = colour_sweep::pixels(colour_sweep::colours());
    const std::size_t count = source.size() / 4;
    std::vector<std::uint8_t> expected(source.size());
    std::vector<std::uint8_t> actual(source.size());
    for (PresetIndex preset : presetsUnderTest()) {
        const ToningMatrix& matrix = toningMatrixFor(preset);
        // A fourth byte that shares no bit pattern with what a kernel might
        // leave there by mistake.
        std::memset(expected.data(), 0xA4, expected.size());
        toneScalar(expected.data(), source.data(), count, matrix);
        for (StorePolicy stores : kStorePolicies) {
            std::memset(actual.data(), 0xA4, actual.size());
            kernel_(actual.data(), source.data(), count, matrix, stores);
            ASSERT_EQ(std::memcmp(expected.data(), actual.data(), actual.size()), 0)
                << "preset " << preset << ", " << nameOf(stores);
        }
    }
}

// Widths around every vector and cache line, at destinations on and off
// lines and off whole pixels (which never reach a line), storing through the
// caches and around them, in place and not.
TEST_P(Kernel, EveryWidthAndAlignmentWritesOnlyItsPixels) {
    constexpr std::size_t kGuard = 80;
    constexpr std::uint8_t kGuardByte = 0xEE;
    const ToningMatrix& matrix = toningMatrixFor(0);
    for (StorePolicy stores : kStorePolicies) {
        for (std::size_t width = 1; width <= 70; ++width) {
            for (std::size_t misalign : {0, 1, 2, 3, 4, 5, 17, 32, 33, 60, 63}) {
                const std::string what = std::string(nameOf(stores)) + ", width " + std::to_string(width) +
                                         ", offset " + std::to_string(misalign);
                const std::size_t bytes = 4 * width;
                std::vector<std::uint8_t> source(bytes + misalign + 1);
                for (std::size_t i = 0; i < source.size(); ++i) {
                    source[i] = static_cast<std::uint8_t>(i * 151 + width);
                }
                const std::uint8_t* in = source.data() + misalign;
                std::vector<std::uint8_t> expected(bytes, 0x42);
                toneScalar(expected.data(), in, width, matrix);

                // Line-aligned storage, so that `misalign` places the destination.
                std::vector<std::uint8_t> storage(kGuard + misalign + bytes + kGuard + kLineBytes, kGuardByte);
                std::uint8_t* buffer =
                    storage.data() + (kLineBytes - reinterpret_cast<std::uintptr_t>(storage.data()) % kLineBytes);
                std::uint8_t* out = buffer + kGuard + misalign;
                std::memset(out, 0x42, bytes);
                kernel_(out, in, width, matrix, stores);
                ASSERT_EQ(std::memcmp(out, expected.data(), bytes), 0) << what;
                ASSERT_TRUE(std::all_of(buffer, out, [](std::uint8_t b) { return b == kGuardByte; }))
                    << "wrote before the destination, " << what;
                ASSERT_TRUE(std::all_of(out + bytes, buffer + 2 * kGuard + misalign + bytes,
                                        [](std::uint8_t b) { return b == kGuardByte; }))
                    << "wrote past the destination, " << what;

                // In place, from the same start.
                std::vector<std::uint8_t> inPlace(source);
                kernel_(inPlace.data() + misalign, inPlace.data() + misalign, width, matrix, stores);
                for (std::size_t i = 0; i < bytes; ++i) {
                    const std::uint8_t want = (i % 4 == 3) ? in[i] : expected[i];
                    ASSERT_EQ(inPlace[misalign + i], want) << "in place, " << what << ", byte " << i;
                }
                ASSERT_EQ(inPlace.back(), source.back());
                ASSERT_TRUE(std::equal(inPlace.begin(), inPlace.begin() + static_cast<std::ptrdiff_t>(misalign),
                                       source.begin()));
            }
        }
    }
}

TEST_P(Kernel, ZeroPixelsWritesNothing) {
    std::uint8_t pixel[4] = {9, 9, 9, 9};
    const std::uint8_t source[4] = {255, 255, 255, 255};
    for (StorePolicy stores : kStorePolicies) {
        kernel_(pixel, source, 0, toningMatrixFor(0), stores);
    }
    EXPECT_EQ(pixel[0], 9);
    EXPECT_EQ(pixel[3], 9);
}

INSTANTIATE_TEST_SUITE_P(EverySupportedInstructionSet, Kernel, ::testing::Range<std::size_t>(0, kToningKernelCount),
                         kernelName);

#if defined(SEPIA_X86_64_KERNELS)
// The kernel the dispatch takes for what CPUID and XGETBV say, CPU by CPU,
// including CPUs whose OS does not save the wider registers, and caps.
TEST(Dispatch, TakesTheKernelEachCpuShouldRun) {
    constexpr std::uint32_t ssse3 = 1u << 9, osxsave = 1u << 27, avx = 1u << 28;      // leaf 1, ECX
    constexpr std::uint32_t avx2 = 1u << 5, avx512f = 1u << 16, avx512bw = 1u << 30;  // leaf 7, EBX
    constexpr std::uint32_t core2 = ssse3, sandyBridge = ssse3 | osxsave | avx;
    const struct {
        const char* cpu;
        CpuidReadings readings;
        const char* cap;
        const char* expected;
    } cases[] = {
        {"x86-64 baseline (K8, Nocona)", {0, 0, 0}, "", "sse2"},
        {"Core 2", {core2, 0, 0}, "", "ssse3"},
        {"Sandy Bridge: AVX without AVX2", {sandyBridge, 0, 0x7}, "", "ssse3"},
        {"Haswell", {sandyBridge, avx2, 0x7}, "", "avx2"},
        {"Haswell, OS that saves no YMM state", {sandyBridge, avx2, 0x3}, "", "ssse3"},
        {"Haswell, OS without XSAVE", {ssse3 | avx, avx2, 0x7}, "", "ssse3"},
        {"Knights Landing: AVX-512F without BW", {sandyBridge, avx2 | avx512f, 0xE7}, "", "avx2"},
        {"Skylake-SP", {sandyBridge, avx2 | avx512f | avx512bw, 0xE7}, "", "avx512bw"},
        {"Skylake-SP, OS that saves no ZMM state", {sandyBridge, avx2 | avx512f | avx512bw, 0x7}, "", "avx2"},
        {"Skylake-SP capped at SSE2", {sandyBridge, avx2 | avx512f | avx512bw, 0xE7}, "sse2", "sse2"},
        {"Core 2 capped at AVX-512BW", {core2, 0, 0}, "avx512bw", "ssse3"},
        {"Haswell capped at the scalar kernel", {sandyBridge, avx2, 0x7}, "scalar", "scalar"},
        {"Haswell capped at a kernel not built", {sandyBridge, avx2, 0x7}, "neon", "scalar"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(toningKernels()[kernelIndexFor(featuresFrom(c.readings), c.cap)].id, c.expected) << c.cpu;
    }
}
#endif

// One plan for every call, whose kernel this CPU runs.
TEST(Dispatch, KeepsOnePlan) {
    const ToningPlan plan = activeToningPlan();
    EXPECT_EQ(activeToningPlan().kernel, plan.kernel);
    EXPECT_EQ(activeToningPlan().streamingBytes, plan.streamingBytes);
    EXPECT_GE(plan.streamingBytes, kMinStreamingBytes);
    bool runnable = false;
    for (const ToningKernelChoice& choice : toningKernels()) {
        runnable = runnable || (choice.kernel == plan.kernel && choice.supported);
    }
    EXPECT_TRUE(runnable);
    EXPECT_TRUE(toningKernels().back().supported) << "the scalar kernel always runs";
}

// The scalar kernel is the definition the others are held to. Check it
// against the integer exact form, and against the literal steps: bytes
// normalised through double to float, products and sums in double rounded to
// float, scaled, capped and truncated. The two must agree on every input.
TEST(ScalarKernel, EveryColourMatchesTheExactFormAndTheLiteralSteps) {
    const std::vector<std::uint32_t> colours = colour_sweep::colours();
    const std::vector<std::uint8_t> source = colour_sweep::pixels(colours);
    std::vector<std::uint8_t> toned(source.size());
    float normalised[256];
    for (int n = 0; n < 256; ++n) {
        normalised[n] = static_cast<float>(static_cast<double>(n) / 255.0);
    }
    auto literalStep = [](const int(&weights)[3], double denominator, float r, float g, float b) {
        const double sum =
            static_cast<double>(r) * (weights[0] / denominator) + static_cast<double>(g) * (weights[1] / denominator);
        const float out = static_cast<float>(sum + static_cast<double>(b) * (weights[2] / denominator));
        double t = static_cast<double>(out) * 255.0;
        if (t > 255.0) {
            t = 255.0;
        }
        return static_cast<std::uint8_t>(static_cast<int>(t));
    };
    for (int preset = 0; preset < kPresetCount; ++preset) {
        toneScalar(toned.data(), source.data(), colours.size(), toningMatrixFor(preset));
        const exact_form::Preset& p = exact_form::kPresets[static_cast<std::size_t>(preset)];
        const double denominator = p.denominator;
        std::size_t mismatches = 0;
        for (std::size_t i = 0; i < colours.size(); ++i) {
            const std::uint32_t colour = colours[i];
            const std::uint32_t blue = colour & 0xFF, green = (colour >> 8) & 0xFF, red = colour >> 16;
            const auto exact = exact_form::tone(preset, blue, green, red);
            const float r = normalised[red], g = normalised[green], b = normalised[blue];
            const std::uint8_t literal[3] = {literalStep(p.weights[2], denominator, r, g, b),
                                             literalStep(p.weights[1], denominator, r, g, b),
                                             literalStep(p.weights[0], denominator, r, g, b)};
            const std::uint8_t* out = &toned[4 * i];
            for (int c = 0; c < 3; ++c) {
                if (out[c] != exact[static_cast<std::size_t>(c)] || literal[c] != exact[static_cast<std::size_t>(c)]) {
                    if (++mismatches <= 5) {
                        ADD_FAILURE() << "preset " << preset << ", colour 0x" << std::hex << colour << std::dec
                                      << ", byte " << c << ": kernel " << int(out[c]) << ", literal steps "
                                      << int(literal[c]) << ", exact " << int(exact[static_cast<std::size_t>(c)]);
                    }
                }
            }
        }
        EXPECT_EQ(mismatches, 0u) << "preset " << preset;
    }
}

}  // namespace
