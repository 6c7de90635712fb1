#include "toning/kernel_dispatch.h"

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
    static const ToningKernel chosen = widestSupported();
    return chosen;
}
