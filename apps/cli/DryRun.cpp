#include "DryRun.h"

std::optional<uint64_t> QVCheckMerge(const QVMergeSettings& settings, QVError* error) {
    uint64_t planned = 0;
    if (!QVCheckMergeSettings(settings, &planned, error)) return std::nullopt;
    return planned;
}
