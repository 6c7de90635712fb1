#include "tests/built_plugin.h"

#include "host/plugin/module_path.h"

namespace testing_support {

const host::PluginLibrary& plugin() {
    static const host::PluginLibrary library(host::pluginBesideExecutable());
    return library;
}

}  // namespace testing_support
