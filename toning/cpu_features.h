#pragma once

#include <cstddef>

// What the running CPU and operating system let the kernels use. The wider
// sets count only when the OS saves their registers (XGETBV), not merely when
// CPUID lists them. All false on a CPU that is not x86-64.
struct CpuFeatures {
    bool sse2 = false;
    bool ssse3 = false;
    bool avx2 = false;
    bool avx512bw = false;
    // The size of the largest cache CPUID describes (the last level, shared
    // by the cores); 0 when it describes none.
    std::size_t lastLevelCacheBytes = 0;
};

// Asks CPUID, which is slow in a virtual machine (it exits to the
// hypervisor): call it once, not per image.
CpuFeatures detectCpuFeatures() noexcept;
