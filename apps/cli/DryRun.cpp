#include "DryRun.h"

std::optional<uint64_t> QVCheckMerge(const QVMergeRequest& request, QVError* error) {
    uint64_t planned = 0;
    if (!QVMergeCheck(request.templateBytes, request.dataText, request.outputFolder, request.mode,
                      request.filenamePattern, request.separator, request.mapping, request.watermarkColumn,
                      request.watermarkPattern, request.style, &planned, error))
        return std::nullopt;
    return planned;
}
