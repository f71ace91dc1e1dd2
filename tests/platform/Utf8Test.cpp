// The decoder against ICU's: every short sequence, and random and adversarial text, must get the
// same code points, the same lengths of ill-formed parts and the same first bad offset.
#include <gtest/gtest.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <random>
#include <string>
#include <vector>

#include "platform/Unicode.h"

namespace {

struct Step {
    int32_t codePoint;  // negative: ill-formed
    size_t length;
    bool operator==(const Step& other) const { return codePoint == other.codePoint && length == other.length; }
};

std::vector<Step> ours(std::string_view text) {
    std::vector<Step> out;
    for (size_t offset = 0; offset < text.size();) {
        QVUTF8Step step = QVDecodeUTF8(text, offset);
        EXPECT_TRUE(step.valid || step.codePoint == 0xFFFD);
        out.push_back({step.valid ? static_cast<int32_t>(step.codePoint) : -1, step.length});
        offset += step.length;
    }
    return out;
}

std::vector<Step> icus(std::string_view text) {
    std::vector<Step> out;
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
        const int32_t start = i;
        UChar32 c;
        U8_NEXT(s, i, length, c);
        out.push_back({c < 0 ? -1 : c, static_cast<size_t>(i - start)});
    }
    return out;
}

std::optional<size_t> icuFirstInvalid(std::string_view text) {
    size_t offset = 0;
    for (const Step& step : icus(text)) {
        if (step.codePoint < 0) return offset;
        offset += step.length;
    }
    return std::nullopt;
}

std::u32string icuReplacing(std::string_view text) {
    icu::UnicodeString u =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    std::u32string out(static_cast<size_t>(u.countChar32()), U'\0');
    UErrorCode status = U_ZERO_ERROR;
    out.resize(static_cast<size_t>(
        u.toUTF32(reinterpret_cast<UChar32*>(out.data()), static_cast<int32_t>(out.size()), status)));
    return out;
}

void expectAsICU(std::string_view text) {
    SCOPED_TRACE(testing::PrintToString(std::string(text)));
    ASSERT_EQ(ours(text), icus(text));
    ASSERT_EQ(QVFirstInvalidUTF8(text), icuFirstInvalid(text));
    ASSERT_EQ(QVDecodeUTF8Replacing(text), icuReplacing(text));
}

}  // namespace

TEST(Utf8, IllFormedSequencesAreFoundWhereTheyStart) {
    struct Case {
        std::string text;
        size_t bad;     // offset of the first ill-formed byte
        size_t length;  // bytes of the maximal ill-formed part there
    };
    const std::vector<Case> cases = {
        {"\x80", 0, 1},
        {"ab\xbf", 2, 1},  // stray continuation bytes
        {"\xc0\x80", 0, 1},
        {"\xc1\xbf", 0, 1},  // overlong two-byte forms
        {"\xe0\x80\x80", 0, 1},
        {"\xe0\x9f\xbf", 0, 1},  // overlong three-byte forms
        {"\xf0\x80\x80\x80", 0, 1},
        {"\xf0\x8f\xbf\xbf", 0, 1},  // overlong four-byte forms
        {"\xed\xa0\x80", 0, 1},
        {"x\xed\xbf\xbf", 1, 1},  // surrogates
        {"\xf4\x90\x80\x80", 0, 1},
        {"\xf5\x80\x80\x80", 0, 1},  // above U+10FFFF
        {"\xff", 0, 1},
        {"\xfe\xfe\xff\xff", 0, 1},
        {"ok\xe2\x82", 2, 2},
        {"\xf0\x9f\x98", 0, 3},  // cut short by the end
        {"\xe2\x82"
         "a",
         0, 2},
        {"\xf0\x9f\x98\xe2\x82\xac", 0, 3},  // cut short by another byte
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(QVFirstInvalidUTF8(c.text), c.bad);
        EXPECT_FALSE(QVIsValidUTF8(c.text));
        QVUTF8Step step = QVDecodeUTF8(c.text, c.bad);
        EXPECT_FALSE(step.valid);
        EXPECT_EQ(step.length, c.length);
        EXPECT_EQ(step.codePoint, U'\uFFFD');
        expectAsICU(c.text);
    }
    // The edges of each range are well-formed.
    for (std::string good : {"\xc2\x80", "\xdf\xbf", "\xe0\xa0\x80", "\xed\x9f\xbf", "\xee\x80\x80", "\xef\xbf\xbf",
                             "\xf0\x90\x80\x80", "\xf4\x8f\xbf\xbf"}) {
        EXPECT_EQ(QVFirstInvalidUTF8(good), std::nullopt) << testing::PrintToString(good);
        EXPECT_EQ(QVDecodeUTF8(good, 0).length, good.size());
    }
    EXPECT_EQ(QVDecodeUTF8("\xf4\x8f\xbf\xbf", 0).codePoint, U'\U0010FFFF');
    EXPECT_EQ(QVFirstInvalidUTF8(std::string("a\0b", 3)), std::nullopt);
}

TEST(Utf8, EveryShortSequenceDecodesAsICUDecodesIt) {
    // Each lead byte with every second and third byte, and a fourth from the edges of the ranges:
    // all overlong, surrogate, too-high and cut-short forms are among them.
    std::string text(4, '\0');
    for (unsigned a = 0x80; a <= 0xFF; ++a) {
        for (unsigned b = 0; b <= 0xFF; ++b) {
            for (unsigned c : {0x00u, 0x41u, 0x7Fu, 0x80u, 0x8Fu, 0x90u, 0x9Fu, 0xA0u, 0xBFu, 0xC0u, 0xF4u, 0xFFu}) {
                for (unsigned d : {0x41u, 0x80u, 0xBFu, 0xC0u}) {
                    text[0] = static_cast<char>(a), text[1] = static_cast<char>(b), text[2] = static_cast<char>(c),
                    text[3] = static_cast<char>(d);
                    for (size_t n = 1; n <= 4; ++n) {
                        // The first step is compared here; the later ones start with a lead byte
                        // of their own, as another round does.
                        std::string_view part(text.data(), n);
                        const QVUTF8Step step = QVDecodeUTF8(part, 0);
                        int32_t i = 0;
                        UChar32 expected;
                        U8_NEXT(reinterpret_cast<const uint8_t*>(part.data()), i, static_cast<int32_t>(n), expected);
                        if (step.length != static_cast<size_t>(i) || step.valid != (expected >= 0) ||
                            (step.valid && step.codePoint != static_cast<char32_t>(expected)) ||
                            (QVFirstInvalidUTF8(part) == std::optional<size_t>(0)) == step.valid)
                            return expectAsICU(part);
                    }
                }
            }
        }
    }
}

TEST(Utf8, RandomTextDecodesAsICUDecodesIt) {
    std::mt19937 random(20261208);
    // Bytes near the edges of the ranges, so that ill-formed sequences are common.
    const unsigned char edges[] = {'a',  ' ',  0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
                                   0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF3, 0xF4, 0xF5, 0xFF};
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const size_t length = random() % 80;
        const int kind = round % 3;
        while (text.size() < length) {
            if (kind == 0) {
                text += static_cast<char>(edges[random() % sizeof edges]);
            } else if (kind == 1) {
                text += static_cast<char>(random() & 0xFF);
            } else {
                // Well-formed text with a long ASCII run now and then, damaged in one place below.
                const char32_t c = random() % 4 == 0 ? U'x' : static_cast<char32_t>(random() % 0x110000);
                if (c >= 0xD800 && c <= 0xDFFF) continue;
                text += QVEncodeUTF8(std::u32string(c == U'x' ? random() % 40 + 1 : 1, c));
            }
        }
        if (kind == 2 && !text.empty()) {
            const size_t at = random() % text.size();
            if (random() % 2)
                text[at] = static_cast<char>(edges[random() % sizeof edges]);
            else
                text.erase(at, 1);
        }
        expectAsICU(text);
        if (HasFatalFailure()) return;
    }
}

TEST(Utf8, BadBytesAfterLongASCIIRunsAreFoundAtEveryPosition) {
    // The ASCII path takes 16 or 32 bytes at a time; a bad byte at any place in or after a block
    // must still be the one reported.
    for (size_t at = 0; at < 100; ++at) {
        for (const char* bad : {"\x80", "\xe2\x82", "\xc3"}) {
            std::string text(at, 'a');
            text += bad;
            text += std::string(at % 7, 'b');
            EXPECT_EQ(QVFirstInvalidUTF8(text), at) << at << " " << testing::PrintToString(std::string(bad));
            text.replace(at, std::string(bad).size(), "\xc3\xa9");
            EXPECT_EQ(QVFirstInvalidUTF8(text), std::nullopt) << at;
        }
    }
}

TEST(Utf8, EncodingRoundTripsEveryScalarValue) {
    std::u32string all;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c < 0xD800 || c > 0xDFFF) all.push_back(c);
    }
    const std::string utf8 = QVEncodeUTF8(all);
    EXPECT_EQ(QVFirstInvalidUTF8(utf8), std::nullopt);
    EXPECT_EQ(QVDecodeUTF8Replacing(utf8), all);
    EXPECT_EQ(QVDecodeUTF8Replacing(utf8), icuReplacing(utf8));
    // Code points with no UTF-8 form become U+FFFD.
    EXPECT_EQ(QVEncodeUTF8(std::u32string{U'a', char32_t{0xD800}, U'z'}), "a\xEF\xBF\xBDz");
    EXPECT_EQ(QVEncodeUTF8(std::u32string(1, char32_t{0x110000})), "\xEF\xBF\xBD");
}
