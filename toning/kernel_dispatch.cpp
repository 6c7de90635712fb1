#include "toning/kernel_dispatch.h"

#include <atomic>

#include "toning/cpu_features.h"
#include "toning/scalar_kernel.h"

namespace {

ToningKernel widestSupported() noexcept {
    for (const ToningKernelChoice& choice : toningKernels()) {
        if (choice.supported) {
            return choice.kernel;
        }
    }
    return &toneScalar;
}

// The kernel chosen at first use: the library's only mutable state. Callers
// that race on the first call all compute the same value and store it, so no
// lock and no guarded static (with its runtime support) is needed.
std::atomic<ToningKernel> chosenKernel{nullptr};
static_assert(std::atomic<ToningKernel>::is_always_lock_free);

}  // namespace

std::array<ToningKernelChoice, kToningKernelCount> toningKernels() noexcept {
    [[maybe_unused]] const CpuFeatures cpu = detectCpuFeatures();
    return {{
#if defined(SEPIA_X86_64_KERNELS)
        {"AVX-512BW", &toneAvx512bw, cpu.avx512bw},
        {"AVX2", &toneAvx2, cpu.avx2},
        {"SSE2", &toneSse2, cpu.sse2},
#endif
        {"scalar", &toneScalar, true},
    }};
}

ToningKernel activeToningKernel() noexcept {
    ToningKernel kernel = chosenKernel.load(std::memory_order_relaxed);
    if (kernel == nullptr) {
        kernel = widestSupported();
        chosenKernel.store(kernel, std::memory_order_relaxed);
    }
    return kernel;
}
