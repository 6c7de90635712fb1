#include "host/files/native_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "host/host_error.h"
#include "host/utf8_path.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace host {

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
int lastError() { return static_cast<int>(GetLastError()); }
#else
int lastError() { return errno; }
#endif

std::string reasonFor(int code) { return std::system_category().message(code); }

// Pieces the system reads or writes in one call.
constexpr std::size_t kMaxPiece = std::size_t{1} << 30;

}  // namespace

NativeFile::~NativeFile() { close(); }

NativeFile::NativeFile(NativeFile&& other) noexcept { *this = std::move(other); }

NativeFile& NativeFile::operator=(NativeFile&& other) noexcept {
    if (this != &other) {
        close();
        name_ = std::move(other.name_);
        mapping_ = std::exchange(other.mapping_, nullptr);
        mappedSize_ = std::exchange(other.mappedSize_, 0);
        owned_ = other.owned_;
#if defined(_WIN32)
        handle_ = std::exchange(other.handle_, nullptr);
        mappingHandle_ = std::exchange(other.mappingHandle_, nullptr);
#else
        descriptor_ = std::exchange(other.descriptor_, -1);
#endif
    }
    return *this;
}

void NativeFile::fail(const std::string& what) const {
    const int code = lastError();
    throw SystemError(name_, what, reasonFor(code));
}

#if defined(_WIN32)

bool NativeFile::isOpen() const { return handle_ != nullptr; }

NativeFile NativeFile::openForReading(const std::string& path) {
    NativeFile file;
    file.name_ = path;
    const HANDLE handle = CreateFileW(pathFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        file.fail("cannot open it");
    }
    file.handle_ = handle;
    return file;
}

NativeFile NativeFile::createNew(const std::string& path, unsigned /*mode*/) {
    NativeFile file;
    file.name_ = path;
    const HANDLE handle = CreateFileW(pathFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        file.fail("cannot create it");
    }
    file.handle_ = handle;
    return file;
}

NativeFile NativeFile::createAnonymous(const std::string& folder) {
    static std::atomic<unsigned> counter{0};
    const fs::path dir = folder.empty() ? fs::temp_directory_path() : pathFromUtf8(folder);
    NativeFile file;
    file.name_ = utf8FromPath(dir);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        const fs::path path = dir / ("sepia-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(stamp) +
                                     "-" + std::to_string(counter++) + ".tmp");
        const HANDLE handle =
            CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            file.handle_ = handle;
            return file;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    file.fail("cannot create a temporary file there");
}

void NativeFile::setDeleteOnClose(bool on) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = on ? TRUE : FALSE;
    if (SetFileInformationByHandle(static_cast<HANDLE>(handle_), FileDispositionInfo, &disposition,
                                   sizeof(disposition)) == 0) {
        fail(on ? "cannot mark it for removal" : "cannot keep it");
    }
}

void NativeFile::renameTo(const std::string& path) {
    const std::wstring target = pathFromUtf8(path).wstring();
    const std::size_t nameBytes = target.size() * sizeof(wchar_t);
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(rename->FileName, target.c_str(), nameBytes);
    if (SetFileInformationByHandle(static_cast<HANDLE>(handle_), FileRenameInfo, rename,
                                   static_cast<DWORD>(buffer.size())) == 0) {
        fail("cannot give it the name '" + path + "'");
    }
}

std::optional<std::int64_t> NativeFile::modificationTimeOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExW(pathFromUtf8(path).c_str(), GetFileExInfoStandard, &data) == 0) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
                                     data.ftLastWriteTime.dwLowDateTime);
}

void NativeFile::setModificationTime(std::int64_t time) {
    FILETIME written{};
    written.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(time));
    written.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(time) >> 32);
    if (SetFileTime(static_cast<HANDLE>(handle_), nullptr, nullptr, &written) == 0) {
        fail("cannot set its date");
    }
}

NativeFile NativeFile::standardInput() {
    NativeFile file;
    file.name_ = "standard input";
    file.handle_ = GetStdHandle(STD_INPUT_HANDLE);
    file.owned_ = false;
    return file;
}

NativeFile NativeFile::standardOutput() {
    NativeFile file;
    file.name_ = "standard output";
    file.handle_ = GetStdHandle(STD_OUTPUT_HANDLE);
    file.owned_ = false;
    return file;
}

std::size_t NativeFile::readAt(std::uint64_t offset, void* buffer, std::size_t size) {
    std::size_t total = 0;
    while (total < size) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset + total);
        at.OffsetHigh = static_cast<DWORD>((offset + total) >> 32);
        DWORD done = 0;
        const DWORD piece = static_cast<DWORD>(std::min(size - total, kMaxPiece));
        if (ReadFile(static_cast<HANDLE>(handle_), static_cast<char*>(buffer) + total, piece, &done, &at) == 0) {
            if (GetLastError() == ERROR_HANDLE_EOF) {
                break;
            }
            fail("reading failed");
        }
        if (done == 0) {
            break;
        }
        total += done;
    }
    return total;
}

std::size_t NativeFile::readStream(void* buffer, std::size_t size) {
    DWORD done = 0;
    if (ReadFile(static_cast<HANDLE>(handle_), buffer, static_cast<DWORD>(std::min(size, kMaxPiece)), &done, nullptr) ==
        0) {
        if (GetLastError() == ERROR_BROKEN_PIPE || GetLastError() == ERROR_HANDLE_EOF) {
            return 0;
        }
        fail("reading failed");
    }
    return done;
}

void NativeFile::writeAt(std::uint64_t offset, const void* data, std::size_t size) {
    std::size_t total = 0;
    while (total < size) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset + total);
        at.OffsetHigh = static_cast<DWORD>((offset + total) >> 32);
        DWORD done = 0;
        const DWORD piece = static_cast<DWORD>(std::min(size - total, kMaxPiece));
        if (WriteFile(static_cast<HANDLE>(handle_), static_cast<const char*>(data) + total, piece, &done, &at) == 0 ||
            done == 0) {
            fail("writing failed");
        }
        total += done;
    }
}

void NativeFile::writeStream(const void* data, std::size_t size) {
    std::size_t total = 0;
    while (total < size) {
        DWORD done = 0;
        const DWORD piece = static_cast<DWORD>(std::min(size - total, kMaxPiece));
        if (WriteFile(static_cast<HANDLE>(handle_), static_cast<const char*>(data) + total, piece, &done, nullptr) ==
                0 ||
            done == 0) {
            fail("writing failed");
        }
        total += done;
    }
}

std::uint64_t NativeFile::size() const {
    LARGE_INTEGER size{};
    if (GetFileSizeEx(static_cast<HANDLE>(handle_), &size) == 0) {
        fail("cannot tell its size");
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

void NativeFile::flushToDisk() {
    if (FlushFileBuffers(static_cast<HANDLE>(handle_)) == 0) {
        fail("flushing it to disk failed");
    }
}

const std::uint8_t* NativeFile::map() {
    if (mapping_ != nullptr) {
        return mapping_;
    }
    const std::uint64_t bytes = size();
    if (bytes == 0) {
        return nullptr;
    }
    mappingHandle_ = CreateFileMappingW(static_cast<HANDLE>(handle_), nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mappingHandle_ == nullptr) {
        fail("cannot map it into memory");
    }
    mapping_ = static_cast<const std::uint8_t*>(MapViewOfFile(mappingHandle_, FILE_MAP_READ, 0, 0, 0));
    if (mapping_ == nullptr) {
        fail("cannot map it into memory");
    }
    mappedSize_ = bytes;
    return mapping_;
}

void NativeFile::close() {
    if (mapping_ != nullptr) {
        UnmapViewOfFile(mapping_);
        mapping_ = nullptr;
    }
    if (mappingHandle_ != nullptr) {
        CloseHandle(mappingHandle_);
        mappingHandle_ = nullptr;
    }
    if (handle_ != nullptr && owned_) {
        CloseHandle(static_cast<HANDLE>(handle_));
    }
    handle_ = nullptr;
}

#else

bool NativeFile::isOpen() const { return descriptor_ >= 0; }

NativeFile NativeFile::openForReading(const std::string& path) {
    NativeFile file;
    file.name_ = path;
    file.descriptor_ = ::open(pathFromUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (file.descriptor_ < 0) {
        file.fail("cannot open it");
    }
    ::posix_fadvise(file.descriptor_, 0, 0, POSIX_FADV_SEQUENTIAL);
    return file;
}

NativeFile NativeFile::createNew(const std::string& path, unsigned mode) {
    NativeFile file;
    file.name_ = path;
    file.descriptor_ = ::open(pathFromUtf8(path).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (file.descriptor_ < 0) {
        file.fail("cannot create it");
    }
    return file;
}

NativeFile NativeFile::createAnonymous(const std::string& folder) {
    const fs::path dir = folder.empty() ? fs::temp_directory_path() : pathFromUtf8(folder);
    NativeFile file;
    file.name_ = utf8FromPath(dir);
    file.descriptor_ = ::open(dir.c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
    if (file.descriptor_ >= 0) {
        return file;
    }
    // File systems without unnamed files: a named one, unlinked at once.
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        const fs::path path = dir / ("sepia-" + std::to_string(::getpid()) + "-" + std::to_string(stamp) + "-" +
                                     std::to_string(counter++) + ".tmp");
        file.descriptor_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (file.descriptor_ >= 0) {
            ::unlink(path.c_str());
            return file;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    file.fail("cannot create a temporary file there");
}

std::optional<NativeFile> NativeFile::createUnnamed(const std::string& folder, unsigned mode) {
    NativeFile file;
    file.name_ = folder;
    file.descriptor_ = ::open(pathFromUtf8(folder).c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, mode);
    if (file.descriptor_ < 0) {
        return std::nullopt;
    }
    return file;
}

bool NativeFile::linkAs(const std::string& path) {
    const std::string self = "/proc/self/fd/" + std::to_string(descriptor_);
    const std::string target = utf8FromPath(pathFromUtf8(path));
    int done = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW);
    if (done != 0 && errno == ENOENT && ::access("/proc/self/fd", F_OK) != 0) {
        // Without /proc: the descriptor itself, which needs the right to
        // reach any file.
        done = ::linkat(descriptor_, "", AT_FDCWD, target.c_str(), AT_EMPTY_PATH);
    }
    if (done == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    fail("cannot give it the name '" + path + "'");
}

std::optional<std::int64_t> NativeFile::modificationTimeOf(const std::string& path) {
    struct stat status {};
    if (::stat(pathFromUtf8(path).c_str(), &status) != 0) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}

void NativeFile::setModificationTime(std::int64_t time) {
    struct timespec times[2] = {};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(time / 1000000000);
    times[1].tv_nsec = static_cast<long>(time % 1000000000);
    if (::futimens(descriptor_, times) != 0) {
        fail("cannot set its date");
    }
}

NativeFile NativeFile::standardInput() {
    NativeFile file;
    file.name_ = "standard input";
    file.descriptor_ = 0;
    file.owned_ = false;
    return file;
}

NativeFile NativeFile::standardOutput() {
    NativeFile file;
    file.name_ = "standard output";
    file.descriptor_ = 1;
    file.owned_ = false;
    return file;
}

std::size_t NativeFile::readAt(std::uint64_t offset, void* buffer, std::size_t size) {
    std::size_t total = 0;
    while (total < size) {
        const ssize_t done = ::pread(descriptor_, static_cast<char*>(buffer) + total, std::min(size - total, kMaxPiece),
                                     static_cast<off_t>(offset + total));
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done < 0) {
            fail("reading failed");
        }
        if (done == 0) {
            break;
        }
        total += static_cast<std::size_t>(done);
    }
    return total;
}

std::size_t NativeFile::readStream(void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t done = ::read(descriptor_, buffer, std::min(size, kMaxPiece));
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done < 0) {
            fail("reading failed");
        }
        return static_cast<std::size_t>(done);
    }
}

void NativeFile::writeAt(std::uint64_t offset, const void* data, std::size_t size) {
    std::size_t total = 0;
    while (total < size) {
        const ssize_t done = ::pwrite(descriptor_, static_cast<const char*>(data) + total,
                                      std::min(size - total, kMaxPiece), static_cast<off_t>(offset + total));
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            if (done == 0) {
                errno = ENOSPC;
            }
            fail("writing failed");
        }
        total += static_cast<std::size_t>(done);
    }
}

void NativeFile::writeStream(const void* data, std::size_t size) {
    std::size_t total = 0;
    while (total < size) {
        const ssize_t done =
            ::write(descriptor_, static_cast<const char*>(data) + total, std::min(size - total, kMaxPiece));
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            if (done == 0) {
                errno = ENOSPC;
            }
            fail("writing failed");
        }
        total += static_cast<std::size_t>(done);
    }
}

std::uint64_t NativeFile::size() const {
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0) {
        fail("cannot tell its size");
    }
    return static_cast<std::uint64_t>(status.st_size);
}

void NativeFile::flushToDisk() {
    if (::fsync(descriptor_) != 0) {
        fail("flushing it to disk failed");
    }
}

const std::uint8_t* NativeFile::map() {
    if (mapping_ != nullptr) {
        return mapping_;
    }
    const std::uint64_t bytes = size();
    if (bytes == 0) {
        return nullptr;
    }
    void* memory = ::mmap(nullptr, static_cast<std::size_t>(bytes), PROT_READ, MAP_PRIVATE, descriptor_, 0);
    if (memory == MAP_FAILED) {
        fail("cannot map it into memory");
    }
    mapping_ = static_cast<const std::uint8_t*>(memory);
    mappedSize_ = bytes;
    return mapping_;
}

void NativeFile::close() {
    if (mapping_ != nullptr) {
        ::munmap(const_cast<std::uint8_t*>(mapping_), static_cast<std::size_t>(mappedSize_));
        mapping_ = nullptr;
    }
    if (descriptor_ >= 0 && owned_) {
        ::close(descriptor_);
    }
    descriptor_ = -1;
}

#endif

}  // namespace host
