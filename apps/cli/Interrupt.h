#pragma once
// Ctrl-C and SIGTERM during `quorvel merge`: the first asks the merge to stop after the file it
// is writing, so that it ends with its log and a message; a second one ends the process at once.

#include <atomic>

// While it exists, SIGINT and SIGTERM raise `requested()` and put both signals back to their
// default action, so the next one kills. Signals the process was started with ignored (as a
// shell script starts its background jobs without SIGINT) stay ignored. The previous actions come
// back when the object ends. One at a time per process.
class QVStopOnSignals {
public:
    QVStopOnSignals();
    ~QVStopOnSignals();
    QVStopOnSignals(const QVStopOnSignals&) = delete;
    QVStopOnSignals& operator=(const QVStopOnSignals&) = delete;

    // The flag for QVMergeSettings::stopRequested.
    static const std::atomic<bool>* requested();
};
