#pragma once

#include <array>
#include <cstddef>

#include "toning/toning_kernel.h"
#include "toning/x86_kernels.h"

// A kernel built into the library, with whether this CPU can run it.
struct ToningKernelChoice {
    const char* name;  // as reports print it: "AVX-512BW", "AVX2", ...
    const char* id;    // lower case, as SEPIA_MAX_KERNEL names it: "avx512bw", "avx2", ...
    ToningKernel kernel;
    bool supported;
};

#if defined(SEPIA_X86_64_KERNELS)
inline constexpr std::size_t kToningKernelCount = 5;
#else
inline constexpr std::size_t kToningKernelCount = 1;
#endif

// Every kernel built into the library, widest first and the portable scalar
// kernel last (always supported). For tests and benchmarks that must reach
// each kernel directly; the library itself calls activeToningPlan(). Asks
// the CPU each time.
std::array<ToningKernelChoice, kToningKernelCount> toningKernels() noexcept;

// How this CPU tones: the widest kernel it supports (no wider than the
// build's SEPIA_MAX_KERNEL, if that names one), and the number of bytes
// touched from which a call stores around the caches.
struct ToningPlan {
    ToningKernel kernel;
    std::size_t streamingBytes;

    // Where a call on these buffers stores: around the caches when the
    // bytes it touches reach streamingBytes.
    StorePolicy storesFor(const void* destination, const void* source, std::size_t pixelCount) const {
        // The source and the destination, or the one buffer in place.
        const std::size_t touched = 4 * pixelCount * (destination == source ? 1 : 2);
        return touched >= streamingBytes ? StorePolicy::AroundCaches : StorePolicy::ThroughCaches;
    }
};

// The plan, made on first use and kept in one atomic word: the library's
// only mutable state. Threads racing on the first call each store the same
// word. Needs no lock and no runtime support.
ToningPlan activeToningPlan() noexcept;
