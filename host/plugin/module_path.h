#pragma once

#include <string>

namespace host {

// The folder holding the running program.
std::string executableFolder();

// The path of the module library `stem` built beside the running program:
// stem.so on Linux, stem.dll on Windows (modules carry no "lib" prefix).
std::string libraryBesideExecutable(const std::string& stem);

// The plug-in built beside the running program: sepia.so or sepia.dll.
std::string pluginBesideExecutable();

}  // namespace host
