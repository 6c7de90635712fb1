#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "host/files/byte_stream.h"
#include "host/files/native_file.h"

namespace host {

// A file written whole or not at all, which never leaves a piece behind.
// The bytes go to a file without a name in the target's folder (on Linux,
// O_TMPFILE; elsewhere a temporary name, marked on Windows to go when the
// process does, however it ends); commit() flushes it to disk, gives it the
// mode of the file it replaces, and only then gives it the target's name,
// replacing the target. Until then the target is untouched; an OutputFile
// destroyed without commit() (a failure anywhere, an exception, an
// interruption) leaves nothing. With the path "-" the bytes go to a file
// without a name in the system's temporary folder, which commit() copies to
// standard output: nothing reaches it from a file that fails. Errors are
// HostError naming the target and the system's reason. One thread at a time.
class OutputFile : public ByteSink {
public:
    explicit OutputFile(std::string path);
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const void* data, std::size_t size) override;
    std::size_t read(void* buffer, std::size_t size) override;
    void seek(std::uint64_t position) override { position_ = position; }
    std::uint64_t position() const override { return position_; }
    std::uint64_t size() const override { return size_; }
    const std::string& name() const override { return path_; }

    // Gives the file the modification time of the file `path` names
    // (NativeFile's time), when it is committed; nothing for standard
    // output.
    void keepModificationTimeOf(const std::string& path) { keptTimeOf_ = path; }

    void commit();

private:
    void flush();
#if !defined(_WIN32)
    void giveName(const std::filesystem::path& target);
#endif
    void removeTemporary() noexcept;

    std::string path_;
    // The file's temporary name while it has one: empty for an unnamed file
    // and standard output, and once renamed or removed.
    std::string temporary_;
    // The file goes by itself if the process ends before commit(): it has
    // no name (Linux), or is marked to go when closed (Windows).
    bool vanishes_ = false;
    NativeFile file_;
    std::uint64_t position_ = 0;
    std::uint64_t size_ = 0;
    // Writes that follow one another, gathered into large ones.
    std::vector<std::uint8_t> pending_;
    std::uint64_t pendingAt_ = 0;
    bool toStandardOutput_ = false;
    std::string keptTimeOf_;
};

// Writes `bytes` to `path` through an OutputFile.
void writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

// The whole file, or HostError when it is missing, unreadable or larger than
// `maxBytes`.
std::vector<std::uint8_t> readWholeFile(const std::string& path, std::uint64_t maxBytes);

}  // namespace host
