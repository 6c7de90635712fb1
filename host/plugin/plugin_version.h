#pragma once

#include <optional>
#include <string>

namespace host {

// The version a plug-in module records in its file (its "@(#)" mark), or
// none if it records none. Reads the file; loads nothing.
std::optional<std::string> pluginVersionIn(const std::string& path);

// The plug-in installed with the running program: beside it (as built),
// or in ../lib/sepia (as installed); the first that exists, else the path
// beside it.
std::string installedPlugin();

}  // namespace host
