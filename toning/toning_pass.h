#pragma once

#include <cstdint>

#include "toning/kernel_dispatch.h"
#include "toning/preset_index.h"

// Tones a packed width x height BGRA image (row stride 4 * width, no gaps)
// with `preset`, or turns it black for an index outside 0..10, using the
// widest kernel this CPU supports. A width or height of zero or less leaves
// the destination untouched. Offsets are computed in 64 bits, so images
// beyond 2 GiB are handled. Runs under the default floating-point state and
// returns with the caller's MXCSR exactly as it was. Thread-safe: keeps no
// state but the plan made on first use.
void tonePixels(std::uint8_t* destination, const std::uint8_t* source, std::int32_t width, std::int32_t height,
                PresetIndex preset) noexcept;

// The same with a given plan, for tests and benchmarks that reach each kernel.
void tonePixelsWith(const ToningPlan& plan, std::uint8_t* destination, const std::uint8_t* source, std::int32_t width,
                    std::int32_t height, PresetIndex preset) noexcept;
