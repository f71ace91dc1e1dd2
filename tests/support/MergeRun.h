#pragma once
// Running a merge in a test: the settings value as a fresh merge has it for a template and a
// data text, and the run's outcome in one value. Every test program builds its merges on these,
// so that a new member of QVMergeSettings needs no harness of its own.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/Engine.h"

namespace qvtest {

// The settings of a merge of `form` with `data` into `folder`, everything else as by default.
// The settings only point at the bytes and the text: they must outlive the run. No copy is
// made, so tests bounded in memory can use this too.
inline QVMergeSettings mergeSettings(std::string_view form, std::string_view data,
                                     const std::filesystem::path& folder) {
    QVMergeSettings settings;
    settings.templateBytes = form;
    settings.dataText = data;
    settings.outputFolder = folder;
    return settings;
}

struct MergeOutcome {
    bool ok = false;
    std::string message;  // "OK" on success
    uint64_t count = 99;  // not written by a failed run
    std::vector<std::string> outputs;
};

// Runs the merge; `outputs` are names the run appends its own to.
inline MergeOutcome runMerge(const QVMergeSettings& settings, std::vector<std::string> outputs = {}) {
    MergeOutcome o;
    o.outputs = std::move(outputs);
    QVError error;
    o.ok = QVMergeWithSettings(settings, &o.count, &error, &o.outputs);
    o.message = o.ok ? "OK" : error.message;
    return o;
}

}  // namespace qvtest
