#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

// An image in the plug-in's layout: 4 bytes a pixel (blue, green, red,
// alpha), rows packed without gaps.
struct BgraImage {
    int width = 0;
    int height = 0;
    bool hasAlpha = false;  // false: the file had no alpha, every pixel is opaque
    std::vector<std::uint8_t> pixels;

    std::uint8_t* at(int x, int y) {
        return pixels.data() +
               4 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x));
    }
    const std::uint8_t* at(int x, int y) const {
        return pixels.data() +
               4 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x));
    }
};

// Largest picture the host holds whole (the contact sheet, tests, the fuzz
// target), as width x height x 4 bytes; toning files goes band by band.
inline constexpr std::uint64_t kMaxImageBytes = std::uint64_t{1} << 30;

// A blank opaque image; throws HostError when it would exceed `maxBytes`.
BgraImage makeImage(int width, int height, std::uint64_t maxBytes = kMaxImageBytes);

}  // namespace host
