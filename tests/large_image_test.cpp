// An image larger than 2 GiB, toned in place: pixel offsets must not wrap.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "host/plugin/plugin_library.h"
#include "tests/built_plugin.h"
#include "tests/exact_form.h"

namespace {

TEST(LargeImage, LastRowOfAnImageBeyondTwoGibibytesIsToned) {
    constexpr std::int32_t kWidth = 32768;
    constexpr std::int32_t kHeight = 16400;
    constexpr std::size_t kRowBytes = 4u * kWidth;
    constexpr std::size_t kBytes = kRowBytes * kHeight;
    static_assert(kBytes > (std::size_t{1} << 31));

    std::unique_ptr<std::uint8_t[]> image(new (std::nothrow) std::uint8_t[kBytes]);
    if (!image) {
        GTEST_SKIP() << "cannot allocate " << kBytes << " bytes";
    }
    // A row pattern of varied colours, with a known fourth byte.
    auto colourOf = [](std::size_t x, std::size_t y) {
        return static_cast<std::uint32_t>((x * 2654435761u + y * 40503u) & 0xFFFFFFu) | 0x5Au << 24;
    };
    for (std::size_t y = 0; y < static_cast<std::size_t>(kHeight); ++y) {
        std::uint8_t* row = image.get() + y * kRowBytes;
        for (std::size_t x = 0; x < static_cast<std::size_t>(kWidth); ++x) {
            const std::uint32_t pixel = colourOf(x, y);
            std::memcpy(row + 4 * x, &pixel, 4);
        }
    }

    host::ParameterBlock record;
    record.setValue(1.0);
    host::PluginObject(testing_support::plugin()).process(image.get(), image.get(), kWidth, kHeight, record);

    for (std::size_t y : {std::size_t{0}, std::size_t{8192}, static_cast<std::size_t>(kHeight - 1)}) {
        const std::uint8_t* row = image.get() + y * kRowBytes;
        for (std::size_t x = 0; x < static_cast<std::size_t>(kWidth); ++x) {
            const std::uint32_t colour = colourOf(x, y);
            const auto expected = exact_form::tone(1, colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
            const std::uint8_t* out = row + 4 * x;
            ASSERT_TRUE(out[0] == expected[0] && out[1] == expected[1] && out[2] == expected[2] && out[3] == 0x5A)
                << "row " << y << ", pixel " << x;
        }
    }
}

}  // namespace
