#pragma once
// The progress bar of a long merge on a terminal: records done of the total and the rate.

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

#include "engine/Engine.h"

// One line of the bar, without the carriage return: a bar of `width` cells, then
// "120 van 1000 records, 450 per seconde" in the language in force.
std::string QVProgressLine(uint64_t done, uint64_t total, double seconds, size_t width = 30);

// The bar once every record is done and the combined file is being completed: full, with
// "Gecombineerd bestand schrijven…" in the language in force.
std::string QVCombinedFileLine(size_t width = 30);

// Shows the merge's progress on `out` while it exists, but only once the merge has taken more
// than `delay` (short merges stay quiet), and at most ten times a second. The bar is erased
// when the object ends, so messages that follow start on a clean line.
class QVProgressBar {
public:
    using Clock = std::chrono::steady_clock;
    explicit QVProgressBar(std::ostream& out, Clock::duration delay = std::chrono::milliseconds(500));
    ~QVProgressBar();
    QVProgressBar(const QVProgressBar&) = delete;
    QVProgressBar& operator=(const QVProgressBar&) = delete;

    void update(uint64_t done, uint64_t total);
    // The run has moved on from its records to `stage`: shown at once, when the bar shows.
    void enter(QVMergeStage stage);

private:
    void draw(const std::string& line, Clock::time_point now);

    std::ostream& out_;
    Clock::time_point start_;
    Clock::duration delay_;
    Clock::time_point lastDrawn_{};
    bool drawn_ = false;
};

// True when standard error is a terminal, where a bar that redraws itself can be shown.
bool QVStandardErrorIsTerminal();
