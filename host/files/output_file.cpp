#include "host/files/output_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "host/host_error.h"
#include "host/utf8_path.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace host {

namespace fs = std::filesystem;

namespace {

// The longest prefix of `name` of at most `limit` bytes that ends between
// two UTF-8 characters.
std::string utf8Prefix(const std::string& name, std::size_t limit) {
    if (name.size() <= limit) {
        return name;
    }
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) {
        --end;
    }
    return name.substr(0, end);
}

// A name in the target's folder that no other writer is using, short enough
// for any file system (names of at most 255 bytes or UTF-16 units): a dot,
// the target's name cut to 96 bytes, a stamp, ".tmp".
fs::path temporaryBeside(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    const auto stamp = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::string name = ".";
    name += utf8Prefix(utf8FromPath(target.filename()), 96);
    name += '.';
    name += std::to_string(stamp);
    name += '-';
    name += std::to_string(counter.fetch_add(1));
    name += ".tmp";
    return target.parent_path() / pathFromUtf8(name);
}

std::string reason(int systemError) { return std::system_category().message(systemError); }

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    std::error_code error;
    const fs::path target = fs::absolute(pathFromUtf8(path_), error);
    if (error || !fs::is_directory(target.parent_path(), error)) {
        throw HostError("cannot write '" + path_ + "': folder '" + utf8FromPath(target.parent_path()) +
                        "' does not exist");
    }
    if (fs::is_directory(target, error)) {
        throw HostError("cannot write '" + path_ + "': it is a folder");
    }
    const fs::path temporary = temporaryBeside(target);
    temporary_ = utf8FromPath(temporary);
#if defined(_WIN32)
    const HANDLE handle =
        CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const int code = static_cast<int>(GetLastError());
        temporary_.clear();
        fail("cannot create a file in '" + utf8FromPath(target.parent_path()) + "'", code);
    }
    handle_ = handle;
#else
    descriptor_ = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor_ < 0) {
        const int code = errno;
        temporary_.clear();
        fail("cannot create a file in '" + utf8FromPath(target.parent_path()) + "'", code);
    }
    // A file that is replaced keeps its permissions (and its owner, where
    // this process may give it).
    struct stat replaced {};
    if (::stat(target.c_str(), &replaced) == 0) {
        if (::fchmod(descriptor_, replaced.st_mode & 07777) != 0) {
            fail("cannot give it the permissions of the file it replaces", errno);
        }
        [[maybe_unused]] const int ignored = ::fchown(descriptor_, replaced.st_uid, replaced.st_gid);
    }
#endif
}

OutputFile::~OutputFile() { removeTemporary(); }

void OutputFile::write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
#if defined(_WIN32)
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, std::size_t{1} << 30));
        DWORD done = 0;
        if (WriteFile(static_cast<HANDLE>(handle_), bytes, chunk, &done, nullptr) == 0 || done == 0) {
            fail("writing failed", static_cast<int>(GetLastError()));
        }
#else
        const ssize_t done = ::write(descriptor_, bytes, std::min<std::size_t>(size, std::size_t{1} << 30));
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            fail("writing failed", done < 0 ? errno : ENOSPC);
        }
#endif
        bytes += done;
        size -= static_cast<std::size_t>(done);
        written_ += static_cast<std::uint64_t>(done);
    }
}

void OutputFile::commit() {
    const fs::path target = fs::absolute(pathFromUtf8(path_));
    const fs::path temporary = pathFromUtf8(temporary_);
#if defined(_WIN32)
    const HANDLE handle = static_cast<HANDLE>(handle_);
    if (FlushFileBuffers(handle) == 0) {
        fail("flushing it to disk failed", static_cast<int>(GetLastError()));
    }
    CloseHandle(handle);
    handle_ = nullptr;
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        fail("cannot replace it", static_cast<int>(GetLastError()));
    }
    temporary_.clear();
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        SetFileAttributesW(target.c_str(), attributes);
    }
#else
    if (::fsync(descriptor_) != 0) {
        fail("flushing it to disk failed", errno);
    }
    const int closed = ::close(descriptor_);
    descriptor_ = -1;
    if (closed != 0) {
        fail("writing failed", errno);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        fail("cannot replace it", errno);
    }
    temporary_.clear();
    // The rename itself reaches the disk with the folder.
    const int folder = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
#endif
}

void OutputFile::fail(const std::string& what, int systemError) {
    removeTemporary();
    throw HostError("cannot write '" + path_ + "': " + what + " (" + reason(systemError) + ")");
}

void OutputFile::removeTemporary() noexcept {
#if defined(_WIN32)
    if (handle_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
#else
    if (descriptor_ >= 0) {
        ::close(descriptor_);
        descriptor_ = -1;
    }
#endif
    if (!temporary_.empty()) {
        std::error_code ignored;
        fs::remove(pathFromUtf8(temporary_), ignored);
        temporary_.clear();
    }
}

void writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    OutputFile file(path);
    file.write(bytes.data(), bytes.size());
    file.commit();
}

std::vector<std::uint8_t> readWholeFile(const std::string& path, std::uint64_t maxBytes) {
    std::error_code error;
    const fs::path file = pathFromUtf8(path);
    if (!fs::exists(file, error)) {
        throw HostError("cannot read '" + path + "': no such file");
    }
    if (fs::is_directory(file, error)) {
        throw HostError("cannot read '" + path + "': it is a folder");
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw HostError("cannot read '" + path + "': permission denied or unreadable");
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) {
        throw HostError("cannot read '" + path + "': unreadable");
    }
    if (static_cast<std::uint64_t>(size) > maxBytes) {
        throw HostError("cannot read '" + path + "': file is larger than " + std::to_string(maxBytes >> 20) + " MiB");
    }
    in.seekg(0, std::ios::beg);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), size);
    if (!in) {
        throw HostError("cannot read '" + path + "': reading failed");
    }
    return bytes;
}

}  // namespace host
