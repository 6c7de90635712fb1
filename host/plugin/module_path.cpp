#include "host/plugin/module_path.h"

#include "host/utf8_path.h"

#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace host {

std::string executableFolder() {
#if defined(_WIN32)
    wchar_t buffer[32768] = {};
    const DWORD length = GetModuleFileNameW(nullptr, buffer, 32768);
    const std::string path = utf8FromPath(std::filesystem::path(std::wstring(buffer, length)));
    return path.substr(0, path.find_last_of("\\/"));
#else
    char buffer[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length <= 0) {
        throw std::runtime_error("cannot find the running program's folder");
    }
    std::string path(buffer, static_cast<std::size_t>(length));
    return path.substr(0, path.find_last_of('/'));
#endif
}

std::string libraryBesideExecutable(const std::string& stem) {
#if defined(_WIN32)
    return executableFolder() + "\\" + stem + ".dll";
#else
    return executableFolder() + "/" + stem + ".so";
#endif
}

std::string pluginBesideExecutable() { return libraryBesideExecutable("sepia"); }

}  // namespace host
