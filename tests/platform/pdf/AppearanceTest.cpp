#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "DocumentFixtures.h"
#include "platform/pdf/detail/Appearance.h"
#include "platform/text/Embed.h"
#include "platform/text/Fonts.h"
#include "platform/text/Shaping.h"
#include "platform/text/Typesetting.h"

using namespace qvpdf;

namespace {

// What a content stream does with text: each positioned line, the font and size in force.
struct DrawnLine {
    double x = 0, y = 0;
    std::string font;
    double size = 0;
    double width = 0;  // advance in points, from the font widths and TJ adjustments
};

class Fixture {
public:
    Fixture() {
        SimpleFontDescription d;
        d.subtype = "Type1";
        d.baseFont = "Helvetica";
        d.encodingName = "WinAnsiEncoding";
        helvetica = std::make_unique<SimpleFont>(d);
    }

    TextFieldAppearanceRequest request(const std::string& value, double w, double h, const std::string& da) {
        TextFieldAppearanceRequest r;
        r.value = value;
        r.rect[2] = w;
        r.rect[3] = h;
        r.defaultAppearance = da;
        r.formFont = [this](const std::string& name) -> const SimpleFont* {
            return name == "Helv" ? helvetica.get() : nullptr;
        };
        return r;
    }

    // Replays the text operators of our own content streams.
    std::vector<DrawnLine> lines(const Appearance& a) {
        std::vector<DrawnLine> out;
        std::string font;
        double size = 0;
        std::regex token(
            R"(/(\S+) ([0-9.]+) Tf|1 0 0 1 (-?[0-9.]+) (-?[0-9.]+) Tm|<([0-9A-F]*)>( Tj)?|(-?[0-9.]+) (?=[<\]]))");
        for (auto it = std::sregex_iterator(a.content.begin(), a.content.end(), token); it != std::sregex_iterator();
             ++it) {
            const auto& m = *it;
            if (m[1].matched) {
                font = m[1];
                size = std::stod(m[2]);
            } else if (m[3].matched) {
                out.push_back({std::stod(m[3]), std::stod(m[4]), font, size, 0});
            } else if (m[5].matched && !out.empty()) {
                std::string hex = m[5];
                out.back().font = font;
                out.back().size = size;
                if (m[6].matched) {  // the form font: one byte per code
                    std::string bytes;
                    for (size_t i = 0; i + 2 <= hex.size(); i += 2)
                        bytes += static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16));
                    out.back().width += helvetica->width(bytes) * size / 1000;
                } else {
                    for (size_t i = 0; i + 4 <= hex.size(); i += 4)
                        out.back().width +=
                            embeddedGlyphWidth(*system(), std::stoul(hex.substr(i, 4), nullptr, 16)) * size / 1000;
                }
            } else if (m[7].matched && !out.empty()) {
                out.back().width -= std::stod(m[7]) * size / 1000;
            }
        }
        return out;
    }

    static FaceRef system() { return FontService::shared().systemUIFace(); }

    std::unique_ptr<SimpleFont> helvetica;
    FontEmbedder embedder;
};

bool contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

// The form's own font for a standard /BaseFont, not embedded.
std::unique_ptr<SimpleFont> standard(const std::string& baseFont) {
    SimpleFontDescription d;
    d.subtype = "Type1";
    d.baseFont = baseFont;
    d.encodingName = "WinAnsiEncoding";
    return std::make_unique<SimpleFont>(d);
}

}  // namespace

TEST(Appearance, UsesTheDefaultAppearanceFontSizeAndColour) {
    Fixture f;
    auto a = buildTextFieldAppearance(f.request("Hallo", 200, 20, "/Helv 10 Tf 1 0 0 rg"), f.embedder);
    EXPECT_TRUE(contains(a.content, "/Tx BMC"));
    EXPECT_TRUE(contains(a.content, "W n"));
    EXPECT_TRUE(contains(a.content, "1 0 0 rg"));
    EXPECT_TRUE(contains(a.content, "/Helv 10 Tf"));
    EXPECT_TRUE(contains(a.content, "<48616C6C6F> Tj"));
    EXPECT_EQ(a.formFonts, std::vector<std::string>{"Helv"});
    EXPECT_TRUE(a.embeddedFonts.empty());
    EXPECT_EQ(a.bbox[2], 200);
    EXPECT_EQ(a.bbox[3], 20);

    // Colour in grey and CMYK; a broken /DA still draws in black.
    EXPECT_TRUE(
        contains(buildTextFieldAppearance(f.request("x", 50, 20, "0.5 g /Helv 9 Tf"), f.embedder).content, "0.5 g"));
    EXPECT_TRUE(contains(buildTextFieldAppearance(f.request("x", 50, 20, "/Helv 9 Tf 0 0 0 1 k"), f.embedder).content,
                         "0 0 0 1 k"));
    auto broken = buildTextFieldAppearance(f.request("x", 50, 20, "Tf rg ] (x"), f.embedder);
    EXPECT_TRUE(contains(broken.content, "0 g"));
    EXPECT_EQ(f.lines(broken).size(), 1u);
}

TEST(Appearance, FallsBackPerRunToSystemFaces) {
    Fixture f;
    const std::string value =
        "Zo\xC3\xAB \xE4\xB8\xAD\xE6\x96\x87 \xC5\x81\xC3\xB3"
        "d\xC5\xBA";  // Zoë 中文 Łódź
    // A font the form embeds shows what it can; the rest goes to system faces per run.
    SimpleFontDescription d;
    d.subtype = "TrueType";
    d.baseFont = "QWERTY+" + Fixture::system()->postScriptName();
    d.encodingName = "WinAnsiEncoding";
    d.fontProgram = qvtest::subsetOf(Fixture::system(), U"Zo\u00EB d\u00F3");
    SimpleFont embedded(d);
    auto r = f.request(value, 300, 20, "/Helv 10 Tf 0 g");
    r.formFont = [&embedded](const std::string&) -> const SimpleFont* { return &embedded; };
    auto a = buildTextFieldAppearance(r, f.embedder);
    EXPECT_EQ(a.formFonts, std::vector<std::string>{"Helv"});
    EXPECT_FALSE(a.embeddedFonts.empty());
    EXPECT_EQ(f.embedder.build().size(), a.embeddedFonts.size());
    // "Zoë " in the form's font, then the system faces, then "ó" and "d" in the form's font again.
    EXPECT_TRUE(contains(a.content, "<5A6FEB20> Tj"));
    EXPECT_TRUE(contains(a.content, "<F364> Tj"));

    // Helvetica the form does not embed shows a value whole or not at all: here the Latin text
    // is one face of ours throughout and only the Han characters need another.
    auto whole = buildTextFieldAppearance(f.request(value, 300, 20, "/Helv 10 Tf 0 g"), f.embedder);
    EXPECT_TRUE(whole.formFonts.empty());
    EXPECT_EQ(whole.embeddedFonts.size(), 2u);
    // Line breaks and tabs are no characters to show: they leave the form's font in charge.
    auto lines = f.request("Zo\xC3\xAB\nen\tik", 300, 60, "/Helv 10 Tf 0 g");
    lines.multiline = true;
    auto controls = buildTextFieldAppearance(lines, f.embedder);
    EXPECT_EQ(controls.formFonts, std::vector<std::string>{"Helv"});
    EXPECT_TRUE(contains(controls.content, "<5A6FEB> Tj")) << controls.content;

    // A /DA font the form does not have: everything in system faces.
    auto missing = buildTextFieldAppearance(f.request("Hallo", 100, 20, "/Arial 10 Tf 0 g"), f.embedder);
    EXPECT_TRUE(missing.formFonts.empty());
    EXPECT_EQ(missing.embeddedFonts.size(), 1u);

    // Right-to-left text is shaped as a whole, never in the single-byte font.
    auto hebrew =
        buildTextFieldAppearance(f.request("abc \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D", 100, 20, "/Helv 10 Tf"), f.embedder);
    EXPECT_TRUE(hebrew.formFonts.empty());
}

TEST(Appearance, FallbackFacesMatchTheFieldFontsKindWeightAndSlant) {
    Fixture f;
    struct Case {
        const char* baseFont;
        bool bold, italic;
        std::vector<std::string> kind;  // one of these in the face's name
    };
    const Case cases[] = {
        {"Helvetica-Bold", true, false, {"Sans"}},
        {"Helvetica-Oblique", false, true, {"Sans"}},
        {"Arial,BoldItalic", true, true, {"Sans"}},
        {"Times-Roman", false, false, {"Serif", "Roman", "Times"}},
        {"Times-BoldItalic", true, true, {"Serif", "Roman", "Times"}},
        {"Courier", false, false, {"Mono", "Courier"}},
        {"Courier-BoldOblique", true, true, {"Mono", "Courier"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.baseFont);
        auto font = standard(c.baseFont);
        FontEmbedder embedder;
        auto r = f.request("\xC3\x8B\xC4\x9F\xC3\xA7", 200, 20, "/Helv 10 Tf 0 g");  // Ëğç: no ğ in WinAnsi
        r.formFont = [&font](const std::string&) -> const SimpleFont* { return font.get(); };
        auto a = buildTextFieldAppearance(r, embedder);
        // The whole word in one face: no upright regular letter inside a bold or slanted word.
        EXPECT_TRUE(a.formFonts.empty());
        ASSERT_EQ(a.embeddedFonts.size(), 1u);
        auto built = embedder.build();
        ASSERT_EQ(built.size(), 1u);
        const EmbeddedFont& e = built.begin()->second;
        EXPECT_EQ(e.baseFont.find("Bold") != std::string::npos, c.bold) << e.baseFont;
        EXPECT_EQ(e.italicAngle != 0, c.italic) << e.baseFont;
        EXPECT_TRUE(std::any_of(c.kind.begin(), c.kind.end(), [&](const std::string& k) {
            return e.baseFont.find(k) != std::string::npos;
        })) << e.baseFont;
        if (c.kind[0] == "Sans") {
            EXPECT_EQ(e.baseFont.find("Mono"), std::string::npos) << e.baseFont;
        }
    }

    // Composed first: "o" and a combining diaeresis are Courier's own "ö", no face of ours.
    auto courier = standard("Courier");
    auto r = f.request("o\xCC\x88k", 200, 20, "/Helv 10 Tf 0 g");
    r.formFont = [&courier](const std::string&) -> const SimpleFont* { return courier.get(); };
    auto composed = buildTextFieldAppearance(r, f.embedder);
    EXPECT_TRUE(contains(composed.content, "<F66B> Tj")) << composed.content;
    EXPECT_TRUE(composed.embeddedFonts.empty());

    // A field whose font the form lacks keeps the regular sans face.
    auto missing = buildTextFieldAppearance(f.request("\xC4\x9F", 100, 20, "/Nope 10 Tf 0 g"), f.embedder);
    EXPECT_EQ(missing.embeddedFonts.size(), 1u);
}

TEST(Appearance, ZeroWidthCharactersOfTheFormFontGoToAnotherFace) {
    Fixture f;
    // Arial as forms often list it: not embedded, its /Widths 0 for the euro sign.
    SimpleFontDescription d;
    d.subtype = "TrueType";
    d.baseFont = "ArialMT";
    d.encodingName = "WinAnsiEncoding";
    d.firstChar = 32;
    d.widths.assign(224, 556);
    d.widths[0x80 - 32] = 0;
    SimpleFont arial(d);
    auto r = f.request(
        "\xE2\x82\xAC"
        "12",
        200, 20, "/Helv 10 Tf 0 g");
    r.formFont = [&arial](const std::string&) -> const SimpleFont* { return &arial; };
    auto a = buildTextFieldAppearance(r, f.embedder);
    EXPECT_TRUE(a.formFonts.empty());
    EXPECT_EQ(a.embeddedFonts.size(), 1u);

    r.value = "12";
    EXPECT_TRUE(contains(buildTextFieldAppearance(r, f.embedder).content, "<3132> Tj"));
}

TEST(Appearance, AutomaticSizeFitsHeightAndWidth) {
    Fixture f;
    auto shortText = f.lines(buildTextFieldAppearance(f.request("Kort", 200, 20, "/Helv 0 Tf 0 g"), f.embedder));
    ASSERT_EQ(shortText.size(), 1u);
    double lineHeight = (f.helvetica->ascent() - f.helvetica->descent()) / 1000;
    EXPECT_LE(shortText[0].size * lineHeight, 20);
    EXPECT_GT(shortText[0].size * lineHeight, 12);

    std::string longValue(30, 'W');
    auto longText = f.lines(buildTextFieldAppearance(f.request(longValue, 200, 20, "/Helv 0 Tf 0 g"), f.embedder));
    ASSERT_EQ(longText.size(), 1u);
    EXPECT_LT(longText[0].size, shortText[0].size);
    EXPECT_LE(longText[0].x + longText[0].width, 200 - 2 + 0.01);

    // A multi-line field starts at 12 points and shrinks until the text fits the height.
    auto r = f.request("een twee drie vier vijf zes zeven acht negen tien elf twaalf", 120, 200, "/Helv 0 Tf 0 g");
    r.multiline = true;
    auto roomy = f.lines(buildTextFieldAppearance(r, f.embedder));
    ASSERT_FALSE(roomy.empty());
    EXPECT_EQ(roomy[0].size, 12);
    r.rect[3] = 25;
    auto tight = f.lines(buildTextFieldAppearance(r, f.embedder));
    ASSERT_FALSE(tight.empty());
    EXPECT_LT(tight[0].size, 12);
    EXPECT_GE(tight.back().y + f.helvetica->descent() / 1000 * tight.back().size, -0.01);
}

TEST(Appearance, AlignsAndCentresOneLine) {
    Fixture f;
    for (int q : {0, 1, 2}) {
        auto r = f.request("Midden", 200, 30, "/Helv 12 Tf 0 g");
        r.quadding = q;
        auto lines = f.lines(buildTextFieldAppearance(r, f.embedder));
        ASSERT_EQ(lines.size(), 1u);
        const auto& l = lines[0];
        double expected = q == 0 ? l.x - 2 : q == 1 ? l.x + l.width / 2 - 100 : l.x + l.width - 198;
        EXPECT_NEAR(expected, 0, 0.01) << q;
        // Vertically centred: equal room above the ascent and below the descent.
        double above = 30 - (l.y + f.helvetica->ascent() / 1000 * 12);
        double below = l.y + f.helvetica->descent() / 1000 * 12;
        EXPECT_NEAR(above, below, 0.01);
    }
}

TEST(Appearance, MultilineWrapsAtTheWidthAndHonoursLineBreaks) {
    Fixture f;
    auto r = f.request("een twee drie vier vijf zes zeven", 80, 200, "/Helv 10 Tf 0 g");
    r.multiline = true;
    auto lines = f.lines(buildTextFieldAppearance(r, f.embedder));
    ASSERT_GT(lines.size(), 2u);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].width, 80 - 4 + 0.01);
        if (i > 0) {
            EXPECT_LT(lines[i].y, lines[i - 1].y);
        }
    }

    r.value = "a\r\nb\rc\nd\n\ne";
    EXPECT_EQ(f.lines(buildTextFieldAppearance(r, f.embedder)).size(), 5u);  // the empty line draws nothing

    // A word longer than the line is broken; nothing of it is lost.
    r.value = std::string(40, 'x');
    auto broken = f.lines(buildTextFieldAppearance(r, f.embedder));
    ASSERT_GT(broken.size(), 1u);
    double total = 0;
    for (const auto& l : broken) total += l.width;
    EXPECT_NEAR(total, 40 * f.helvetica->width("x") * 10 / 1000, 0.01);
}

TEST(Appearance, CombFieldsCentreOneCharacterPerCell) {
    Fixture f;
    auto r = f.request("1234", 100, 20, "/Helv 10 Tf 0 g");
    r.comb = true;
    r.maxLen = 5;
    auto lines = f.lines(buildTextFieldAppearance(r, f.embedder));
    ASSERT_EQ(lines.size(), 4u);
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_NEAR(lines[i].x + lines[i].width / 2, 10 + 20 * i, 0.01);
}

TEST(Appearance, RotationSwapsTheBoxAndTurnsTheMatrix) {
    Fixture f;
    const double w = 120, h = 30;
    for (int rotation : {0, 90, 180, 270}) {
        auto r = f.request("Draai", w, h, "/Helv 10 Tf 0 g");
        r.rotation = rotation;
        auto a = buildTextFieldAppearance(r, f.embedder);
        bool swapped = rotation == 90 || rotation == 270;
        EXPECT_EQ(a.bbox[2], swapped ? h : w) << rotation;
        EXPECT_EQ(a.bbox[3], swapped ? w : h) << rotation;
        // The matrix maps the box onto the widget's rectangle.
        double minX = 1e9, minY = 1e9, maxX = -1e9, maxY = -1e9;
        for (double x : {a.bbox[0], a.bbox[2]})
            for (double y : {a.bbox[1], a.bbox[3]}) {
                double tx = a.matrix[0] * x + a.matrix[2] * y + a.matrix[4];
                double ty = a.matrix[1] * x + a.matrix[3] * y + a.matrix[5];
                minX = std::min(minX, tx), maxX = std::max(maxX, tx);
                minY = std::min(minY, ty), maxY = std::max(maxY, ty);
            }
        EXPECT_NEAR(minX, 0, 1e-9);
        EXPECT_NEAR(minY, 0, 1e-9);
        EXPECT_NEAR(maxX, w, 1e-9);
        EXPECT_NEAR(maxY, h, 1e-9);
        // Text runs along the long side: 90 degrees counter-clockwise is [0 1 -1 0].
        if (rotation == 90) {
            EXPECT_EQ(std::vector<double>(a.matrix, a.matrix + 4), (std::vector<double>{0, 1, -1, 0}));
        }
    }
}

TEST(Appearance, BorderAndBackgroundFollowTheWidget) {
    Fixture f;
    auto r = f.request("x", 100, 20, "/Helv 10 Tf 0 g");
    EXPECT_FALSE(contains(buildTextFieldAppearance(r, f.embedder).content, " re S"));

    r.backgroundColor = std::vector<double>{0.9};
    r.borderColor = std::vector<double>{1, 0, 0};
    r.borderWidth = 2;
    auto solid = buildTextFieldAppearance(r, f.embedder).content;
    EXPECT_TRUE(contains(solid, "0.9 g\n0 0 100 20 re f"));
    EXPECT_TRUE(contains(solid, "1 0 0 RG\n2 w\n1 1 98 18 re S"));
    EXPECT_LT(solid.find("re f"), solid.find("/Tx BMC"));  // decoration outside the marked text

    r.borderStyle = "D";
    EXPECT_TRUE(contains(buildTextFieldAppearance(r, f.embedder).content, "[3] 0 d"));
    r.borderStyle = "U";
    auto underline = buildTextFieldAppearance(r, f.embedder).content;
    EXPECT_TRUE(contains(underline, "0 1 m 100 1 l S"));
    EXPECT_FALSE(contains(underline, " re S"));
    r.borderStyle = "B";
    auto beveled = buildTextFieldAppearance(r, f.embedder);
    EXPECT_TRUE(contains(beveled.content, "1 g\n2 2 m"));
    // Beveled borders are twice as wide inside: the clip leaves them alone.
    EXPECT_TRUE(contains(beveled.content, "4 4 92 12 re W n"));

    r.borderColor = std::vector<double>{};  // transparent
    EXPECT_FALSE(contains(buildTextFieldAppearance(r, f.embedder).content, " w\n"));
}

TEST(Appearance, EmptyValueDrawsNoText) {
    Fixture f;
    auto a = buildTextFieldAppearance(f.request("", 100, 20, "/Helv 10 Tf 0 g"), f.embedder);
    EXPECT_TRUE(contains(a.content, "/Tx BMC\nEMC"));
    EXPECT_FALSE(contains(a.content, "BT"));
}

TEST(FreeTextAppearance, DrawsExactlyWhatWasMeasured) {
    Fixture f;
    FaceRef face = Fixture::system();
    ASSERT_TRUE(face);
    for (const char* text : {" Klant: Zo\xC3\xAB van Dijk ", "AVAVA Wo", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D 12",
                             "\xE4\xB8\xAD\xE6\x96\x87 ok"}) {
        FreeTextAppearanceRequest r;
        r.rect[0] = 10;
        r.rect[1] = 10;
        r.rect[2] = 585;
        r.rect[3] = 36;
        r.text = text;
        r.face = face;
        r.size = 16;
        r.gray = 0.35;
        auto a = buildFreeTextAppearance(r, f.embedder);
        EXPECT_TRUE(contains(a.content, "0.35 g")) << text;
        EXPECT_EQ(a.bbox[2], 575);
        EXPECT_EQ(a.bbox[3], 26);
        // One positioned line; the fallback faces need their own widths.
        double drawn = 0, x = -1;
        std::regex tm(R"(1 0 0 1 (-?[0-9.]+) (-?[0-9.]+) Tm)");
        std::smatch m;
        ASSERT_TRUE(std::regex_search(a.content, m, tm));
        x = std::stod(m[1]);
        // Sum of glyph advances as drawn, per face.
        std::regex piece(R"(/(QVF[0-9]+) [0-9.]+ Tf|<([0-9A-F]+)>|(-?[0-9.]+) (?=[<\]]))");
        FaceRef current;
        std::map<std::string, FaceRef> faces;
        for (const auto& run : shapeLine(text, face)) faces[f.embedder.use(run).resourceName] = run.face;
        for (auto it = std::sregex_iterator(a.content.begin(), a.content.end(), piece); it != std::sregex_iterator();
             ++it) {
            if ((*it)[1].matched) {
                current = faces[(*it)[1]];
            } else if ((*it)[2].matched) {
                std::string hex = (*it)[2];
                for (size_t i = 0; i + 4 <= hex.size(); i += 4)
                    drawn += embeddedGlyphWidth(*current, std::stoul(hex.substr(i, 4), nullptr, 16)) * 16 / 1000;
            } else {
                drawn -= std::stod((*it)[3]) * 16 / 1000;
            }
        }
        double measured = measureLine(text, face, 16);
        EXPECT_NEAR(drawn, measured, 0.01) << text;
        EXPECT_NEAR(x + measured / 2, 575 / 2.0, 0.01) << text;  // centred
    }
}

TEST(AppearanceParts, AValueFarLongerThanTheFieldIsDrawnInPartInWholeCharacters) {
    Fixture f;
    TextFieldAppearanceRequest r = f.request("", 200, 20, "/Helv 0 Tf 0 g");
    EXPECT_EQ(drawablePart("Jan de Vries", r), "Jan de Vries");
    const std::string huge = "\xC3\xA9" + std::string(3'000'000, 'x') + "\xE2\x82\xAC";
    auto startsCharacter = [](std::string_view part) { return (static_cast<unsigned char>(part[0]) & 0xC0) != 0x80; };
    auto inside = [&](std::string_view part) {
        return part.data() >= huge.data() && part.end() <= huge.data() + huge.size();
    };

    // Left-aligned: the start; right-aligned: the end; centred: the middle.
    std::string_view part = drawablePart(huge, r);
    EXPECT_LT(part.size(), 100'000u);
    EXPECT_TRUE(part.starts_with("\xC3\xA9") && inside(part));
    r.quadding = 2;
    part = drawablePart(huge, r);
    EXPECT_TRUE(part.ends_with("\xE2\x82\xAC") && part.size() < 100'000u && startsCharacter(part));
    r.quadding = 1;
    part = drawablePart(huge, r);
    EXPECT_TRUE(part.size() < 100'000u && part.find('x') == 0 && part.find_first_not_of('x') == std::string::npos);

    // Several lines show more, a smaller /DA size more again; never more than the ceiling.
    r.quadding = 0;
    r.multiline = true;
    const size_t block = drawablePart(huge, r).size();
    EXPECT_GT(block, part.size());
    r.defaultAppearance = "/Helv 1 Tf 0 g";
    EXPECT_GT(drawablePart(huge, r).size(), block);
    r.rect[2] = r.rect[3] = 14400;
    const std::string_view most = drawablePart(huge, r);
    EXPECT_EQ(most.size() -
                  static_cast<size_t>(std::count_if(
                      most.begin(), most.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; })),
              kMostDrawnCharacters);
    // A comb field draws what it accepted.
    r.comb = true;
    EXPECT_EQ(drawablePart(huge, r).size(), huge.size());
}

TEST(AppearanceParts, LinesBelowAMultiLineBoxAreNotLaidOut) {
    Fixture f;
    FontEmbedder embedder;
    std::string words;
    while (words.size() < 200'000) words += "woord ";
    for (const char* da : {"/Helv 10 Tf 0 g", "/Helv 0 Tf 0 g"}) {
        SCOPED_TRACE(da);
        TextFieldAppearanceRequest r = f.request(words, 200, 100, da);
        r.multiline = true;
        const std::vector<DrawnLine> drawn = f.lines(buildTextFieldAppearance(r, embedder));
        // 100 points hold ten lines of 10 points, or 25 of the smallest automatic size; one
        // or two more may show in part.
        EXPECT_GE(drawn.size(), 10u);
        EXPECT_LE(drawn.size(), 28u);
        ASSERT_FALSE(drawn.empty());
        EXPECT_GT(drawn.back().y, -20);
    }
}
