#include "plugin/plugin_strings.h"

const char kPluginName[] = "Sepia";
const char kPluginDescription[] = "Simulates Sepia and Cyanotype";
const char kPluginId[] = "com.darkroom.sepia";
