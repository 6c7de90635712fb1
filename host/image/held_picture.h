#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "host/host_error.h"

namespace host {

// Pictures the host holds whole, where a library decodes or encodes whole
// pictures only (WebP, HEIF and AVIF, JPEG XL), or a file's layout needs
// all of it at once (interlaced PNG, progressive JPEG's coefficients):
// refused beyond the memory limit, by name.

// HostError of `phase` naming `file` when `bytes` held whole for a `kind`
// ("a WebP picture") of `width` x `height` pixels pass `limit`.
void checkHeldWhole(Phase phase, const std::string& file, const std::string& kind, std::uint64_t width,
                    std::uint64_t height, std::uint64_t bytes, std::uint64_t limit);

// A picture's BGRA rows held whole, checked against the limit when made:
// a reader's decoded picture, handed out a band at a time, or a writer's
// gathered one, given a band at a time. Its memory is written before it is
// read, so pages a decoder never reaches (a short file that claims a large
// picture) cost nothing.
class HeldPicture {
public:
    HeldPicture() = default;
    HeldPicture(Phase phase, std::string file, const std::string& kind, int width, int height, std::uint64_t limit);

    std::uint8_t* data() { return pixels_.get(); }
    const std::uint8_t* data() const { return pixels_.get(); }
    std::size_t size() const { return size_; }
    std::size_t rowBytes() const { return rowBytes_; }
    bool complete() const { return done_ == size_; }

    // Takes the next `rows` rows (a writer's); HostError if the picture has
    // fewer left.
    void put(const std::uint8_t* bgra, int rows);
    // Gives the next `rows` rows (a reader's); HostError if it has fewer left.
    void take(std::uint8_t* bgra, int rows);
    // Lets the memory go (a library has taken its own copy).
    void release();

private:
    std::size_t span(int rows) const;

    Phase phase_ = Phase::Other;
    std::string file_;
    std::unique_ptr<std::uint8_t[]> pixels_;
    std::size_t size_ = 0;
    std::size_t rowBytes_ = 0;
    std::size_t done_ = 0;  // bytes put or taken
};

}  // namespace host
