// Page geometry, annotation order, page copies and free-text annotations.

#include <gtest/gtest.h>

#include "DocumentFixtures.h"
#include "support/TestSupport.h"

using namespace qvpdf;
using namespace qvtest;

TEST(PDFPage, CropBoxAndRotationAsStored) {
    auto comb = PDFDocument::initWithData(readForm("acrobat-cropbox-comb.pdf"));
    ASSERT_TRUE(comb);
    PDFRect crop = comb->pageAtIndex(0)->cropBox();
    EXPECT_NEAR(crop.x, 198.11, 1e-6);
    EXPECT_NEAR(crop.y, 490.035, 1e-6);
    EXPECT_NEAR(crop.width, 361.311 - 198.11, 1e-6);
    EXPECT_NEAR(crop.height, 651.49 - 490.035, 1e-6);

    auto rotated = PDFDocument::initWithData(readForm("libreoffice-rotated-pages.pdf"));
    ASSERT_TRUE(rotated);
    const int expected[] = {0, 90, 0, 90, 180, 90, 0, 270, 0};
    ASSERT_EQ(rotated->pageCount(), 9u);
    for (size_t i = 0; i < 9; ++i) EXPECT_EQ(rotated->pageAtIndex(i)->rotation(), expected[i]) << i;
    EXPECT_FALSE(rotated->pageAtIndex(9));
}

TEST(PDFPage, AnnotationsInPageOrderAndCopiesThatDoNotFollowLaterChanges) {
    std::vector<FixtureField> fs(3);
    const char* names[] = {"derde", "eerste", "tweede"};
    for (size_t i = 0; i < 3; ++i) {
        fs[i].name = names[i];
        fs[i].rect[1] = 700 - 40.0 * static_cast<double>(i);
        fs[i].rect[3] = fs[i].rect[1] + 20;
    }
    auto doc = PDFDocument::initWithData(makeForm(fs));
    auto page = doc->pageAtIndex(0);
    auto annots = page->annotations();
    ASSERT_EQ(annots.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(annots[i]->fieldName(), names[i]);
    EXPECT_DOUBLE_EQ(annots[1]->bounds().y, 660);
    EXPECT_DOUBLE_EQ(annots[1]->bounds().height, 20);

    ASSERT_TRUE(annots[0]->setWidgetStringValue("voor de kopie"));
    auto copy = page->copy();
    ASSERT_TRUE(copy);
    ASSERT_TRUE(annots[0]->setWidgetStringValue("na de kopie"));
    EXPECT_EQ(copy->annotations()[0]->widgetStringValue(), "voor de kopie");
    EXPECT_FALSE(copy->annotations()[0]->setWidgetStringValue("x")) << "a copy is a snapshot";

    auto other = PDFDocument::init();
    ASSERT_TRUE(other->insertPage(copy, 0));
    auto out = other->dataRepresentation();
    ASSERT_TRUE(out);
    EXPECT_TRUE(qpdfCheckClean(*out));
    std::string text = pdfText(*out);
    EXPECT_NE(text.find("voor de kopie"), std::string::npos);
    EXPECT_EQ(text.find("na de kopie"), std::string::npos);
}

TEST(PDFAnnotation, FreeTextOnlyAndItsPropertiesRoundTrip) {
    EXPECT_FALSE(PDFAnnotation::initWithBounds(PDFRect{0, 0, 10, 10}, "Widget"));
    EXPECT_FALSE(PDFAnnotation::initWithBounds(PDFRect{0, 0, -1, 10}, PDFAnnotationSubtypeFreeText));
    auto a = PDFAnnotation::initWithBounds(PDFRect{10, 20, 300, 20}, PDFAnnotationSubtypeFreeText);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->type(), "FreeText");
    EXPECT_FALSE(a->shouldPrint());
    a->setContents("Vertrouwelijk");
    FaceRef face = FontService::shared().systemUIFace();
    ASSERT_TRUE(face);
    a->setFont(PDFFont{face, 16});
    a->setFontColor(PDFColor::calibratedWhite(0.55, 1));
    a->setColor(PDFColor::clear());
    a->setAlignment(PDFTextAlignment::Center);
    a->setShouldPrint(true);
    EXPECT_EQ(a->contents(), "Vertrouwelijk");
    EXPECT_EQ(a->font()->size, 16);
    EXPECT_EQ(a->alignment(), PDFTextAlignment::Center);
    EXPECT_DOUBLE_EQ(a->fontColor().white, 0.55);
    EXPECT_EQ(a->widgetFieldType(), "");
    EXPECT_FALSE(a->setWidgetStringValue("x"));

    std::vector<FixtureField> fs(1);
    fs[0].name = "naam";
    auto doc = PDFDocument::initWithData(makeForm(fs));
    auto page = doc->pageAtIndex(0);
    ASSERT_TRUE(page->addAnnotation(a));
    // Changes after adding still reach the output.
    a->setContents("Gewijzigd na toevoegen");
    auto annots = page->annotations();
    ASSERT_EQ(annots.size(), 2u);
    EXPECT_EQ(annots[1]->contents(), "Gewijzigd na toevoegen");
    auto out = doc->dataRepresentation();
    ASSERT_TRUE(out);
    EXPECT_NE(pdfText(*out).find("Gewijzigd na toevoegen"), std::string::npos);
    EXPECT_GT(inkInside(*out, 0, PDFRect{60, 20, 200, 20}), 0.01);
}
