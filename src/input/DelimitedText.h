#pragma once
// Reading the data file and turning its text into a record table.
//
// The data file is UTF-8 text with a header row; cells are separated by a comma, a semicolon
// or a tab, quoted with double quotes (a doubled quote inside stands for one quote), and rows
// end with LF, CR or CR LF. The parser is strict: malformed quoting is rejected, not repaired,
// and every data row must be exactly as wide as the header. The same text and separator give
// the same result every time.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "input/ReadFile.h"
#include "input/RecordTable.h"
#include "platform/Error.h"

// The three separators the parser accepts, as the code units the workflow hands over.
inline constexpr uint16_t QVSeparatorComma = 0x002C;
inline constexpr uint16_t QVSeparatorSemicolon = 0x003B;
inline constexpr uint16_t QVSeparatorTab = 0x0009;

// The whole file as text, unchanged (a leading byte-order mark stays; the parser drops it).
// Fails with "CSV lezen mislukt: ..." when the file is missing, is a folder, cannot be read,
// or is not well-formed UTF-8.
[[nodiscard]] std::optional<std::string> QVReadDataFile(const std::filesystem::path& url, QVError* error = nullptr);

// The data file as a read-only memory map instead of a copy, for data too large to hold twice:
// the same checks, caps and messages as QVReadDataFile. The file must not be cut short while
// the map is in use.
[[nodiscard]] std::optional<QVMappedFile> QVMapDataFile(const std::filesystem::path& url, QVError* error = nullptr);

// The record table of `text`, or nothing with the reason in `error`. The table holds a copy of
// the text.
[[nodiscard]] std::optional<QVRecordTable> QVParseDelimitedText(std::string_view text, uint16_t separator,
                                                                QVError* error = nullptr);

// The same table without the copy: its cells are views into `text`, which must outlive the
// table and every cell taken from it.
[[nodiscard]] std::optional<QVRecordTable> QVParseDelimitedTextInPlace(std::string_view text, uint16_t separator,
                                                                       QVError* error = nullptr);

// A place in a data file's text, for messages that point at a line.
struct QVTextPlace {
    size_t offset = 0;     // byte offset into the text as given (a leading byte-order mark counts)
    size_t line = 1;       // physical line from 1: LF, CR and CR LF each end one, inside quotes too
    size_t lineStart = 0;  // offset of that line's first byte (past the byte-order mark on line 1)
};

// The line that holds `offset` of `text` (an offset past the end counts as the end).
QVTextPlace QVTextPlaceOf(std::string_view text, size_t offset);

// QVParseDelimitedTextInPlace that, on failure, also says where the fault is: the misplaced
// quote or the first byte after a closing quote that may not follow it, the opening quote of a
// cell that is never closed, or the first byte of the first row narrower or wider than the
// header. Other failures leave `failurePlace` empty. The place is only worked out on failure.
[[nodiscard]] std::optional<QVRecordTable> QVParseDelimitedTextInPlace(std::string_view text, uint16_t separator,
                                                                       QVError* error,
                                                                       std::optional<QVTextPlace>* failurePlace);

// QVParseDelimitedText with the comma.
[[nodiscard]] std::optional<QVRecordTable> QVParseCSV(std::string_view text, QVError* error = nullptr);

// True when one of the other two separators (tried in the order comma, semicolon, tab) parses
// `text` without any failure into a header of more than one column. Never reports an error.
bool QVHasAlternativeMultiColumnParse(std::string_view text, uint16_t separator);

// The first of the other two separators that QVHasAlternativeMultiColumnParse finds, if any.
[[nodiscard]] std::optional<uint16_t> QVAlternativeMultiColumnSeparator(std::string_view text, uint16_t separator);

// The separator a data file most likely uses: among comma, semicolon and tab, those the header
// line holds (most often first) are tried, and the first that parses the whole text into more
// than one column wins. The comma when none does (a one-column file, or one that no separator
// parses): the parse then reports why.
uint16_t QVGuessSeparator(std::string_view text);
