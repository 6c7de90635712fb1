// A library that keeps only part of the plug-in contract: it lacks
// Release_Plugin, so a host must refuse to load it.
#include <cstdint>

#if defined(_WIN32)
#define EXPORT __declspec(dllexport)
#else
#define EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
EXPORT const char* GetPluginName() { return "Incomplete"; }
EXPORT const char* GetPluginID() { return "com.example.incomplete"; }
EXPORT std::intptr_t GetCategory() { return 0; }
EXPORT void* Create_Plugin() { return nullptr; }
}
