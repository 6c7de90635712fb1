// SSE2 kernel: four pixels per 128-bit vector, one pixel per 32-bit lane.
#include "toning/x86_kernels.h"

#if defined(SEPIA_X86_64_KERNELS)

#include <emmintrin.h>

#include "toning/exact_division.h"
#include "toning/scalar_kernel.h"
#include "toning/streaming.h"

namespace {

// Weights of one output row laid out for _mm_madd_epi16 against lanes that
// hold the 16-bit words (blue, green) and (red, 0).
struct RowWeights {
    __m128i blueGreen;
    __m128i red;
};

RowWeights rowWeights(const ToningRow& row) {
    return {_mm_set1_epi32(static_cast<std::int32_t>(static_cast<std::uint16_t>(row.blue)) |
                           static_cast<std::int32_t>(row.green) << 16),
            _mm_set1_epi32(row.red)};
}

// min(255, floor(sum / 10000)) per lane; see exact_division.h.
__m128i toneChannel(__m128i blueGreen, __m128i red, const RowWeights& w) {
    const __m128i sum = _mm_add_epi32(_mm_madd_epi16(blueGreen, w.blueGreen), _mm_madd_epi16(red, w.red));
    const __m128 quotient = _mm_mul_ps(_mm_cvtepi32_ps(sum), _mm_set1_ps(kInverseDenominator));
    return _mm_cvttps_epi32(_mm_min_ps(quotient, _mm_set1_ps(255.0f)));
}

}  // namespace

void toneSse2(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount,
              const ToningMatrix& matrix) {
    const RowWeights blueRow = rowWeights(matrix.blue);
    const RowWeights greenRow = rowWeights(matrix.green);
    const RowWeights redRow = rowWeights(matrix.red);
    const __m128i lowByte = _mm_set1_epi32(0x000000FF);
    const __m128i thirdByte = _mm_set1_epi32(0x00FF0000);
    const __m128i fourthByte = _mm_set1_epi32(static_cast<std::int32_t>(0xFF000000u));

    auto tone = [&](__m128i pixels) {
        // Lane words (blue, green) and (red, 0).
        const __m128i blueGreen =
            _mm_or_si128(_mm_and_si128(pixels, lowByte), _mm_and_si128(_mm_slli_epi32(pixels, 8), thirdByte));
        const __m128i red = _mm_and_si128(_mm_srli_epi32(pixels, 16), lowByte);
        const __m128i blue = toneChannel(blueGreen, red, blueRow);
        const __m128i green = toneChannel(blueGreen, red, greenRow);
        const __m128i redOut = toneChannel(blueGreen, red, redRow);
        return _mm_or_si128(blue, _mm_or_si128(_mm_slli_epi32(green, 8), _mm_slli_epi32(redOut, 16)));
    };
    // Each destination pixel's fourth byte, loaded after the source, so that
    // an in-place call stores back exactly the byte it found.
    auto keepFourthBytes = [&](__m128i toned, __m128i destinationPixels) {
        return _mm_or_si128(toned, _mm_and_si128(destinationPixels, fourthByte));
    };

    std::size_t done = 0;
    std::size_t head = 0;
    if (streamingHead(destination, pixelCount, 16, head)) {
        // Large images: align the destination, then store around the caches.
        toneScalar(destination, source, head, matrix);
        done = head;
        const std::size_t end = head + ((pixelCount - head) & ~std::size_t{3});
        for (; done < end; done += 4) {
            const __m128i toned = tone(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * done)));
            __m128i* out = reinterpret_cast<__m128i*>(destination + 4 * done);
            _mm_stream_si128(out, keepFourthBytes(toned, _mm_load_si128(out)));
        }
        _mm_sfence();
    } else {
        const std::size_t end = pixelCount & ~std::size_t{3};
        for (; done < end; done += 4) {
            const __m128i toned = tone(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * done)));
            __m128i* out = reinterpret_cast<__m128i*>(destination + 4 * done);
            _mm_storeu_si128(out, keepFourthBytes(toned, _mm_loadu_si128(out)));
        }
    }
    toneScalar(destination + 4 * done, source + 4 * done, pixelCount - done, matrix);
}

#endif
