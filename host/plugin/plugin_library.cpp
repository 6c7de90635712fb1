#include "host/plugin/plugin_library.h"

#include "host/utf8_path.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace host {

namespace {

#if defined(_WIN32)
std::string lastSystemError() {
    const DWORD code = GetLastError();
    char buffer[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        buffer, sizeof(buffer), nullptr);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(code) : text;
}
#endif

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) : path_(path) {
#if defined(_WIN32)
    handle_ = static_cast<void*>(LoadLibraryW(pathFromUtf8(path).c_str()));
    if (handle_ == nullptr) {
        throw PluginLoadError("cannot load plug-in library '" + path + "': " + lastSystemError());
    }
#else
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();  // NOLINT(concurrency-mt-unsafe): read right after the failed call
        throw PluginLoadError("cannot load plug-in library '" + path + "': " + (reason ? reason : "unknown error"));
    }
#endif
    try {
        getName_ = reinterpret_cast<TextExport>(resolve("GetPluginName"));
        getId_ = reinterpret_cast<TextExport>(resolve("GetPluginID"));
        getCategory_ = reinterpret_cast<CategoryExport>(resolve("GetCategory"));
        create_ = reinterpret_cast<CreateExport>(resolve("Create_Plugin"));
        release_ = reinterpret_cast<ReleaseExport>(resolve("Release_Plugin"));
    } catch (...) {
#if defined(_WIN32)
        FreeLibrary(static_cast<HMODULE>(handle_));
#else
        dlclose(handle_);
#endif
        throw;
    }
}

PluginLibrary::~PluginLibrary() {
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
}

void* PluginLibrary::resolve(const char* name) {
#if defined(_WIN32)
    void* symbol = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
    void* symbol = dlsym(handle_, name);
#endif
    if (symbol == nullptr) {
        throw PluginLoadError("plug-in library '" + path_ + "' does not export " + name);
    }
    return symbol;
}

}  // namespace host
