#pragma once

#include <filesystem>
#include <string>

namespace host {

// File names travel through the host as UTF-8 text, whatever the system's
// own narrow encoding (on Windows, an ANSI code page that cannot name every
// file); they become paths only at the file system's door.
inline std::filesystem::path pathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace host
