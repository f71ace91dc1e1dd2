#include "Interrupt.h"

#include <signal.h>

namespace {

// Lock-free, so that setting it is safe inside a signal handler.
std::atomic<bool> gStopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

constexpr int kSignals[] = {SIGINT, SIGTERM};
struct sigaction gPrevious[2];
bool gInstalled[2] = {false, false};

void restoreDefaults() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    // sigaction is async-signal-safe.
    for (int signal : kSignals) sigaction(signal, &action, nullptr);
}

extern "C" void onStopSignal(int) {
    gStopRequested.store(true);
    restoreDefaults();
}

}  // namespace

QVStopOnSignals::QVStopOnSignals() {
    gStopRequested.store(false);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    // The other signal waits while the handler runs, so that it meets the default action the
    // handler puts back instead of running the handler a second time.
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) sigaddset(&action.sa_mask, signal);
    // Interrupted system calls go on: the merge notices the flag between records.
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i) {
        gInstalled[i] = false;
        if (sigaction(kSignals[i], nullptr, &gPrevious[i]) != 0) continue;
        if (gPrevious[i].sa_handler == SIG_IGN) continue;
        gInstalled[i] = sigaction(kSignals[i], &action, nullptr) == 0;
    }
}

QVStopOnSignals::~QVStopOnSignals() {
    for (int i = 0; i < 2; ++i)
        if (gInstalled[i]) sigaction(kSignals[i], &gPrevious[i], nullptr);
}

const std::atomic<bool>* QVStopOnSignals::requested() { return &gStopRequested; }
