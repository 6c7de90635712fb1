// AVX-512BW kernel: sixteen pixels per 512-bit vector, one pixel per 32-bit
// lane.
#include "toning/x86_kernels.h"

#if defined(SEPIA_X86_64_KERNELS)

#include <immintrin.h>

#include "toning/exact_division.h"
#include "toning/vector_loop.h"

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

// min(255, floor(sum / 10000)) in the low byte of each lane, with 0x4B in
// the high byte and zeros between. The division is the single-precision
// product of exact_division.h, fused with an addition of 2^23 and rounded
// toward minus infinity: floats in [2^23, 2^24) are the integers, so the
// result is 2^23 + floor(sum * c), whose bits read 0x4B000000 + the quotient.
// The cap is then an unsigned integer minimum on those bits.
__m512i toneChannel(__m512i blueGreen, __m512i red, const RowWeights& w) {
    const __m512i sum = _mm512_add_epi32(_mm512_madd_epi16(blueGreen, w.blueGreen), _mm512_madd_epi16(red, w.red));
    const __m512 biased = _mm512_fmadd_round_ps(_mm512_cvtepi32_ps(sum), _mm512_set1_ps(kInverseDenominator),
                                                _mm512_set1_ps(8388608.0f), _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    return _mm512_min_epu32(_mm512_castps_si512(biased), _mm512_set1_epi32(0x4B0000FF));
}

struct Avx512bwLanes {
    using Vector = __m512i;
    static constexpr std::size_t kPixels = 16;

    // Byte shuffles, repeated in every 128-bit lane, that spread each pixel's
    // bytes into the 16-bit words (blue, green) and (red, 0); -128 yields zero.
    // (Built per call, not at namespace scope: a static initialiser in this
    // file would run wide instructions at load time, on any CPU.)
    explicit Avx512bwLanes(const ToningMatrix& matrix)
        : blueRow(rowWeights(matrix.blue)),
          greenRow(rowWeights(matrix.green)),
          redRow(rowWeights(matrix.red)),
          toBlueGreen(_mm512_broadcast_i32x4(
              _mm_setr_epi8(0, -128, 1, -128, 4, -128, 5, -128, 8, -128, 9, -128, 12, -128, 13, -128))),
          toRed(_mm512_broadcast_i32x4(
              _mm_setr_epi8(2, -128, -128, -128, 6, -128, -128, -128, 10, -128, -128, -128, 14, -128, -128, -128))) {}

    static Vector load(const std::uint8_t* in) { return _mm512_loadu_si512(in); }
    static Vector loadLine(const std::uint8_t* in) { return _mm512_load_si512(in); }

    // Byte 3 of each toned pixel holds 0x4B (see toneChannel).
    Vector tone(Vector pixels) const {
        const __m512i blueGreen = _mm512_shuffle_epi8(pixels, toBlueGreen);
        const __m512i red = _mm512_shuffle_epi8(pixels, toRed);
        const __m512i blue = toneChannel(blueGreen, red, blueRow);
        const __m512i green = toneChannel(blueGreen, red, greenRow);
        const __m512i redOut = toneChannel(blueGreen, red, redRow);
        // blue | green << 8 | red << 16 in one three-input OR; the shifts
        // push green's and red's 0x4B out of the lane, and blue's stays in
        // byte 3, which is never stored as it stands.
        return _mm512_ternarylogic_epi32(blue, _mm512_slli_epi32(green, 8), _mm512_slli_epi32(redOut, 16), 0xFE);
    }
    // fourthByte ? kept : toned, bit by bit.
    static Vector keepFourth(Vector toned, Vector kept) {
        return _mm512_ternarylogic_epi32(toned, kept, _mm512_set1_epi32(static_cast<std::int32_t>(0xFF000000u)), 0xD8);
    }
    // The byte mask writes bytes 0..2 of each pixel and never byte 3.
    static void store(std::uint8_t* out, Vector toned) { _mm512_mask_storeu_epi8(out, 0x7777777777777777ull, toned); }
    // A non-temporal store has no byte mask: the caller keeps byte 3.
    static void stream(std::uint8_t* out, Vector pixels) {
        _mm512_stream_si512(reinterpret_cast<__m512i*>(out), pixels);
    }

    RowWeights blueRow;
    RowWeights greenRow;
    RowWeights redRow;
    __m512i toBlueGreen;
    __m512i toRed;
};

}  // namespace

void toneAvx512bw(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount,
                  const ToningMatrix& matrix, StorePolicy stores) {
    toneVectors(Avx512bwLanes(matrix), destination, source, pixelCount, matrix, stores);
}

#endif
