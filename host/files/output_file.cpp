#include "host/files/output_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
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

#if !defined(_WIN32)
std::string reason(int systemError) { return std::system_category().message(systemError); }
#endif

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    if (path_ == "-") {
        path_ = "standard output";
        toStandardOutput_ = true;
        file_ = NativeFile::createAnonymous();
        return;
    }
    std::error_code error;
    const fs::path target = fs::absolute(pathFromUtf8(path_), error);
    if (error || !fs::is_directory(target.parent_path(), error)) {
        throw HostError::writing(path_, "folder '" + utf8FromPath(target.parent_path()) + "' does not exist");
    }
    if (fs::is_directory(target, error)) {
        throw HostError::writing(path_, "it is a folder");
    }
#if !defined(_WIN32)
    if (std::optional<NativeFile> unnamed = NativeFile::createUnnamed(utf8FromPath(target.parent_path()))) {
        file_ = std::move(*unnamed);
        vanishes_ = true;
    }
#endif
    if (!vanishes_) {
        const fs::path temporary = temporaryBeside(target);
        try {
            file_ = NativeFile::createNew(utf8FromPath(temporary));
        } catch (const SystemError& failure) {
            throw HostError::writing(path_, "cannot create a file in '" + utf8FromPath(target.parent_path()) + "' (" +
                                                failure.reason() + ")");
        }
        temporary_ = utf8FromPath(temporary);
#if defined(_WIN32)
        try {
            file_.setDeleteOnClose(true);
            vanishes_ = true;
        } catch (const HostError&) {
            // A file system that cannot: the name goes when this object does.
        }
#endif
    }
#if !defined(_WIN32)
    // A file that is replaced keeps its permissions (and its owner, where
    // this process may give it).
    struct stat replaced {};
    if (::stat(target.c_str(), &replaced) == 0) {
        if (::fchmod(file_.descriptor(), replaced.st_mode & 07777) != 0) {
            const int code = errno;
            removeTemporary();
            throw HostError::writing(path_, "cannot give it the permissions of the file it replaces (" +
                                                std::system_category().message(code) + ")");
        }
        [[maybe_unused]] const int ignored = ::fchown(file_.descriptor(), replaced.st_uid, replaced.st_gid);
    }
#endif
}

OutputFile::~OutputFile() { removeTemporary(); }

namespace {
constexpr std::size_t kGatheredBytes = std::size_t{1} << 20;
}

void OutputFile::write(const void* data, std::size_t size) {
    if (position_ != pendingAt_ + pending_.size() || pending_.size() + size > kGatheredBytes) {
        flush();
        pendingAt_ = position_;
    }
    if (size >= kGatheredBytes) {
        try {
            file_.writeAt(position_, data, size);
        } catch (const SystemError& failure) {
            removeTemporary();
            throw failure.as(Phase::Write, path_);
        }
        pendingAt_ = position_ + size;
    } else {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        pending_.insert(pending_.end(), bytes, bytes + size);
    }
    position_ += size;
    size_ = std::max(size_, position_);
}

void OutputFile::flush() {
    if (pending_.empty()) {
        return;
    }
    try {
        file_.writeAt(pendingAt_, pending_.data(), pending_.size());
    } catch (const SystemError& failure) {
        removeTemporary();
        throw failure.as(Phase::Write, path_);
    }
    pendingAt_ += pending_.size();
    pending_.clear();
}

std::size_t OutputFile::read(void* buffer, std::size_t size) {
    flush();
    if (position_ >= size_) {
        return 0;
    }
    const std::size_t got =
        file_.readAt(position_, buffer, static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - position_)));
    position_ += got;
    return got;
}

void OutputFile::commit() {
    flush();
    try {
        if (toStandardOutput_) {
            NativeFile out = NativeFile::standardOutput();
            std::vector<std::uint8_t> piece(std::size_t{1} << 20);
            for (std::uint64_t at = 0; at < size_;) {
                const std::size_t got = file_.readAt(at, piece.data(), piece.size());
                if (got == 0) {
                    break;
                }
                out.writeStream(piece.data(), got);
                at += got;
            }
            file_.close();
            return;
        }
        if (!keptTimeOf_.empty()) {
            if (const std::optional<std::int64_t> time = NativeFile::modificationTimeOf(keptTimeOf_)) {
                file_.setModificationTime(*time);
            }
        }
        file_.flushToDisk();
    } catch (const SystemError& failure) {
        removeTemporary();
        throw failure.as(Phase::Write, path_);
    }
    const fs::path target = fs::absolute(pathFromUtf8(path_));
#if defined(_WIN32)
    const DWORD attributes = GetFileAttributesW(target.c_str());
    try {
        if (vanishes_) {
            file_.setDeleteOnClose(false);
        }
        file_.renameTo(utf8FromPath(target));
    } catch (const SystemError& failure) {
        removeTemporary();
        throw HostError::committing(path_, "cannot replace it (" + failure.reason() + ")");
    }
    temporary_.clear();
    file_.close();
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        SetFileAttributesW(target.c_str(), attributes);
    }
#else
    try {
        if (vanishes_) {
            giveName(target);
        }
    } catch (const SystemError& failure) {
        removeTemporary();
        throw HostError::committing(path_, "cannot replace it (" + failure.reason() + ")");
    }
    file_.close();
    if (!temporary_.empty() && ::rename(temporary_.c_str(), target.c_str()) != 0) {
        const int code = errno;
        removeTemporary();
        throw HostError::committing(path_, "cannot replace it (" + reason(code) + ")");
    }
    temporary_.clear();
    // The new name itself reaches the disk with the folder.
    const int folder = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
#endif
}

#if !defined(_WIN32)
// The unnamed file takes the target's name if nothing has it; else a
// temporary name beside it, which commit() then renames over the target
// (link cannot replace a file).
void OutputFile::giveName(const fs::path& target) {
    if (file_.linkAs(utf8FromPath(target))) {
        return;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = utf8FromPath(temporaryBeside(target));
        if (file_.linkAs(temporary)) {
            temporary_ = temporary;
            return;
        }
    }
    throw SystemError(path_, "cannot give it a temporary name", reason(EEXIST));
}
#endif

void OutputFile::removeTemporary() noexcept {
    pending_.clear();
    file_.close();
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
        throw HostError::reading(path, "no such file");
    }
    if (fs::is_directory(file, error)) {
        throw HostError::reading(path, "it is a folder, not a file");
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw HostError::reading(path, "permission denied or unreadable");
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) {
        throw HostError::reading(path, "unreadable");
    }
    if (static_cast<std::uint64_t>(size) > maxBytes) {
        throw HostError::reading(path, "larger than " + std::to_string(maxBytes >> 20) + " MiB");
    }
    in.seekg(0, std::ios::beg);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), size);
    if (!in) {
        throw HostError::reading(path, "reading failed");
    }
    return bytes;
}

}  // namespace host
