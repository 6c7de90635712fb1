#include "toning/cpu_features.h"

#if defined(__x86_64__)
#include <cpuid.h>

#include <cstdint>

namespace {

// XCR0: which register states the OS saves on a context switch.
std::uint64_t readXcr0() {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

}  // namespace

CpuFeatures detectCpuFeatures() noexcept {
    CpuFeatures features;
    features.sse2 = true;  // part of the x86-64 baseline

    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
        return features;
    }
    const bool osSavesXsave = (ecx & bit_OSXSAVE) != 0;
    const bool cpuHasAvx = (ecx & bit_AVX) != 0;
    if (!osSavesXsave || !cpuHasAvx) {
        return features;
    }
    const std::uint64_t xcr0 = readXcr0();
    constexpr std::uint64_t kSseAndAvxState = 0x6;  // XMM and YMM upper halves
    constexpr std::uint64_t kAvx512State = 0xE0;    // opmask, ZMM upper halves, ZMM16-31
    const bool osSavesYmm = (xcr0 & kSseAndAvxState) == kSseAndAvxState;
    const bool osSavesZmm = osSavesYmm && (xcr0 & kAvx512State) == kAvx512State;

    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) {
        return features;
    }
    features.avx2 = osSavesYmm && (ebx & bit_AVX2) != 0;
    features.avx512bw = osSavesZmm && (ebx & bit_AVX512F) != 0 && (ebx & bit_AVX512BW) != 0;
    return features;
}

#else

CpuFeatures detectCpuFeatures() noexcept { return {}; }

#endif
