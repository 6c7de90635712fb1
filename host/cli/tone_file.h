#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/image/image_files.h"
#include "host/plugin/plugin_library.h"

namespace host {

// How a file is toned: how it is written, the limits of what is read, and
// the output's format when its name does not say it (standard output).
struct ToneOptions {
    WriteOptions write;
    ReadLimits limits;
    std::optional<ImageFormat> format;
};

// What toning one file reports: the line "wrote OUT (W x H, LABEL)", and a
// warning for each piece of metadata or picture that could not be kept.
struct TonedFile {
    std::string line;
    std::vector<std::string> warnings;
};

// Reads the image file `input` ("-": standard input), tones it through
// `object` with preset `preset` (named `label`), and writes `output` ("-":
// standard output) whole or not at all. The picture goes through band by
// band, decoded on one thread while the other encodes, turned upright on
// the way (through a temporary file beside the output, where it must be
// turned); every page of a TIFF goes into a TIFF. Throws HostError, naming
// the input and the output, for a file it cannot read or write; never
// replaces the input. Safe to call from several threads at once.
TonedFile toneFile(const PluginObject& object, int preset, const std::string& label, const std::string& input,
                   const std::string& output, const ToneOptions& options);

}  // namespace host
