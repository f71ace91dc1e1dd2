#pragma once
// The program's one UTF-8 decoder, character classes, normalisation and lower-casing, and the
// rule for what may reach a terminal, so that every part of the program agrees on what is
// well-formed, what a "control character" or a "space" is and how unsafe text is shown.
// (Included by the PDF layer, which also builds as C++17.)

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// One step of decoding: a code point and the bytes it took, or, at ill-formed input, `valid`
// false, U+FFFD and the length of the maximal ill-formed part (the lead byte and the
// continuation bytes that still fit it; at least 1): the part a decoder shows as one U+FFFD,
// as ICU and the browsers do.
struct QVUTF8Step {
    char32_t codePoint;
    size_t length;
    bool valid;
};

// Decodes the sequence that starts at `offset`, which must be inside `text`. Ill-formed:
// stray continuation bytes, C0, C1, F5..FF, overlong forms (E0 80..9F, F0 80..8F), encoded
// surrogates (ED A0..BF), code points above U+10FFFF (F4 90..) and sequences cut short by
// another byte or by the end.
QVUTF8Step QVDecodeUTF8(std::string_view text, size_t offset);

// The offset of the first byte of the first ill-formed sequence, or nothing when `text` is
// well-formed UTF-8. Runs of ASCII are skipped 32 bytes a step (SSE2): every data file goes
// through here whole.
std::optional<size_t> QVFirstInvalidUTF8(std::string_view text);

// `text` decoded, each maximal ill-formed part as one U+FFFD.
std::u32string QVDecodeUTF8Replacing(std::string_view text);

// Code points as UTF-8; a surrogate or a value above U+10FFFF, which has no UTF-8 form, as U+FFFD.
std::string QVEncodeUTF8(std::u32string_view text);

// Control characters: general categories Cc and Cf (so also format characters such as the
// zero-width space U+200B, the byte-order mark and the bidi marks).
bool QVIsControlCharacter(char32_t c);

// Whitespace and line breaks: general category Z (Zs, Zl, Zp) plus U+0009..U+000D and U+0085.
bool QVIsWhitespaceOrNewline(char32_t c);

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
inline bool QVIsValidUTF8(std::string_view text) { return !QVFirstInvalidUTF8(text); }

// Calls `visit(c)` for each code point of well-formed UTF-8 until it returns false. Answers
// false when the text is not well-formed UTF-8 (the visit then stops at the bad sequence),
// else true, whatever `visit` answered.
template <typename Visit>
bool QVForEachCodePoint(std::string_view text, Visit&& visit);

// Canonical composition (NFC). Nothing for text that is not well-formed UTF-8.
[[nodiscard]] std::optional<std::string> QVNormalizeNFC(std::string_view text);

// Canonical composition (NFC) of decoded text, in place. Text below U+0300 (nothing there
// composes) and text that ICU's quick check finds composed already are left untouched.
void QVComposeNFC(std::u32string& text);

// Lower-case in the root locale (no Turkish or Lithuanian rules). Nothing for text that is
// not well-formed UTF-8.
[[nodiscard]] std::optional<std::string> QVLowercase(std::string_view text);

// Decodes one code point at `offset` and advances it; nothing (offset unchanged) at a
// malformed sequence or at the end.
[[nodiscard]] std::optional<char32_t> QVNextCodePoint(std::string_view text, size_t& offset);

// Length in UTF-16 code units, the unit of a form field's maximum length. A byte that is not
// part of well-formed UTF-8 counts as one unit (it would be shown as one replacement character).
size_t QVUTF16Length(std::string_view utf8);

// Whether `c` must not reach a terminal as it is: controls and format characters (Cc, Cf:
// escape sequences, bidi overrides and isolates, zero-width characters, the byte-order mark),
// line and paragraph separators (Zl, Zp), surrogates, and code points with no character
// assigned (Cn, the noncharacters among them), whose effect on a terminal nobody can tell.
bool QVIsUnsafeOnTerminal(char32_t c);

// `text` made safe to print as one line: each code point QVIsUnsafeOnTerminal names is written
// as an escape, "\n", "\r" and "\t" for those three and "\u{1B}", "\u{200B}" and the like for
// the others, and each byte that is not part of well-formed UTF-8 as "\xFF". Everything else,
// accented letters and emoji included, passes unchanged.
std::string QVEscapeForTerminal(std::string_view text);

// A text of several lines made safe line by line: its line breaks (LF, or CR LF) stay line
// breaks (LF); everything within a line is escaped as by QVEscapeForTerminal.
std::string QVEscapeLinesForTerminal(std::string_view text);

// Text in the Windows code page 1252 as UTF-8. Every byte has a character: the five the code
// page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 controls of the same number,
// as Windows itself converts them.
std::string QVWindows1252ToUTF8(std::string_view bytes);

template <typename Visit>
bool QVForEachCodePoint(std::string_view text, Visit&& visit) {
    size_t offset = 0;
    while (offset < text.size()) {
        std::optional<char32_t> c = QVNextCodePoint(text, offset);
        if (!c) return false;
        if (!visit(*c)) {
            // The caller has what it needs; still answer for the well-formedness of the rest.
            return QVIsValidUTF8(text.substr(offset));
        }
    }
    return true;
}
