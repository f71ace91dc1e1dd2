#pragma once
// The public engine interface: the merge entry points, the logged merges, and (re-exported)
// the reading and parsing functions that callers need to prepare a merge.
//
// Every function returns true on success. On failure it returns false and, when the caller
// passed a place for it, fills the error report with a message in the language in force.
// `count`, when given, is set to 0 first and ends as the number of output files written
// completely.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/DelimitedText.h"
#include "input/FieldMapping.h"
#include "input/Template.h"
#include "platform/Error.h"

enum QVOutputMode : uint64_t {
    QVOutputModeSeparate = 0,  // one PDF per record, named by the file-name pattern
    QVOutputModeCombined = 1,  // one flattened PDF "merge-gecombineerd.pdf" with every record's pages
};

enum : uint64_t {
    QVWatermarkPositionBottom = 0,
    QVWatermarkPositionMiddle = 1,
    QVWatermarkPositionTop = 2,
};

struct QVWatermarkStyle {
    uint64_t position;  // QVWatermarkPosition...
    double fontSize;    // points, 8 to 48
    double gray;        // 0 black to 1 white
};

inline constexpr QVWatermarkStyle QVDefaultWatermarkStyle = {QVWatermarkPositionBottom, 11.0, 0.35};

// The separators QVSeparatorComma, QVSeparatorSemicolon and QVSeparatorTab come from
// input/DelimitedText.h.

// Which widgets of the template a merge fills.
enum class QVFieldPolicy {
    // Text fields only: a form that holds any other widget (check box, radio button, choice,
    // push button, signature, read-only or password field) is refused as a whole, and every
    // field needs a column. The default, and what every entry point below uses.
    Strict,
    // Everything a user can fill by hand: text fields, check boxes, radio buttons, combo and
    // list boxes. Push buttons, signatures, read-only and password fields are left exactly as
    // the template has them. A field without a column (no column of its name and no mapping
    // entry) keeps the template's value. A template encrypted with an empty user password is
    // accepted when its permissions allow filling forms, and the output stays encrypted.
    Broad,
};

// One of several runs that share a merge's records out among them (machines of a cluster,
// processes of one machine): the run numbered `index` of `count` (1 to `count`) takes the
// index-th of `count` contiguous ranges of records, of nearly equal size and in record order.
// Every run still checks all records, so all reach the same verdict on the data and file names;
// only the check for files present already is limited to its own records, since the other runs
// may have written theirs into the same folder. In combined output each run writes
// "merge-gecombineerd-III-van-NNN.pdf" (at least three digits each), whose names sort in record
// order; a run whose range is empty writes nothing. {1, 1} is the whole merge.
struct QVShard {
    uint64_t index = 1;
    uint64_t count = 1;
};

// Records by number (from 1), both ends included.
struct QVRecordRange {
    uint64_t first = 1;
    uint64_t last = 1;
};

// Every choice of one merge. The entry points below fill it with their defaults; front ends
// that offer more (the command line) fill it themselves.
struct QVMergeSettings {
    std::string_view templateBytes;
    std::string_view dataText;
    std::filesystem::path outputFolder;
    QVOutputMode mode = QVOutputModeSeparate;
    std::string filenamePattern = "merge-{#}";
    uint16_t separator = QVSeparatorComma;
    // PDF field name to column. Absent: each field reads the column of its own name.
    std::optional<QVFieldMapping> mapping;
    // A watermark is asked for when either is present (an empty string counts); never both.
    std::optional<std::string> watermarkColumn;
    std::optional<std::string> watermarkPattern;
    QVWatermarkStyle style = QVDefaultWatermarkStyle;
    // With a log location, the JSON processing log is created there before the merge and
    // written after it whatever the outcome; the two input locations are recorded in it.
    std::optional<std::filesystem::path> logURL;
    std::filesystem::path templateURL;
    std::filesystem::path dataURL;
    QVFieldPolicy fieldPolicy = QVFieldPolicy::Strict;
    // Threads that build the files of separate output. Whatever their number, the run ends
    // exactly as on one thread: the same files under the same names, the same count, the same
    // message and log; files get their names in record order and progress only goes up. 1 (or
    // 0) keeps the whole run on the caller's thread. Combined output always runs on it.
    unsigned jobs = 1;
    QVShard shard;
    // Only these records are merged (in any order, overlaps allowed); absent: all of them.
    // Every record is still checked, so the file names stay those of a whole run; a number
    // beyond the last record fails. Within a share, the share's records that are chosen.
    std::optional<std::vector<QVRecordRange>> records;
    // Separate output: a record whose file exists already is skipped (left as it is, never
    // opened) instead of failing the merge; the report names such files. Refused in combined
    // output, whose one file is all or nothing.
    bool skipExisting = false;
    // When given and raised (by a signal handler, another thread), the merge stops between two
    // records: the files named so far stay, nothing of a later record gets a name, a combined
    // file is not made, and the run ends as interrupted. Only read, with a plain atomic load.
    const std::atomic<bool>* stopRequested = nullptr;
};

// What a merge did besides the files it wrote.
struct QVMergeReport {
    // The stop request ended the run before its last record: the merge answers false, with a
    // message that says so rather than a failure of any record.
    bool interrupted = false;
    // With skipExisting: the names of the files that existed already, in record order.
    std::vector<std::string> skipped;
};

// The one merge: checks every record first, then writes. `outputs`, when given, only has names
// appended (last path components, in the order written).
[[nodiscard]] bool QVMergeWithSettings(const QVMergeSettings& settings, uint64_t* count = nullptr,
                                       QVError* error = nullptr, std::vector<std::string>* outputs = nullptr,
                                       QVMergeReport* report = nullptr);

// Every check the merge makes before it writes its first file, with the merge's own messages,
// and nothing built or created (no log either): the settings, the data, the template and its
// fields, each record's watermark text, values and file name (refused, duplicate or present
// already), and the combined file's place. `planned` receives the number of PDF files the
// merge would write (without those skipExisting would skip).
[[nodiscard]] bool QVCheckMergeSettings(const QVMergeSettings& settings, uint64_t* planned = nullptr,
                                        QVError* error = nullptr);

// What a merge with these settings does with the template's fields, by field name in the order
// of their first widget: the fields it fills and (broad policy only) the fillable fields that
// keep the template's value because no column feeds them. Fails as the merge would on the
// template, its fields and the mapping (the data is parsed for its header).
struct QVFieldPlan {
    std::vector<std::string> filled;
    std::vector<std::string> kept;
    QVFieldMapping mapping;  // each filled field's column
};
[[nodiscard]] std::optional<QVFieldPlan> QVPlanFields(const QVMergeSettings& settings, QVError* error = nullptr);

// The entry points, each filling one more default and calling the next.
[[nodiscard]] bool QVMerge(const std::filesystem::path& templateURL, const std::filesystem::path& dataURL,
                           const std::filesystem::path& outputFolder, QVOutputMode mode,
                           std::string_view filenamePattern, uint64_t* count = nullptr, QVError* error = nullptr);

[[nodiscard]] bool QVMergeDelimited(const std::filesystem::path& templateURL, const std::filesystem::path& dataURL,
                                    const std::filesystem::path& outputFolder, QVOutputMode mode,
                                    std::string_view filenamePattern, uint16_t separator, uint64_t* count = nullptr,
                                    QVError* error = nullptr);

[[nodiscard]] bool QVMergeText(const std::filesystem::path& templateURL, std::string_view dataText,
                               const std::filesystem::path& outputFolder, QVOutputMode mode,
                               std::string_view filenamePattern, uint16_t separator, uint64_t* count = nullptr,
                               QVError* error = nullptr);

[[nodiscard]] bool QVMergeMapped(std::string_view templateBytes, std::string_view dataText,
                                 const std::filesystem::path& outputFolder, QVOutputMode mode,
                                 std::string_view filenamePattern, uint16_t separator, const QVFieldMapping* mapping,
                                 uint64_t* count = nullptr, QVError* error = nullptr);

[[nodiscard]] bool QVMergeWithWatermark(std::string_view templateBytes, std::string_view dataText,
                                        const std::filesystem::path& outputFolder, QVOutputMode mode,
                                        std::string_view filenamePattern, uint16_t separator,
                                        const QVFieldMapping* mapping,
                                        const std::optional<std::string>& watermarkColumn, uint64_t* count = nullptr,
                                        QVError* error = nullptr);

[[nodiscard]] bool QVMergeWithWatermarkPattern(
    std::string_view templateBytes, std::string_view dataText, const std::filesystem::path& outputFolder,
    QVOutputMode mode, std::string_view filenamePattern, uint16_t separator, const QVFieldMapping* mapping,
    const std::optional<std::string>& watermarkColumn, const std::optional<std::string>& watermarkPattern,
    QVWatermarkStyle style, uint64_t* count = nullptr, QVError* error = nullptr);

// A merge wrapped in its JSON processing log, created at `logURL` before the merge (never
// over an existing file) and written afterwards whatever the merge's outcome.
[[nodiscard]] bool QVMergeLoggedWithPattern(
    std::string_view templateBytes, std::string_view dataText, const std::filesystem::path& templateURL,
    const std::filesystem::path& dataURL, const std::filesystem::path& outputFolder,
    const std::filesystem::path& logURL, QVOutputMode mode, std::string_view filenamePattern, uint16_t separator,
    const QVFieldMapping& mapping, const std::optional<std::string>& watermarkColumn,
    const std::optional<std::string>& watermarkPattern, QVWatermarkStyle style, uint64_t* count = nullptr,
    QVError* error = nullptr);

[[nodiscard]] bool QVMergeLogged(std::string_view templateBytes, std::string_view dataText,
                                 const std::filesystem::path& templateURL, const std::filesystem::path& dataURL,
                                 const std::filesystem::path& outputFolder, const std::filesystem::path& logURL,
                                 QVOutputMode mode, std::string_view filenamePattern, uint16_t separator,
                                 const QVFieldMapping& mapping, const std::optional<std::string>& watermarkColumn,
                                 uint64_t* count = nullptr, QVError* error = nullptr);

// Progress of the merge runs of this process, for a front end's progress display: called on
// the merge's own thread after each record of the second pass (done records, total records).
// The merge never depends on it; pass an empty function to stop reporting.
#include <functional>
using QVMergeProgressHandler = std::function<void(uint64_t done, uint64_t total)>;
void QVSetMergeProgressHandler(QVMergeProgressHandler handler);

// The stages of a run that a progress display may name beside its count of records, reported
// on the merge's own thread as the run enters them. Progress reports stay as they are.
enum class QVMergeStage {
    // After the last record of combined output: the file is completed (the fonts and images its
    // pages share, the page tree, the cross-reference table) and gets its name. No records are
    // reported meanwhile, and with many records it takes a while.
    WritingCombinedFile,
};
using QVMergeStageHandler = std::function<void(QVMergeStage stage)>;
void QVSetMergeStageHandler(QVMergeStageHandler handler);
