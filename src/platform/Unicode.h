#pragma once
// Character classes, UTF-8 checks, normalisation and lower-casing, all answered by ICU so
// that every part of the program agrees on what a "control character" or a "space" is.

#include <optional>
#include <string>
#include <string_view>

// Control characters: general categories Cc and Cf (so also format characters such as the
// zero-width space U+200B, the byte-order mark and the bidi marks).
bool QVIsControlCharacter(char32_t c);

// Whitespace and line breaks: general category Z (Zs, Zl, Zp) plus U+0009..U+000D and U+0085.
bool QVIsWhitespaceOrNewline(char32_t c);

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool QVIsValidUTF8(std::string_view text);

// Calls `visit(c)` for each code point of well-formed UTF-8 until it returns false. Answers
// false when the text is not well-formed UTF-8 (the visit then stops at the bad sequence),
// else true, whatever `visit` answered.
template <typename Visit>
bool QVForEachCodePoint(std::string_view text, Visit&& visit);

// Canonical composition (NFC). Nothing for text that is not well-formed UTF-8.
std::optional<std::string> QVNormalizeNFC(std::string_view text);

// Canonical composition (NFC) of decoded text, in place. Text below U+0300 (nothing there
// composes) and text that ICU's quick check finds composed already are left untouched.
void QVComposeNFC(std::u32string& text);

// Lower-case in the root locale (no Turkish or Lithuanian rules). Nothing for text that is
// not well-formed UTF-8.
std::optional<std::string> QVLowercase(std::string_view text);

// Decodes one code point at `offset` and advances it; nothing (offset unchanged) at a
// malformed sequence or at the end.
std::optional<char32_t> QVNextCodePoint(std::string_view text, size_t& offset);

// Length in UTF-16 code units, the unit of a form field's maximum length. A byte that is not
// part of well-formed UTF-8 counts as one unit (it would be shown as one replacement character).
size_t QVUTF16Length(std::string_view utf8);

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
