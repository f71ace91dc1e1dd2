#pragma once
// The data preview as a dialog; its words are input/PreviewText.h's.

#include "input/RecordTable.h"

// Shows the preview of `table` (a header and at least one record); true exactly when the user
// pressed "Verder".
[[nodiscard]] bool showPreview(const QVRecordTable& table);
