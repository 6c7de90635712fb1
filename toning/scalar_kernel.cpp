#include "toning/scalar_kernel.h"

#include "toning/memory_access.h"

namespace {

std::uint8_t toneChannel(const ToningRow& row, std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    const std::uint32_t sum = static_cast<std::uint32_t>(row.red) * red +
                              static_cast<std::uint32_t>(row.green) * green +
                              static_cast<std::uint32_t>(row.blue) * blue;
    const std::uint32_t quotient = sum / kToningDenominator;
    return static_cast<std::uint8_t>(quotient > 255 ? 255 : quotient);
}

// `matrix` is a copy: the compiler need not fear that a destination byte
// overwrites a weight, and keeps the weights in registers.
void tonePixels(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount,
                const ToningMatrix matrix) {
    for (std::size_t i = 0; i < pixelCount; ++i) {
        const std::uint8_t* in = source + 4 * i;
        std::uint8_t* out = destination + 4 * i;
        // All three source bytes are read before any destination byte is
        // written, so toning in place is safe.
        const std::uint32_t blue = in[0];
        const std::uint32_t green = in[1];
        const std::uint32_t red = in[2];
        out[0] = toneChannel(matrix.blue, red, green, blue);
        out[1] = toneChannel(matrix.green, red, green, blue);
        out[2] = toneChannel(matrix.red, red, green, blue);
    }
}

// Pixels toned between prefetches: enough that the loop above runs at full
// speed, few enough that the prefetches stay ahead.
constexpr std::size_t kChunkPixels = 256;

}  // namespace

void toneScalar(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount,
                const ToningMatrix& matrix, StorePolicy /*stores*/) {
    std::size_t done = 0;
    for (; done + kChunkPixels <= pixelCount; done += kChunkPixels) {
        for (std::size_t at = 4 * done; at < 4 * (done + kChunkPixels); at += kLineBytes) {
            prefetchAhead(source, destination, at);
        }
        tonePixels(destination + 4 * done, source + 4 * done, kChunkPixels, matrix);
    }
    tonePixels(destination + 4 * done, source + 4 * done, pixelCount - done, matrix);
}
