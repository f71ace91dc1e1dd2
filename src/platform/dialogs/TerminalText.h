#pragma once
// Text on its way to and from a terminal. Texts shown come from data files, file names and
// translations; none of them may move the cursor, change colours, retitle the window or
// reorder what is shown, so control characters are made visible instead of being sent.

#include <string>
#include <string_view>

namespace qvui {

// `text` made safe to print: control characters (C0 but tab and, when `multiline`, line feed;
// DEL; C1), line and paragraph separators and bidirectional overrides and isolates are shown
// as \xHH or \uHHHH; a CR before an LF is dropped in multi-line text; bytes that are not UTF-8
// become U+FFFD.
std::string terminalSafeText(std::string_view text, bool multiline);

enum class TypedTextProblem { none, invalidUtf8, controlCharacter };
// Whether a typed line is fit for a text field: valid UTF-8 without control characters.
TypedTextProblem checkTypedText(std::string_view text);

}  // namespace qvui
