#pragma once
// The check of a merge without the merge: every check the run makes before it writes the
// first file, for `quorvel merge --dry-run`. Nothing is created on disk.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "engine/Engine.h"

struct QVMergeRequest {
    std::string_view templateBytes;
    std::string_view dataText;
    std::filesystem::path outputFolder;
    QVOutputMode mode = QVOutputModeSeparate;
    std::string_view filenamePattern;
    uint16_t separator = QVSeparatorComma;
    const QVFieldMapping* mapping = nullptr;
    std::optional<std::string> watermarkColumn;
    std::optional<std::string> watermarkPattern;
    QVWatermarkStyle style = QVDefaultWatermarkStyle;
};

// The settings, the data, the template and its fields against the columns, and for every
// record its watermark text, its value lengths, its file name (refused, duplicate or already
// present), then the combined file's place; with the run's own messages. On success gives the
// number of PDF files the merge would write.
std::optional<uint64_t> QVCheckMerge(const QVMergeRequest& request, QVError* error);
