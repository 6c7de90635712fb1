#include "host/image/bgra_image.h"

#include <string>

#include "host/host_error.h"

namespace host {

BgraImage makeImage(int width, int height, std::uint64_t maxBytes) {
    if (width <= 0 || height <= 0) {
        throw HostError("image has no pixels (" + std::to_string(width) + " x " + std::to_string(height) + ")");
    }
    const std::uint64_t bytes =
        std::uint64_t{4} * static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    if (bytes > maxBytes) {
        throw HostError("image of " + std::to_string(width) + " x " + std::to_string(height) +
                        " pixels is too large to hold (limit " + std::to_string(maxBytes >> 20) + " MiB)");
    }
    BgraImage image;
    image.width = width;
    image.height = height;
    image.pixels.assign(static_cast<std::size_t>(bytes), 0);
    for (std::size_t i = 3; i < image.pixels.size(); i += 4) {
        image.pixels[i] = 255;
    }
    return image;
}

}  // namespace host
