#pragma once

#include <cstdint>

#if defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

// For its lifetime, the SSE/AVX floating-point state is the default one
// (MXCSR 0x1F80: every exception masked, round to nearest, no flush-to-zero,
// no denormals-are-zero, no flags raised); on destruction the caller's
// MXCSR, control bits and sticky flags alike, is put back exactly as it was.
//
// The host owns the thread's floating-point state and may have unmasked
// exceptions or chosen another rounding mode. The vector kernels divide with
// single-precision products, which raise "precision"; under this guard they
// neither trap nor leave flags behind. Restoring MXCSR raises no exception
// by itself: SSE has no pending exceptions, only flags.
class DefaultFloatingPointState {
public:
#if defined(__x86_64__) || defined(_M_X64)
    DefaultFloatingPointState() noexcept : saved_(_mm_getcsr()) { _mm_setcsr(kDefaultMxcsr); }
    ~DefaultFloatingPointState() { _mm_setcsr(saved_); }
#else
    DefaultFloatingPointState() noexcept = default;
    ~DefaultFloatingPointState() = default;
#endif
    DefaultFloatingPointState(const DefaultFloatingPointState&) = delete;
    DefaultFloatingPointState& operator=(const DefaultFloatingPointState&) = delete;

    static constexpr std::uint32_t kDefaultMxcsr = 0x1F80;

private:
#if defined(__x86_64__) || defined(_M_X64)
    std::uint32_t saved_;
#endif
};
