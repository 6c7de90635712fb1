#include "plugin/preset_parameter.h"

#include <bit>
#include <cstdint>
#include <cstring>

void describePresetParameter(ParameterRecord& record) noexcept {
    std::memcpy(record.labels, kPresetLabels, sizeof(kPresetLabels));
    record.value = 0.0;
    record.minimum = 0.0;
    record.maximum = 10.0;
    record.auxiliary = 0.0;
    record.kind = 3;
}

PresetIndex presetIndexFromValue(double value) noexcept {
    // Decoded from the IEEE 754 bits with integer operations only: no
    // floating-point instruction runs, so no caller's MXCSR (unmasked
    // "invalid" traps, signalling NaNs, other rounding modes) can change the
    // result or raise an exception.
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const bool negative = (bits >> 63) != 0;
    const int biasedExponent = static_cast<int>((bits >> 52) & 0x7FF);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);

    constexpr int kBias = 1023;
    if (biasedExponent == 0x7FF) {
        return kNoPreset;  // NaN or an infinity
    }
    if (biasedExponent < kBias) {
        return 0;  // |value| < 1, zero and denormals included
    }
    const int exponent = biasedExponent - kBias;
    if (exponent >= 31) {
        // |value| >= 2^31: the truncation fits only as exactly -2^31, which
        // is kNoPreset itself.
        return kNoPreset;
    }
    // |value| = 1.fraction * 2^exponent with exponent 0..30: drop the bits
    // below the binary point.
    const auto magnitude = static_cast<PresetIndex>(((std::uint64_t{1} << 52) | fraction) >> (52 - exponent));
    return negative ? -magnitude : magnitude;
}
