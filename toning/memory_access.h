#pragma once

#include <cstddef>
#include <cstdint>

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

// Prefetches the source and destination kPrefetchBytes past `at` bytes into
// the run being toned. (A prefetch never faults, past the end or not.)
inline void prefetchAhead(const std::uint8_t* source, const std::uint8_t* destination, std::size_t at) {
    __builtin_prefetch(source + at + kPrefetchBytes);
    __builtin_prefetch(destination + at + kPrefetchBytes);
}
