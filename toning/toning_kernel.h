#pragma once

#include <cstddef>
#include <cstdint>

#include "toning/toning_matrix.h"

// Tones `pixelCount` consecutive BGRA pixels: writes bytes 0..2 of each
// destination pixel from bytes 0..2 of the source pixel at the same offset,
// never touching byte 3 (or, in kernels that rewrite whole vectors, storing
// back the byte 3 it read). `destination` may equal `source`; otherwise the
// two must not overlap. No alignment is required.
using ToningKernel = void (*)(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount,
                              const ToningMatrix& matrix);
