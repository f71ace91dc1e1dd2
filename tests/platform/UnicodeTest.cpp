#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Unicode.h"
#include "support/TerminalCases.h"

TEST(Unicode, ControlCharactersAreCcAndCf) {
    for (char32_t c : {U'\0', U'\x1f', U'\x7f', U'\x85', U'\u200B', U'\u200E', U'\u202E', U'\uFEFF', U'\U000E0001'}) {
        EXPECT_TRUE(QVIsControlCharacter(c)) << std::hex << static_cast<uint32_t>(c);
    }
    // Letters, spaces, separators, private use and combining marks are not.
    for (char32_t c : {U'a', U' ', U'\u00A0', U'\u2028', U'\u00E9', U'\u0301', U'\uE000', U'\U0001D11E'}) {
        EXPECT_FALSE(QVIsControlCharacter(c)) << std::hex << static_cast<uint32_t>(c);
    }
}

TEST(Unicode, WhitespaceIsCategoryZPlusTheAsciiBreaksAndNextLine) {
    for (char32_t c : {U'\t', U'\n', U'\v', U'\f', U'\r', U' ', U'\x85', U'\u00A0', U'\u1680', U'\u2007', U'\u2028',
                       U'\u2029', U'\u202F', U'\u3000'}) {
        EXPECT_TRUE(QVIsWhitespaceOrNewline(c)) << std::hex << static_cast<uint32_t>(c);
    }
    // Zero-width space is a format character, not a space; the other C0 controls are not breaks.
    for (char32_t c : {U'\0', U'\x08', U'\x0e', U'\x1c', U'\u200B', U'\uFEFF', U'_', U'\u180E'}) {
        EXPECT_FALSE(QVIsWhitespaceOrNewline(c)) << std::hex << static_cast<uint32_t>(c);
    }
}

TEST(Unicode, Utf8IsCheckedStrictly) {
    EXPECT_TRUE(QVIsValidUTF8(""));
    EXPECT_TRUE(QVIsValidUTF8("Caf\u00E9 \u2615 \U0001D11E"));
    EXPECT_TRUE(QVIsValidUTF8(std::string("a\0b", 3)));
    for (std::string bad : {"\x80", "\xc3", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80",
                            "\xf5\x80\x80\x80", "\xff", "ok\xe2\x82"}) {
        EXPECT_FALSE(QVIsValidUTF8(bad)) << testing::PrintToString(bad);
    }
}

TEST(Unicode, CodePointsAreVisitedInOrderUntilTheVisitorStops) {
    std::vector<char32_t> seen;
    EXPECT_TRUE(QVForEachCodePoint("a\u00E9\U0001D11E", [&](char32_t c) {
        seen.push_back(c);
        return true;
    }));
    EXPECT_EQ(seen, (std::vector<char32_t>{U'a', U'\u00E9', U'\U0001D11E'}));

    // Stopping early still answers for the whole text.
    seen.clear();
    EXPECT_FALSE(QVForEachCodePoint("ab\xff", [&](char32_t c) {
        seen.push_back(c);
        return false;
    }));
    EXPECT_EQ(seen, std::vector<char32_t>{U'a'});
}

TEST(Unicode, NormalisationAndLowerCasing) {
    EXPECT_EQ(QVNormalizeNFC("e\u0301"), "\u00E9");
    EXPECT_EQ(QVNormalizeNFC("\u00E9"), "\u00E9");
    EXPECT_EQ(QVNormalizeNFC("\u212B"), "\u00C5");  // Angstrom sign is canonically Å
    EXPECT_EQ(QVNormalizeNFC("\uFB01"), "\uFB01");  // compatibility forms stay
    EXPECT_EQ(QVNormalizeNFC("\xff"), std::nullopt);

    // Root locale: a dotted capital I stays i plus a dot, no Turkish dotless i for I.
    EXPECT_EQ(QVLowercase("ABC \u00C9"), "abc \u00E9");
    EXPECT_EQ(QVLowercase("I"), "i");
    EXPECT_EQ(QVLowercase("\u0130"), "i\u0307");
    EXPECT_EQ(QVLowercase("\u03A3\u039F\u03A3"), "\u03C3\u03BF\u03C2");  // final sigma
    EXPECT_EQ(QVLowercase("\xc3"), std::nullopt);
}

TEST(Unicode, TerminalTextIsEscapedByOneRule) {
    for (const qvtest::TerminalCase& c : qvtest::terminalCases()) {
        EXPECT_EQ(QVEscapeForTerminal(c.text), c.shown) << testing::PrintToString(c.text);
        EXPECT_EQ(QVEscapeLinesForTerminal(c.text), c.shown) << testing::PrintToString(c.text);
    }
    // The rule is the general category: what ICU does not know yet is escaped too.
    for (char32_t c : {U'\x1b', U'\u200B', U'\u2028', U'\uFFFE', U'\U000E0001', U'\U0010FFFF'}) {
        EXPECT_TRUE(QVIsUnsafeOnTerminal(c)) << std::hex << static_cast<uint32_t>(c);
    }
    for (char32_t c : {U' ', U'~', U'\u00A0', U'\u0301', U'\uE000', U'\uFFFD', U'\U0001F600'}) {
        EXPECT_FALSE(QVIsUnsafeOnTerminal(c)) << std::hex << static_cast<uint32_t>(c);
    }
}

TEST(Unicode, LinesStayLinesAndTheirContentsAreEscaped) {
    EXPECT_EQ(QVEscapeLinesForTerminal("a\r\nb\rc\n\n\x1b"
                                       "d\n"),
              "a\nb\\rc\n\n\\u{1B}d\n");
    EXPECT_EQ(QVEscapeForTerminal("a\r\nb"), "a\\r\\nb");
}
