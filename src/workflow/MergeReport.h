#pragma once
// The alert that closes every merge command: what the merge achieved, and where its log is.

#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/Error.h"

// Shows the report: success with the number of files written, or the failure's message with
// the number already written; plus the log's location when a log was asked for and its file
// exists (a log that could not be created is not pointed to).
void showMergeReport(bool succeeded, uint64_t written, const QVError& error,
                     const std::optional<std::filesystem::path>& logURL);
