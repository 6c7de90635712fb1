// The plug-in under whatever floating-point state the host's thread is in:
// any rounding mode, flush-to-zero and denormals-are-zero, any exception
// unmasked (a trap would end this program), sticky flags already set. Every
// call gives the same bytes as under the default state and returns with the
// caller's MXCSR exactly as it was.
#include <gtest/gtest.h>

#include <xmmintrin.h>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "host/plugin/plugin_library.h"
#include "tests/built_plugin.h"
#include "tests/exact_form.h"
#include "toning/kernel_dispatch.h"
#include "toning/preset_matrices.h"
#include "toning/scalar_kernel.h"
#include "toning/toning_pass.h"

namespace {

using host::ParameterBlock;
using host::PluginObject;
using testing_support::plugin;

constexpr std::uint32_t kAllMasked = 0x1F80;
constexpr std::uint32_t kRoundDown = 0x2000, kRoundUp = 0x4000, kRoundToZero = 0x6000;
constexpr std::uint32_t kFlushToZero = 0x8000, kDenormalsAreZero = 0x0040;
constexpr std::uint32_t kAllFlags = 0x003F;

struct Mxcsr {
    std::uint32_t bits;
    const char* what;
};

const std::vector<Mxcsr>& mxcsrGrid() {
    static const std::vector<Mxcsr> grid = {
        {kAllMasked, "default"},
        {0x1900, "invalid, zero-divide and overflow unmasked"},
        {0x0000, "every exception unmasked"},
        {0x0000 | kAllFlags, "every exception unmasked, every flag set"},
        {kAllMasked | kAllFlags, "every flag set"},
        {kAllMasked | kRoundDown, "round down"},
        {kAllMasked | kRoundUp, "round up"},
        {kAllMasked | kRoundToZero, "round toward zero"},
        {0x0000 | kRoundDown, "round down, every exception unmasked"},
        {0x0000 | kRoundUp, "round up, every exception unmasked"},
        {0x0000 | kRoundToZero, "round toward zero, every exception unmasked"},
        {kAllMasked | kFlushToZero | kDenormalsAreZero, "flush-to-zero and denormals-are-zero"},
        {0x0000 | kFlushToZero | kDenormalsAreZero | kRoundUp, "FTZ, DAZ, round up, every exception unmasked"},
    };
    return grid;
}

// Runs `call` with MXCSR set to `bits` and returns MXCSR as the call left it;
// this thread's own state is put back before anything else runs.
template <typename Call>
[[gnu::noinline]] std::uint32_t underMxcsr(std::uint32_t bits, Call&& call) {
    const std::uint32_t own = _mm_getcsr();
    _mm_setcsr(bits);
    call();
    const std::uint32_t after = _mm_getcsr();
    _mm_setcsr(own);
    return after;
}

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%04X", value);
    return text;
}

// Parameter values whose preset the library must read without a
// floating-point instruction going wrong, with the preset each selects.
struct Value {
    double value;
    int preset;  // -1: none, the image turns black
    const char* what;
};

const std::vector<Value>& valueGrid() {
    constexpr double kQuietNan = std::numeric_limits<double>::quiet_NaN();
    constexpr double kSignallingNan = std::numeric_limits<double>::signaling_NaN();
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    constexpr double kSmallestDenormal = std::numeric_limits<double>::denorm_min();
    static const std::vector<Value> grid = {
        {kQuietNan, -1, "NaN"},
        {-kQuietNan, -1, "negative NaN"},
        {kSignallingNan, -1, "signalling NaN"},
        {std::bit_cast<double>(std::bit_cast<std::uint64_t>(kSignallingNan) | (std::uint64_t{1} << 63)), -1,
         "negative signalling NaN"},
        {kInfinity, -1, "infinity"},
        {-kInfinity, -1, "negative infinity"},
        {1e12, -1, "1e12"},
        {2.7, 2, "2.7"},
        {10.5, 10, "10.5"},
        {-0.99, 0, "-0.99"},
        {kSmallestDenormal, 0, "smallest denormal"},
        {-kSmallestDenormal, 0, "negative smallest denormal"},
        {2147483648.0, -1, "2^31"},
        {-2147483648.0, -1, "-2^31"},
        {4294967299.0, -1, "2^32 + 3"},
    };
    return grid;
}

// Every colour of a 16-step lattice, then 37 more so that vector bodies and
// scalar tails both run.
std::vector<std::uint8_t> testPixels() {
    std::vector<std::uint8_t> bytes;
    for (unsigned b = 0; b < 256; b += 17) {
        for (unsigned g = 0; g < 256; g += 17) {
            for (unsigned r = 0; r < 256; r += 17) {
                bytes.insert(bytes.end(), {static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g),
                                           static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(b ^ r)});
            }
        }
    }
    for (unsigned i = 0; i < 37; ++i) {
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(255 - i),
                                   static_cast<std::uint8_t>(i * 53), 0x5A});
    }
    return bytes;
}

TEST(FloatingPointState, ProcessGivesTheSameBytesAndLeavesMxcsrAsItFoundIt) {
    const std::vector<std::uint8_t> source = testPixels();
    const int width = 37;
    const int height = static_cast<int>(source.size() / 4 / width);
    const std::size_t bytes = 4 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    PluginObject object(plugin());
    for (const Value& value : valueGrid()) {
        std::vector<std::uint8_t> expected(bytes, 0xA4);
        for (std::size_t i = 0; i < bytes; i += 4) {
            const auto toned = exact_form::tone(value.preset, source[i], source[i + 1], source[i + 2]);
            std::memcpy(&expected[i], toned.data(), 3);
        }
        for (const Mxcsr& mxcsr : mxcsrGrid()) {
            ParameterBlock record;
            record.setValue(value.value);
            std::vector<std::uint8_t> destination(bytes, 0xA4);
            const std::uint32_t after = underMxcsr(
                mxcsr.bits, [&] { object.process(destination.data(), source.data(), width, height, record); });
            EXPECT_EQ(after, mxcsr.bits) << "MXCSR changed under " << mxcsr.what << ", value " << value.what;
            EXPECT_EQ(destination, expected)
                << "MXCSR " << hex(mxcsr.bits) << " (" << mxcsr.what << "), value " << value.what;
        }
    }
}

TEST(FloatingPointState, EveryOtherEntryLeavesMxcsrAsItFoundIt) {
    for (const Mxcsr& mxcsr : mxcsrGrid()) {
        ParameterBlock record(0x33);
        std::intptr_t answers[19] = {};
        const std::uint32_t after = underMxcsr(mxcsr.bits, [&] {
            void* object = plugin().createObject();
            for (int entry : {2, 3, 4, 5, 6, 7, 9, 11, 15, 16, 17, 18}) {
                answers[entry] = host::callEntry<std::intptr_t>(object, entry);
            }
            for (int entry : {10, 12, 14}) {
                host::callEntry<void>(object, entry);
            }
            answers[8] = host::callEntry<std::intptr_t>(object, 8, record.data());
            answers[0] = plugin().category();
            plugin().releaseObject(object);
        });
        EXPECT_EQ(after, mxcsr.bits) << mxcsr.what;
        EXPECT_EQ(answers[8], 1);
        EXPECT_EQ(answers[4], 0x483D38);
        EXPECT_EQ(record.maximum(), 10.0) << mxcsr.what;
        EXPECT_EQ(record.kind(), 3);
    }
}

// Each kernel this CPU supports, through the same pass as Process, storing
// through the caches and around them.
TEST(FloatingPointState, EveryKernelUnderEveryMxcsr) {
    const std::vector<std::uint8_t> source = testPixels();
    const std::size_t pixels = source.size() / 4;
    for (const ToningKernelChoice& choice : toningKernels()) {
        if (!choice.supported) {
            std::printf("skipped the %s kernel: not supported by this CPU (or its OS)\n", choice.name);
            continue;
        }
        for (const std::size_t streamingBytes : {SIZE_MAX, std::size_t{0}}) {
            for (PresetIndex preset : {0, 1, 7, kNoPreset}) {
                std::vector<std::uint8_t> expected(source.size(), 0xA4);
                toneScalar(expected.data(), source.data(), pixels, toningMatrixFor(preset));
                for (const Mxcsr& mxcsr : mxcsrGrid()) {
                    std::vector<std::uint8_t> destination(source.size(), 0xA4);
                    const std::uint32_t after = underMxcsr(mxcsr.bits, [&] {
                        tonePixelsWith({choice.kernel, streamingBytes}, destination.data(), source.data(),
                                       static_cast<int>(pixels), 1, preset);
                    });
                    EXPECT_EQ(after, mxcsr.bits) << choice.name << ", " << mxcsr.what;
                    ASSERT_TRUE(destination == expected)
                        << choice.name << (streamingBytes == 0 ? ", streamed" : "") << ", preset " << preset
                        << ", MXCSR " << hex(mxcsr.bits) << " (" << mxcsr.what << ")";
                }
            }
        }
    }
}

}  // namespace
