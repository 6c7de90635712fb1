// AVX2 kernel: eight pixels per 256-bit vector, one pixel per 32-bit lane.
// The same steps as the SSSE3 kernel, in both 128-bit halves at once.
#include "toning/x86_kernels.h"

#if defined(SEPIA_X86_64_KERNELS)

#include <immintrin.h>

#include "toning/exact_division.h"
#include "toning/vector_loop.h"

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

// floor(sum / 10000) per lane, not yet capped; see exact_division.h.
__m256i toneChannel(__m256i blueGreen, __m256i red, const RowWeights& w) {
    const __m256i sum = _mm256_add_epi32(_mm256_madd_epi16(blueGreen, w.blueGreen), _mm256_madd_epi16(red, w.red));
    return _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(sum), _mm256_set1_ps(kInverseDenominator)));
}

// A 128-bit byte shuffle repeated in both halves; -128 yields zero.
__m256i inBothHalves(__m128i shuffle) { return _mm256_broadcastsi128_si256(shuffle); }

struct Avx2Lanes {
    using Vector = __m256i;
    static constexpr std::size_t kPixels = 8;

    // (Built per call, not at namespace scope: a static initialiser in this
    // file would run wide instructions at load time, on any CPU.)
    explicit Avx2Lanes(const ToningMatrix& matrix)
        : blueRow(rowWeights(matrix.blue)),
          greenRow(rowWeights(matrix.green)),
          redRow(rowWeights(matrix.red)),
          toBlueGreen(
              inBothHalves(_mm_setr_epi8(0, -128, 1, -128, 4, -128, 5, -128, 8, -128, 9, -128, 12, -128, 13, -128))),
          toRed(inBothHalves(
              _mm_setr_epi8(2, -128, -128, -128, 6, -128, -128, -128, 10, -128, -128, -128, 14, -128, -128, -128))),
          toPixels(inBothHalves(_mm_setr_epi8(0, 4, 8, -128, 1, 5, 9, -128, 2, 6, 10, -128, 3, 7, 11, -128))) {}

    static Vector load(const std::uint8_t* in) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)); }
    static Vector loadLine(const std::uint8_t* in) { return _mm256_load_si256(reinterpret_cast<const __m256i*>(in)); }

    // Byte 3 of each toned pixel is zero.
    Vector tone(Vector pixels) const {
        // Lane words (blue, green) and (red, 0).
        const __m256i blueGreen = _mm256_shuffle_epi8(pixels, toBlueGreen);
        const __m256i red = _mm256_shuffle_epi8(pixels, toRed);
        const __m256i blue = toneChannel(blueGreen, red, blueRow);
        const __m256i green = toneChannel(blueGreen, red, greenRow);
        const __m256i redOut = toneChannel(blueGreen, red, redRow);
        // Packing to bytes with unsigned saturation caps each channel at 255;
        // per half: blue 0-3, green 0-3, red 0-3, zeros; then pixel order.
        const __m256i bytes =
            _mm256_packus_epi16(_mm256_packs_epi32(blue, green), _mm256_packs_epi32(redOut, _mm256_setzero_si256()));
        return _mm256_shuffle_epi8(bytes, toPixels);
    }
    static Vector keepFourth(Vector toned, Vector kept) {
        return _mm256_or_si256(toned,
                               _mm256_and_si256(kept, _mm256_set1_epi32(static_cast<std::int32_t>(0xFF000000u))));
    }
    static void store(std::uint8_t* out, Vector toned) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), keepFourth(toned, load(out)));
    }
    static void stream(std::uint8_t* out, Vector pixels) {
        _mm256_stream_si256(reinterpret_cast<__m256i*>(out), pixels);
    }

    RowWeights blueRow;
    RowWeights greenRow;
    RowWeights redRow;
    __m256i toBlueGreen;
    __m256i toRed;
    __m256i toPixels;
};

}  // namespace

void toneAvx2(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount, const ToningMatrix& matrix,
              StorePolicy stores) {
    toneVectors(Avx2Lanes(matrix), destination, source, pixelCount, matrix, stores);
}

#endif
