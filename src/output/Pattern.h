#pragma once
// The pattern language of output file names and watermark lines: literal text with
// placeholders in braces. "{#}" is the record number with at least six digits; any other
// name is the record's value in the column of exactly that name. There is no escape, and a
// value that is inserted is never scanned again.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/Error.h"

// Expands `pattern` for one record. `columns` is the header row and `values` the record's
// row (same length); `number` is the record's row index. `watermark` non-zero selects the
// watermark wording of the messages, zero the file-name wording. The first error from the
// left ends the expansion and gives nothing.
[[nodiscard]] std::optional<std::string> QVExpandPattern(std::string_view pattern,
                                                         std::span<const std::string_view> columns,
                                                         std::span<const std::string_view> values, uint64_t number,
                                                         int8_t watermark, QVError* error);

// The output file name of one record: the expanded file-name pattern plus ".pdf". Refuses a
// name that is empty, starts with ".", holds "/", "\" or ":", holds a control character,
// starts or ends with whitespace, or is not UTF-8; refuses a result over 255 UTF-8 bytes. The
// name is never altered, only accepted or refused.
[[nodiscard]] std::optional<std::string> QVFilename(std::string_view pattern, std::span<const std::string_view> columns,
                                                    std::span<const std::string_view> values, uint64_t number,
                                                    QVError* error);
