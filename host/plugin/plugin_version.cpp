#include "host/plugin/plugin_version.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

#include "host/plugin/module_path.h"
#include "host/utf8_path.h"

namespace host {

std::optional<std::string> pluginVersionIn(const std::string& path) {
    std::ifstream in(pathFromUtf8(path), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    constexpr std::string_view kMark = "@(#)Sepia plug-in ";
    const std::string_view all(bytes.data(), bytes.size());
    const std::size_t found = all.find(kMark);
    if (found == std::string_view::npos) {
        return std::nullopt;
    }
    // The version follows the mark, ended by a NUL within 64 bytes.
    const std::string_view version = all.substr(found + kMark.size(), 64);
    return std::string(version.substr(0, version.find('\0')));
}

std::string installedPlugin() {
    namespace fs = std::filesystem;
    const std::string beside = pluginBesideExecutable();
    std::error_code error;
    if (fs::exists(pathFromUtf8(beside), error)) {
        return beside;
    }
    const fs::path installed =
        pathFromUtf8(executableFolder()).parent_path() / "lib" / "sepia" / pathFromUtf8(beside).filename();
    return fs::exists(installed, error) ? utf8FromPath(installed) : beside;
}

}  // namespace host
