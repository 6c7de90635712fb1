#pragma once

#include <ostream>

namespace host {

// Where a command reports: its results to `out`, errors and progress to
// `err`. A progress line is drawn only when `err` is a terminal.
struct Console {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;
};

}  // namespace host
