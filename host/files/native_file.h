#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "host/host_error.h"

namespace host {

// What the system refused: a HostError (phase Other) naming the file, what
// failed and the system's reason ("'x': writing failed (No space left on
// device)"); the reason alone, for callers that say more.
class SystemError : public HostError {
public:
    SystemError(const std::string& file, const std::string& what, std::string reason)
        : HostError(Phase::Other, file, what + " (" + reason + ")"), reason_(std::move(reason)) {}
    const std::string& reason() const { return reason_; }

private:
    std::string reason_;
};

// A file of the operating system, opened by one of the functions below and
// closed (and unmapped) with this object: reads and writes at any offset,
// in any size. Failures throw SystemError naming `name` and the system's
// reason. Not shared between threads.
class NativeFile {
public:
    NativeFile() = default;
    ~NativeFile();
    NativeFile(NativeFile&& other) noexcept;
    NativeFile& operator=(NativeFile&& other) noexcept;
    NativeFile(const NativeFile&) = delete;
    NativeFile& operator=(const NativeFile&) = delete;

    // An existing file (UTF-8 path) to read.
    static NativeFile openForReading(const std::string& path);
    // A new file, which must not exist yet, to write (and read back); with
    // the permissions new files get (or, on POSIX systems, `mode`).
    static NativeFile createNew(const std::string& path, unsigned mode = 0666);
    // A file without a name in `folder` (the system's temporary folder when
    // empty), read and written, and gone when closed, also when the process
    // ends without closing it.
    static NativeFile createAnonymous(const std::string& folder = {});
#if defined(_WIN32)
    // Whether the file goes when its last handle closes, also when the
    // process ends: a file written under a temporary name is marked so until
    // it is complete, and unmarked before it is renamed.
    void setDeleteOnClose(bool on);
    // Gives the file `path` (UTF-8) as its name, replacing any file there.
    void renameTo(const std::string& path);
#else
    // A file without a name in `folder`, which may be given one by linkAs()
    // once complete; none where the file system cannot make such files.
    // Its permissions are `mode` as new files get it (the umask applies).
    static std::optional<NativeFile> createUnnamed(const std::string& folder, unsigned mode = 0666);
    // Gives a file of createUnnamed() the name `path` (UTF-8); false if a
    // file of that name exists.
    bool linkAs(const std::string& path);
#endif
    // When a file was last modified, as the system keeps it (nanoseconds
    // since 1970 on POSIX systems, 100-nanosecond ticks since 1601 on
    // Windows); none when `path` names nothing.
    static std::optional<std::int64_t> modificationTimeOf(const std::string& path);
    // Gives the open file that modification time, and no other.
    void setModificationTime(std::int64_t time);
    // Standard input and output, as files.
    static NativeFile standardInput();
    static NativeFile standardOutput();

    // Reads up to `size` bytes at `offset`; fewer only at the end of the file.
    std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t size);
    // Reads up to `size` bytes where the file stands (pipes, terminals).
    std::size_t readStream(void* buffer, std::size_t size);
    void writeAt(std::uint64_t offset, const void* data, std::size_t size);
    // Writes where the file stands (pipes, terminals).
    void writeStream(const void* data, std::size_t size);
    std::uint64_t size() const;
    // Flushes what was written to the disk itself.
    void flushToDisk();
    // The whole file mapped read-only; null for an empty file.
    const std::uint8_t* map();
    void close();

    bool isOpen() const;
    const std::string& name() const { return name_; }

#if !defined(_WIN32)
    int descriptor() const { return descriptor_; }
#endif

private:
    [[noreturn]] void fail(const std::string& what) const;

    std::string name_;
    const std::uint8_t* mapping_ = nullptr;
    std::uint64_t mappedSize_ = 0;
    bool owned_ = true;  // standard input and output are not closed
#if defined(_WIN32)
    void* handle_ = nullptr;
    void* mappingHandle_ = nullptr;
#else
    int descriptor_ = -1;
#endif
};

}  // namespace host
