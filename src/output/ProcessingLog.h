#pragma once
// The processing log of one merge: a JSON file, created before the merge runs and written
// once it has ended, that records the inputs, the settings, the files written and the outcome.
//
// The log is created new (never over an existing file) and is never removed again: a log that
// could not be written completely stays in place, and the caller says so.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "input/FieldMapping.h"
#include "output/OutputFolder.h"
#include "platform/Error.h"
#include "platform/FileDescriptor.h"

// Everything the log records. Plain values, so that output code needs nothing from the engine.
struct QVProcessingLog {
    std::string startedAt;  // ISO 8601, UTC, whole seconds
    std::string finishedAt;
    bool succeeded = false;
    std::filesystem::path inputPDF;
    std::filesystem::path inputData;
    std::filesystem::path outputDirectory;
    std::vector<std::string> outputFiles;  // last path components, in the order written

    uint64_t outputMode = 0;      // 0 separate; any other value is written as combined
    std::string filenamePattern;  // written as "" in combined mode
    uint16_t separator = u',';    // one UTF-16 code unit
    QVFieldMapping fieldMapping;
    std::optional<std::string> watermarkColumn;
    std::optional<std::string> watermarkPattern;
    uint64_t watermarkPosition = 0;
    double watermarkFontSize = 11.0;
    double watermarkGray = 0.35;

    std::string errorMessage;  // the merge's message after a failure; may be empty

    // Merges that fill every kind of field: the fields that kept the template's value because
    // no column fed them. Written (as "fields_kept_from_template") only when present.
    std::optional<std::vector<std::string>> fieldsKept;

    // A merge that a stop request (Ctrl-C) ended early: written as "interrupted": true, only then.
    bool interrupted = false;
    // Merges that skip records whose file exists: those files' names, written as "skipped" with
    // "skipped_count" (and "skip_existing" among the settings), only when present.
    std::optional<std::vector<std::string>> skipped;
    // Merges of chosen records only: the choice as "3-5,12", written as settings.records.
    std::optional<std::string> recordSelection;
};

// The log as pretty-printed JSON: one object with "version", "started_at", "finished_at",
// "status", "input_pdf", "input_data", "output_directory", "output_files", "settings" and
// "error", in this order ("skipped", "skipped_count" and "interrupted" follow "output_files" when
// set). A path, file name, pattern or message that is not UTF-8 (a Linux name
// is any bytes) is written with U+FFFD for each byte that is not part of a well-formed UTF-8
// sequence, followed by a member "<name>_bytes_base64" holding its exact bytes in base64 (for
// "output_files": an array of the same length, null where a name is UTF-8), so the log is always
// JSON. Fails (with a translated reason as the message) only if serialising fails nonetheless.
[[nodiscard]] std::optional<std::string> QVProcessingLogJSON(const QVProcessingLog& log, QVError* error = nullptr);

// An open log file, closed when its owner ends (through output/PosixIO.h, as every output file).
using QVLogFile = QVFileDescriptor;

// Creates the log file at `url` (write-only, fail-if-exists, mode 0600), by its path. Fails with
// "Logboek aanmaken mislukt: %s", filled with the system's text for the error number.
[[nodiscard]] std::optional<QVLogFile> QVCreateLogFile(const std::filesystem::path& url, QVError* error = nullptr);

// The same for a log that goes into the output folder: created as `name` in the folder held
// open, so that it lands beside the PDFs of the run whatever happens to the folder's path.
[[nodiscard]] std::optional<QVLogFile> QVCreateLogFile(const QVOutputFolder& folder, const std::string& name,
                                                       QVError* error = nullptr);

// Writes `log` into `file` and closes it, in every case. Fails with the reason of the first
// failure (serialization, then writing, then closing) as the message, translated and ready to
// be put into a message of the caller's.
[[nodiscard]] bool QVWriteProcessingLog(QVLogFile& file, const QVProcessingLog& log, QVError* error = nullptr);
