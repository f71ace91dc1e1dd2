#pragma once
// The lines the command line adds after a failure's message: what went wrong in terms the user
// can act on (the data's columns, the value that made a bad file name, why a template was
// refused). Each answers nothing when the message is not the one it explains.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "input/FieldMapping.h"

// After a missing column: the column --map named, the data's columns and the closest one.
std::string QVMissingColumnHint(const std::string& message, const std::vector<std::string>& fields,
                                const QVFieldMapping& mapping, std::string_view text, uint16_t separator);

// After a value too long for its field: its length and the field's limit.
std::string QVTooLongHint(const std::string& message, const std::vector<std::string>& fields,
                          const QVFieldMapping& mapping, std::string_view text, uint16_t separator,
                          std::string_view templateBytes);

// After an invalid file name: the name the pattern made of that record.
std::string QVFileNameHint(const std::string& message, std::string_view pattern, std::string_view text,
                           uint16_t separator);

// After a data file refused for its quoting or for a row's width: the line of the file the
// fault is on and how that line starts.
std::string QVDataLineHint(const std::string& message, std::string_view text, uint16_t separator);

// After a template that could not be opened: which of not a PDF, a password, damage or no pages.
std::string QVTemplateProblemHint(std::string_view templateBytes);
