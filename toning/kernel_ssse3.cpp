// SSSE3 kernel: four pixels per 128-bit vector, one pixel per 32-bit lane.
// For CPUs without AVX2. Byte shuffles (pshufb) spread each pixel's bytes
// into words and gather the toned bytes back, where SSE2 needs shifts and
// masks; packing with saturation caps each channel at 255.
#include "toning/x86_kernels.h"

#if defined(SEPIA_X86_64_KERNELS)

#include <tmmintrin.h>

#include "toning/exact_division.h"
#include "toning/lanes128.h"
#include "toning/vector_loop.h"

namespace {

// floor(sum / 10000) per lane, not yet capped; see exact_division.h.
__m128i toneChannel(__m128i blueGreen, __m128i red, const RowWeights128& w) {
    const __m128i sum = channelSums128(blueGreen, red, w);
    return _mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(sum), _mm_set1_ps(kInverseDenominator)));
}

struct Ssse3Lanes : Memory128 {
    explicit Ssse3Lanes(const ToningMatrix& matrix)
        : blueRow(rowWeights128(matrix.blue)),
          greenRow(rowWeights128(matrix.green)),
          redRow(rowWeights128(matrix.red)) {}

    // Byte 3 of each toned pixel is zero.
    Vector tone(Vector pixels) const {
        // Lane words (blue, green) and (red, 0); -128 yields zero.
        const __m128i blueGreen = _mm_shuffle_epi8(
            pixels, _mm_setr_epi8(0, -128, 1, -128, 4, -128, 5, -128, 8, -128, 9, -128, 12, -128, 13, -128));
        const __m128i red = _mm_shuffle_epi8(pixels, _mm_setr_epi8(2, -128, -128, -128, 6, -128, -128, -128, 10, -128,
                                                                   -128, -128, 14, -128, -128, -128));
        const __m128i blue = toneChannel(blueGreen, red, blueRow);
        const __m128i green = toneChannel(blueGreen, red, greenRow);
        const __m128i redOut = toneChannel(blueGreen, red, redRow);
        // Bytes blue 0-3, green 0-3, red 0-3, zeros, each capped at 255 by
        // the unsigned saturation; then in pixel order.
        const __m128i bytes =
            _mm_packus_epi16(_mm_packs_epi32(blue, green), _mm_packs_epi32(redOut, _mm_setzero_si128()));
        return _mm_shuffle_epi8(bytes, _mm_setr_epi8(0, 4, 8, -128, 1, 5, 9, -128, 2, 6, 10, -128, 3, 7, 11, -128));
    }

    RowWeights128 blueRow;
    RowWeights128 greenRow;
    RowWeights128 redRow;
};

}  // namespace

void toneSsse3(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount,
               const ToningMatrix& matrix, StorePolicy stores) {
    toneVectors(Ssse3Lanes(matrix), destination, source, pixelCount, matrix, stores);
}

#endif
