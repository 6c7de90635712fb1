// SSE2 kernel: four pixels per 128-bit vector, one pixel per 32-bit lane.
// SSE2 is part of every x86-64 CPU; it has no byte shuffle, so bytes are
// spread into words with shifts and masks.
#include "toning/x86_kernels.h"

#if defined(SEPIA_X86_64_KERNELS)

#include <emmintrin.h>

#include "toning/exact_division.h"
#include "toning/lanes128.h"
#include "toning/vector_loop.h"

namespace {

// min(255, floor(sum / 10000)) per lane; see exact_division.h.
__m128i toneChannel(__m128i blueGreen, __m128i red, const RowWeights128& w) {
    const __m128i sum = channelSums128(blueGreen, red, w);
    const __m128 quotient = _mm_mul_ps(_mm_cvtepi32_ps(sum), _mm_set1_ps(kInverseDenominator));
    return _mm_cvttps_epi32(_mm_min_ps(quotient, _mm_set1_ps(255.0f)));
}

struct Sse2Lanes : Memory128 {
    explicit Sse2Lanes(const ToningMatrix& matrix)
        : blueRow(rowWeights128(matrix.blue)),
          greenRow(rowWeights128(matrix.green)),
          redRow(rowWeights128(matrix.red)) {}

    // Byte 3 of each toned pixel is zero.
    Vector tone(Vector pixels) const {
        const __m128i lowByte = _mm_set1_epi32(0x000000FF);
        // Lane words (blue, green) and (red, 0).
        const __m128i blueGreen = _mm_or_si128(_mm_and_si128(pixels, lowByte),
                                               _mm_and_si128(_mm_slli_epi32(pixels, 8), _mm_set1_epi32(0x00FF0000)));
        const __m128i red = _mm_and_si128(_mm_srli_epi32(pixels, 16), lowByte);
        const __m128i blue = toneChannel(blueGreen, red, blueRow);
        const __m128i green = toneChannel(blueGreen, red, greenRow);
        const __m128i redOut = toneChannel(blueGreen, red, redRow);
        return _mm_or_si128(blue, _mm_or_si128(_mm_slli_epi32(green, 8), _mm_slli_epi32(redOut, 16)));
    }

    RowWeights128 blueRow;
    RowWeights128 greenRow;
    RowWeights128 redRow;
};

}  // namespace

void toneSse2(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount, const ToningMatrix& matrix,
              StorePolicy stores) {
    toneVectors(Sse2Lanes(matrix), destination, source, pixelCount, matrix, stores);
}

#endif
