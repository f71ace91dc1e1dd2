// Burning annotations into page content, and combined documents built from burned pages.

#include <gtest/gtest.h>

#include "DocumentFixtures.h"
#include "support/TestSupport.h"

using namespace qvpdf;
using namespace qvtest;

namespace {

size_t annotationCount(PDFDocument& doc) {
    size_t n = 0;
    for (size_t i = 0; i < doc.pageCount(); ++i) n += doc.pageAtIndex(i)->annotations().size();
    return n;
}

void fillAll(PDFDocument& doc, const std::string& prefix) {
    int n = 0;
    for (size_t i = 0; i < doc.pageCount(); ++i)
        for (const auto& a : doc.pageAtIndex(i)->annotations())
            if (a->widgetFieldType() == PDFAnnotationWidgetSubtypeText) {
                EXPECT_TRUE(a->setWidgetStringValue(prefix + std::to_string(++n)));
            }
}

std::shared_ptr<PDFAnnotation> watermark(const std::string& text, const PDFRect& bounds) {
    auto a = PDFAnnotation::initWithBounds(bounds, PDFAnnotationSubtypeFreeText);
    a->setContents(text);
    a->setFont(PDFFont{FontService::shared().systemUIFace(), 11});
    a->setFontColor(PDFColor::calibratedWhite(0.35, 1));
    a->setColor(PDFColor::clear());
    a->setAlignment(PDFTextAlignment::Center);
    a->setShouldPrint(true);
    return a;
}

}  // namespace

TEST(PDFBurnIn, PagesKeepTheirLookButLoseEveryAnnotationAndTheForm) {
    for (const char* name : {"libreoffice-rotated-pages.pdf", "acrobat-rotation.pdf", "acrobat-all-kinds.pdf",
                             "irs-f1040-2010-mixed.pdf", "sejda-mixed.pdf"}) {
        SCOPED_TRACE(name);
        auto doc = PDFDocument::initWithData(readForm(name));
        ASSERT_TRUE(doc);
        fillAll(*doc, "Ingebrand");
        auto out = doc->dataRepresentationWithOptions({true});
        ASSERT_TRUE(out);
        std::string report;
        EXPECT_TRUE(qpdfCheckClean(*out, &report)) << report;
        EXPECT_NE(pdfText(*out).find("Ingebrand1"), std::string::npos);
        for (const std::string& bytes : {*out, unfamiliar(*out)}) {
            auto flat = PDFDocument::initWithData(bytes);
            ASSERT_TRUE(flat);
            EXPECT_EQ(flat->pageCount(), doc->pageCount());
            EXPECT_EQ(annotationCount(*flat), 0u);
            for (size_t i = 0; i < flat->pageCount(); ++i) {
                EXPECT_EQ(flat->pageAtIndex(i)->rotation(), doc->pageAtIndex(i)->rotation());
                PDFRect a = flat->pageAtIndex(i)->cropBox(), b = doc->pageAtIndex(i)->cropBox();
                EXPECT_DOUBLE_EQ(a.width, b.width);
                EXPECT_DOUBLE_EQ(a.y, b.y);
            }
        }
        TempDir dir;
        writeFile(dir / "flat.pdf", *out);
        CommandResult json = runCommand({"qpdf", "--json", "--json-key=acroform", (dir / "flat.pdf").string()});
        EXPECT_NE(json.output.find("\"hasacroform\": false"), std::string::npos);
    }
}

TEST(PDFBurnIn, HiddenAndNoViewWidgetsAreNotDrawn) {
    std::vector<FixtureField> fs(3);
    const char* names[] = {"zichtbaar", "verborgen", "nietgetoond"};
    const int flags[] = {4, 2 | 4, 32 | 4};
    for (int i = 0; i < 3; ++i) {
        fs[static_cast<size_t>(i)].name = names[i];
        fs[static_cast<size_t>(i)].annotFlags = flags[i];
        fs[static_cast<size_t>(i)].rect[1] = 700 - 50.0 * i;
        fs[static_cast<size_t>(i)].rect[3] = 720 - 50.0 * i;
    }
    auto doc = PDFDocument::initWithData(makeForm(fs));
    for (const auto& a : doc->pageAtIndex(0)->annotations())
        EXPECT_TRUE(a->setWidgetStringValue("Waarde-" + a->fieldName()));
    auto out = doc->dataRepresentationWithOptions({true});
    ASSERT_TRUE(out);
    std::string text = pdfText(*out);
    EXPECT_NE(text.find("Waarde-zichtbaar"), std::string::npos);
    EXPECT_EQ(text.find("Waarde-verborgen"), std::string::npos);
    EXPECT_EQ(text.find("Waarde-nietgetoond"), std::string::npos);
}

TEST(PDFBurnIn, FreeTextWatermarkStaysAnAnnotationOrIsBurnedIn) {
    std::vector<FixtureField> fs(1);
    fs[0].name = "naam";
    auto doc = PDFDocument::initWithData(makeForm(fs, 2));
    ASSERT_TRUE(doc);
    for (size_t i = 0; i < doc->pageCount(); ++i) {
        auto page = doc->pageAtIndex(i);
        PDFRect crop = page->cropBox();
        auto mark = watermark("Klant 000123 — Zoë", PDFRect{crop.x + 10, crop.y + 10, crop.width - 20, 20});
        ASSERT_TRUE(page->addAnnotation(mark));
        EXPECT_FALSE(page->addAnnotation(mark)) << "an annotation belongs to one page";
        EXPECT_EQ(mark->contents(), "Klant 000123 — Zoë");
        EXPECT_TRUE(mark->shouldPrint());
        EXPECT_TRUE(mark->color().isClear());
        EXPECT_DOUBLE_EQ(mark->fontColor().white, 0.35);
    }
    auto saved = doc->dataRepresentation();
    ASSERT_TRUE(saved);
    EXPECT_TRUE(qpdfCheckClean(*saved));
    auto reopened = PDFDocument::initWithData(unfamiliar(*saved));
    for (size_t i = 0; i < 2; ++i) {
        auto annots = reopened->pageAtIndex(i)->annotations();
        ASSERT_EQ(annots.size(), i == 0 ? 2u : 1u);
        EXPECT_EQ(annots.back()->type(), "FreeText");
        EXPECT_TRUE(annots.back()->shouldPrint());
        EXPECT_EQ(annots.back()->contents(), "Klant 000123 — Zoë");
    }
    auto burned = doc->dataRepresentationWithOptions({true});
    ASSERT_TRUE(burned);
    std::string text = pdfText(*burned);
    size_t first = text.find("Klant 000123 — Zoë");
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_NE(text.find("Klant 000123 — Zoë", first + 1), std::string::npos) << "on both pages";
    EXPECT_GT(inkInside(*burned, 1, PDFRect{200, 10, 212, 20}), 0.01);
    EXPECT_EQ(annotationCount(*PDFDocument::initWithData(unfamiliar(*burned))), 0u);
}

TEST(PDFBurnIn, CombinedDocumentHoldsEveryRecordAndStaysCompact) {
    // A form of the repository's own, so the test is the same on every machine.
    std::string form = readForm("docfly-std14-fonts.pdf");
    // Appends `records` burned-in records to a fresh combined document.
    auto combine = [&](int records) {
        auto combined = PDFDocument::init();
        for (int r = 0; r < records; ++r) {
            auto doc = PDFDocument::initWithData(form);
            if (!doc) {
                ADD_FAILURE() << "template";
                return combined;
            }
            fillAll(*doc, "Rec" + std::to_string(r) + "-");
            auto flatBytes = doc->dataRepresentationWithOptions({true});
            if (!flatBytes) {
                ADD_FAILURE() << "burn-in";
                return combined;
            }
            // Every other record goes through a real parse, so both ways of reopening are used.
            auto flat = PDFDocument::initWithData(r % 2 ? unfamiliar(*flatBytes) : *flatBytes);
            if (!flat) {
                ADD_FAILURE() << "reopen";
                return combined;
            }
            EXPECT_EQ(flat->pageCount(), doc->pageCount());
            for (size_t i = 0; i < flat->pageCount(); ++i) {
                EXPECT_TRUE(flat->pageAtIndex(i)->annotations().empty());
                auto copy = flat->pageAtIndex(i)->copy();
                EXPECT_TRUE(copy && combined->insertPage(copy, combined->pageCount()));
            }
        }
        return combined;
    };
    const int records = 40;
    auto single = combine(1)->dataRepresentation();
    ASSERT_TRUE(single);
    auto combined = combine(records);
    EXPECT_EQ(combined->pageCount(), static_cast<size_t>(records));
    auto out = combined->dataRepresentation();
    ASSERT_TRUE(out);
    std::string report;
    EXPECT_TRUE(qpdfCheckClean(*out, &report)) << report;
    std::string text = pdfText(*out);
    for (int r = 0; r < records; ++r) EXPECT_NE(text.find("Rec" + std::to_string(r) + "-1"), std::string::npos) << r;
    // The template's fonts and static content are written once, not once per record: each
    // further record adds its page, appearances and drawing only, far less than a whole
    // one-record file (which holds the template's shared objects as well).
    const double growth = double(out->size() - single->size()) / (records - 1);
    EXPECT_LT(growth, 0.8 * double(single->size())) << out->size() << " vs one record " << single->size();
    std::printf("combined: %zu records, %zu bytes, template %zu bytes\n", static_cast<size_t>(records), out->size(),
                form.size());
    auto reopened = PDFDocument::initWithData(*out);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->pageCount(), static_cast<size_t>(records));
    EXPECT_EQ(annotationCount(*reopened), 0u);
}

TEST(PDFBurnIn, CombinedPagesComeInInsertionOrder) {
    std::vector<FixtureField> fs(2);
    fs[0].name = "a";
    fs[1].name = "b";
    fs[1].page = 1;
    std::string form = makeForm(fs, 2);
    auto combined = PDFDocument::init();
    for (int r = 1; r <= 3; ++r) {
        auto doc = PDFDocument::initWithData(form);
        fillAll(*doc, "R" + std::to_string(r) + "P");
        auto flat = PDFDocument::initWithData(*doc->dataRepresentationWithOptions({true}));
        for (size_t i = 0; i < flat->pageCount(); ++i)
            ASSERT_TRUE(combined->insertPage(flat->pageAtIndex(i)->copy(), combined->pageCount()));
    }
    // Inserting at the front puts the page first.
    auto extra = PDFDocument::initWithData(form);
    fillAll(*extra, "Voor");
    ASSERT_TRUE(combined->insertPage(extra->pageAtIndex(0)->copy(), 0));
    EXPECT_FALSE(combined->insertPage(extra->pageAtIndex(0)->copy(), 99));
    auto out = combined->dataRepresentationWithOptions({true});
    ASSERT_TRUE(out);
    EXPECT_TRUE(qpdfCheckClean(*out));
    std::string text = pdfText(*out);
    size_t last = 0;
    for (const char* v : {"Voor1", "R1P1", "R1P2", "R2P1", "R2P2", "R3P1", "R3P2"}) {
        size_t at = text.find(v, last);
        ASSERT_NE(at, std::string::npos) << v << "\n" << text;
        last = at;
    }
    auto reopened = PDFDocument::initWithData(*out);
    EXPECT_EQ(reopened->pageCount(), 7u);
    EXPECT_EQ(annotationCount(*reopened), 0u);
}
