#pragma once

#include "toning/toning_kernel.h"

// The portable kernel: the definition every other kernel is checked against,
// the fallback on any CPU, and what tones the pixels before and after the
// vector kernels' whole vectors. Stores through the caches whatever `stores`
// says.
void toneScalar(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount,
                const ToningMatrix& matrix, StorePolicy stores = StorePolicy::ThroughCaches);
