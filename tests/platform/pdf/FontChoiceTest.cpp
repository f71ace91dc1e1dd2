// Which faces draw a filled value: the form's own font where it really can, and otherwise a face
// of its kind, weight and slant; checked with pdffonts, pdftotext and pdftoppm.

#include <gtest/gtest.h>

#include <sstream>

#include "DocumentFixtures.h"
#include "platform/text/StandardFonts.h"
#include "support/TestSupport.h"

using namespace qvpdf;
using namespace qvtest;

namespace {

struct FontRow {
    std::string name;
    bool embedded = false;
};

// The fonts pdffonts finds on the page and in the widgets' appearances.
std::vector<FontRow> fontsOf(const std::string& pdf) {
    TempDir dir;
    writeFile(dir / "in.pdf", pdf);
    CommandResult r = runCommand({"pdffonts", (dir / "in.pdf").string()});
    EXPECT_EQ(r.status, 0) << r.errors;
    std::vector<FontRow> rows;
    std::istringstream lines(r.output);
    std::string line;
    for (int skip = 0; skip < 2 && std::getline(lines, line); ++skip) {
    }
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::vector<std::string> tokens;
        for (std::string w; words >> w;) tokens.push_back(w);
        // name, type (one or two words), encoding, emb, sub, uni, object number and generation
        if (tokens.size() < 7) continue;
        rows.push_back({tokens[0], tokens[tokens.size() - 5] == "yes"});
    }
    return rows;
}

std::vector<std::string> embeddedNames(const std::string& pdf) {
    std::vector<std::string> names;
    for (const auto& row : fontsOf(pdf))
        if (row.embedded) names.push_back(row.name);
    return names;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A form whose fields all use /Helv, which is `font`, filled with the values in order.
std::string filled(const std::string& font, const std::vector<std::string>& values) {
    std::vector<FixtureField> fields(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        fields[i].name = "veld" + std::to_string(i);
        fields[i].rect[1] = 700 - 40.0 * static_cast<double>(i);
        fields[i].rect[3] = fields[i].rect[1] + 22;
    }
    auto doc = PDFDocument::initWithData(makeForm(fields, 1, font));
    if (!doc) return {};
    size_t i = 0;
    for (const auto& a : doc->pageAtIndex(0)->annotations())
        if (a->widgetFieldType() == PDFAnnotationWidgetSubtypeText && i < values.size()) {
            EXPECT_TRUE(a->setWidgetStringValue(values[i++]));
        }
    auto out = doc->dataRepresentation();
    return out ? *out : std::string();
}

std::string standardFont(const std::string& baseFont) {
    return "<</Type /Font /Subtype /Type1 /BaseFont /" + baseFont + " /Encoding /WinAnsiEncoding>>";
}

}  // namespace

TEST(FontChoice, ZeroWidthsInTheFormFontLeaveRoomForTheEuroSign) {
    // Arial as many forms carry it: not embedded, and 0 in /Widths for € ‘ ’ “ ” – —.
    const auto& helvetica = *stdfonts::standardFontFor("Helvetica");
    std::string widths;
    for (int code = 32; code < 256; ++code) {
        bool zero = code == 0x80 || (code >= 0x91 && code <= 0x94) || code == 0x96 || code == 0x97;
        uint16_t glyph = stdfonts::kWinAnsiEncoding[code];
        double w = glyph ? stdfonts::standardWidth(helvetica, glyph - 1u).value_or(0) : 0;
        widths += std::to_string(zero ? 0 : static_cast<int>(w)) + " ";
    }
    std::string arial =
        "<</Type /Font /Subtype /TrueType /BaseFont /ArialMT /Encoding /WinAnsiEncoding /FirstChar 32 "
        "/LastChar 255 /Widths [" +
        widths +
        "] /FontDescriptor <</Type /FontDescriptor /FontName "
        "/ArialMT /Flags 32 /FontBBox [-665 -325 2000 1006] /ItalicAngle 0 /Ascent 905 /Descent -212 "
        "/CapHeight 716 /StemV 80>>>>";
    std::string pdf = filled(arial, {"\xE2\x82\xAC"
                                     "12",
                                     "12",
                                     "\xE2\x80\x9C"
                                     "a\xE2\x80\x9D \xE2\x80\x93 b"});
    ASSERT_FALSE(pdf.empty());
    ASSERT_TRUE(qpdfCheckClean(pdf));

    // The euro sign comes from a face we embed, and takes its own room before the digits.
    EXPECT_EQ(embeddedNames(pdf).size(), 1u);
    auto euro = wordBox(pdf,
                        "\xE2\x82\xAC"
                        "12");
    auto digits = wordBox(pdf, "12");
    ASSERT_TRUE(euro && digits);
    double euroWidth = ((*euro)[2] - (*euro)[0]) - ((*digits)[2] - (*digits)[0]);
    EXPECT_GT(euroWidth, 0.4 * 12) << "the euro sign overlaps the digits";
    EXPECT_LT(euroWidth, 0.8 * 12);
    std::string text = pdfText(pdf);
    EXPECT_TRUE(has(text,
                    "\xE2\x82\xAC"
                    "12"))
        << text;
    EXPECT_TRUE(has(text,
                    "\xE2\x80\x9C"
                    "a\xE2\x80\x9D \xE2\x80\x93 b"))
        << text;
}

TEST(FontChoice, StandardFontsThatCannotShowAValueGiveWayToOneFaceOfTheirStyle) {
    struct Case {
        const char* baseFont;
        bool bold, italic;
        std::vector<std::string> kind;  // one of these in the embedded face's name
    };
    const Case cases[] = {
        {"Helvetica-Bold", true, false, {"Sans"}},
        {"Helvetica-BoldOblique", true, true, {"Sans"}},
        {"Times-Roman", false, false, {"Serif", "Roman", "Times"}},
        {"Times-Italic", false, true, {"Serif", "Roman", "Times"}},
        {"Courier", false, false, {"Mono", "Courier"}},
    };
    const std::string value = "\xC3\x8B\xC4\x9F\xC3\xA7";  // Ëğç: Ë and ç in WinAnsi, ğ not
    for (const auto& c : cases) {
        SCOPED_TRACE(c.baseFont);
        std::string pdf = filled(standardFont(c.baseFont), {value});
        ASSERT_FALSE(pdf.empty());
        auto names = embeddedNames(pdf);
        ASSERT_EQ(names.size(), 1u);  // the whole word in one face
        const std::string& name = names[0];
        EXPECT_EQ(has(name, "Bold"), c.bold) << name;
        EXPECT_EQ(has(name, "Italic") || has(name, "Oblique"), c.italic) << name;
        EXPECT_TRUE(std::any_of(c.kind.begin(), c.kind.end(), [&](const std::string& k) { return has(name, k); }))
            << name;
        EXPECT_TRUE(has(pdfText(pdf), value));
        EXPECT_GT(inkInside(pdf, 0, PDFRect{72, 700, 228, 22}), 0.01);
    }
}

TEST(FontChoice, DecomposedLettersUseTheFormFontsOwnGlyph) {
    std::string pdf = filled(standardFont("Courier"), {"Co\xCC\x88"
                                                       "rdinaat"});  // o + combining diaeresis
    ASSERT_FALSE(pdf.empty());
    EXPECT_TRUE(embeddedNames(pdf).empty());
    std::string text = pdfText(pdf);
    EXPECT_TRUE(has(text, "C\xC3\xB6rdinaat")) << text;
    EXPECT_GT(inkInside(pdf, 0, PDFRect{72, 700, 228, 22}), 0.01);

    // The value itself is kept as it was given.
    auto reopened = PDFDocument::initWithData(unfamiliar(pdf));
    ASSERT_TRUE(reopened);
    for (const auto& a : reopened->pageAtIndex(0)->annotations())
        if (a->widgetFieldType() == PDFAnnotationWidgetSubtypeText) {
            EXPECT_EQ(a->widgetStringValue(), "Co\xCC\x88rdinaat");
        }
}
