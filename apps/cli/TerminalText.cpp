#include "TerminalText.h"

#include <cstdio>
#include <optional>

#include "platform/Unicode.h"

namespace {

std::string hex(unsigned value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
    return buffer;
}

}  // namespace

std::string QVEscapeForTerminal(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t offset = 0;
    while (offset < text.size()) {
        const size_t start = offset;
        std::optional<char32_t> c = QVNextCodePoint(text, offset);
        if (!c) {
            out += "\\x" + hex(static_cast<unsigned char>(text[offset]), 2);
            ++offset;
            continue;
        }
        if (!QVIsControlCharacter(*c)) {
            out.append(text.substr(start, offset - start));
            continue;
        }
        switch (*c) {
        case U'\n': out += "\\n"; break;
        case U'\r': out += "\\r"; break;
        case U'\t': out += "\\t"; break;
        default: out += "\\u{" + hex(static_cast<unsigned>(*c), 2) + "}"; break;
        }
    }
    return out;
}

std::string QVEscapeLinesForTerminal(std::string_view text) {
    std::string out;
    size_t start = 0;
    while (true) {
        const size_t end = text.find('\n', start);
        out += QVEscapeForTerminal(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) break;
        out += '\n';
        start = end + 1;
    }
    return out;
}
