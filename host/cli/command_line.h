#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace host {

// Runs sepia-host with `arguments` (without the program name): reports go to
// `out`, errors and usage to `err`, and a progress line too when
// `errIsTerminal`. Returns the exit code: 0 success, 1 failure (bad file,
// library, memory; or any of many files), 2 usage error.
int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                   bool errIsTerminal = false);

}  // namespace host
