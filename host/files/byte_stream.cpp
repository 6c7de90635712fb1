#include "host/files/byte_stream.h"

#include <algorithm>
#include <cstring>

namespace host {

std::size_t MemorySource::read(void* buffer, std::size_t size) {
    if (position_ >= bytes_.size()) {
        return 0;
    }
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(size, bytes_.size() - position_));
    std::memcpy(buffer, bytes_.data() + position_, count);
    position_ += count;
    return count;
}

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

std::size_t MemorySink::read(void* buffer, std::size_t size) {
    if (position_ >= bytes_.size()) {
        return 0;
    }
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(size, bytes_.size() - position_));
    std::memcpy(buffer, bytes_.data() + position_, count);
    position_ += count;
    return count;
}

}  // namespace host
