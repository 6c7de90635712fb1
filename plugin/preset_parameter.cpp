#include "plugin/preset_parameter.h"

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
    // Every double strictly between these bounds truncates to a value in
    // [INT32_MIN, INT32_MAX]; both bounds are exact doubles. NaN fails both
    // comparisons, so the conversion below is never undefined.
    constexpr double kBelowMin = -2147483649.0;
    constexpr double kAboveMax = 2147483648.0;
    if (!(value > kBelowMin && value < kAboveMax)) {
        return kNoPreset;
    }
    return static_cast<PresetIndex>(value);
}
