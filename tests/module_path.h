#pragma once

#include <string>

#include "host/plugin_library.h"

namespace testing_support {

// The folder holding the running test program.
std::string executableFolder();

// The plug-in built beside the test programs (sepia.so or sepia.dll).
std::string pluginPath();

// The plug-in library, loaded once per test program through the host loader.
const host::PluginLibrary& plugin();

}  // namespace testing_support
