// Many threads at once on one plug-in object and on several: Process with
// different presets into different destinations, while other threads create,
// describe and release objects. Every result must equal the single-threaded
// one. Run under ThreadSanitizer in the tsan build.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "host/plugin/plugin_library.h"
#include "tests/built_plugin.h"

namespace {

using host::ParameterBlock;
using host::PluginObject;
using testing_support::plugin;

constexpr int kWidth = 97;
constexpr int kHeight = 31;
constexpr int kFirstPreset = -1;
constexpr int kLastPreset = 11;

std::vector<std::uint8_t> sourceImage() {
    std::vector<std::uint8_t> pixels(4u * kWidth * kHeight);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 7);
    }
    return pixels;
}

std::vector<std::uint8_t> tone(const PluginObject& object, const std::vector<std::uint8_t>& source, int preset) {
    std::vector<std::uint8_t> destination(source.size(), 0x5A);
    ParameterBlock record;
    record.setValue(preset);
    object.process(destination.data(), source.data(), kWidth, kHeight, record);
    return destination;
}

TEST(Concurrency, ProcessCreateAndDescribeFromManyThreads) {
    const std::vector<std::uint8_t> source = sourceImage();
    std::vector<std::vector<std::uint8_t>> expected;
    {
        PluginObject object(plugin());
        for (int preset = kFirstPreset; preset <= kLastPreset; ++preset) {
            expected.push_back(tone(object, source, preset));
        }
    }
    ParameterBlock describedAlone;
    PluginObject(plugin()).describeParameter(describedAlone);

    PluginObject shared(plugin());
    std::atomic<int> failures{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    threads.reserve(7);
    constexpr int kRounds = 40;

    auto processor = [&](const PluginObject* fixed, int seed) {
        while (!go.load()) {
        }
        for (int round = 0; round < kRounds; ++round) {
            const int preset = kFirstPreset + (seed * 5 + round) % (kLastPreset - kFirstPreset + 1);
            std::vector<std::uint8_t> result;
            if (fixed != nullptr) {
                result = tone(*fixed, source, preset);
            } else {
                PluginObject own(plugin());
                result = tone(own, source, preset);
            }
            if (result != expected[static_cast<std::size_t>(preset - kFirstPreset)]) {
                failures.fetch_add(1);
            }
        }
    };
    auto lifecycle = [&] {
        while (!go.load()) {
        }
        for (int round = 0; round < kRounds * 4; ++round) {
            const PluginObject object(plugin());  // created here, released at the end of the round
            ParameterBlock record;
            if (object.describeParameter(record) != 1 ||
                std::memcmp(record.bytes(), describedAlone.bytes(), ParameterBlock::kBlockSize) != 0 ||
                std::strcmp(plugin().pluginName(), "Sepia") != 0) {
                failures.fetch_add(1);
            }
        }
    };

    for (int t = 0; t < 3; ++t) {
        threads.emplace_back(processor, &shared, t);  // one object, shared
    }
    for (int t = 3; t < 5; ++t) {
        threads.emplace_back(processor, nullptr, t);  // an object each
    }
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back(lifecycle);
    }
    go.store(true);
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
