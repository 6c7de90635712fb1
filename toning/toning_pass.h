#pragma once

#include <cstdint>

#include "toning/preset_index.h"
#include "toning/toning_kernel.h"

// Tones a packed width x height BGRA image (row stride 4 * width, no gaps)
// with `preset`, or turns it black for an index outside 0..10, using the
// widest kernel this CPU supports. A width or height of zero or less leaves
// the destination untouched. Offsets are computed in 64 bits, so images
// beyond 2 GiB are handled. Runs under the default floating-point state and
// returns with the caller's MXCSR exactly as it was. Thread-safe: keeps no
// state.
void tonePixels(std::uint8_t* destination, const std::uint8_t* source, std::int32_t width, std::int32_t height,
                PresetIndex preset) noexcept;

// The same with a given kernel, for tests and benchmarks that reach each one.
void tonePixelsWith(ToningKernel kernel, std::uint8_t* destination, const std::uint8_t* source, std::int32_t width,
                    std::int32_t height, PresetIndex preset) noexcept;
