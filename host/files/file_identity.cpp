#include "host/files/file_identity.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cwctype>
#include <filesystem>
#include <locale>

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

#if defined(_WIN32)

std::optional<FileIdentity> identityOf(const std::string& path) {
    // FILE_FLAG_BACKUP_SEMANTICS opens folders too; no access is asked for.
    const HANDLE handle =
        CreateFileW(pathFromUtf8(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = GetFileInformationByHandle(handle, &information) != 0;
    CloseHandle(handle);
    if (!known) {
        return std::nullopt;
    }
    return FileIdentity{information.dwVolumeSerialNumber,
                        (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

std::string caseFolded(const std::string& name) {
    // NTFS compares names by their upper-case form.
    std::wstring wide = pathFromUtf8(name).wstring();
    if (!wide.empty()) {
        CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    }
    return utf8FromPath(fs::path(wide));
}

#else

std::optional<FileIdentity> identityOf(const std::string& path) {
    struct stat status {};
    if (::stat(pathFromUtf8(path).c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

std::string caseFolded(const std::string& name) {
    // Decoded from UTF-8, lowered letter by letter, encoded again; bytes
    // that are not UTF-8 stay as they are.
    static const std::locale utf8 = [] {
        try {
            return std::locale("C.UTF-8");
        } catch (const std::exception&) {
            return std::locale::classic();
        }
    }();
    const auto& ctype = std::use_facet<std::ctype<wchar_t> >(utf8);
    std::string folded;
    for (std::size_t i = 0; i < name.size();) {
        const auto lead = static_cast<unsigned char>(name[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (length == 0 || i + length > name.size()) {
            folded += name[i++];
            continue;
        }
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            code = (code << 6) | (static_cast<unsigned char>(name[i + k]) & 0x3F);
        }
        code = static_cast<char32_t>(ctype.tolower(static_cast<wchar_t>(code)));
        const std::u32string one(1, code);
        if (code < 0x80) {
            folded += static_cast<char>(code);
        } else {
            // Through the path type, which encodes UTF-8 whatever the locale.
            folded += utf8FromPath(fs::path(one));
        }
        i += length;
    }
    return folded;
}

#endif

bool folderFoldsCase(const std::string& folder) {
    static std::atomic<unsigned> counter{0};
    const auto stamp = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    const std::string name = ".sepia-case-probe-" + std::to_string(stamp) + "-" + std::to_string(counter++);
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    const fs::path dir = pathFromUtf8(folder);
    const fs::path probe = dir / pathFromUtf8(name);
    std::error_code error;
#if defined(_WIN32)
    const HANDLE handle = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return true;
    }
    const bool folds = fs::exists(dir / pathFromUtf8(upper), error);
    CloseHandle(handle);
#else
    const int descriptor = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return true;
    }
    ::close(descriptor);
    const bool folds = fs::exists(dir / pathFromUtf8(upper), error);
    fs::remove(probe, error);
#endif
    return folds;
}

}  // namespace host
