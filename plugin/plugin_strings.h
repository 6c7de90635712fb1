#pragma once

// The library's constant texts, each defined exactly once so that every entry
// handing one out returns the same pointer.
extern const char kPluginName[];         // "Sepia"
extern const char kPluginDescription[];  // "Simulates Sepia and Cyanotype"
extern const char kPluginId[];           // reverse-domain identifier
