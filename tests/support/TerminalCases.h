#pragma once
// What a text looks like once it is safe for a terminal: one table for every place that prints
// to one (the command line, the terminal dialogs), so that they cannot drift apart again.

#include <string>
#include <vector>

namespace qvtest {

struct TerminalCase {
    std::string text;   // one line: no LF in it
    std::string shown;  // as QVEscapeForTerminal writes it
};

inline const std::vector<TerminalCase>& terminalCases() {
    static const std::vector<TerminalCase> cases = {
        {"Naam: Zoë ß € 中文 😀 e\u0301 \uE000", "Naam: Zoë ß € 中文 😀 e\u0301 \uE000"},  // text, marks, private use
        {"\x1b[2J\x1b]0;titel\x07rood", "\\u{1B}[2J\\u{1B}]0;titel\\u{07}rood"},         // escape sequences, BEL
        {"tab\there\rover", "tab\\there\\rover"},
        {std::string("a\0b\x7f", 4), "a\\u{00}b\\u{7F}"},
        {"\xC2\x9B"
         "31m \xC2\x85",
         "\\u{9B}31m \\u{85}"},                                                           // C1: CSI, NEL
        {"abc\u202Efdp.exe \u2066x\u2069", "abc\\u{202E}fdp.exe \\u{2066}x\\u{2069}"},    // bidi override, isolate
        {"zero\u200Bwidth\uFEFF\u00AD", "zero\\u{200B}width\\u{FEFF}\\u{AD}"},            // Cf
        {"regel\u2028alinea\u2029", "regel\\u{2028}alinea\\u{2029}"},                     // Zl, Zp
        {"\uFFFF \uFDD0 \u0378 \U0010FFFF", "\\u{FFFF} \\u{FDD0} \\u{378} \\u{10FFFF}"},  // Cn
        {"\U000E0001tag", "\\u{E0001}tag"},
        // Bytes that are not UTF-8, one escape each: stray, overlong, surrogate, too high, cut short.
        {"x\xff\xc0\xafy", "x\\xFF\\xC0\\xAFy"},
        {"\xed\xa0\x80|\xf4\x90\x80\x80|\xe2\x82", "\\xED\\xA0\\x80|\\xF4\\x90\\x80\\x80|\\xE2\\x82"},
        {"caf\xe9", "caf\\xE9"},
    };
    return cases;
}

}  // namespace qvtest
