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

// Largest image the host will hold: width x height x 4 bytes.
inline constexpr std::uint64_t kMaxImageBytes = std::uint64_t{1} << 30;

// A blank opaque image; throws HostError when it would exceed `maxBytes`.
BgraImage makeImage(int width, int height, std::uint64_t maxBytes = kMaxImageBytes);

// The same for the pixels of the file `name` as its header announces them;
// the HostError names the file. Decoders call it before allocating anything
// the size of the image.
BgraImage imageForFile(const std::string& name, std::uint64_t width, std::uint64_t height, std::uint64_t maxBytes);

}  // namespace host
