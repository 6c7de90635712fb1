#pragma once

#include <exception>

namespace host {

// Ctrl-C (SIGINT), SIGTERM and SIGHUP, and on Windows the console's Ctrl-C,
// Ctrl-Break and closing: the first asks the work in progress to stop at
// its next band, so that files are left whole or absent and the program
// can say what it wrote; a second ends the process at once (outputs still
// have no name until they are complete). The watch is process-wide and
// installed once; tests may interrupt by hand.
void watchForInterruption();
bool interrupted();
void interruptForTesting(bool on);

// Thrown where work stops for an interruption.
class Interrupted : public std::exception {
public:
    const char* what() const noexcept override { return "interrupted"; }
};

// Throws Interrupted once an interruption has come.
inline void stopIfInterrupted() {
    if (interrupted()) {
        throw Interrupted();
    }
}

// The exit status of a program stopped so, as shells give one ended by the
// signal: 128 + its number (130 for Ctrl-C, 143 for SIGTERM).
int interruptedExitCode();

}  // namespace host
