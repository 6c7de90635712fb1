#include "host/image/held_picture.h"

#include <cstring>

namespace host {

void checkHeldWhole(Phase phase, const std::string& file, const std::string& kind, std::uint64_t width,
                    std::uint64_t height, std::uint64_t bytes, std::uint64_t limit) {
    if (bytes > limit) {
        throw HostError(phase, file,
                        kind + " of " + std::to_string(width) + " x " + std::to_string(height) +
                            " pixels, which must be held whole in " + std::to_string(bytes >> 20) +
                            " MiB: more than the limit of " + std::to_string(limit >> 20) +
                            " MiB for pictures held whole");
    }
}

HeldPicture::HeldPicture(Phase phase, std::string file, const std::string& kind, int width, int height,
                         std::uint64_t limit)
    : phase_(phase), file_(std::move(file)) {
    const std::uint64_t bytes =
        std::uint64_t{4} * static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    checkHeldWhole(phase, file_, kind, static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height), bytes,
                   limit);
    size_ = static_cast<std::size_t>(bytes);
    rowBytes_ = std::size_t{4} * static_cast<std::size_t>(width);
    pixels_ = std::make_unique_for_overwrite<std::uint8_t[]>(size_);
}

std::size_t HeldPicture::span(int rows) const {
    const std::size_t bytes = static_cast<std::size_t>(rows) * rowBytes_;
    if (rows < 0 || done_ + bytes > size_) {
        throw HostError(phase_, file_,
                        phase_ == Phase::Write ? "cannot encode (more rows than the picture has)"
                                               : "has fewer rows than asked for");
    }
    return bytes;
}

void HeldPicture::put(const std::uint8_t* bgra, int rows) {
    const std::size_t bytes = span(rows);
    std::memcpy(pixels_.get() + done_, bgra, bytes);
    done_ += bytes;
}

void HeldPicture::take(std::uint8_t* bgra, int rows) {
    const std::size_t bytes = span(rows);
    std::memcpy(bgra, pixels_.get() + done_, bytes);
    done_ += bytes;
}

void HeldPicture::release() { pixels_.reset(); }

}  // namespace host
