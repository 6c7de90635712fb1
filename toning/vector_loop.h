#pragma once

#include <cstddef>
#include <cstdint>

#include <xmmintrin.h>

#include "toning/memory_access.h"
#include "toning/scalar_kernel.h"

// The loop every vector kernel shares. Each kernel's file includes this
// header and instantiates it with its own `Lanes`, compiled for its own
// instruction set; `static` keeps every instantiation inside its file, so no
// wide copy can stand in for a narrower file's.
//
// `Lanes` describes one instruction set's vectors of kPixels pixels (a
// divisor of kLinePixels):
//   Vector load(const std::uint8_t*)              unaligned load
//   Vector loadLine(const std::uint8_t*)          aligned load
//   Vector tone(Vector source)                    bytes 0..2 toned, byte 3 any
//   Vector keepFourth(Vector toned, Vector kept)  byte 3 taken from `kept`
//   void store(std::uint8_t*, Vector toned)       ordinary store, byte 3 kept
//   void stream(std::uint8_t*, Vector)            aligned non-temporal store
//
// The destination is toned a cache line at a time from its first line
// boundary (the scalar kernel tones the pixels before it and after the last
// whole vector), with the source and destination prefetched kPrefetchBytes
// ahead. Streaming loads every destination vector of a line (whose fourth
// bytes must be kept) before the first non-temporal store to it: such a
// store takes its line out of the caches, so interleaving loads and streamed
// stores within one line would fetch it from memory once per vector. A
// destination that is not 4-byte aligned never reaches a line boundary by
// whole pixels; it is toned where it lies, through the caches.
template <typename Lanes>
static void toneVectors(const Lanes& lanes, std::uint8_t* destination, const std::uint8_t* source,
                        std::size_t pixelCount, const ToningMatrix& matrix, StorePolicy stores) {
    constexpr std::size_t kPixels = Lanes::kPixels;
    constexpr std::size_t kVectorsPerLine = kLinePixels / kPixels;
    static_assert(kVectorsPerLine * kPixels == kLinePixels);

    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(destination);
    const bool wholePixelsReachALine = address % 4 == 0;
    std::size_t done = 0;
    if (wholePixelsReachALine) {
        const std::size_t head = ((kLineBytes - address % kLineBytes) % kLineBytes) / 4;
        done = head < pixelCount ? head : pixelCount;
        toneScalar(destination, source, done, matrix, stores);
    }
    const std::size_t lineEnd = done + (pixelCount - done) / kLinePixels * kLinePixels;
    if (wholePixelsReachALine && stores == StorePolicy::AroundCaches) {
        for (; done < lineEnd; done += kLinePixels) {
            prefetchAhead(source, destination, 4 * done);
            std::uint8_t* line = destination + 4 * done;
            const std::uint8_t* in = source + 4 * done;
            typename Lanes::Vector kept[kVectorsPerLine];
            for (std::size_t v = 0; v < kVectorsPerLine; ++v) {
                kept[v] = lanes.loadLine(line + 4 * kPixels * v);
            }
            for (std::size_t v = 0; v < kVectorsPerLine; ++v) {
                lanes.stream(line + 4 * kPixels * v,
                             lanes.keepFourth(lanes.tone(lanes.load(in + 4 * kPixels * v)), kept[v]));
            }
        }
        _mm_sfence();  // the streamed stores are ordered before what follows
    } else {
        for (; done < lineEnd; done += kLinePixels) {
            prefetchAhead(source, destination, 4 * done);
            for (std::size_t v = 0; v < kVectorsPerLine; ++v) {
                const std::size_t at = 4 * (done + kPixels * v);
                lanes.store(destination + at, lanes.tone(lanes.load(source + at)));
            }
        }
    }
    for (; done + kPixels <= pixelCount; done += kPixels) {
        lanes.store(destination + 4 * done, lanes.tone(lanes.load(source + 4 * done)));
    }
    toneScalar(destination + 4 * done, source + 4 * done, pixelCount - done, matrix, stores);
}
