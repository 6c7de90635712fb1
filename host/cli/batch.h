#pragma once

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/cli/console.h"
#include "host/image/image_files.h"
#include "host/pipeline/tone_file.h"
#include "host/plugin/plugin_library.h"

namespace host {

// One input of a run over many files, and where its result goes.
struct BatchFile {
    std::string input;
    std::string output;
    // Why the file cannot be done, found before the run starts; empty if
    // nothing is known against it.
    std::string problem;
    // The format of an input the host reads but does not write (HEIF),
    // written as that format's `writtenAs` for want of --format.
    std::optional<ImageFormat> readOnly;
};

// The output of each input: `folder`/<input's name without extension>.<ext>,
// where ext is `format` if given, else the input's own extension (for a
// format the host reads and does not write, that of the format it is
// written as instead: .jpg for HEIF). `folder`
// must exist. Outputs are checked the way the file system tells files apart
// (see file_identity.h), before anything is written: an input whose output
// would be the input itself, or any other input, or the output of an
// earlier input (also when the two names differ only in case, where the
// folder folds case), gets a problem naming both files instead.
std::vector<BatchFile> planBatch(const std::vector<std::string>& inputs, const std::string& folder,
                                 const std::optional<std::string>& format);

// Starts a thread running `work`; throws std::system_error when the system
// cannot start one. Replaceable in tests.
using ThreadStarter = std::function<std::thread(std::function<void()>)>;

// Tones every file with preset `preset` (named `label`) on `threads`
// threads that call Process concurrently on `object`, and writes each result
// whole or not at all. A file that fails is reported by name and the others
// go on. Should fewer threads start than asked for, the run says so and
// goes on with those that did (or on the calling thread). Returns the
// number of files that failed. An interruption stops the run between bands:
// it says how many files were written and throws Interrupted.
std::size_t runBatch(
    const std::vector<BatchFile>& files, const PluginObject& object, int preset, const std::string& label,
    const ToneOptions& options, int threads, Console& console,
    const ThreadStarter& startThread = [](std::function<void()> work) { return std::thread(std::move(work)); });

}  // namespace host
