#pragma once

#include <functional>
#include <string>
#include <thread>

#include "host/cli/batch_plan.h"
#include "host/cli/progress_report.h"
#include "host/pipeline/tone_file.h"
#include "host/plugin/plugin_library.h"

namespace host {

// Starts a thread running `work`; throws std::system_error when the system
// cannot start one. Replaceable in tests.
using ThreadStarter = std::function<std::thread(std::function<void()>)>;

// Tones every file `plan` gives with preset `preset` (named `label`) on
// `threads` threads that call Process concurrently on `object`, and writes
// each result whole or not at all, into the folders its name asks for. A
// file that fails is reported by name and the others go on; a file whose
// output is up to date is left alone. Should fewer threads start than
// asked for, the run says so and goes on with those that did (or on the
// calling thread). Reports to `report`; returns the number of files that
// failed. An interruption stops the run between bands: it says how many
// files were written and throws Interrupted.
std::size_t runBatch(
    BatchPlan& plan, const PluginObject& object, int preset, const std::string& label, const ToneOptions& options,
    int threads, ProgressReport& report,
    const ThreadStarter& startThread = [](std::function<void()> work) { return std::thread(std::move(work)); });

}  // namespace host
