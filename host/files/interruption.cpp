#include "host/files/interruption.h"

#include <atomic>
#include <csignal>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace host {

namespace {

// Lock-free, so that a signal handler may set it.
std::atomic<bool> interruptedFlag{false};
std::atomic<int> interruptingSignal{SIGINT};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

#if defined(_WIN32)
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    if (interruptedFlag.exchange(true)) {
        return FALSE;  // the second time: Windows' default, which ends the process
    }
    return TRUE;
}
#else
void onSignal(int signal) {
    if (!interruptedFlag.load()) {
        interruptingSignal.store(signal);
    }
    if (interruptedFlag.exchange(true)) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}
#endif

}  // namespace

void watchForInterruption() {
#if defined(_WIN32)
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
#endif
}

bool interrupted() { return interruptedFlag.load(std::memory_order_relaxed); }

void interruptForTesting(bool on) { interruptedFlag.store(on); }

int interruptedExitCode() { return 128 + interruptingSignal.load(); }

}  // namespace host
