// Setting values and writing documents: what independent readers see in the output.

#include <gtest/gtest.h>

#include "DocumentFixtures.h"
#include "support/TestSupport.h"

using namespace qvpdf;
using namespace qvtest;

namespace {

const std::vector<std::string> kWorldValues = {
    "Één café, coöperatie",  // Dutch with accents
    "Zażółć gęślą jaźń",     // Polish
    "Ελληνική γλώσσα",       // Greek
    "Привет, мир",           // Russian
    "你好世界",              // Chinese
    "こんにちは",            // Japanese
    "مرحبا بالعالم",         // Arabic
    "שלום עולם",             // Hebrew
};

std::vector<FixtureField> column(size_t n) {
    std::vector<FixtureField> fs(n);
    for (size_t i = 0; i < n; ++i) {
        fs[i].name = "veld" + std::to_string(i);
        fs[i].rect[1] = 700 - 40.0 * static_cast<double>(i);
        fs[i].rect[3] = fs[i].rect[1] + 22;
        fs[i].rect[2] = 400;
    }
    return fs;
}

std::vector<std::shared_ptr<PDFAnnotation>> textWidgets(PDFDocument& doc) {
    std::vector<std::shared_ptr<PDFAnnotation>> out;
    for (size_t i = 0; i < doc.pageCount(); ++i)
        for (const auto& a : doc.pageAtIndex(i)->annotations())
            if (a->widgetFieldType() == PDFAnnotationWidgetSubtypeText) out.push_back(a);
    return out;
}

bool shows(const std::string& text, const std::string& value) {
    return squeeze(text).find(squeeze(value)) != std::string::npos;
}

}  // namespace

TEST(PDFDocumentWrite, WorldTextIsShownSavedAndBurnedIn) {
    std::string form = makeForm(column(kWorldValues.size()));
    auto doc = PDFDocument::initWithData(form);
    ASSERT_TRUE(doc);
    auto fields = textWidgets(*doc);
    ASSERT_EQ(fields.size(), kWorldValues.size());
    for (size_t i = 0; i < fields.size(); ++i) ASSERT_TRUE(fields[i]->setWidgetStringValue(kWorldValues[i]));
    for (bool burn : {false, true}) {
        SCOPED_TRACE(burn ? "burned in" : "saved");
        auto out = doc->dataRepresentationWithOptions({burn});
        ASSERT_TRUE(out);
        std::string report;
        EXPECT_TRUE(qpdfCheckClean(*out, &report)) << report;
        std::string text = pdfText(*out);
        for (size_t i = 0; i < 4; ++i) EXPECT_TRUE(shows(text, kWorldValues[i])) << kWorldValues[i] << "\n" << text;
        for (size_t i = 4; i < kWorldValues.size(); ++i) {
            // Right-to-left text comes out of pdftotext in either order; the letters must be there.
            std::string v = kWorldValues[i];
            std::string firstWord = v.substr(0, v.find(' '));
            EXPECT_TRUE(shows(text, firstWord) || shows(text, v)) << v << "\n" << text;
        }
        // Reopened by a real parse, the values are stored exactly.
        auto reopened = PDFDocument::initWithData(unfamiliar(*out));
        ASSERT_TRUE(reopened);
        if (!burn) {
            auto again = textWidgets(*reopened);
            ASSERT_EQ(again.size(), kWorldValues.size());
            for (size_t i = 0; i < again.size(); ++i) EXPECT_EQ(again[i]->widgetStringValue(), kWorldValues[i]);
        }
    }
}

TEST(PDFDocumentWrite, RealFormsTakeValuesWhateverTheirStructure) {
    // Classic xref, xref streams, linearized with updates, no /AP, no /DR, inherited /DA.
    const char* forms[] = {
        "libreoffice-two-text.pdf",      "docfly-std14-fonts.pdf",     "acrobat-textfields.pdf",
        "pdftex-one-text.pdf",           "handwritten-no-dr-kids.pdf", "acrobat-different-da-levels.pdf",
        "soda-text-sizes.pdf",           "tcpdf-one-text.pdf",         "livecycle-xfa-text.pdf",
        "docfly-paragraph-autosize.pdf", "acrobat-cropbox-comb.pdf",   "libreoffice-rotated-pages.pdf"};
    for (const char* name : forms) {
        SCOPED_TRACE(name);
        std::string form = readForm(name);
        auto doc = PDFDocument::initWithData(form);
        ASSERT_TRUE(doc);
        int n = 0;
        for (const auto& a : textWidgets(*doc)) {
            // Comb fields have room for a few characters only.
            std::string value = a->maximumLength() > 0 ? "Wą" : "Wąż" + std::to_string(++n);
            ASSERT_TRUE(a->setWidgetStringValue(value));
        }
        for (bool burn : {false, true}) {
            auto out = doc->dataRepresentationWithOptions({burn});
            ASSERT_TRUE(out);
            std::string report;
            EXPECT_TRUE(qpdfCheckClean(*out, &report)) << report;
            EXPECT_TRUE(shows(pdfText(*out), "Wą")) << (burn ? "burned" : "saved");
        }
    }
}

TEST(PDFDocumentWrite, UpdateKeepsTheTemplatesKindOfCrossReference) {
    std::string classic = readForm("libreoffice-two-text.pdf");
    std::string streams = readForm("docfly-std14-fonts.pdf");
    for (const std::string* form : {&classic, &streams}) {
        auto doc = PDFDocument::initWithData(*form);
        ASSERT_TRUE(doc);
        ASSERT_TRUE(textWidgets(*doc)[0]->setWidgetStringValue("x"));
        auto out = doc->dataRepresentation();
        ASSERT_TRUE(out);
        ASSERT_EQ(out->compare(0, form->size(), *form), 0);
        std::string tail = out->substr(form->size());
        bool usesStream = tail.find("/Type /XRef") != std::string::npos;
        EXPECT_EQ(usesStream, form == &streams);
        EXPECT_EQ(tail.find("\nxref\n") != std::string::npos, form == &classic);
        EXPECT_LT(tail.size(), 4000u) << "only the changed objects";
    }
}

TEST(PDFDocumentWrite, EdgeValuesEmptyLongMultilineAndControlCharacters) {
    auto fs = column(4);
    fs[2].flags = 1 << 12;  // multiline
    fs[2].rect[1] = 500;
    fs[2].rect[3] = 560;
    std::string form = makeForm(fs);
    auto doc = PDFDocument::initWithData(form);
    auto fields = textWidgets(*doc);
    std::string longValue;
    for (int i = 0; i < 60; ++i) longValue += "lang ";
    const std::string values[] = {"", longValue, "regel een\nregel twee",
                                  std::string("a(b)c\\d\x01"
                                              "e")};
    for (size_t i = 0; i < 4; ++i) ASSERT_TRUE(fields[i]->setWidgetStringValue(values[i]));
    auto out = doc->dataRepresentation();
    ASSERT_TRUE(out);
    EXPECT_TRUE(qpdfCheckClean(*out));
    std::string text = pdfText(*out);
    EXPECT_NE(text.find("lang lang"), std::string::npos);
    EXPECT_NE(text.find("regel een"), std::string::npos);
    EXPECT_NE(text.find("regel twee"), std::string::npos);
    auto reopened = PDFDocument::initWithData(unfamiliar(*out));
    auto again = textWidgets(*reopened);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(again[i]->widgetStringValue(), values[i]);
}

TEST(PDFDocumentWrite, FieldWithTwoWidgetsShowsTheValueInBoth) {
    std::string form = readForm("handwritten-no-dr-kids.pdf");
    auto doc = PDFDocument::initWithData(form);
    auto widgets = textWidgets(*doc);
    ASSERT_EQ(widgets.size(), 2u);
    ASSERT_TRUE(widgets[0]->setWidgetStringValue("Tweemaal"));
    EXPECT_EQ(widgets[1]->widgetStringValue(), "Tweemaal");
    auto out = doc->dataRepresentationWithOptions({true});
    ASSERT_TRUE(out);
    std::string text = pdfText(*out);
    size_t first = text.find("Tweemaal");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(text.find("Tweemaal", first + 1), std::string::npos);
}

TEST(PDFDocumentWrite, RenderedValueHasInkInsideTheWidget) {
    auto fs = column(2);
    auto doc = PDFDocument::initWithData(makeForm(fs));
    auto fields = textWidgets(*doc);
    ASSERT_TRUE(fields[0]->setWidgetStringValue("MMMMMMMM WWWWWWW"));
    for (bool burn : {false, true}) {
        auto out = doc->dataRepresentationWithOptions({burn});
        ASSERT_TRUE(out);
        EXPECT_GT(inkInside(*out, 0, fields[0]->bounds()), 0.02);
        EXPECT_EQ(inkInside(*out, 0, fields[1]->bounds()), 0.0) << "the empty field stays blank";
    }
}

// Form fonts whose descriptor says what the widths array leaves out (/MissingWidth) and how
// tall the font is (/Ascent, /Descent): the value is laid out with the figures viewers use,
// so poppler finds it centred in the widget both ways.
TEST(PDFDocumentWrite, FormFontDescriptorMetricsPlaceTheValue) {
    const std::string descriptor =
        " /FontDescriptor <</Type /FontDescriptor /FontName /Font /Flags 32 /FontBBox [0 -300 1000 1000]"
        " /ItalicAngle 0 /Ascent 1000 /Descent -300 /CapHeight 700 /StemV 80 /MissingWidth 900>>>>";
    auto centred = [](const std::string& font, const std::string& value) -> std::optional<std::array<double, 4>> {
        qvtest::FixtureField field;
        field.name = "Naam";
        field.rect[0] = 100, field.rect[1] = 600, field.rect[2] = 400, field.rect[3] = 640;
        field.quadding = 1;
        auto doc = PDFDocument::initWithData(qvtest::makeForm({field}, 1, font));
        if (!doc) return std::nullopt;
        if (!doc->pageAtIndex(0)->annotations().at(0)->setWidgetStringValue(value)) return std::nullopt;
        auto flat = doc->dataRepresentationWithOptions({true});
        if (!flat) return std::nullopt;
        return qvtest::wordBox(*flat, value);
    };
    // Helvetica with widths for A to C only: the rest are 900 wide.
    auto box = centred(
        "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding /FirstChar 65"
        " /LastChar 67 /Widths [700 700 700]" +
            descriptor,
        "ABCxyz");
    ASSERT_TRUE(box);
    EXPECT_NEAR((*box)[2] - (*box)[0], (3 * 700 + 3 * 900) * 12 / 1000.0, 0.5);
    EXPECT_NEAR(((*box)[0] + (*box)[2]) / 2, 250, 0.5);
    // A font of its own, taller than the standard ones (y from the top: the middle is 792 - 620).
    box = centred(
        "<</Type /Font /Subtype /TrueType /BaseFont /Quorvelsans /Encoding /WinAnsiEncoding /FirstChar 65"
        " /LastChar 122 /Widths [" +
            [] {
                std::string w;
                for (int i = 65; i <= 122; ++i) w += "600 ";
                return w;
            }() +
            "]" + descriptor,
        "Hoog");
    ASSERT_TRUE(box);
    EXPECT_NEAR(((*box)[1] + (*box)[3]) / 2, 792 - 620, 0.5);
    EXPECT_NEAR((*box)[3] - (*box)[1], 1.3 * 12, 0.5);
}
