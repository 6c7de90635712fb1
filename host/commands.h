#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace host {

// The sepia-host commands. Each takes the arguments after its name, writes
// its report to `out`, and throws UsageError or HostError on failure.
void runInfo(const std::vector<std::string>& arguments, std::ostream& out);
void runApply(const std::vector<std::string>& arguments, std::ostream& out);
void runSheet(const std::vector<std::string>& arguments, std::ostream& out);

// Usage texts, for --help and for usage errors.
extern const char kProgramUsage[];
extern const char kInfoUsage[];
extern const char kApplyUsage[];
extern const char kSheetUsage[];

}  // namespace host
