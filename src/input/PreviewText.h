#pragma once
// The data preview's words, the same whether a dialog or the command line shows them: the
// record count and the first records, column by column, so the user can check the separator
// and the columns before any PDF is touched.

#include <cstddef>
#include <string>
#include <string_view>

#include "input/RecordTable.h"

// How many records the preview shows at most.
constexpr size_t kQVPreviewRecordLimit = 5;

// The preview's title.
std::string QVPreviewTitle();

// The line under the title: how many records there are and how many are shown.
std::string QVPreviewSummary(size_t records, size_t shown);

// The text of the first `shown` records of `table`: per record a translated title line, one
// "name: value" line per column and an empty line. Names and values go through `show` (as they
// are without it): the command line passes QVEscapeForTerminal.
std::string QVPreviewText(const QVRecordTable& table, size_t shown, std::string (*show)(std::string_view) = nullptr);
