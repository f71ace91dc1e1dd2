#include <gtest/gtest.h>

#include "DocumentFixtures.h"
#include "platform/text/Fonts.h"
#include "platform/text/StandardFonts.h"
#include "platform/text/Typesetting.h"
#include "support/TestSupport.h"

using namespace qvpdf;

namespace {

SimpleFont font(const std::string& baseFont, const std::string& encoding = "",
                std::map<int, std::string> differences = {}) {
    SimpleFontDescription d;
    d.subtype = "Type1";
    d.baseFont = baseFont;
    d.encodingName = encoding;
    d.differences = std::move(differences);
    return SimpleFont(d);
}

}  // namespace

TEST(SimpleFont, StandardFontsMeasureWithTheirMetrics) {
    SimpleFont helvetica = font("Helvetica", "WinAnsiEncoding");
    auto encoded = helvetica.encode(U"A\u00E9\u20AC");
    ASSERT_TRUE(encoded);
    EXPECT_EQ(*encoded, "A\xE9\x80");
    EXPECT_EQ(helvetica.width("A"), 667);
    EXPECT_EQ(helvetica.width(*encoded), 667 + 556 + 556);
    EXPECT_GT(helvetica.ascent(), 600);
    EXPECT_LT(helvetica.descent(), -150);

    // Other names for the same fonts, with subset tags and style suffixes.
    EXPECT_EQ(font("ABCDEF+Arial-BoldMT", "WinAnsiEncoding").width("A"), 722);
    EXPECT_EQ(font("Arial,Bold", "WinAnsiEncoding").width("A"), 722);
    EXPECT_EQ(font("CourierNewPSMT", "WinAnsiEncoding").width("A "), 1200);
    EXPECT_EQ(stdfonts::standardFontFor("TimesNewRomanPS-BoldItalicMT")->name, std::string("Times-BoldItalic"));
    EXPECT_EQ(stdfonts::standardFontFor("Verdana"), nullptr);
}

TEST(SimpleFont, CharactersOutsideTheEncodingHaveNoCode) {
    SimpleFont helvetica = font("Helvetica", "WinAnsiEncoding");
    EXPECT_FALSE(helvetica.encode(U"\u0141\u00F3d\u017A"));  // Łódź: Ł and ź are not in WinAnsi
    EXPECT_FALSE(helvetica.encode(U"\u4E2D"));
    EXPECT_FALSE(helvetica.encode(U"a\nb"));
    EXPECT_EQ(helvetica.encode(U""), std::optional<std::string>(""));
    // A no-break space is shown with the space glyph.
    EXPECT_EQ(helvetica.encode(U"1\u00A0kg"), std::optional<std::string>("1 kg"));
}

TEST(SimpleFont, EachEncodingPlacesCharactersWhereItShould) {
    EXPECT_EQ(font("Helvetica", "MacRomanEncoding").encode(U"\u00E9\u2020"), std::optional<std::string>("\x8E\xA0"));
    EXPECT_EQ(font("Helvetica", "StandardEncoding").encode(U"\u2019'"), std::optional<std::string>("'\xA9"));
    EXPECT_EQ(font("Times-Roman").encode(U"\u2019"), std::optional<std::string>("'"));  // Standard by default

    // Differences by glyph name, by uniXXXX name and by a name with a suffix.
    SimpleFont differences = font("Helvetica", "WinAnsiEncoding", {{1, "Lslash"}, {2, "uni017A"}, {3, "zcaron.sc"}});
    EXPECT_EQ(differences.encode(U"\u0141\u00F3d\u017A"), std::optional<std::string>("\x01\xF3"
                                                                                     "d\x02"));
    EXPECT_EQ(differences.width("\x01"), 556);
    EXPECT_EQ(differences.unicodeFor(3), U'\u017E');

    // The symbol fonts use their own built-in encodings.
    SimpleFont symbol = font("Symbol");
    EXPECT_EQ(symbol.encode(U"\u03B1\u2126"), std::optional<std::string>("aW"));
    // Readers take a glyph name for its first character only: the "Omega" glyph reads as the
    // ohm sign and WinAnsi's "mu" as the micro sign, so Greek capital omega and Greek mu
    // need a face of their own.
    EXPECT_FALSE(symbol.encode(U"\u03A9"));
    EXPECT_EQ(font("Helvetica", "WinAnsiEncoding").encode(U"\u00B5"), std::optional<std::string>("\xB5"));
    EXPECT_FALSE(font("Helvetica", "WinAnsiEncoding").encode(U"\u03BC"));
    EXPECT_EQ(symbol.width("a"), 631);
    EXPECT_FALSE(symbol.encode(U"A"));  // Symbol's 'A' is Alpha
    SimpleFont dingbats = font("ZapfDingbats");
    EXPECT_EQ(dingbats.encode(U"\u2713\u2714"), std::optional<std::string>("34"));
    EXPECT_EQ(dingbats.width("4"), 846);
}

TEST(SimpleFont, WidthsArrayWinsOverStandardMetrics) {
    SimpleFontDescription d;
    d.subtype = "TrueType";
    d.baseFont = "Helvetica";
    d.encodingName = "WinAnsiEncoding";
    d.firstChar = 65;
    d.widths = {700, 0, 650};
    d.missingWidth = 333;
    d.ascent = 905;
    d.descent = -212;
    SimpleFont f(d);
    EXPECT_EQ(f.width("A"), 700);
    EXPECT_EQ(f.width("C"), 650);
    EXPECT_EQ(f.width("z"), 333);
    // Viewers draw a non-embedded standard font with their own copy, whatever the descriptor
    // says of its height; a font of its own is as tall as its descriptor says.
    ASSERT_TRUE(stdfonts::standardFontFor("Helvetica"));
    EXPECT_EQ(f.ascent(), stdfonts::standardFontFor("Helvetica")->ascent);
    EXPECT_EQ(f.descent(), stdfonts::standardFontFor("Helvetica")->descent);
    d.baseFont = "Quorvelsans";
    d.widths = std::vector<double>(58, 600);
    SimpleFont own(d);
    EXPECT_EQ(own.ascent(), 905);
    EXPECT_EQ(own.descent(), -212);
}

TEST(SimpleFont, CharactersOfWidthZeroAreNotShown) {
    // A non-embedded Arial whose /Widths gives 0 for € ‘ ’ “ ” – —: the viewer would draw them
    // over the next character.
    SimpleFontDescription d;
    d.subtype = "TrueType";
    d.baseFont = "ArialMT";
    d.encodingName = "WinAnsiEncoding";
    d.firstChar = 32;
    d.widths.assign(224, 500);
    for (int code : {0x80, 0x91, 0x92, 0x93, 0x94, 0x96, 0x97}) d.widths[code - 32] = 0;
    d.differences = {{0x81, "Lslash"}};
    d.widths[0x81 - 32] = 556;
    SimpleFont arial(d);
    for (const char32_t* text : {U"\u20AC", U"\u2018", U"\u2019", U"\u201C", U"\u201D", U"\u2013", U"\u2014"}) {
        EXPECT_FALSE(arial.encode(text)) << static_cast<uint32_t>(text[0]);
        EXPECT_FALSE(arial.canEncode(text));
    }
    EXPECT_EQ(arial.encode(U"12 \u00E9"), std::optional<std::string>("12 \xE9"));
    EXPECT_TRUE(arial.canEncode(U"12 \u00E9"));
    EXPECT_EQ(arial.encode(U"\u0141"), std::optional<std::string>("\x81"));
    EXPECT_FALSE(arial.embedded());

    // Codes past the end of /Widths take /MissingWidth; 0 there leaves them to other faces too.
    d.differences.clear();
    d.firstChar = 32;
    d.widths.assign(95, 500);
    SimpleFont shortWidths(d);
    EXPECT_TRUE(shortWidths.canEncode(U"abc"));
    EXPECT_FALSE(shortWidths.canEncode(U"\u00E9"));
    d.missingWidth = 600;
    EXPECT_TRUE(SimpleFont(d).canEncode(U"\u00E9"));
}

TEST(SimpleFont, StyleComesFromTheNameAndTheDescriptor) {
    using Kind = FaceStyle::Kind;
    struct Case {
        const char* baseFont;
        int flags;
        double weight, angle;
        Kind kind;
        bool bold, italic;
        const char* family;
    };
    const Case cases[] = {
        {"Helvetica", 0, 0, 0, Kind::Sans, false, false, "Helvetica"},
        {"Helvetica-BoldOblique", 0, 0, 0, Kind::Sans, true, true, "Helvetica"},
        {"ArialMT", 0, 0, 0, Kind::Sans, false, false, "Helvetica"},
        {"Arial,Bold", 0, 0, 0, Kind::Sans, true, false, "Helvetica"},
        {"ABCDEF+TimesNewRomanPS-BoldItalicMT", 0, 0, 0, Kind::Serif, true, true, "Times"},
        {"Times-Roman", 0, 0, 0, Kind::Serif, false, false, "Times"},
        {"Courier-Oblique", 0, 0, 0, Kind::Mono, false, true, "Courier"},
        // Viewers take a standard font by its name, whatever its descriptor says.
        {"Helvetica", 1 | 2 | 64 | (1 << 18), 700, -12, Kind::Sans, false, false, "Helvetica"},
        // Other fonts by their name...
        {"MyriadPro-BoldIt", 0, 0, 0, Kind::Sans, true, true, "MyriadPro"},
        {"QWERTY+SourceSerifPro-Semibold", 0, 0, 0, Kind::Serif, true, false, "SourceSerifPro"},
        {"Consolas", 0, 0, 0, Kind::Mono, false, false, "Consolas"},
        {"Calibri,Italic", 0, 0, 0, Kind::Sans, false, true, "Calibri"},
        // ... and their descriptor's flags, weight and angle.
        {"Quorvel", 1, 0, 0, Kind::Mono, false, false, "Quorvel"},
        {"Quorvel", 2, 0, 0, Kind::Serif, false, false, "Quorvel"},
        {"Quorvel", 64, 0, 0, Kind::Sans, false, true, "Quorvel"},
        {"Quorvel", 1 << 18, 0, 0, Kind::Sans, true, false, "Quorvel"},
        {"Quorvel", 32, 700, -11.5, Kind::Sans, true, true, "Quorvel"},
        {"Quorvel", 32, 400, 0, Kind::Sans, false, false, "Quorvel"},
    };
    for (const auto& c : cases) {
        SimpleFontDescription d;
        d.subtype = "TrueType";
        d.baseFont = c.baseFont;
        d.flags = c.flags;
        d.fontWeight = c.weight;
        d.italicAngle = c.angle;
        FaceStyle style = SimpleFont(d).style();
        EXPECT_EQ(style.kind, c.kind) << c.baseFont << " " << c.flags;
        EXPECT_EQ(style.bold, c.bold) << c.baseFont << " " << c.flags;
        EXPECT_EQ(style.italic, c.italic) << c.baseFont << " " << c.flags;
        EXPECT_EQ(style.family, c.family) << c.baseFont;
    }
}

TEST(SimpleFont, EmbeddedSubsetsOnlyShowTheirOwnGlyphs) {
    FaceRef face = FontService::shared().systemUIFace();
    ASSERT_TRUE(face);
    SimpleFontDescription d;
    d.subtype = "TrueType";
    d.baseFont = "QWERTY+" + face->postScriptName();
    d.encodingName = "WinAnsiEncoding";
    d.fontProgram = qvtest::subsetOf(face, U"Hal \u0308");
    d.differences = {{1, "uni0308"}};
    SimpleFont f(d);
    EXPECT_TRUE(f.embedded());
    EXPECT_EQ(f.encode(U"Hal"), std::optional<std::string>("Hal"));
    EXPECT_FALSE(f.encode(U"Hallo"));  // no 'o' in the subset
    // A combining mark has no width of its own and is shown all the same.
    ASSERT_EQ(f.width("\x01"), 0);
    EXPECT_EQ(f.encode(U"a\u0308"), std::optional<std::string>("a\x01"));
    // Without /Widths the program's own advances count.
    EXPECT_NEAR(f.width("H"), face->advance(face->glyphFor(U'H')), 0.5);

    d.fontProgram = std::string("\x00\x01\x00\x00garbage", 11);
    SimpleFont broken(d);  // an unreadable program is as good as none: no crash
    (void)broken.encode(U"Hal");
}

TEST(SimpleFont, Type3FontsShowNothing) {
    SimpleFontDescription d;
    d.subtype = "Type3";
    d.encodingName = "WinAnsiEncoding";
    d.firstChar = 32;
    d.widths = std::vector<double>(95, 500);
    EXPECT_FALSE(SimpleFont(d).encode(U"A"));
}

TEST(GlyphNames, NamesResolveToCharacters) {
    EXPECT_EQ(stdfonts::unicodeForGlyphName("eacute"), U'\u00E9');
    EXPECT_EQ(stdfonts::unicodeForGlyphName("afii10017"), U'\u0410');
    EXPECT_EQ(stdfonts::unicodeForGlyphName("uni20AC"), U'\u20AC');
    EXPECT_EQ(stdfonts::unicodeForGlyphName("u1F600"), U'\U0001F600');
    EXPECT_FALSE(stdfonts::unicodeForGlyphName("uniD800"));  // a surrogate is no character
    EXPECT_FALSE(stdfonts::unicodeForGlyphName("uni20ac"));  // hex digits are capitals
    EXPECT_FALSE(stdfonts::unicodeForGlyphName("nosuchglyph"));
    EXPECT_FALSE(stdfonts::unicodeForGlyphName(""));
}
