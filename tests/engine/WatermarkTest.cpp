#include <cmath>
#include <sstream>

#include "engine/MergeHarness.h"
#include "engine/Watermark.h"
#include "platform/text/Typesetting.h"

namespace {

using namespace qvtest;

// The grey-level picture pdftoppm draws of page 1 at 72 dpi, one pixel per point.
struct Picture {
    int width = 0, height = 0;
    std::string pixels;
};

Picture render(const fs::path& pdf) {
    TempDir dir;
    runCommand(
        {"pdftoppm", "-r", "72", "-gray", "-cropbox", "-singlefile", "-f", "1", pdf.string(), (dir / "page").string()});
    std::istringstream in(readFile(dir / "page.pgm"));
    Picture p;
    std::string magic;
    int maxValue = 0;
    in >> magic >> p.width >> p.height >> maxValue;
    in.get();
    p.pixels.assign(std::istreambuf_iterator<char>(in), {});
    if (magic != "P5" || p.pixels.size() != static_cast<size_t>(p.width) * p.height) return {};
    return p;
}

// Bounding box (left, top, right, bottom in picture rows) of the pixels that are not white.
struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};
Box inkBox(const Picture& p) {
    Box b;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (static_cast<unsigned char>(p.pixels[static_cast<size_t>(y) * p.width + x]) < 250) {
                b.left = std::min(b.left, x), b.right = std::max(b.right, x);
                b.top = std::min(b.top, y), b.bottom = std::max(b.bottom, y);
            }
    return b;
}

class Watermark : public MergeTest {
protected:
    // A form with an empty value on every page, so that only the watermark leaves ink.
    MergeArgs plain(const std::string& form, std::vector<std::string> marks) {
        MergeArgs a;
        a.templateBytes = form;
        a.data = "name,mark\n";
        for (const std::string& mark : marks) a.data += "," + mark + "\n";
        a.watermarkColumn = "mark";
        return a;
    }
    static std::string pages(int count, double width = 595, double height = 842) {
        qvfixture::FormBuilder form;
        int field = form.addText("name");
        for (int i = 0; i < count; ++i) {
            int page = form.addPage();
            form.setMediaBox(page, 0, 0, width, height);
            if (i == 0) form.addWidget(page, field);
        }
        return form.build();
    }
    static double width(const std::string& text, double size) {
        return qvpdf::measureLine(text, qvpdf::FontService::shared().systemUIFace(), size);
    }
};

TEST_F(Watermark, StyleLimits) {
    for (QVWatermarkStyle ok : std::vector<QVWatermarkStyle>{{0, 8, 0}, {2, 48, 1}, {1, 11, 0.35}})
        EXPECT_TRUE(QVWatermarkStyleIsValid(ok)) << ok.fontSize << " " << ok.gray;
    const double inf = INFINITY, nan = NAN;
    for (QVWatermarkStyle bad : std::vector<QVWatermarkStyle>{{0, 7.9, 0.5},
                                                              {0, 48.1, 0.5},
                                                              {0, 11, -0.01},
                                                              {0, 11, 1.01},
                                                              {3, 11, 0.5},
                                                              {0, nan, 0.5},
                                                              {0, 11, nan},
                                                              {0, inf, 0.5},
                                                              {0, 11, -inf}})
        EXPECT_FALSE(QVWatermarkStyleIsValid(bad)) << bad.position << " " << bad.fontSize << " " << bad.gray;

    MergeArgs a = plain(pages(1), {"Jan"});
    a.style = {0, 48.1, 0.5};
    EXPECT_EQ(merge(a).message, "Ongeldige watermerkopmaak.");
}

TEST_F(Watermark, BandHeightAndPlacement) {
    EXPECT_EQ(QVWatermarkBandHeight(11), 20);
    EXPECT_EQ(QVWatermarkBandHeight(13), 21);
    EXPECT_EQ(QVWatermarkBandHeight(48), 77);
    auto same = [](qvpdf::PDFRect r, qvpdf::PDFRect e) {
        return r.x == e.x && r.y == e.y && r.width == e.width && r.height == e.height;
    };
    EXPECT_TRUE(same(QVWatermarkBand({0, 0, 595, 842}, 0, 26), {10, 10, 575, 26}));
    EXPECT_TRUE(same(QVWatermarkBand({0, 0, 595, 842}, 1, 26), {10, 408, 575, 26}));
    EXPECT_TRUE(same(QVWatermarkBand({0, 0, 595, 842}, 2, 26), {10, 806, 575, 26}));
    EXPECT_TRUE(same(QVWatermarkBand({36, 36, 540, 720}, 1, 36), {46, 378, 520, 36}));
}

TEST_F(Watermark, RotatedPagesAreRefusedBeforeAnyRecord) {
    qvfixture::FormBuilder form;
    int field = form.addText("name");
    for (int rotation : {360, 90, 180}) form.setRotation(form.addPage(), rotation);
    form.addWidget(0, field);
    MergeArgs a = plain(form.build(), {"Jan"});
    a.watermarkColumn.reset();
    a.watermarkPattern = "";  // would fail at record 1
    EXPECT_EQ(merge(a).message, "Watermerk wordt nog niet ondersteund op gedraaide pagina 2.");

    a.watermarkPattern.reset();  // without a watermark rotation is no concern
    EXPECT_EQ(merge(a).message, "OK");
}

TEST_F(Watermark, TextsThatCannotBeDrawnOnOneLineAreRefused) {
    MergeArgs a = plain(pages(1), {"Jan", "\"   \""});
    EXPECT_EQ(merge(a).message, "Watermerk voor record 2 is leeg of bevat een controleteken.");
    a.data = "name,mark\n,\"Jan\n\"\n";
    EXPECT_EQ(merge(a).message, "Watermerk voor record 1 is leeg of bevat een controleteken.");
    a.data =
        "name,mark\n,Jan\xE2\x80\x8B"
        "de\n";  // zero-width space
    EXPECT_EQ(merge(a).message, "Watermerk voor record 1 is leeg of bevat een controleteken.");
    a.watermarkColumn.reset();
    a.watermarkPattern = "";
    EXPECT_EQ(merge(a).message, "Watermerk voor record 1 is leeg of bevat een controleteken.");
    a.watermarkPattern = "{klant}";
    EXPECT_EQ(merge(a).message, "Onbekende CSV-kolom in watermerk: 'klant'.");
    EXPECT_TRUE(files().empty());
}

TEST_F(Watermark, FitRuleWithEqualityPassing) {
    const std::string text = "Kopie voor Jan Peeters";
    const double w = width(text, 11);
    ASSERT_GT(w, 50);

    qvfixture::FormBuilder form;
    int field = form.addText("name");
    form.setMediaBox(form.addPage(), 0, 0, 40 + w, 40);
    form.setMediaBox(form.addPage(), 0, 0, 40 + w - 0.01, 842);
    form.addWidget(0, field);
    MergeArgs a = plain(form.build(), {"x", text});
    EXPECT_EQ(merge(a).message, "Watermerk voor record 2 past niet op pagina 2.");

    a.templateBytes = pages(1, 40 + w, 40);
    fs::create_directory(out_ / "fits");
    EXPECT_EQ(mergeInto(out_ / "fits", a).message, "OK");

    a.style.fontSize = 48;  // band 77 high: the page must be 97 high
    a.data = "name,mark\n,x\n";
    a.templateBytes = pages(1, 595, 96.9);
    EXPECT_EQ(merge(a).message, "Watermerk voor record 1 past niet op pagina 1.");
    a.templateBytes = pages(1, 595, 97);
    EXPECT_EQ(merge(a).message, "OK");
}

TEST_F(Watermark, DrawnCentredInsideTheBandOfEachPosition) {
    // Trailing spaces are measured and drawn, so the ink sits left of the page's centre.
    const std::string text = "Kopie Jan   ";
    const double space = width(" ", 22);
    const double w = width(text, 22);
    for (uint64_t position : {0, 1, 2}) {
        TempDir folder;
        MergeArgs a = plain(pages(1), {text});
        a.style = {position, 22, 0.35};
        ASSERT_EQ(mergeInto(folder.path(), a).message, "OK");
        Picture picture = render(folder / "merge-000001.pdf");
        ASSERT_EQ(picture.height, 842);
        Box ink = inkBox(picture);
        const qvpdf::PDFRect band = QVWatermarkBand({0, 0, 595, 842}, position, 36);
        EXPECT_GE(ink.top, 842 - (band.y + band.height)) << position;
        EXPECT_LE(ink.bottom, 842 - band.y) << position;
        EXPECT_NEAR((ink.left + ink.right) / 2.0, 297.5 - 1.5 * space, 2.5) << position;
        EXPECT_NEAR(ink.right - ink.left, w - 3 * space, 5) << position;
    }
}

TEST_F(Watermark, FollowsTheCropBox) {
    qvfixture::FormBuilder form;
    int page = form.addPage();
    form.setCropBox(page, 36, 36, 576, 756);
    form.addWidget(page, form.addText("name"));
    MergeArgs a = plain(form.build(), {"Kopie"});
    a.style = {1, 22, 0.35};
    ASSERT_EQ(merge(a).message, "OK");
    Picture picture = render(out_ / "merge-000001.pdf");
    ASSERT_EQ(picture.height, 720);
    Box ink = inkBox(picture);
    // Band 46, 378, 520, 36 in page space is rows 342 to 378 of the cropped picture.
    EXPECT_GE(ink.top, 342);
    EXPECT_LE(ink.bottom, 378);
    EXPECT_GT(ink.bottom, ink.top);
    EXPECT_NEAR((ink.left + ink.right) / 2.0, 270, 2);
}

TEST_F(Watermark, SeparateOutputKeepsAnAnnotationPerPageCombinedBurnsItIn) {
    const std::string text = "Ελληνικά 中文 Kopie";
    MergeArgs a = plain(pages(2), {text, "Tweede"});
    ASSERT_EQ(merge(a).message, "OK");
    const auto perPage = std::vector<std::vector<std::string>>{{"Widget", "FreeText"}, {"FreeText"}};
    EXPECT_EQ(annotationTypes(out_ / "merge-000001.pdf"), perPage);
    auto document = qvpdf::PDFDocument::initWithData(readFile(out_ / "merge-000001.pdf"));
    auto mark = document->pageAtIndex(1)->annotations().at(0);
    EXPECT_EQ(mark->contents(), text);
    EXPECT_TRUE(mark->shouldPrint());
    EXPECT_NE(pdfText(out_ / "merge-000001.pdf").find(text), std::string::npos);
    EXPECT_TRUE(qpdfChecks(out_ / "merge-000001.pdf"));

    a.mode = QVOutputModeCombined;
    ASSERT_EQ(merge(a).message, "OK");
    const fs::path combined = out_ / "merge-gecombineerd.pdf";
    EXPECT_EQ(annotationTypes(combined), std::vector<std::vector<std::string>>(4));
    std::string shown = pdfText(combined);
    size_t first = shown.find(text);
    EXPECT_NE(first, std::string::npos) << shown;
    EXPECT_NE(shown.find(text, first + 1), std::string::npos);
    EXPECT_NE(shown.find("Tweede"), std::string::npos);
    EXPECT_TRUE(qpdfChecks(combined));
}

}  // namespace
