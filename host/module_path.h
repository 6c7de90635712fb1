#pragma once

#include <string>

namespace host {

// The folder holding the running program.
std::string executableFolder();

// The path of the plug-in built beside the running program: sepia.so on
// Linux, sepia.dll on Windows.
std::string pluginBesideExecutable();

}  // namespace host
