#pragma once

#include <string>
#include <vector>

#include "host/image/image_files.h"
#include "host/plugin/plugin_library.h"

namespace host {

// What toning one file reports: the line "wrote OUT (W x H, LABEL)", and a
// warning for each piece of metadata that could not be kept.
struct TonedFile {
    std::string line;
    std::vector<std::string> warnings;
};

// Reads the image file `input`, tones it through `object` with preset
// `preset` (named `label`), and writes `output` whole or not at all. Throws
// HostError for a file it cannot read or write. Safe to call from several
// threads at once.
TonedFile toneFile(const PluginObject& object, int preset, const std::string& label, const std::string& input,
                   const std::string& output, const WriteOptions& options);

}  // namespace host
