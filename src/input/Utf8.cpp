#include "input/Utf8.h"

#include <cstdint>
#include <cstring>

namespace {

bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Data files are mostly ASCII; skip it eight bytes at a time.
size_t skipAscii(const unsigned char* s, size_t i, size_t n) {
    while (n - i >= 8) {
        uint64_t word;
        std::memcpy(&word, s + i, 8);
        if (word & 0x8080808080808080ull) break;
        i += 8;
    }
    while (i < n && s[i] < 0x80) ++i;
    return i;
}

}  // namespace

std::optional<size_t> QVFirstInvalidUtf8(std::string_view text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    for (;;) {
        i = skipAscii(s, i, n);
        if (i == n) return std::nullopt;
        const unsigned char lead = s[i];
        size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;        // overlong below U+0800
            if (lead == 0xED) high = 0x9F;       // U+D800..U+DFFF
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;        // overlong below U+10000
            if (lead == 0xF4) high = 0x8F;       // above U+10FFFF
        } else {
            return i;  // continuation byte without a lead, C0/C1, F5..FF
        }
        if (n - i < length) return i;
        if (s[i + 1] < low || s[i + 1] > high) return i;
        for (size_t k = 2; k < length; ++k) {
            if (!isContinuation(s[i + k])) return i;
        }
        i += length;
    }
}
