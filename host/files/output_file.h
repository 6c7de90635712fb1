#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

// A file written whole or not at all. The bytes go to a temporary file in
// the target's folder; commit() flushes it to disk, gives it the mode of
// the file it replaces, and renames it over the target. Until then the
// target is untouched; an OutputFile destroyed without commit() (a failure
// anywhere, an exception) removes its temporary file. Errors are HostError
// naming the target and the system's reason. One thread at a time.
class OutputFile {
public:
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const void* data, std::size_t size);
    void commit();

    const std::string& path() const { return path_; }
    std::uint64_t bytesWritten() const { return written_; }

private:
    [[noreturn]] void fail(const std::string& what, int systemError);
    void removeTemporary() noexcept;

    std::string path_;
    std::string temporary_;
    std::uint64_t written_ = 0;
#if defined(_WIN32)
    void* handle_ = nullptr;
#else
    int descriptor_ = -1;
#endif
};

// Writes `bytes` to `path` through an OutputFile.
void writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

// The whole file, or HostError when it is missing, unreadable or larger than
// `maxBytes`.
std::vector<std::uint8_t> readWholeFile(const std::string& path, std::uint64_t maxBytes);

}  // namespace host
