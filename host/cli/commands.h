#pragma once

#include <string>
#include <vector>

#include "host/cli/console.h"

namespace host {

// The sepia-host commands. Each takes the arguments after its name, reports
// to `console`, returns its exit code (0, or 1 when some of many files
// failed), and throws UsageError or HostError when it cannot go on.
int runInfo(const std::vector<std::string>& arguments, Console& console);
int runApply(const std::vector<std::string>& arguments, Console& console);
int runSheet(const std::vector<std::string>& arguments, Console& console);

// Usage texts, for --help and for usage errors; the formats' lists come
// from the table of formats (formats.h).
std::string programUsage();
std::string infoUsage();
std::string applyUsage();
std::string sheetUsage();

}  // namespace host
