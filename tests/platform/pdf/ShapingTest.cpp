#include <gtest/gtest.h>

#include <numeric>

#include "platform/text/Fonts.h"
#include "platform/text/Shaping.h"

using namespace qvpdf;

namespace {

FaceRef uiFace() { return FontService::shared().systemUIFace(); }

// The text the glyphs stand for, in the order they are drawn.
std::u32string drawnText(const std::vector<GlyphRun>& runs) {
    std::u32string out;
    for (const auto& run : runs)
        for (const auto& g : run.glyphs) out += g.text;
    return out;
}

double totalWidth(const std::vector<GlyphRun>& runs) {
    return std::accumulate(runs.begin(), runs.end(), 0.0,
                           [](double sum, const GlyphRun& run) { return sum + run.width(); });
}

}  // namespace

TEST(Shaping, LatinStaysInThePrimaryFaceAndKeepsItsText) {
    FaceRef face = uiFace();
    ASSERT_TRUE(face);
    auto runs = shapeLine("Zo\xC3\xAB van Dijk", face);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].face, face);
    EXPECT_EQ(drawnText(runs), U"Zo\u00EB van Dijk");
    for (const auto& g : runs[0].glyphs) EXPECT_NE(g.glyphId, 0u);
}

TEST(Shaping, KerningTightensPairs) {
    FaceRef face = uiFace();
    ASSERT_TRUE(face);
    double pair = totalWidth(shapeLine("AV", face));
    double apart = totalWidth(shapeLine("A", face)) + totalWidth(shapeLine("V", face));
    EXPECT_LT(pair, apart);
}

TEST(Shaping, FallsBackPerRunOfCharacters) {
    FaceRef face = uiFace();
    ASSERT_TRUE(face);
    auto runs = shapeLine("Naam: \xE4\xB8\xAD\xE6\x96\x87 ok", face);  // "Naam: 中文 ok"
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].face, face);
    EXPECT_NE(runs[1].face, face);
    EXPECT_TRUE(runs[1].face->hasGlyph(U'\u4E2D'));
    EXPECT_EQ(runs[2].face, face);
    EXPECT_EQ(drawnText(runs), U"Naam: \u4E2D\u6587 ok");
    for (const auto& run : runs)
        for (const auto& g : run.glyphs) EXPECT_NE(g.glyphId, 0u);
}

TEST(Shaping, RightToLeftRunsAreInVisualOrder) {
    FaceRef face = uiFace();
    ASSERT_TRUE(face);
    // "abc שלום def": the Hebrew word is drawn right to left, its last letter leftmost.
    EXPECT_EQ(drawnText(shapeLine("abc \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D def", face)),
              U"abc \u05DD\u05D5\u05DC\u05E9 def");
    // A number after the Hebrew word belongs to the right-to-left run and stays left to right.
    EXPECT_EQ(drawnText(shapeLine("abc \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D 12", face)),
              U"abc 12 \u05DD\u05D5\u05DC\u05E9");

    // A right-to-left paragraph puts the Latin word at the left end of the line.
    auto rtl = shapeLine("\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D abc", face);
    EXPECT_EQ(drawnText(rtl), U"abc \u05DD\u05D5\u05DC\u05E9");
}

TEST(Shaping, ArabicGetsContextualForms) {
    FaceRef face = uiFace();
    ASSERT_TRUE(face);
    auto runs = shapeLine("\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7", face);  // مرحبا
    ASSERT_FALSE(runs.empty());
    const Face& arabic = *runs[0].face;
    EXPECT_TRUE(arabic.hasGlyph(U'\u0645'));
    // Joined letters are drawn with other glyphs than the isolated forms of their characters.
    bool contextual = false;
    for (const auto& run : runs)
        for (const auto& g : run.glyphs)
            if (g.text.size() == 1 && g.glyphId != arabic.glyphFor(g.text[0])) contextual = true;
    EXPECT_TRUE(contextual);
    std::u32string drawn = drawnText(runs);
    EXPECT_EQ(std::u32string(drawn.rbegin(), drawn.rend()), U"\u0645\u0631\u062D\u0628\u0627");
}

TEST(Shaping, CombiningMarksStayWithTheirBase) {
    FaceRef face = uiFace();
    ASSERT_TRUE(face);
    auto runs = shapeLine("e\xCC\x81t\xCC\x88", face);  // e + acute, t + diaeresis
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(drawnText(runs), U"e\u0301t\u0308");
}

TEST(Shaping, InvalidUtf8AndControlsAreDrawnNotDropped) {
    FaceRef face = uiFace();
    ASSERT_TRUE(face);
    auto runs = shapeLine(
        "a\xFF"
        "b\tc",
        face);
    EXPECT_EQ(drawnText(runs), U"a\uFFFDb\tc");
    // The tab is drawn as a space: as wide as one.
    EXPECT_NEAR(measureLine("b\tc", face, 10), measureLine("b c", face, 10), 1e-9);
}

TEST(Measure, IsTheSumOfShapedAdvancesAtTheSize) {
    FaceRef face = uiFace();
    ASSERT_TRUE(face);
    const char* text = "Factuur 2024 \xE2\x80\x94 \xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1";
    double at10 = measureLine(text, face, 10);
    EXPECT_NEAR(at10, totalWidth(shapeLine(text, face)) * 10 / 1000, 1e-9);
    EXPECT_NEAR(measureLine(text, face, 22), at10 * 2.2, 1e-9);
    EXPECT_EQ(measureLine("", face, 12), 0);
    // Leading and trailing spaces are part of the width.
    EXPECT_GT(measureLine(" x ", face, 12), measureLine("x", face, 12));
}

TEST(Shaping, TheGlyphsOfAClusterReadAsExactlyItsText) {
    FaceRef face = uiFace();
    ASSERT_TRUE(face);
    // Reordered vowel signs (Devanagari i, Bengali o drawn in two pieces around the letter),
    // Thai sara am drawn as two glyphs, a conjunct: each cluster's text is on the glyph drawn
    // first, and the glyphs read in drawing order give the text.
    for (const char32_t* text : {U"\u0939\u093F\u0928\u094D\u0926\u0940", U"\u0995\u09CB\u09A5\u09BE\u09DF",
                                 U"\u0E19\u0E49\u0E33", U"\u0915\u094D\u0937\u0924\u094D\u0930\u093F"}) {
        auto runs = shapeText(text, face, FontService::shared());
        EXPECT_EQ(drawnText(runs), text);
        size_t glyphs = 0;
        for (const auto& run : runs) glyphs += run.glyphs.size();
        EXPECT_GT(glyphs, 1u);
    }
    auto thai = shapeText(U"\u0E19\u0E49\u0E33", face, FontService::shared());
    ASSERT_EQ(thai.size(), 1u);
    EXPECT_EQ(thai[0].glyphs.size(), 4u) << "sara am is drawn as nikhahit and sara aa";
    EXPECT_TRUE(thai[0].glyphs.back().text.empty());

    // Right to left, marks and all: each cluster's characters in visual order, which readers
    // reverse with the rest of the line.
    std::u32string arabic = U"\u0645\u064F\u062D\u064E\u0645\u064E\u0651\u062F";  // مُحَمَّد
    std::u32string drawn = drawnText(shapeText(arabic, face, FontService::shared()));
    EXPECT_EQ(std::u32string(drawn.rbegin(), drawn.rend()), arabic);
}
