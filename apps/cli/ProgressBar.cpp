#include "ProgressBar.h"

#include <unistd.h>

#include <cmath>

#include "engine/Engine.h"
#include "localization/Text.h"
#include "platform/Format.h"

std::string QVProgressLine(uint64_t done, uint64_t total, double seconds, size_t width) {
    const size_t filled = total == 0 ? width : static_cast<size_t>(std::min<uint64_t>(done, total) * width / total);
    // Appended piece by piece: GCC 12 warns wrongly (-Wrestrict) about chained operator+ here.
    std::string bar(1, '[');
    bar.append(filled, '#');
    bar.append(width - filled, '-');
    bar.append("] ");
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    const unsigned long perSecond = std::isfinite(rate) ? static_cast<unsigned long>(std::lround(rate)) : 0;
    return bar.append(QVFormat(QVText("%lu van %lu records, %lu per seconde"),
                               {static_cast<unsigned long>(done), static_cast<unsigned long>(total), perSecond}));
}

std::string QVCombinedFileLine(size_t width) {
    std::string bar(1, '[');
    bar.append(width, '#');
    bar.append("] ");
    return bar.append(QVText("Gecombineerd bestand schrijven…"));
}

QVProgressBar::QVProgressBar(std::ostream& out, Clock::duration delay)
    : out_(out), start_(Clock::now()), delay_(delay) {
    QVSetMergeProgressHandler([this](uint64_t done, uint64_t total) { update(done, total); });
    QVSetMergeStageHandler([this](QVMergeStage stage) { enter(stage); });
}

QVProgressBar::~QVProgressBar() {
    QVSetMergeProgressHandler({});
    QVSetMergeStageHandler({});
    // Erase the bar: carriage return, then clear to the end of the line.
    if (drawn_) out_ << "\r\x1b[K" << std::flush;
}

void QVProgressBar::update(uint64_t done, uint64_t total) {
    const Clock::time_point now = Clock::now();
    if (now - start_ < delay_) return;
    if (drawn_ && done < total && now - lastDrawn_ < std::chrono::milliseconds(100)) return;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    draw(QVProgressLine(done, total, seconds), now);
}

void QVProgressBar::enter(QVMergeStage stage) {
    const Clock::time_point now = Clock::now();
    // As with records, a merge that is still short shows nothing.
    if (!drawn_ && now - start_ < delay_) return;
    switch (stage) {
    case QVMergeStage::WritingCombinedFile: draw(QVCombinedFileLine(), now); break;
    }
}

void QVProgressBar::draw(const std::string& line, Clock::time_point now) {
    out_ << '\r' << line << "\x1b[K" << std::flush;
    lastDrawn_ = now;
    drawn_ = true;
}

bool QVStandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }
