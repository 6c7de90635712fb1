#pragma once

#include <cstddef>
#include <cstdint>

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

// What CPUID and XGETBV answer about the instruction sets: leaf 1's ECX,
// leaf 7's EBX (sub-leaf 0) and XCR0; a leaf the CPU lacks reads as zeros.
struct CpuidReadings {
    std::uint32_t leaf1Ecx = 0;
    std::uint32_t leaf7Ebx = 0;
    std::uint64_t xcr0 = 0;  // read only when leaf 1 lists OSXSAVE
};

// The instruction sets those readings let the kernels use; SSE2 always
// (x86-64 has it). Leaves lastLevelCacheBytes 0.
CpuFeatures featuresFrom(const CpuidReadings& readings) noexcept;

// Asks CPUID, which is slow in a virtual machine (it exits to the
// hypervisor): call it once, not per image.
CpuFeatures detectCpuFeatures() noexcept;
