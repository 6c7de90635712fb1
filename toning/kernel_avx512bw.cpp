// AVX-512BW kernel: sixteen pixels per 512-bit vector, one pixel per 32-bit
// lane. A byte-masked store writes bytes 0..2 of each pixel only, so the
// destination's fourth bytes are neither read nor written.
#include "toning/x86_kernels.h"

#if defined(SEPIA_X86_64_KERNELS)

#include <immintrin.h>

#include "toning/exact_division.h"
#include "toning/scalar_kernel.h"

namespace {

struct RowWeights {
    __m512i blueGreen;  // (blue, green) word weights per lane
    __m512i red;        // (red, 0) word weights per lane
};

RowWeights rowWeights(const ToningRow& row) {
    return {_mm512_set1_epi32(static_cast<std::int32_t>(static_cast<std::uint16_t>(row.blue)) |
                              static_cast<std::int32_t>(row.green) << 16),
            _mm512_set1_epi32(row.red)};
}

// min(255, floor(sum / 10000)) per lane; see exact_division.h.
__m512i toneChannel(__m512i blueGreen, __m512i red, const RowWeights& w) {
    const __m512i sum =
        _mm512_add_epi32(_mm512_madd_epi16(blueGreen, w.blueGreen), _mm512_madd_epi16(red, w.red));
    const __m512 quotient = _mm512_mul_ps(_mm512_cvtepi32_ps(sum), _mm512_set1_ps(kInverseDenominator));
    return _mm512_cvttps_epi32(_mm512_min_ps(quotient, _mm512_set1_ps(255.0f)));
}

}  // namespace

void toneAvx512bw(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount,
                  const ToningMatrix& matrix) {
    const RowWeights blueRow = rowWeights(matrix.blue);
    const RowWeights greenRow = rowWeights(matrix.green);
    const RowWeights redRow = rowWeights(matrix.red);
    // Byte shuffles, repeated in every 128-bit lane, that spread each pixel's
    // bytes into the 16-bit words (blue, green) and (red, 0); -128 yields zero.
    // (Built here, not at namespace scope: a static initialiser in this file
    // would run wide instructions at load time, on any CPU.)
    const __m512i toBlueGreen =
        _mm512_broadcast_i32x4(_mm_setr_epi8(0, -128, 1, -128, 4, -128, 5, -128, 8, -128, 9, -128, 12, -128, 13, -128));
    const __m512i toRed = _mm512_broadcast_i32x4(
        _mm_setr_epi8(2, -128, -128, -128, 6, -128, -128, -128, 10, -128, -128, -128, 14, -128, -128, -128));
    constexpr __mmask64 kColourBytes = 0x7777777777777777ull;

    const std::size_t vectorPixels = pixelCount & ~std::size_t{15};
    for (std::size_t i = 0; i < vectorPixels; i += 16) {
        const __m512i pixels = _mm512_loadu_si512(source + 4 * i);
        const __m512i blueGreen = _mm512_shuffle_epi8(pixels, toBlueGreen);
        const __m512i red = _mm512_shuffle_epi8(pixels, toRed);

        const __m512i blue = toneChannel(blueGreen, red, blueRow);
        const __m512i green = toneChannel(blueGreen, red, greenRow);
        const __m512i redOut = toneChannel(blueGreen, red, redRow);
        // blue | green << 8 | red << 16 in one three-input OR.
        const __m512i toned = _mm512_ternarylogic_epi32(blue, _mm512_slli_epi32(green, 8),
                                                        _mm512_slli_epi32(redOut, 16), 0xFE);
        _mm512_mask_storeu_epi8(destination + 4 * i, kColourBytes, toned);
    }
    toneScalar(destination + 4 * vectorPixels, source + 4 * vectorPixels, pixelCount - vectorPixels, matrix);
}

#endif
