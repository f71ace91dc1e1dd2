#include "platform/dialogs/TerminalText.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace qvui {

namespace {

bool isControl(UChar32 c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool mustEscape(UChar32 c, bool multiline) {
    if (c == '\t') return false;
    if (c == '\n') return !multiline;
    if (isControl(c)) return true;
    return c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void appendEscape(std::string& out, UChar32 c) {
    char buf[12];
    if (c < 0x100) std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned>(c));
    else std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
    out += buf;
}

}  // namespace

std::string terminalSafeText(std::string_view text, bool multiline) {
    std::string out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    int32_t length = static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX));
    int32_t i = 0;
    while (i < length) {
        int32_t start = i;
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0) {
            out += "\xEF\xBF\xBD";
            continue;
        }
        if (c == '\r' && multiline && i < length && s[i] == '\n') continue;
        if (mustEscape(c, multiline)) appendEscape(out, c);
        else out.append(text.substr(static_cast<size_t>(start), static_cast<size_t>(i - start)));
    }
    return out;
}

TypedTextProblem checkTypedText(std::string_view text) {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    int32_t length = static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX));
    int32_t i = 0;
    TypedTextProblem found = TypedTextProblem::none;
    while (i < length) {
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0) return TypedTextProblem::invalidUtf8;
        if (isControl(c)) found = TypedTextProblem::controlCharacter;
    }
    return found;
}

}  // namespace qvui
