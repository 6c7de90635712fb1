#include "host/files/byte_stream.h"

#include <algorithm>
#include <cstring>

namespace host {

namespace {

// Up to `size` bytes of `bytes` at `position`, which moves past them.
std::size_t readFrom(const std::vector<std::uint8_t>& bytes, std::uint64_t& position, void* buffer, std::size_t size) {
    if (position >= bytes.size()) {
        return 0;
    }
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(size, bytes.size() - position));
    std::memcpy(buffer, bytes.data() + position, count);
    position += count;
    return count;
}

}  // namespace

std::size_t MemorySource::read(void* buffer, std::size_t size) { return readFrom(bytes_, position_, buffer, size); }

void MemorySink::write(const void* data, std::size_t size) {
    const std::uint64_t end = position_ + size;
    if (end > bytes_.size()) {
        bytes_.resize(static_cast<std::size_t>(end));
    }
    if (size > 0) {
        std::memcpy(bytes_.data() + position_, data, size);
    }
    position_ = end;
}

std::size_t MemorySink::read(void* buffer, std::size_t size) { return readFrom(bytes_, position_, buffer, size); }

}  // namespace host
