#pragma once
// Widgets of a form in the command line's words: their kinds, why a merge leaves one alone, and
// the hint that follows a form the text-fields-only rule refuses.

#include <string>
#include <string_view>

#include "input/Template.h"

// "tekstveld", "selectievakje", ... in the language in force.
std::string QVWidgetKindName(QVWidgetKind kind);

// One line for `quorvel fields --details`.
std::string QVWidgetDetailLine(const QVWidgetDescription& widget);

// The line that follows the refusal of a template by the text-fields-only rule: the first
// offending field and its kind, or that the form is encrypted, and that --all-fields fills such
// forms. Empty when the broad rule would refuse the template too.
std::string QVTextRuleHint(std::string_view templateBytes);
