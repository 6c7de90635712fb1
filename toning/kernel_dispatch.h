#pragma once

#include <array>
#include <cstddef>

#include "toning/toning_kernel.h"
#include "toning/x86_kernels.h"

// A kernel built into the library, with whether this CPU can run it.
struct ToningKernelChoice {
    const char* name;
    ToningKernel kernel;
    bool supported;
};

#if defined(SEPIA_X86_64_KERNELS)
inline constexpr std::size_t kToningKernelCount = 4;
#else
inline constexpr std::size_t kToningKernelCount = 1;
#endif

// Every kernel built into the library, widest first and the portable scalar
// kernel last (always supported). For tests and benchmarks that must reach
// each kernel directly; the library itself calls activeToningKernel().
std::array<ToningKernelChoice, kToningKernelCount> toningKernels() noexcept;

// The widest kernel this CPU supports. Chosen on first use and kept in an
// atomic pointer; threads racing on the first call each store the same
// kernel. Needs no lock and no runtime support.
ToningKernel activeToningKernel() noexcept;
