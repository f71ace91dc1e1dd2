#include "engine/Progress.h"

#include <utility>

#include "engine/Engine.h"

namespace {

// One hook per process: the merge runs on the caller's thread and front ends set the hook
// before they start a merge, so no locking is needed.
QVMergeProgressHandler& handler() {
    static QVMergeProgressHandler h;
    return h;
}

QVMergeStageHandler& stageHandler() {
    static QVMergeStageHandler h;
    return h;
}

}  // namespace

void QVSetMergeProgressHandler(QVMergeProgressHandler h) { handler() = std::move(h); }

bool QVHasMergeProgressHandler() { return static_cast<bool>(handler()); }

void QVReportMergeProgress(uint64_t done, uint64_t total) {
    const QVMergeProgressHandler& h = handler();
    if (h) h(done, total);
}

void QVSetMergeStageHandler(QVMergeStageHandler h) { stageHandler() = std::move(h); }

void QVReportMergeStage(QVMergeStage stage) {
    const QVMergeStageHandler& h = stageHandler();
    if (h) h(stage);
}
