#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/files/byte_stream.h"
#include "host/files/native_file.h"

namespace host {

// An image file to read, by its UTF-8 path, or "-" for standard input
// (copied first into a temporary file without a name, so that it can be
// read in any order). Reads are buffered. HostError names the file when it
// is missing, a folder, or unreadable.
class InputFile : public ByteSource {
public:
    explicit InputFile(const std::string& path);

    std::size_t read(void* buffer, std::size_t size) override;
    void seek(std::uint64_t position) override;
    std::uint64_t position() const override { return position_; }
    std::uint64_t size() const override { return size_; }
    const std::uint8_t* mapped() override { return file_.map(); }
    const std::string& name() const override { return name_; }

private:
    std::size_t readBuffered(void* buffer, std::size_t size);

    std::string name_;
    NativeFile file_;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t bufferStart_ = 0;  // the file offset of buffer_[0]
};

// Standard input's name for the commands.
inline constexpr char kStandardStream[] = "-";

}  // namespace host
