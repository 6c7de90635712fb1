#pragma once

#include <cstddef>

// How the kernels walk memory.

// One cache line: the unit in which the kernels load, tone and store.
inline constexpr std::size_t kLineBytes = 64;
inline constexpr std::size_t kLinePixels = kLineBytes / 4;

// How far ahead of the line being toned the kernels prefetch the source and
// the destination. The hardware prefetchers stop at each 4 KiB page, and on
// some CPUs barely run at all; a kernel that computes for a while per line
// would otherwise wait on memory at every page.
inline constexpr std::size_t kPrefetchBytes = 4096;

// Stores go around the caches only from this many bytes touched on: below it
// an image stays in the caches of any CPU this library runs on.
inline constexpr std::size_t kMinStreamingBytes = std::size_t{8} << 20;

// The size from which a call's stores go around the caches on a CPU whose
// last-level cache holds `lastLevelCacheBytes` (0 when unknown): when what
// the call touches would not fit in it.
inline constexpr std::size_t streamingBytesFor(std::size_t lastLevelCacheBytes) {
    return lastLevelCacheBytes > kMinStreamingBytes ? lastLevelCacheBytes : kMinStreamingBytes;
}

// The bytes a call touches: the source and the destination, or the one
// buffer when the call tones in place.
inline constexpr std::size_t bytesTouched(const void* destination, const void* source, std::size_t pixelCount) {
    return 4 * pixelCount * (destination == source ? 1 : 2);
}
