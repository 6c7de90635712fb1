#include "host/sheet/test_chart.h"

#include <cmath>

#include "host/sheet/text_render.h"

namespace host {

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;

// Hue in [0, 6), saturation 1, value in [0, 1].
Colour hueColour(double hue, double value) {
    const double f = hue - std::floor(hue);
    const auto level = [&](double v) { return static_cast<std::uint8_t>(std::lround(255.0 * value * v)); };
    switch (static_cast<int>(hue) % 6) {
        case 0:
            return {level(0), level(f), level(1)};
        case 1:
            return {level(0), level(1), level(1 - f)};
        case 2:
            return {level(f), level(1), level(0)};
        case 3:
            return {level(1), level(1 - f), level(0)};
        case 4:
            return {level(1), level(0), level(f)};
        default:
            return {level(1 - f), level(0), level(1)};
    }
}

}  // namespace

BgraImage drawTestChart() {
    BgraImage chart = makeImage(kWidth, kHeight);
    // Hue sweep, rows 0..99, full brightness at the top.
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            fillRect(chart, x, y, 1, 1, hueColour(6.0 * x / kWidth, 1.0 - 0.7 * y / 100.0));
        }
    }
    // Grey ramp, rows 100..139.
    for (int x = 0; x < kWidth; ++x) {
        const auto v = static_cast<std::uint8_t>(x * 255 / (kWidth - 1));
        fillRect(chart, x, 100, 1, 40, {v, v, v});
    }
    // Patches, two rows of eight, 40 x 50 each (blue, green, red).
    const Colour patches[16] = {
        {0, 0, 255},     {0, 255, 0},     {255, 0, 0},     {255, 255, 0},    // red, green, blue, cyan
        {255, 0, 255},   {0, 255, 255},   {255, 255, 255}, {0, 0, 0},        // magenta, yellow, white, black
        {189, 203, 241}, {148, 170, 224}, {103, 135, 198}, {66, 96, 160},    // skin, light to deep
        {43, 63, 107},   {214, 160, 90},  {60, 140, 70},   {128, 128, 128},  // deep skin, sky, foliage, grey
    };
    for (int i = 0; i < 16; ++i) {
        fillRect(chart, (i % 8) * 40, 140 + (i / 8) * 50, 40, 50, patches[i]);
    }
    return chart;
}

}  // namespace host
