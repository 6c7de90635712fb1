#pragma once

#include <cstdint>
#include <limits>

// 0..10 select a preset; every other value selects none (the image turns black).
using PresetIndex = std::int32_t;

inline constexpr PresetIndex kPresetCount = 11;
// What an unusable parameter value turns into.
inline constexpr PresetIndex kNoPreset = std::numeric_limits<PresetIndex>::min();
