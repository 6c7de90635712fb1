#include "plugin/exports.h"

#include <new>
#include <type_traits>

#include "plugin/object_memory.h"
#include "plugin/plugin_matrix.h"
#include "plugin/plugin_strings.h"

const char* GetPluginName() { return kPluginName; }
const char* GetPluginID() { return kPluginId; }
std::intptr_t GetCategory() { return 0; }

IPlugin* Create_Plugin() { return new (allocateObjectMemory(sizeof(PluginMatrix))) PluginMatrix; }

static_assert(std::is_trivially_destructible_v<PluginMatrix>, "Release_Plugin runs no destructor");

void Release_Plugin(IPlugin* plugin) {
    // The object is trivially destructible; give its memory straight back to
    // the heap it came from without calling anything on it.
    freeObjectMemory(static_cast<PluginMatrix*>(plugin));
}

#if defined(_WIN32)
// Load and unload notifications: nothing to set up or tear down.
extern "C" int __stdcall DllMain(void* /*module*/, unsigned long /*reason*/, void* /*reserved*/) { return 1; }
#endif
