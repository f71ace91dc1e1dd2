#pragma once
// What a cell means for a check box, a radio button or a choice field: the values a user may
// write in the data file, and the field state each one stands for.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/TemplateFields.h"

// The state a check box or radio button takes for `cell`: one of its on-state names, or "Off".
// Accepted, cells trimmed of spaces:
// - an on-state name of the field, or the /Opt label of one of its widgets;
// - an empty cell: off;
// - for a field with a single on-state: 0, nee, n, no, false, onwaar, uit, off (any case) for
//   off; 1, ja, j, yes, y, true, waar, x, aan, on, ✓ for on;
// - for a field without any on-state (nothing to show it on): only the values for off.
// Nothing for any other cell.
[[nodiscard]] std::optional<std::string> QVButtonStateForCell(const QVFieldChoices& choices, std::string_view cell);

// The export values a combo or list box selects for `cell`: none for an empty cell; otherwise
// the option whose export value or display text the cell is (trimmed), for a multi-select list
// box each of the cell's parts separated by ";", and for an editable combo box any text.
// Nothing when a part is none of the options.
[[nodiscard]] std::optional<std::vector<std::string>> QVChoiceValuesForCell(const QVFieldChoices& choices,
                                                                            std::string_view cell);

// The accepted cells of a field, for a message: "uit: ...; aan: ..." for a check box, the
// names and labels otherwise; translated where words are involved.
std::string QVAcceptedCells(const QVFieldChoices& choices);
