#pragma once

#include "host/plugin/plugin_library.h"

namespace testing_support {

// The plug-in built beside the test programs, loaded once per program through
// the host loader, as the host application loads it.
const host::PluginLibrary& plugin();

}  // namespace testing_support
