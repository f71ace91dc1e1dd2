#pragma once
// Text from data files and file names, made safe to print on a terminal.

#include <string>
#include <string_view>

// `text` with every control or format character written as a visible escape: "\n", "\r" and
// "\t" for those three, "\u{1B}" and the like for the others (escape sequences, bidi
// overrides, the byte-order mark), and "\xFF" for bytes that are not part of valid UTF-8.
// Everything else, accented letters and emoji included, passes unchanged.
std::string QVEscapeForTerminal(std::string_view text);

// A message of several lines made safe line by line: its own line breaks stay line breaks.
std::string QVEscapeLinesForTerminal(std::string_view text);
