// AVX2 kernel: eight pixels per 256-bit vector, one pixel per 32-bit lane.
#include "toning/x86_kernels.h"

#if defined(SEPIA_X86_64_KERNELS)

#include <immintrin.h>

#include "toning/exact_division.h"
#include "toning/scalar_kernel.h"
#include "toning/streaming.h"

namespace {

struct RowWeights {
    __m256i blueGreen;  // (blue, green) word weights per lane
    __m256i red;        // (red, 0) word weights per lane
};

RowWeights rowWeights(const ToningRow& row) {
    return {_mm256_set1_epi32(static_cast<std::int32_t>(static_cast<std::uint16_t>(row.blue)) |
                              static_cast<std::int32_t>(row.green) << 16),
            _mm256_set1_epi32(row.red)};
}

// min(255, floor(sum / 10000)) per lane; see exact_division.h.
__m256i toneChannel(__m256i blueGreen, __m256i red, const RowWeights& w) {
    const __m256i sum = _mm256_add_epi32(_mm256_madd_epi16(blueGreen, w.blueGreen), _mm256_madd_epi16(red, w.red));
    const __m256 quotient = _mm256_mul_ps(_mm256_cvtepi32_ps(sum), _mm256_set1_ps(kInverseDenominator));
    return _mm256_cvttps_epi32(_mm256_min_ps(quotient, _mm256_set1_ps(255.0f)));
}

}  // namespace

void toneAvx2(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount,
              const ToningMatrix& matrix) {
    const RowWeights blueRow = rowWeights(matrix.blue);
    const RowWeights greenRow = rowWeights(matrix.green);
    const RowWeights redRow = rowWeights(matrix.red);
    // Byte shuffles, repeated in every 128-bit lane, that spread each pixel's
    // bytes into the 16-bit words (blue, green) and (red, 0); -128 yields zero.
    // (Built here, not at namespace scope: a static initialiser in this file
    // would run wide instructions at load time, on any CPU.)
    const __m256i toBlueGreen = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0, -128, 1, -128, 4, -128, 5, -128, 8, -128, 9, -128, 12, -128, 13, -128));
    const __m256i toRed = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(2, -128, -128, -128, 6, -128, -128, -128, 10, -128, -128, -128, 14, -128, -128, -128));
    const __m256i fourthByte = _mm256_set1_epi32(static_cast<std::int32_t>(0xFF000000u));

    auto tone = [&](__m256i pixels) {
        const __m256i blueGreen = _mm256_shuffle_epi8(pixels, toBlueGreen);
        const __m256i red = _mm256_shuffle_epi8(pixels, toRed);
        const __m256i blue = toneChannel(blueGreen, red, blueRow);
        const __m256i green = toneChannel(blueGreen, red, greenRow);
        const __m256i redOut = toneChannel(blueGreen, red, redRow);
        return _mm256_or_si256(blue, _mm256_or_si256(_mm256_slli_epi32(green, 8), _mm256_slli_epi32(redOut, 16)));
    };
    // Each destination pixel's fourth byte, loaded after the source, so that
    // an in-place call stores back exactly the byte it found.
    auto keepFourthBytes = [&](__m256i toned, __m256i destinationPixels) {
        return _mm256_or_si256(toned, _mm256_and_si256(destinationPixels, fourthByte));
    };

    std::size_t done = 0;
    std::size_t head = 0;
    if (streamingHead(destination, pixelCount, 32, head)) {
        // Large images: align the destination, then store around the caches.
        toneScalar(destination, source, head, matrix);
        done = head;
        const std::size_t end = head + ((pixelCount - head) & ~std::size_t{7});
        for (; done < end; done += 8) {
            const __m256i toned = tone(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + 4 * done)));
            __m256i* out = reinterpret_cast<__m256i*>(destination + 4 * done);
            _mm256_stream_si256(out, keepFourthBytes(toned, _mm256_load_si256(out)));
        }
        _mm_sfence();
    } else {
        const std::size_t end = pixelCount & ~std::size_t{7};
        for (; done < end; done += 8) {
            const __m256i toned = tone(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + 4 * done)));
            __m256i* out = reinterpret_cast<__m256i*>(destination + 4 * done);
            _mm256_storeu_si256(out, keepFourthBytes(toned, _mm256_loadu_si256(out)));
        }
    }
    toneScalar(destination + 4 * done, source + 4 * done, pixelCount - done, matrix);
}

#endif
