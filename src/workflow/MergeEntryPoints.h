#pragma once
// The two engine entry points the merge command calls, reached through a table so that tests
// can see exactly what the command hands to the engine without running a merge. The program
// never changes the table.

#include "engine/Engine.h"

namespace qvworkflow {

struct MergeEntryPoints {
    decltype(&QVMergeWithWatermarkPattern) withWatermarkPattern = &QVMergeWithWatermarkPattern;
    decltype(&QVMergeLoggedWithPattern) loggedWithPattern = &QVMergeLoggedWithPattern;
};

// The table in use; starts with the engine's own functions.
MergeEntryPoints& mergeEntryPoints();

}  // namespace qvworkflow
