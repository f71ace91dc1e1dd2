#include "platform/Unicode.h"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// ICU's string classes count in int32_t; longer texts are refused rather than cut.
std::optional<icu::UnicodeString> toUnicode(std::string_view text) {
    if (text.size() > static_cast<size_t>(INT32_MAX) || !QVIsValidUTF8(text)) return std::nullopt;
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string toUTF8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

}  // namespace

bool QVIsControlCharacter(char32_t c) {
    int8_t type = u_charType(static_cast<UChar32>(c));
    return type == U_CONTROL_CHAR || type == U_FORMAT_CHAR;
}

bool QVIsWhitespaceOrNewline(char32_t c) {
    if ((c >= 0x09 && c <= 0x0D) || c == 0x85) return true;
    int8_t type = u_charType(static_cast<UChar32>(c));
    return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

bool QVIsUnsafeOnTerminal(char32_t c) {
    if (c >= 0x20 && c < 0x7F) return false;  // printable ASCII, the common case
    switch (u_charType(static_cast<UChar32>(c))) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
    case U_SURROGATE:
    case U_UNASSIGNED: return true;
    default: return false;
    }
}

namespace {

void appendHex(std::string& out, const char* format, unsigned value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, format, value);
    out += buffer;
}

}  // namespace

std::string QVEscapeForTerminal(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t offset = 0; offset < text.size();) {
        const QVUTF8Step step = QVDecodeUTF8(text, offset);
        if (!step.valid) {
            // Byte by byte, so that the bytes of the file can be read back from what is shown.
            appendHex(out, "\\x%02X", static_cast<unsigned char>(text[offset]));
            ++offset;
            continue;
        }
        if (!QVIsUnsafeOnTerminal(step.codePoint)) {
            out.append(text.substr(offset, step.length));
        } else if (step.codePoint == U'\n') {
            out += "\\n";
        } else if (step.codePoint == U'\r') {
            out += "\\r";
        } else if (step.codePoint == U'\t') {
            out += "\\t";
        } else {
            appendHex(out, "\\u{%02X}", static_cast<unsigned>(step.codePoint));
        }
        offset += step.length;
    }
    return out;
}

std::string QVEscapeLinesForTerminal(std::string_view text) {
    std::string out;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\n', start);
        std::string_view line = text.substr(start, end == std::string_view::npos ? end : end - start);
        // The CR of a CR LF belongs to the line break, not to the line.
        if (end != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        out += QVEscapeForTerminal(line);
        if (end == std::string_view::npos) break;
        out += '\n';
        start = end + 1;
    }
    return out;
}

namespace {

// The one decoder: the sequence at `s` (`n` > 0 bytes left), checked byte by byte against the
// ranges of well-formed UTF-8 (Unicode, table 3-7).
inline QVUTF8Step decodeAt(const unsigned char* s, size_t n) {
    const unsigned char lead = s[0];
    if (lead < 0x80) return {lead, 1, true};
    size_t need = 0;
    char32_t c = 0;
    unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        c = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
        if (lead == 0xED) high = 0x9F;  // U+D800..U+DFFF
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        c = lead & 0x07;
        if (lead == 0xF0) low = 0x90;   // overlong below U+10000
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return {0xFFFD, 1, false};
    }
    for (size_t k = 1; k <= need; ++k) {
        if (k >= n || s[k] < low || s[k] > high) return {0xFFFD, k, false};
        c = (c << 6) | (s[k] & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    return {c, need + 1, true};
}

// The first byte at or after `i` that is not ASCII, or `n`.
inline size_t skipASCII(const unsigned char* s, size_t i, size_t n) {
#if defined(__SSE2__)
    while (n - i >= 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 16));
        if (_mm_movemask_epi8(_mm_or_si128(a, b)) != 0) break;
        i += 32;
    }
    if (n - i >= 16) {
        const int mask = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)));
        if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        i += 16;
    }
#else
    while (n - i >= 8) {
        uint64_t word;
        std::memcpy(&word, s + i, 8);
        if (word & 0x8080808080808080ull) break;
        i += 8;
    }
#endif
    while (i < n && s[i] < 0x80) ++i;
    return i;
}

}  // namespace

QVUTF8Step QVDecodeUTF8(std::string_view text, size_t offset) {
    return decodeAt(reinterpret_cast<const unsigned char*>(text.data()) + offset, text.size() - offset);
}

std::optional<size_t> QVFirstInvalidUTF8(std::string_view text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    for (;;) {
        i = skipASCII(s, i, n);
        // Text with few ASCII bytes (Greek, CJK) stays in this loop.
        while (i < n && s[i] >= 0x80) {
            const QVUTF8Step step = decodeAt(s + i, n - i);
            if (!step.valid) return i;
            i += step.length;
        }
        if (i == n) return std::nullopt;
    }
}

std::u32string QVDecodeUTF8Replacing(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (size_t offset = 0; offset < text.size();) {
        const QVUTF8Step step = QVDecodeUTF8(text, offset);
        out.push_back(step.codePoint);
        offset += step.length;
    }
    return out;
}

std::string QVEncodeUTF8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        uint8_t units[U8_MAX_LENGTH];
        int32_t length = 0;
        U8_APPEND_UNSAFE(units, length, static_cast<UChar32>(c));
        out.append(reinterpret_cast<const char*>(units), static_cast<size_t>(length));
    }
    return out;
}

std::optional<char32_t> QVNextCodePoint(std::string_view text, size_t& offset) {
    if (offset >= text.size()) return std::nullopt;
    const QVUTF8Step step = QVDecodeUTF8(text, offset);
    if (!step.valid) return std::nullopt;
    offset += step.length;
    return step.codePoint;
}

std::optional<std::string> QVNormalizeNFC(std::string_view text) {
    std::optional<icu::UnicodeString> source = toUnicode(text);
    if (!source) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return std::nullopt;
    icu::UnicodeString result = nfc->normalize(*source, status);
    if (U_FAILURE(status)) return std::nullopt;
    return toUTF8(result);
}

void QVComposeNFC(std::u32string& text) {
    if (std::all_of(text.begin(), text.end(), [](char32_t c) { return c < 0x300; })) return;
    if (text.size() > static_cast<size_t>(INT32_MAX / 2)) return;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return;
    icu::UnicodeString source =
        icu::UnicodeString::fromUTF32(reinterpret_cast<const UChar32*>(text.data()), static_cast<int32_t>(text.size()));
    if (nfc->quickCheck(source, status) == UNORM_YES || U_FAILURE(status)) return;
    status = U_ZERO_ERROR;
    icu::UnicodeString composed = nfc->normalize(source, status);
    if (U_FAILURE(status)) return;
    std::u32string out(static_cast<size_t>(composed.countChar32()), U'\0');
    status = U_ZERO_ERROR;
    int32_t length = composed.toUTF32(reinterpret_cast<UChar32*>(out.data()), static_cast<int32_t>(out.size()), status);
    if (U_FAILURE(status) || length < 0) return;
    out.resize(static_cast<size_t>(length));
    text = std::move(out);
}

std::optional<std::string> QVLowercase(std::string_view text) {
    std::optional<icu::UnicodeString> source = toUnicode(text);
    if (!source) return std::nullopt;
    source->toLower(icu::Locale::getRoot());
    return toUTF8(*source);
}

size_t QVUTF16Length(std::string_view utf8) {
    size_t units = 0;
    size_t offset = 0;
    while (offset < utf8.size()) {
        std::optional<char32_t> c = QVNextCodePoint(utf8, offset);
        if (!c) {
            ++offset;
            ++units;
            continue;
        }
        units += *c > 0xFFFF ? 2 : 1;
    }
    return units;
}

std::string QVWindows1252ToUTF8(std::string_view bytes) {
    // 0x80 to 0x9F, where the code page differs from Latin-1.
    static constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (const char byte : bytes) {
        const unsigned char b = static_cast<unsigned char>(byte);
        const UChar32 c = b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : b;
        uint8_t units[U8_MAX_LENGTH];
        int32_t length = 0;
        U8_APPEND_UNSAFE(units, length, c);
        out.append(reinterpret_cast<const char*>(units), static_cast<size_t>(length));
    }
    return out;
}
