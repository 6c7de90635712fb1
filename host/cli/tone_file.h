#pragma once

#include <string>

#include "host/image/image_files.h"
#include "host/plugin/plugin_library.h"

namespace host {

// Reads the image file `input`, tones it through `object` with preset
// `preset` (named `label`), and writes `output` whole or not at all. Returns
// the line that reports it: "wrote OUT (W x H, LABEL)". Throws HostError for
// a file it cannot read or write. Safe to call from several threads at once.
std::string toneFile(const PluginObject& object, int preset, const std::string& label, const std::string& input,
                     const std::string& output, const WriteOptions& options);

}  // namespace host
