#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "host/plugin/plugin_contract.h"

namespace host {

// Raised when a library cannot be loaded or lacks one of the five exports.
class PluginLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A plug-in library loaded by path (dlopen / LoadLibrary), with its five
// exports resolved by name exactly as the host application resolves them.
// Unloaded when destroyed; objects created from it must be released first.
class PluginLibrary {
public:
    // Throws PluginLoadError with the path and the system's reason.
    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const char* pluginName() const { return getName_(); }
    const char* pluginId() const { return getId_(); }
    std::intptr_t category() const { return getCategory_(); }
    // A new plug-in object (an IPlugin pointer); never null.
    void* createObject() const { return create_(); }
    void releaseObject(void* object) const { release_(object); }

private:
    using TextExport = const char* (*)();
    using CategoryExport = std::intptr_t (*)();
    using CreateExport = void* (*)();
    using ReleaseExport = void (*)(void*);

    void* resolve(const char* name);

    std::string path_;
    void* handle_ = nullptr;
    TextExport getName_ = nullptr;
    TextExport getId_ = nullptr;
    CategoryExport getCategory_ = nullptr;
    CreateExport create_ = nullptr;
    ReleaseExport release_ = nullptr;
};

// Calls entry `index` of the plug-in object `object` (an IPlugin pointer)
// with the object as hidden first argument, reached through the object's
// table by position. On both x86-64 calling conventions a member function
// takes `this` as an ordinary first argument, which is what the host relies on.
template <typename Result, typename... Args>
Result callEntry(void* object, int index, Args... args) {
    using Entry = Result (*)(void*, Args...);
    void* const* table = *static_cast<void* const* const*>(object);
    return reinterpret_cast<Entry>(table[index])(object, args...);
}

// One plug-in object, released through its library when destroyed. Entries
// are reached by their position in the object's table, as the host does.
class PluginObject {
public:
    explicit PluginObject(const PluginLibrary& library) : library_(library), object_(library.createObject()) {}
    ~PluginObject() { library_.releaseObject(object_); }
    PluginObject(const PluginObject&) = delete;
    PluginObject& operator=(const PluginObject&) = delete;

    // Calls entry `index` of this object (see callEntry).
    template <typename Result, typename... Args>
    Result call(int index, Args... args) const {
        return callEntry<Result>(object_, index, args...);
    }

    const char* name() const { return call<const char*>(entry::kGetName); }
    const char* description() const { return call<const char*>(entry::kGetDescription); }
    std::intptr_t describeParameter(ParameterBlock& record) const {
        return call<std::intptr_t>(entry::kDescribeParameter, record.data());
    }
    void process(void* destination, const void* source, std::int32_t width, std::int32_t height,
                 const ParameterBlock& record) const {
        call<void>(entry::kProcess, destination, source, width, height, static_cast<const void*>(record.bytes()));
    }

private:
    const PluginLibrary& library_;
    void* object_;
};

}  // namespace host
