#pragma once
// The engine's side of the progress hook: the merge run reports each finished record here.

#include <cstdint>

#include "engine/Engine.h"

// Calls the handler set with QVSetMergeProgressHandler, if any.
void QVReportMergeProgress(uint64_t done, uint64_t total);

// True when a handler is set, so that a run can skip the call entirely otherwise.
bool QVHasMergeProgressHandler();

// Calls the handler set with QVSetMergeStageHandler, if any.
void QVReportMergeStage(QVMergeStage stage);
