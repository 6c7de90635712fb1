#pragma once

#include <cstddef>
#include <cstdint>

#include "toning/toning_matrix.h"

// Where a kernel's stores go: through the caches, so that whoever reads the
// image next finds it there; or around them (non-temporal stores), for an
// image too large to stay in the caches anyway.
enum class StorePolicy : bool { ThroughCaches, AroundCaches };

// Tones `pixelCount` consecutive BGRA pixels: writes bytes 0..2 of each
// destination pixel from bytes 0..2 of the source pixel at the same offset,
// never touching byte 3 (or, in kernels that rewrite whole vectors, storing
// back the byte 3 it read). `destination` may equal `source`; otherwise the
// two must not overlap. No alignment is required. The scalar kernel always
// stores through the caches.
using ToningKernel = void (*)(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount,
                              const ToningMatrix& matrix, StorePolicy stores);
