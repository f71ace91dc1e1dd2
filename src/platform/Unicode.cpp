#include "platform/Unicode.h"

#include <unicode/uchar.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <climits>

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

std::optional<char32_t> QVNextCodePoint(std::string_view text, size_t& offset) {
    if (offset >= text.size()) return std::nullopt;
    // A code point takes at most four bytes, so a window of four keeps ICU's int32 indexes safe.
    const int32_t window = static_cast<int32_t>(std::min<size_t>(text.size() - offset, 4));
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data() + offset);
    int32_t i = 0;
    UChar32 c = 0;
    U8_NEXT(bytes, i, window, c);
    if (c < 0) return std::nullopt;
    offset += static_cast<size_t>(i);
    return static_cast<char32_t>(c);
}

bool QVIsValidUTF8(std::string_view text) {
    size_t offset = 0;
    while (offset < text.size()) {
        // ASCII runs are the common case in names and data; skip them without ICU.
        if (static_cast<unsigned char>(text[offset]) < 0x80) {
            ++offset;
            continue;
        }
        if (!QVNextCodePoint(text, offset)) return false;
    }
    return true;
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
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
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
