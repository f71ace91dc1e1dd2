#pragma once
// Text on its way to and from a terminal: its width in columns, folding and shortening it, and
// checking what the user typed. What may be shown at all (texts come from data files, file
// names and translations and must not move the cursor, change colours, retitle the window or
// reorder what is shown) is QVEscapeForTerminal's rule, in platform/Unicode.h.

#include <cstddef>
#include <string>
#include <string_view>

namespace qvui {

// Columns `text` takes on a terminal: wide East Asian characters two, combining marks and
// other zero-width characters none, everything else one.
size_t terminalWidth(std::string_view text);

// `text` folded to lines of at most `width` columns, breaking only at spaces: a word wider than
// a line keeps a line of its own rather than being cut. Line feeds already in the text stay;
// continuation lines start with `indent` spaces. A width of 0 leaves the text as it is.
std::string wrapText(std::string_view text, size_t width, size_t indent = 0);

// `text` shortened to `width` columns by an ellipsis in its middle, or as it is when it fits.
std::string truncateMiddle(std::string_view text, size_t width);

enum class TypedTextProblem { none, invalidUtf8, controlCharacter };
// Whether a typed line is fit for a text field: valid UTF-8 without control characters (Cc).
TypedTextProblem checkTypedText(std::string_view text);

}  // namespace qvui
