#pragma once

// What the running CPU and operating system let the kernels use. The wider
// sets count only when the OS saves their registers (XGETBV), not merely when
// CPUID lists them. All false on a CPU that is not x86-64.
struct CpuFeatures {
    bool sse2 = false;
    bool avx2 = false;
    bool avx512bw = false;
};

CpuFeatures detectCpuFeatures() noexcept;
