#pragma once
// The field mapping dialog: ties every PDF field of the template to one data column.

#include <optional>
#include <string>
#include <vector>

#include "input/FieldMapping.h"

// Asks until every field has a column, keeping the user's choices between attempts; nothing
// when the user cancels. `fields` in template order, `columns` the header row.
[[nodiscard]] std::optional<QVFieldMapping> chooseMapping(const std::vector<std::string>& fields,
                                                          const std::vector<std::string>& columns);
