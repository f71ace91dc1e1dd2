#include "platform/dialogs/TerminalText.h"

#include <unicode/uchar.h>

#include <vector>

#include "platform/Unicode.h"

namespace qvui {

namespace {

size_t codePointWidth(UChar32 c) {
    if (c == 0x200B || c == 0x200D || c == 0xFEFF) return 0;
    int8_t type = u_charType(c);
    if (type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK || type == U_FORMAT_CHAR) return 0;
    int width = u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH);
    return width == U_EA_WIDE || width == U_EA_FULLWIDTH ? 2 : 1;
}

// The code points of `text` with their byte offsets and widths; an ill-formed part counts as
// one column, as the U+FFFD it would be shown as.
struct Piece {
    size_t offset;
    size_t length;
    size_t width;
};

std::vector<Piece> pieces(std::string_view text) {
    std::vector<Piece> out;
    for (size_t offset = 0; offset < text.size();) {
        const QVUTF8Step step = QVDecodeUTF8(text, offset);
        out.push_back({offset, step.length, step.valid ? codePointWidth(static_cast<UChar32>(step.codePoint)) : 1});
        offset += step.length;
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

TypedTextProblem checkTypedText(std::string_view text) {
    bool control = false;
    if (!QVForEachCodePoint(text, [&](char32_t c) {
            control = control || u_charType(static_cast<UChar32>(c)) == U_CONTROL_CHAR;
            return true;
        }))
        return TypedTextProblem::invalidUtf8;
    return control ? TypedTextProblem::controlCharacter : TypedTextProblem::none;
}

}  // namespace qvui
