#include "host/files/input_file.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "host/host_error.h"
#include "host/utf8_path.h"

namespace host {

namespace {

constexpr std::size_t kBufferBytes = std::size_t{1} << 16;

}  // namespace

InputFile::InputFile(const std::string& path) : name_(path == kStandardStream ? "standard input" : path) {
    if (path == kStandardStream) {
        NativeFile in = NativeFile::standardInput();
        file_ = NativeFile::createAnonymous();
        std::vector<std::uint8_t> piece(std::size_t{1} << 20);
        std::uint64_t at = 0;
        for (std::size_t got = in.readStream(piece.data(), piece.size()); got > 0;
             got = in.readStream(piece.data(), piece.size())) {
            file_.writeAt(at, piece.data(), got);
            at += got;
        }
        size_ = at;
        return;
    }
    std::error_code error;
    const std::filesystem::path file = pathFromUtf8(path);
    if (!std::filesystem::exists(file, error)) {
        throw HostError::reading(path, "no such file");
    }
    if (std::filesystem::is_directory(file, error)) {
        throw HostError::reading(path, "it is a folder, not a file");
    }
    file_ = NativeFile::openForReading(path);
    size_ = file_.size();
}

std::size_t InputFile::read(void* buffer, std::size_t size) {
    try {
        return readBuffered(buffer, size);
    } catch (const SystemError& failure) {
        throw failure.as(Phase::Read, name_);
    }
}

std::size_t InputFile::readBuffered(void* buffer, std::size_t size) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t total = 0;
    while (total < size && position_ < size_) {
        // Large reads go straight to the file; small ones through the buffer.
        if (position_ < bufferStart_ || position_ >= bufferStart_ + buffer_.size()) {
            if (size - total >= kBufferBytes) {
                const std::size_t got = file_.readAt(position_, out + total, size - total);
                position_ += got;
                total += got;
                if (got == 0) {
                    break;
                }
                continue;
            }
            buffer_.resize(kBufferBytes);
            bufferStart_ = position_;
            buffer_.resize(file_.readAt(position_, buffer_.data(), kBufferBytes));
            if (buffer_.empty()) {
                break;
            }
        }
        const std::size_t offset = static_cast<std::size_t>(position_ - bufferStart_);
        const std::size_t count = std::min(size - total, buffer_.size() - offset);
        std::memcpy(out + total, buffer_.data() + offset, count);
        position_ += count;
        total += count;
    }
    return total;
}

void InputFile::seek(std::uint64_t position) { position_ = position; }

}  // namespace host
