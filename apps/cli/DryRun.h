#pragma once
// The check of a merge without the merge: every check the run makes before it writes the
// first file, for `quorvel merge --dry-run`. Nothing is created on disk.

#include <cstdint>
#include <optional>

#include "engine/Engine.h"

// The settings, the data, the template and its fields against the columns, and for every
// record its watermark text, its values, its file name (refused, duplicate or already
// present), then the combined file's place; with the run's own messages. On success gives the
// number of PDF files the merge would write.
[[nodiscard]] std::optional<uint64_t> QVCheckMerge(const QVMergeSettings& settings, QVError* error);

// Whether the run could create its first file in the output folder, found the way the run
// creates files: a nameless file made and dropped at once (a named one, removed again, where
// the file system has none). Fails with the message the run would give for that first file.
[[nodiscard]] bool QVCheckFolderWritable(const QVMergeSettings& settings, QVError* error);
