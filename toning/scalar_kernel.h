#pragma once

#include "toning/toning_kernel.h"

// The portable kernel: the definition every other kernel is checked against,
// the fallback on any CPU, and what finishes the vector kernels' tails.
void toneScalar(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount,
                const ToningMatrix& matrix);
