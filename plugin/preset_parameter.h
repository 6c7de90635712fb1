#pragma once

#include "plugin/parameter_record.h"
#include "toning/preset_index.h"

// The preset list as the host shows it: label n names PresetIndex n.
inline constexpr char kPresetLabels[] =
    "Sepia 1|Sepia 2|Sepia 3|Sepia 4|Sepia 5|Sepia 6|"
    "Cyanotype 1|Cyanotype 2|Cyanotype 3|Cyanotype 4|Cyanotype 5";
static_assert(sizeof(kPresetLabels) == 108, "107 characters and the terminating zero");

// Writes the labels (with their zero byte, bytes 0..107), value 0.0,
// minimum 0.0, maximum 10.0, auxiliary 0.0 and kind 3. Reads nothing from the
// record and leaves every other byte as it was.
void describePresetParameter(ParameterRecord& record) noexcept;

// Truncates `value` toward zero. NaN, infinities and values whose truncation
// does not fit in 32 bits give kNoPreset instead of wrapping. Uses no
// floating-point instruction, so it neither depends on nor touches the
// caller's floating-point state.
PresetIndex presetIndexFromValue(double value) noexcept;
