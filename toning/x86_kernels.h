#pragma once

#include "toning/toning_kernel.h"

// Vector kernels, one per instruction set, each in its own translation unit
// compiled for that instruction set only. Call one only when the CPU (and the
// operating system, for the wider registers) supports it. Each tones whole
// vectors and lets toneScalar finish the remaining pixels.
#if defined(__x86_64__) || defined(_M_X64)
#define SEPIA_X86_64_KERNELS 1
void toneSse2(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount,
              const ToningMatrix& matrix);
void toneAvx2(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount,
              const ToningMatrix& matrix);
void toneAvx512bw(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount,
                  const ToningMatrix& matrix);
#endif
