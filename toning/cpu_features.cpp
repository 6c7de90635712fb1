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

// The largest data or unified cache that a deterministic cache parameters
// leaf lists: leaf 4 on Intel, 0x8000001D on AMD (the same layout).
std::size_t largestCacheIn(unsigned leaf) {
    if (static_cast<unsigned>(__get_cpuid_max(leaf & 0x80000000u, nullptr)) < leaf) {
        return 0;
    }
    std::size_t largest = 0;
    for (unsigned index = 0; index < 16; ++index) {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        __cpuid_count(leaf, index, eax, ebx, ecx, edx);
        const unsigned type = eax & 0x1F;  // 0: no more caches; 2: instructions only
        if (type == 0) {
            break;
        }
        if (type == 2) {
            continue;
        }
        const std::size_t ways = (ebx >> 22) + 1;
        const std::size_t partitions = ((ebx >> 12) & 0x3FF) + 1;
        const std::size_t lineBytes = (ebx & 0xFFF) + 1;
        const std::size_t sets = std::size_t{ecx} + 1;
        const std::size_t bytes = ways * partitions * lineBytes * sets;
        largest = bytes > largest ? bytes : largest;
    }
    return largest;
}

std::size_t lastLevelCacheBytes() {
    if (const std::size_t bytes = largestCacheIn(4); bytes != 0) {
        return bytes;
    }
    if (const std::size_t bytes = largestCacheIn(0x8000001D); bytes != 0) {
        return bytes;
    }
    // Older AMD CPUs: L3 size in units of 512 KiB.
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(0x80000006, &eax, &ebx, &ecx, &edx) != 0) {
        return std::size_t{edx >> 18} * (std::size_t{512} << 10);
    }
    return 0;
}

}  // namespace

CpuFeatures detectCpuFeatures() noexcept {
    CpuidReadings readings;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0) {
        readings.leaf1Ecx = ecx;
        if ((ecx & bit_OSXSAVE) != 0) {
            readings.xcr0 = readXcr0();
        }
    }
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) != 0) {
        readings.leaf7Ebx = ebx;
    }
    CpuFeatures features = featuresFrom(readings);
    features.lastLevelCacheBytes = lastLevelCacheBytes();
    return features;
}

#else

CpuFeatures detectCpuFeatures() noexcept { return {}; }

#endif

CpuFeatures featuresFrom(const CpuidReadings& readings) noexcept {
    // The bits as Intel's and AMD's manuals number them.
    constexpr std::uint32_t kSsse3 = 1u << 9, kOsXsave = 1u << 27, kAvx = 1u << 28;      // leaf 1, ECX
    constexpr std::uint32_t kAvx2 = 1u << 5, kAvx512F = 1u << 16, kAvx512Bw = 1u << 30;  // leaf 7, EBX
    constexpr std::uint64_t kSseAndAvxState = 0x6;                                       // XMM and YMM upper halves
    constexpr std::uint64_t kAvx512State = 0xE0;  // opmask, ZMM upper halves, ZMM16-31
    CpuFeatures features;
    features.sse2 = true;
    features.ssse3 = (readings.leaf1Ecx & kSsse3) != 0;
    // The wider registers count only when the OS saves them (XGETBV).
    const bool osSavesYmm = (readings.leaf1Ecx & kOsXsave) != 0 && (readings.leaf1Ecx & kAvx) != 0 &&
                            (readings.xcr0 & kSseAndAvxState) == kSseAndAvxState;
    const bool osSavesZmm = osSavesYmm && (readings.xcr0 & kAvx512State) == kAvx512State;
    features.avx2 = osSavesYmm && (readings.leaf7Ebx & kAvx2) != 0;
    features.avx512bw = osSavesZmm && (readings.leaf7Ebx & kAvx512F) != 0 && (readings.leaf7Ebx & kAvx512Bw) != 0;
    return features;
}
