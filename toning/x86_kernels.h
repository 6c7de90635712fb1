#pragma once

#include "toning/toning_kernel.h"

// Vector kernels, one per instruction set, each in its own translation unit
// compiled for that instruction set only (see vector_loop.h). Call one only
// when the CPU (and the operating system, for the wider registers) supports
// it.
#if defined(__x86_64__) || defined(_M_X64)
#define SEPIA_X86_64_KERNELS 1
void toneSse2(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount, const ToningMatrix& matrix,
              StorePolicy stores);
void toneSsse3(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount,
               const ToningMatrix& matrix, StorePolicy stores);
void toneAvx2(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount, const ToningMatrix& matrix,
              StorePolicy stores);
void toneAvx512bw(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount,
                  const ToningMatrix& matrix, StorePolicy stores);
#endif
