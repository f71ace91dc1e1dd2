#include "platform/dialogs/TerminalText.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

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

size_t codePointWidth(UChar32 c) {
    if (c == 0x200B || c == 0x200D || c == 0xFEFF) return 0;
    int8_t type = u_charType(c);
    if (type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK || type == U_FORMAT_CHAR) return 0;
    int width = u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH);
    return width == U_EA_WIDE || width == U_EA_FULLWIDTH ? 2 : 1;
}

// The code points of `text` with their byte offsets and widths; bytes that are not UTF-8 count
// as one column each, as U+FFFD would.
struct Piece {
    size_t offset;
    size_t length;
    size_t width;
};

std::vector<Piece> pieces(std::string_view text) {
    std::vector<Piece> out;
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    int32_t length = static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX));
    int32_t i = 0;
    while (i < length) {
        int32_t start = i;
        UChar32 c;
        U8_NEXT(s, i, length, c);
        out.push_back({static_cast<size_t>(start), static_cast<size_t>(i - start), c < 0 ? 1 : codePointWidth(c)});
    }
    return out;
}

void wrapLine(std::string_view line, size_t width, const std::string& indent, std::string& out) {
    size_t column = 0;  // columns used on the current output line
    bool lineHasWord = false;
    size_t i = 0;
    while (i < line.size()) {
        size_t spaceEnd = line.find_first_not_of(' ', i);
        if (spaceEnd == std::string_view::npos) spaceEnd = line.size();
        size_t wordEnd = line.find(' ', spaceEnd);
        if (wordEnd == std::string_view::npos) wordEnd = line.size();
        std::string_view spaces = line.substr(i, spaceEnd - i);
        std::string_view word = line.substr(spaceEnd, wordEnd - spaceEnd);
        size_t wordWidth = terminalWidth(word);
        if (lineHasWord && !word.empty() && column + spaces.size() + wordWidth > width) {
            out += '\n';
            out += indent;
            column = indent.size();
        } else {
            out += spaces;
            column += spaces.size();
        }
        out += word;
        column += wordWidth;
        lineHasWord = lineHasWord || !word.empty();
        i = wordEnd;
    }
}

}  // namespace

size_t terminalWidth(std::string_view text) {
    size_t width = 0;
    for (const Piece& p : pieces(text)) width += p.width;
    return width;
}

std::string wrapText(std::string_view text, size_t width, size_t indent) {
    if (width == 0) return std::string(text);
    // A hanging indent that leaves no room for words would only push every word onto a line
    // of its own.
    std::string pad(indent < width / 2 ? indent : 0, ' ');
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\n', start);
        wrapLine(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start), width, pad,
                 out);
        if (end == std::string_view::npos) break;
        out += '\n';
        start = end + 1;
    }
    return out;
}

std::string truncateMiddle(std::string_view text, size_t width) {
    std::vector<Piece> all = pieces(text);
    size_t total = 0;
    for (const Piece& p : all) total += p.width;
    if (total <= width) return std::string(text);
    if (width == 0) return {};
    // The ellipsis takes one column; the head gets the larger half of the rest.
    size_t room = width - 1;
    size_t headRoom = room - room / 2;
    size_t tailRoom = room / 2;
    size_t headEnd = 0, used = 0;
    for (const Piece& p : all) {
        if (used + p.width > headRoom) break;
        used += p.width;
        headEnd = p.offset + p.length;
    }
    size_t tailStart = text.size();
    used = 0;
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        if (used + it->width > tailRoom) break;
        used += it->width;
        tailStart = it->offset;
    }
    // Marks that belong to the last character kept in the head stay with it.
    return std::string(text.substr(0, headEnd)) + "\u2026" + std::string(text.substr(tailStart));
}

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
