#pragma once

#include "toning/preset_index.h"
#include "toning/toning_matrix.h"

// The matrix of `preset`; an all-zero matrix (black) for any index outside
// 0..kPresetCount-1. The reference lives in static storage.
const ToningMatrix& toningMatrixFor(PresetIndex preset) noexcept;
