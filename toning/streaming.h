#pragma once

#include <cstddef>

// From this many destination bytes on, the vector kernels store with
// non-temporal (cache-bypassing) stores: an image this large does not stay in
// the caches anyway, and bypassing them spares the read-for-ownership of each
// destination line. Smaller images use ordinary stores, so that a following
// pass finds them in cache.
inline constexpr std::size_t kStreamingBytes = std::size_t{8} << 20;
