#include "platform/pdf/detail/Names.h"

namespace qvpdf {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

void appendPdfName(std::string& out, std::string_view name) {
    static const char* hex = "0123456789ABCDEF";
    static constexpr std::string_view kDelimiters = "#/()<>[]{}%";
    out += '/';
    for (unsigned char c : name) {
        if (c > 0x20 && c < 0x7f && kDelimiters.find(static_cast<char>(c)) == std::string_view::npos) {
            out += static_cast<char>(c);
        } else {
            out += '#';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
}

std::string pdfName(std::string_view name) {
    std::string out;
    out.reserve(name.size() + 1);
    appendPdfName(out, name);
    return out;
}

std::string decodePdfName(std::string_view token) {
    std::string out;
    out.reserve(token.size());
    for (size_t i = 0; i < token.size(); ++i) {
        int high = token[i] == '#' && i + 2 < token.size() ? hexValue(token[i + 1]) : -1;
        int low = high >= 0 ? hexValue(token[i + 2]) : -1;
        if (low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += token[i];
        }
    }
    return out;
}

}  // namespace qvpdf
