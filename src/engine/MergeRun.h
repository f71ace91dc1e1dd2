#pragma once
// The merge run behind every entry point. Private to the engine: callers go through
// QVMergeWithSettings or one of the entry points that fill its settings.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "output/OutputFolder.h"

// The run: settings, data and template, a first pass that checks every record without writing
// anything, then a second pass that fills a fresh copy of the template per record and writes it
// (separate output) or flattens it into the combined document (combined output). Ignores the
// settings' log location: the logged merge wraps this. `outputs`, when given, has the names of
// the files written appended; `plan`, when given, receives what the run does with the
// template's fields once its field list is known (and stays as it was if it fails before that).
// `report`, when given, learns whether a stop request ended the run and which files were skipped.
[[nodiscard]] bool QVMergeCollect(const QVMergeSettings& settings, uint64_t* count, std::vector<std::string>* outputs,
                                  QVError* error, QVFieldPlan* plan = nullptr, QVMergeReport* report = nullptr);
// The same in an output folder already held open (for `settings.outputFolder`), as the logged
// merge holds it to put its log beside the files.
[[nodiscard]] bool QVMergeCollect(const QVMergeSettings& settings, const QVOutputFolder& folder, uint64_t* count,
                                  std::vector<std::string>* outputs, QVError* error, QVFieldPlan* plan = nullptr,
                                  QVMergeReport* report = nullptr);

// The run up to its first file: every check, nothing built or created.
[[nodiscard]] bool QVMergeCheck(const QVMergeSettings& settings, uint64_t* planned, QVError* error);

// A merge wrapped in its processing log at `settings.logURL`.
[[nodiscard]] bool QVMergeLoggedRun(const QVMergeSettings& settings, uint64_t* count, std::vector<std::string>* outputs,
                                    QVError* error, QVMergeReport* report = nullptr);

// The chosen records in order, without overlaps: ascending, disjoint ranges, neighbours joined.
std::vector<QVRecordRange> QVNormalizeRecordRanges(std::vector<QVRecordRange> ranges);

// Ranges as a user writes them: "3-5,12" (a single record as its number).
std::string QVRecordRangesText(const std::vector<QVRecordRange>& ranges);

// The settings of the entry points' longest argument list, with every other choice at
// its default.
QVMergeSettings QVEntryPointSettings(std::string_view templateBytes, std::string_view dataText,
                                     const std::filesystem::path& outputFolder, QVOutputMode mode,
                                     std::string_view filenamePattern, uint16_t separator,
                                     const QVFieldMapping* mapping, const std::optional<std::string>& watermarkColumn,
                                     const std::optional<std::string>& watermarkPattern, QVWatermarkStyle style);
