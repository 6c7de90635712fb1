#pragma once

#include <cstddef>
#include <cstdint>

// From this many destination bytes on, the vector kernels store with
// non-temporal (cache-bypassing) stores: an image this large does not stay in
// the caches anyway, and bypassing them spares the read-for-ownership of each
// destination line. Smaller images use ordinary stores, so that a following
// pass finds them in cache.
inline constexpr std::size_t kStreamingBytes = std::size_t{8} << 20;

// Whether a kernel whose vectors are `vectorBytes` wide streams this call; if
// so, `head` is the number of pixels to tone first (with the scalar kernel)
// so that the rest of the destination starts on a vector boundary. A
// destination that is not 4-byte aligned never reaches one by whole pixels,
// so it takes the ordinary path whatever its size.
// `static`: each kernel's file compiles its own copy for its own instruction
// set, so no wide copy can stand in for another file's.
static inline bool streamingHead(const std::uint8_t* destination, std::size_t pixelCount, std::size_t vectorBytes,
                                 std::size_t& head) {
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(destination);
    if (pixelCount * 4 < kStreamingBytes || address % 4 != 0) {
        return false;
    }
    head = ((vectorBytes - address % vectorBytes) % vectorBytes) / 4;
    return true;
}
