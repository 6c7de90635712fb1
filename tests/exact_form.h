#pragma once

#include <array>
#include <cstdint>
#include <vector>

// The toning result stated independently of the library: each preset's
// weights as written in its definition (thousandths, or ten-thousandths for
// "Sepia 2"), applied to the raw bytes in integers, rounded down, capped.
namespace exact_form {

struct Preset {
    int denominator;
    // Rows: output red, green, blue; columns: weight of source red, green, blue.
    int weights[3][3];
};

inline constexpr std::array<Preset, 11> kPresets = {{
    {1000, {{393, 769, 189}, {349, 686, 168}, {272, 534, 131}}},
    {10000, {{3588, 7044, 1368}, {2990, 5870, 1140}, {2392, 4696, 912}}},
    {1000, {{140, 450, 500}, {120, 390, 400}, {80, 280, 300}}},
    {1000, {{189, 450, 393}, {168, 390, 349}, {131, 280, 272}}},
    {1000, {{393, 189, 769}, {349, 168, 686}, {272, 131, 534}}},
    {1000, {{1, 389, 769}, {1, 368, 686}, {1, 331, 534}}},
    {1000, {{1, 1, 1}, {1, 368, 686}, {272, 331, 534}}},
    {1000, {{1, 1, 1}, {131, 368, 331}, {272, 534, 686}}},
    {1000, {{1, 1, 1}, {131, 520, 684}, {272, 534, 686}}},
    {1000, {{1, 1, 1}, {31, 640, 284}, {72, 234, 686}}},
    {1000, {{1, 1, 1}, {331, 640, 284}, {372, 234, 686}}},
}};

// Output bytes (blue, green, red) for source bytes (blue, green, red) under
// `preset`; an index outside 0..10 gives black.
inline std::array<std::uint8_t, 3> tone(int preset, unsigned blue, unsigned green, unsigned red) {
    if (preset < 0 || preset >= static_cast<int>(kPresets.size())) {
        return {0, 0, 0};
    }
    const Preset& p = kPresets[static_cast<std::size_t>(preset)];
    auto channel = [&](int row) {
        const int sum = p.weights[row][0] * static_cast<int>(red) + p.weights[row][1] * static_cast<int>(green) +
                        p.weights[row][2] * static_cast<int>(blue);
        const int quotient = sum / p.denominator;
        return static_cast<std::uint8_t>(quotient > 255 ? 255 : quotient);
    };
    return {channel(2), channel(1), channel(0)};
}

// BGRA pixels toned with `preset`: bytes 0 to 2 of each pixel as tone() gives
// them, byte 3 as it was.
inline std::vector<std::uint8_t> tonePixels(int preset, std::vector<std::uint8_t> bgra) {
    for (std::size_t i = 0; i + 3 < bgra.size(); i += 4) {
        const std::array<std::uint8_t, 3> toned = tone(preset, bgra[i], bgra[i + 1], bgra[i + 2]);
        bgra[i] = toned[0];
        bgra[i + 1] = toned[1];
        bgra[i + 2] = toned[2];
    }
    return bgra;
}

}  // namespace exact_form
