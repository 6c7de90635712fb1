#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "toning/toning_matrix.h"

// What the 128-bit kernels (SSE2, SSSE3) share, all of it SSE2: the row
// weights and moving whole vectors. Each kernel's file includes it and
// compiles it for its own instruction set, so it must have internal linkage:
// a copy compiled for SSSE3 must never stand in for the SSE2 kernel's.
namespace {  // NOLINT(cert-dcl59-cpp,google-build-namespaces): one copy per instruction set

// Weights of one output row laid out for _mm_madd_epi16 against lanes that
// hold the 16-bit words (blue, green) and (red, 0).
struct RowWeights128 {
    __m128i blueGreen;
    __m128i red;
};

inline RowWeights128 rowWeights128(const ToningRow& row) {
    return {_mm_set1_epi32(static_cast<std::int32_t>(static_cast<std::uint16_t>(row.blue)) |
                           static_cast<std::int32_t>(row.green) << 16),
            _mm_set1_epi32(row.red)};
}

// The exact sums of one output channel per lane; see toning_matrix.h.
inline __m128i channelSums128(__m128i blueGreen, __m128i red, const RowWeights128& w) {
    return _mm_add_epi32(_mm_madd_epi16(blueGreen, w.blueGreen), _mm_madd_epi16(red, w.red));
}

// The vector moves of a Lanes (see vector_loop.h) of four pixels, for
// kernels whose toned pixels hold zero in byte 3.
struct Memory128 {
    using Vector = __m128i;
    static constexpr std::size_t kPixels = 4;

    static Vector load(const std::uint8_t* in) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(in)); }
    static Vector loadLine(const std::uint8_t* in) { return _mm_load_si128(reinterpret_cast<const __m128i*>(in)); }
    static Vector keepFourth(Vector toned, Vector kept) {
        return _mm_or_si128(toned, _mm_and_si128(kept, _mm_set1_epi32(static_cast<std::int32_t>(0xFF000000u))));
    }
    static void store(std::uint8_t* out, Vector toned) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), keepFourth(toned, load(out)));
    }
    static void stream(std::uint8_t* out, Vector pixels) { _mm_stream_si128(reinterpret_cast<__m128i*>(out), pixels); }
};

}  // namespace
