#pragma once
// The data preview: the record count and the first records, column by column, so the user can
// check the separator and the columns before any PDF is touched.

#include <string>

#include "input/RecordTable.h"

// The text shown for the first `shown` records of `table`: per record a translated title line,
// one "name: value" line per column and an empty line.
std::string previewText(const QVRecordTable& table, size_t shown);

// Shows the preview of `table` (a header and at least one record); true exactly when the user
// pressed "Verder".
bool showPreview(const QVRecordTable& table);
