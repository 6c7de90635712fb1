#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/cli/console.h"
#include "host/image/image_files.h"
#include "host/plugin/plugin_library.h"

namespace host {

// One input of a run over many files, and where its result goes.
struct BatchFile {
    std::string input;
    std::string output;
    // Why the file cannot be done, found before the run starts; empty if
    // nothing is known against it.
    std::string problem;
};

// The output of each input: `folder`/<input's name without extension>.<ext>,
// where ext is `format` if given, else the input's own extension. An input
// whose output another input already takes, or whose output would be the
// input itself, gets a problem instead.
std::vector<BatchFile> planBatch(const std::vector<std::string>& inputs, const std::string& folder,
                                 const std::optional<std::string>& format);

// Tones every file with preset `preset` (named `label`) on `threads`
// threads that call Process concurrently on `object`, and writes each result
// whole or not at all. A file that fails is reported by name and the others
// go on. Returns the number of files that failed.
std::size_t runBatch(const std::vector<BatchFile>& files, const PluginObject& object, int preset,
                     const std::string& label, const WriteOptions& options, int threads, Console& console);

}  // namespace host
