#pragma once

#include <cstdint>

#include "plugin/iplugin.h"

#if defined(_WIN32)
#define SEPIA_EXPORT __declspec(dllexport)
#else
#define SEPIA_EXPORT __attribute__((visibility("default")))
#endif

// The library's five exports, under undecorated C names. All may be called
// from any thread at any time while the library is loaded.
extern "C" {
// The display name "Sepia"; the same pointer as entry 0 of every object.
SEPIA_EXPORT const char* GetPluginName();
// The identifier "com.darkroom.sepia". Owned by the library.
SEPIA_EXPORT const char* GetPluginID();
// The category code 0, pointer-sized so a 64-bit read also sees 0.
SEPIA_EXPORT std::intptr_t GetCategory();
// A new, independent plug-in object from the library's heap. Never null:
// when memory runs out, std::bad_alloc leaves it after the new-handler ran
// (on Windows, raised as a Visual C++ runtime raises it; object_memory.h).
SEPIA_EXPORT IPlugin* Create_Plugin();
// Frees an object from Create_Plugin of this library; null does nothing.
SEPIA_EXPORT void Release_Plugin(IPlugin* plugin);
}
