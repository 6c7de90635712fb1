#include "toning/kernel_dispatch.h"

#include <atomic>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "toning/cpu_features.h"
#include "toning/kernel_choice.h"
#include "toning/memory_access.h"
#include "toning/scalar_kernel.h"

namespace {

struct KernelEntry {
    const char* name;
    std::string_view id;
    ToningKernel kernel;
    bool CpuFeatures::*feature;  // null: runs on any CPU
};

// Widest first, the scalar kernel last.
constexpr KernelEntry kKernels[] = {
#if defined(SEPIA_X86_64_KERNELS)
    {"AVX-512BW", "avx512bw", &toneAvx512bw, &CpuFeatures::avx512bw},
    {"AVX2", "avx2", &toneAvx2, &CpuFeatures::avx2},
    {"SSSE3", "ssse3", &toneSsse3, &CpuFeatures::ssse3},
    {"SSE2", "sse2", &toneSse2, &CpuFeatures::sse2},
#endif
    {"scalar", "scalar", &toneScalar, nullptr},
};
static_assert(std::size(kKernels) == kToningKernelCount);

bool supports(const CpuFeatures& cpu, const KernelEntry& entry) {
    return entry.feature == nullptr || cpu.*(entry.feature);
}

// The kernel cap of this build (SEPIA_MAX_KERNEL, an id), for measuring
// each kernel through the plug-in's own entry; empty without it.
#if defined(SEPIA_MAX_KERNEL)
constexpr std::string_view kBuildCap = SEPIA_MAX_KERNEL;
#else
constexpr std::string_view kBuildCap;
#endif

// The plan as one word: the kernel's position in kKernels in the low byte
// (plus one, so that zero means "not yet made"), and the streaming threshold
// in MiB above it.
using PlanWord = std::uint64_t;
constexpr unsigned kThresholdShift = 8;
constexpr unsigned kMiBShift = 20;

PlanWord makePlanWord() noexcept {
    const CpuFeatures cpu = detectCpuFeatures();
    const std::size_t chosen = kernelIndexFor(cpu, kBuildCap);
    const PlanWord megabytes = streamingBytesFor(cpu.lastLevelCacheBytes) >> kMiBShift;
    return (megabytes << kThresholdShift) | (chosen + 1);
}

std::atomic<PlanWord> planWord{0};
static_assert(std::atomic<PlanWord>::is_always_lock_free);

}  // namespace

std::size_t kernelIndexFor(const CpuFeatures& cpu, std::string_view cap) noexcept {
    std::size_t chosen = 0;
    if (!cap.empty()) {
        chosen = std::size(kKernels) - 1;  // a kernel not built here: the scalar kernel
        for (std::size_t i = 0; i < std::size(kKernels); ++i) {
            if (kKernels[i].id == cap) {
                chosen = i;
            }
        }
    }
    while (!supports(cpu, kKernels[chosen])) {
        ++chosen;  // ends at the scalar kernel, which runs anywhere
    }
    return chosen;
}

std::array<ToningKernelChoice, kToningKernelCount> toningKernels() noexcept {
    const CpuFeatures cpu = detectCpuFeatures();
    std::array<ToningKernelChoice, kToningKernelCount> choices{};
    for (std::size_t i = 0; i < choices.size(); ++i) {
        choices[i] = {kKernels[i].name, kKernels[i].id.data(), kKernels[i].kernel, supports(cpu, kKernels[i])};
    }
    return choices;
}

ToningPlan activeToningPlan() noexcept {
    PlanWord word = planWord.load(std::memory_order_relaxed);
    if (word == 0) {
        word = makePlanWord();
        planWord.store(word, std::memory_order_relaxed);
    }
    return {kKernels[(word & 0xFF) - 1].kernel, static_cast<std::size_t>(word >> kThresholdShift) << kMiBShift};
}
