#pragma once

#include <cstdint>

// One output channel's weights for the source red, green and blue bytes, in
// ten-thousandths.
struct ToningRow {
    std::int16_t red;
    std::int16_t green;
    std::int16_t blue;
};

// A preset in integer form. Each output byte is
//   min(255, floor((row.red * R + row.green * G + row.blue * B) / kToningDenominator))
// with R, G, B the source bytes. Every weight is non-negative and every row
// sums to at most 1.492, so a sum never exceeds 3,804,600 (< 2^22).
struct ToningMatrix {
    ToningRow red;
    ToningRow green;
    ToningRow blue;
};

inline constexpr std::int32_t kToningDenominator = 10000;
inline constexpr std::int32_t kMaxToningSum = 14920 * 255;
