#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <regex>
#include <set>
#include <sstream>

#include "platform/pdf/detail/Appearance.h"
#include "platform/text/Embed.h"
#include "platform/text/Fonts.h"
#include "platform/text/Shaping.h"
#include "support/FormFixtures.h"
#include "support/TestSupport.h"

using namespace qvpdf;

namespace {

FaceRef systemFace() { return FontService::shared().systemUIFace(); }

// A one-page PDF that draws lines of text with the embedder's fonts, written by hand so that
// poppler and qpdf judge our fonts alone.
class MiniPdf {
public:
    void line(const std::string& utf8, const FaceRef& face, double size, double x, double y) {
        content_ += "BT " + pdfNumber(x) + " " + pdfNumber(y) + " Td\n";
        for (const auto& run : shapeLine(utf8, face)) {
            auto show = embedder_.show(run, size);
            content_ += "/" + show.resourceName + " " + pdfNumber(size) + " Tf\n" + show.operators;
        }
        content_ += "ET\n";
    }

    // Places an appearance as a form XObject with its lower left corner at (x, y); the form's
    // own font "Helv" is Helvetica in WinAnsiEncoding.
    void place(const Appearance& appearance, double x, double y) {
        std::string name = "Fm" + std::to_string(forms_.size() + 1);
        forms_.push_back({name, appearance});
        content_ += "q 1 0 0 1 " + pdfNumber(x) + " " + pdfNumber(y) + " cm /" + name + " Do Q\n";
    }

    std::string write() {
        pdf_ = {};
        std::string fontRefs;
        for (const auto& [name, font] : embedder_.build()) fontRefs += "/" + name + " " + addFont(font) + " ";
        fontRefs +=
            "/Helv " + add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>") + " ";
        std::string xobjects;
        for (const auto& [name, a] : forms_) {
            std::string dict = " /Type /XObject /Subtype /Form /BBox [" + pdfNumber(a.bbox[0]) + " " +
                               pdfNumber(a.bbox[1]) + " " + pdfNumber(a.bbox[2]) + " " + pdfNumber(a.bbox[3]) +
                               "] /Matrix [";
            for (double m : a.matrix) dict += pdfNumber(m) + " ";
            dict += "] /Resources << /Font << " + fontRefs + ">> >>";
            xobjects += "/" + name + " " + add(qvfixture::streamObject(dict, a.content)) + " ";
        }
        std::string contentRef = add(qvfixture::streamObject("", content_));
        std::string pageRef = qvfixture::ref(pdf_.size() + 1);
        std::string pagesRef = qvfixture::ref(pdf_.size() + 2);
        add("<< /Type /Page /Parent " + pagesRef + " /MediaBox [0 0 400 200] /Contents " + contentRef +
            " /Resources << /Font << " + fontRefs + ">> /XObject << " + xobjects + ">> >> >>");
        add("<< /Type /Pages /Kids [" + pageRef + "] /Count 1 >>");
        return pdf_.build(pdf_.add("<< /Type /Catalog /Pages " + pagesRef + " >>"));
    }

    FontEmbedder& embedder() { return embedder_; }

private:
    std::string add(const std::string& body) { return qvfixture::ref(pdf_.add(body)); }
    std::string addFont(const EmbeddedFont& f) {
        std::string file =
            add(qvfixture::streamObject(f.isCFF() ? " /Subtype /" + f.fontFile3Subtype : "", f.fontFile2));
        std::string bbox = "[" + pdfNumber(f.bbox[0]) + " " + pdfNumber(f.bbox[1]) + " " + pdfNumber(f.bbox[2]) + " " +
                           pdfNumber(f.bbox[3]) + "]";
        std::string descriptor =
            add("<< /Type /FontDescriptor /FontName /" + f.baseFont + " /Flags " + std::to_string(f.flags) +
                " /FontBBox " + bbox + " /ItalicAngle " + pdfNumber(f.italicAngle) + " /Ascent " + pdfNumber(f.ascent) +
                " /Descent " + pdfNumber(f.descent) + " /CapHeight " + pdfNumber(f.capHeight) + " /StemV " +
                pdfNumber(f.stemV) + (f.isCFF() ? " /FontFile3 " : " /FontFile2 ") + file + " >>");
        std::string map = "/Identity";
        if (!f.cidToGidMap.empty()) map = add(qvfixture::streamObject("", f.cidToGidMap));
        std::string cid = add(std::string("<< /Type /Font /Subtype ") +
                              (f.isCFF() ? "/CIDFontType0" : "/CIDFontType2") + " /BaseFont /" + f.baseFont +
                              " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>"
                              " /FontDescriptor " +
                              descriptor + " /W " + f.widths + (f.isCFF() ? "" : " /CIDToGIDMap " + map) + " >>");
        std::string toUnicode = add(qvfixture::streamObject("", f.toUnicode));
        return add("<< /Type /Font /Subtype /Type0 /BaseFont /" + f.baseFont +
                   " /Encoding /Identity-H /DescendantFonts [" + cid + "] /ToUnicode " + toUnicode + " >>");
    }

    FontEmbedder embedder_;
    std::string content_;
    std::vector<std::pair<std::string, Appearance>> forms_;
    qvfixture::PdfWriter pdf_;
};

std::string extractText(const std::string& pdf, qvtest::TempDir& dir) {
    qvtest::writeFile(dir / "doc.pdf", pdf);
    auto check = qvtest::runCommand({"qpdf", "--check", (dir / "doc.pdf").string()});
    EXPECT_EQ(check.status, 0) << check.output << check.errors;
    auto text = qvtest::runCommand({"pdftotext", "-enc", "UTF-8", (dir / "doc.pdf").string(), "-"});
    EXPECT_EQ(text.status, 0) << text.errors;
    EXPECT_EQ(text.errors, "");
    return text.output;
}

// Share of dark pixels in the rendered page (grey PGM), to see that glyphs have outlines.
double inkShare(const std::string& pdf, qvtest::TempDir& dir) {
    qvtest::writeFile(dir / "ink.pdf", pdf);
    auto render = qvtest::runCommand({"pdftoppm", "-gray", "-r", "72", (dir / "ink.pdf").string()});
    EXPECT_EQ(render.status, 0) << render.errors;
    std::istringstream in(render.output);
    std::string magic;
    int w = 0, h = 0, max = 0;
    in >> magic >> w >> h >> max;
    in.get();
    std::string pixels((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (w <= 0 || h <= 0 || pixels.size() < size_t(w) * size_t(h)) return 0;
    size_t dark = 0;
    for (size_t i = 0; i < size_t(w) * size_t(h); ++i) dark += static_cast<unsigned char>(pixels[i]) < 128;
    return double(dark) / (double(w) * h);
}

struct FtFace {
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
    explicit FtFace(const std::string& bytes) {
        FT_Init_FreeType(&lib);
        if (FT_New_Memory_Face(lib, reinterpret_cast<const FT_Byte*>(bytes.data()), FT_Long(bytes.size()), 0, &face))
            face = nullptr;
    }
    ~FtFace() {
        if (face) FT_Done_Face(face);
        FT_Done_FreeType(lib);
    }
    long outlinePoints(uint32_t gid) {
        if (FT_Load_Glyph(face, gid, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING)) return -1;
        return face->glyph->outline.n_points;
    }
};

}  // namespace

TEST(Embed, PdfWithSubsetsShowsEveryScript) {
    FaceRef face = systemFace();
    ASSERT_TRUE(face);
    MiniPdf pdf;
    const char* lines[] = {
        "Zo\xC3\xAB Bj\xC3\xB6rk \xC5\x81\xC3\xB3"
        "d\xC5\xBA",                                                          // Zoë Björk Łódź
        "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xD0\x96\xD1\x83\xD0\xBA",  // Ωμέγα Жук
        "\xE4\xB8\xAD\xE6\x96\x87 \xE3\x81\x8B\xE3\x81\xAA",                  // 中文 かな
        "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D",                                   // שלום
        "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7",                           // مرحبا
    };
    double y = 170;
    for (const char* text : lines) {
        pdf.line(text, face, 14, 20, y);
        y -= 30;
    }
    qvtest::TempDir dir;
    std::string doc = pdf.write();
    std::string text = extractText(doc, dir);
    EXPECT_NE(text.find("Zo\xC3\xAB Bj\xC3\xB6rk \xC5\x81\xC3\xB3"
                        "d\xC5\xBA"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xD0\x96\xD1\x83\xD0\xBA"), std::string::npos)
        << text;
    EXPECT_NE(text.find("\xE4\xB8\xAD\xE6\x96\x87"), std::string::npos) << text;
    EXPECT_NE(text.find("\xE3\x81\x8B\xE3\x81\xAA"), std::string::npos) << text;
    EXPECT_NE(text.find("\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"), std::string::npos) << text;
    EXPECT_NE(text.find("\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7"), std::string::npos) << text;
    EXPECT_GT(inkShare(doc, dir), 0.01);
}

TEST(Embed, SubsetIsAValidFontWithOnlyTheUsedGlyphs) {
    FaceRef face = systemFace();
    ASSERT_TRUE(face);
    FontEmbedder embedder;
    auto runs = shapeLine("Hallo", face);
    ASSERT_EQ(runs.size(), 1u);
    auto use = embedder.use(runs[0]);
    EXPECT_EQ(use.resourceName, "QVF1");
    EXPECT_EQ(use.operand.size(), 2 + 5 * 4u);

    auto fonts = embedder.build();
    ASSERT_EQ(fonts.size(), 1u);
    const EmbeddedFont& font = fonts.at("QVF1");
    EXPECT_FALSE(font.isCFF());
    EXPECT_LT(font.fontFile2.size(), qvtest::readFile(face->path()).size() / 4);
    EXPECT_TRUE(std::regex_match(font.baseFont, std::regex("[A-Z]{6}\\+" + face->postScriptName())));

    FtFace subset(font.fontFile2);
    ASSERT_TRUE(subset.face);
    // The subset is renumbered (.notdef and H, a, l, o); content keeps the full font's glyph
    // ids as CIDs, and the CIDToGIDMap leads each to its outline.
    EXPECT_EQ(subset.face->num_glyphs, 5);
    auto viaMap = [&](char32_t c) -> long {
        size_t cid = face->glyphFor(c);
        if (2 * cid + 1 >= font.cidToGidMap.size()) return -1;
        unsigned gid = static_cast<unsigned char>(font.cidToGidMap[2 * cid]) << 8 |
                       static_cast<unsigned char>(font.cidToGidMap[2 * cid + 1]);
        return gid == 0 ? -1 : subset.outlinePoints(gid);
    };
    for (char32_t c : std::u32string(U"Halo")) EXPECT_GT(viaMap(c), 0);
    EXPECT_EQ(viaMap(U'Q'), -1);
    EXPECT_EQ(font.cidToGidMap.size() % 2, 0u);
    EXPECT_EQ(font.widths.substr(0, 1), "[");
    std::string aWidth = std::to_string(face->glyphFor(U'a')) + " [" + pdfNumber(face->advance(face->glyphFor(U'a')));
    EXPECT_NE(font.widths.find(aWidth), std::string::npos) << font.widths;
}

TEST(Embed, IdenticalGlyphSetsGiveIdenticalFonts) {
    FaceRef face = systemFace();
    ASSERT_TRUE(face);
    auto build = [&](const char* text) {
        FontEmbedder embedder;
        for (const auto& run : shapeLine(text, face)) embedder.show(run, 12);
        return embedder.build();
    };
    auto a = build("Rotterdam"), b = build("Rotterdam"), c = build("Amsterdam");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a.begin()->second.baseFont, b.begin()->second.baseFont);
    EXPECT_EQ(a.begin()->second.fontFile2, b.begin()->second.fontFile2);
    EXPECT_EQ(a.begin()->second.toUnicode, b.begin()->second.toUnicode);
    EXPECT_NE(a.begin()->second.baseFont, c.begin()->second.baseFont);
}

TEST(Embed, ToUnicodeMapsGlyphsToTheirText) {
    std::map<uint32_t, std::u32string> glyphs = {{3, U" "}, {36, U"A"}, {500, U"ffi"}, {700, U"\U0001F600"}, {9, U""}};
    std::string cmap = toUnicodeCMap(glyphs);
    EXPECT_NE(cmap.find("4 beginbfchar"), std::string::npos);
    EXPECT_NE(cmap.find("<0003> <0020>"), std::string::npos);
    EXPECT_NE(cmap.find("<0024> <0041>"), std::string::npos);
    EXPECT_NE(cmap.find("<01F4> <006600660069>"), std::string::npos);
    EXPECT_NE(cmap.find("<02BC> <D83DDE00>"), std::string::npos);
    EXPECT_EQ(cmap.find("<0009>"), std::string::npos);
    // Blocks hold at most 100 entries.
    std::map<uint32_t, std::u32string> many;
    for (uint32_t g = 1; g <= 250; ++g) many[g] = U"x";
    std::string big = toUnicodeCMap(many);
    EXPECT_NE(big.find("100 beginbfchar"), std::string::npos);
    EXPECT_NE(big.find("50 beginbfchar"), std::string::npos);
}

TEST(Embed, ShowDrawsTheShapedAdvances) {
    FaceRef face = systemFace();
    ASSERT_TRUE(face);
    FontEmbedder embedder;
    auto runs = shapeLine("AVAVA To", face);  // kerned pairs need adjustments
    ASSERT_EQ(runs.size(), 1u);
    auto show = embedder.show(runs[0], 10);
    EXPECT_NE(show.operators.find("] TJ"), std::string::npos);
    // Sum what a viewer advances: the font widths minus the TJ adjustments.
    double drawn = 0;
    std::smatch m;
    std::string ops = show.operators;
    std::regex token("<([0-9A-F]+)>|(-?[0-9.]+)(?= )");
    for (auto it = std::sregex_iterator(ops.begin(), ops.end(), token); it != std::sregex_iterator(); ++it) {
        if ((*it)[1].matched) {
            std::string hex = (*it)[1];
            for (size_t i = 0; i + 4 <= hex.size(); i += 4)
                drawn += embeddedGlyphWidth(*face, std::stoul(hex.substr(i, 4), nullptr, 16));
        } else {
            drawn -= std::stod((*it)[2]);
        }
    }
    EXPECT_NEAR(drawn, runs[0].width(), 0.01);
    EXPECT_LT(runs[0].width(), [&] {
        double plain = 0;
        for (const auto& g : runs[0].glyphs) plain += face->advance(g.glyphId);
        return plain;
    }());
}

TEST(Embed, CffFacesEmbedAsOpenType) {
    auto list = qvtest::runCommand({"fc-list", ":fontformat=CFF:lang=zh-cn", "file", "index"});
    std::string first = list.output.substr(0, list.output.find('\n'));
    size_t colon = first.find(':');
    if (list.status != 0 || colon == std::string::npos) GTEST_SKIP() << "no CFF font with Chinese here";
    FaceRef cff = Face::load(first.substr(0, colon), 0);
    ASSERT_TRUE(cff);
    ASSERT_TRUE(cff->isCFF());
    MiniPdf pdf;
    pdf.line("\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97", cff, 24, 20, 100);  // 中文字
    auto fonts = pdf.embedder().build();
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_TRUE(fonts.begin()->second.isCFF());
    // A few glyphs of a 65,000-glyph font make a subset of a few KB, in which a CID-keyed
    // program still finds each glyph by its CID (bare CFF: FreeType's glyph index is the CID).
    const EmbeddedFont& font = fonts.begin()->second;
    EXPECT_LT(font.fontFile2.size(), 20000u);
    FtFace subset(font.fontFile2);
    ASSERT_TRUE(subset.face);
    if (cff->isCIDKeyed()) {
        EXPECT_EQ(font.fontFile3Subtype, "CIDFontType0C");
    }
    for (char32_t c : std::u32string(U"\u4E2D\u6587\u5B57"))
        EXPECT_GT(subset.outlinePoints(cff->cidForGlyph(cff->glyphFor(c))), 0);
    qvtest::TempDir dir;
    std::string doc = pdf.write();
    EXPECT_NE(extractText(doc, dir).find("\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97"), std::string::npos);
    EXPECT_GT(inkShare(doc, dir), 0.001);
}

TEST(Embed, FieldAppearancesReadBackThroughPoppler) {
    SimpleFontDescription d;
    d.subtype = "Type1";
    d.baseFont = "Helvetica";
    d.encodingName = "WinAnsiEncoding";
    SimpleFont helvetica(d);
    MiniPdf pdf;
    auto field = [&](const std::string& value, double w, double h, int rotation, bool multiline) {
        TextFieldAppearanceRequest r;
        r.value = value;
        r.rect[2] = w;
        r.rect[3] = h;
        r.rotation = rotation;
        r.multiline = multiline;
        r.defaultAppearance = "/Helv 0 Tf 0 g";
        r.formFont = [&](const std::string& name) { return name == "Helv" ? &helvetica : nullptr; };
        r.borderColor = std::vector<double>{0};
        return buildTextFieldAppearance(r, pdf.embedder());
    };
    pdf.place(field("Zo\xC3\xAB \xC5\x81\xC3\xB3"
                    "d\xC5\xBA \xE4\xB8\xAD\xE6\x96\x87",
                    250, 22, 0, false),
              20, 160);
    pdf.place(field("\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7 \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D", 250, 22, 0, false), 20,
              120);
    pdf.place(field("Eerste regel\nTweede regel", 150, 60, 0, true), 20, 40);
    pdf.place(field("Gedraaid", 30, 100, 90, false), 300, 40);
    qvtest::TempDir dir;
    std::string doc = pdf.write();
    std::string text = extractText(doc, dir);
    for (const char* expected : {"Zo\xC3\xAB \xC5\x81\xC3\xB3"
                                 "d\xC5\xBA",
                                 "\xE4\xB8\xAD\xE6\x96\x87", "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7",
                                 "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D", "Eerste regel", "Tweede regel", "Gedraaid"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in:\n" << text;
    EXPECT_GT(inkShare(doc, dir), 0.01);
}

namespace {

// The two-byte codes content shows, in order.
std::vector<unsigned> shownCodes(const std::string& operators) {
    std::vector<unsigned> codes;
    std::regex hex("<([0-9A-F]+)>");
    for (auto it = std::sregex_iterator(operators.begin(), operators.end(), hex); it != std::sregex_iterator(); ++it) {
        std::string digits = (*it)[1];
        for (size_t i = 0; i + 4 <= digits.size(); i += 4)
            codes.push_back(std::stoul(digits.substr(i, 4), nullptr, 16));
    }
    return codes;
}

std::string hex4(unsigned code) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04X", code);
    return buffer;
}

unsigned subsetGlyph(const EmbeddedFont& font, unsigned code) {
    if (font.cidToGidMap.empty()) return code;
    if (2 * code + 1 >= font.cidToGidMap.size()) return 0;
    return static_cast<unsigned char>(font.cidToGidMap[2 * code]) << 8 |
           static_cast<unsigned char>(font.cidToGidMap[2 * code + 1]);
}

// The page's text as MuPDF extracts it.
std::string mupdfText(const std::string& pdf, qvtest::TempDir& dir) {
    qvtest::writeFile(dir / "mu.pdf", pdf);
    auto run =
        qvtest::runCommand({"/usr/bin/python3", "-c",
                            "import sys, fitz\ndoc = fitz.open(sys.argv[1])\nsys.stdout.write(doc[0].get_text())",
                            (dir / "mu.pdf").string()});
    EXPECT_EQ(run.status, 0) << run.errors;
    return run.output;
}

}  // namespace

TEST(Embed, AGlyphGetsACodeForEveryTextItStandsFor) {
    FaceRef face = systemFace();
    ASSERT_TRUE(face);
    uint32_t space = face->glyphFor(U' ');
    FontEmbedder embedder;
    // A joiner drawn with the space glyph, then a real space: each must read as itself.
    GlyphRun joiner{face, {PlacedGlyph{space, 0, 0, 0, U"\u200C"}}};
    GlyphRun plain{face, {PlacedGlyph{space, face->advance(space), 0, 0, U" "}}};
    auto first = shownCodes(embedder.show(joiner, 10).operators);
    auto second = shownCodes(embedder.show(plain, 10).operators);
    auto again = shownCodes(embedder.show(joiner, 10).operators);
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(first[0], second[0]);
    EXPECT_EQ(again, first);
    EXPECT_EQ(first[0], space) << "the first text keeps the glyph id as its code";

    EmbeddedFont font = embedder.build().at("QVF1");
    EXPECT_NE(font.toUnicode.find("<" + hex4(first[0]) + "> <200C>"), std::string::npos) << font.toUnicode;
    EXPECT_NE(font.toUnicode.find("<" + hex4(second[0]) + "> <0020>"), std::string::npos) << font.toUnicode;
    EXPECT_EQ(subsetGlyph(font, first[0]), subsetGlyph(font, second[0]));
    EXPECT_NE(subsetGlyph(font, first[0]), 0u);
    EXPECT_NE(font.widths.find(std::to_string(second[0]) + " [" + pdfNumber(face->advance(space)) + "]"),
              std::string::npos)
        << font.widths;
}

TEST(Embed, GlyphsWithoutTextJoinTheGlyphBeforeThemAsOneCode) {
    FaceRef face = systemFace();
    ASSERT_TRUE(face);
    MiniPdf pdf;
    // Thai sara am is drawn as two glyphs for one character; Bengali o around its letter.
    const std::string thai = "\xE0\xB8\x99\xE0\xB9\x89\xE0\xB8\xB3";                 // น้ำ
    const std::string bengali = "\xE0\xA6\x95\xE0\xA7\x8B\xE0\xA6\xA5\xE0\xA6\xBE";  // কোথা
    pdf.line(thai + " " + thai, face, 24, 20, 150);
    pdf.line(bengali, face, 24, 20, 100);
    auto fonts = pdf.embedder().build();
    bool composite = false;
    for (const auto& [name, font] : fonts) {
        FtFace subset(font.fontFile2);
        ASSERT_TRUE(subset.face) << name;
        // Every code's glyph has an outline, a composite's the points of all its parts.
        for (long g = 1; g < subset.face->num_glyphs; ++g) {
            if (FT_Load_Glyph(subset.face, FT_UInt(g), FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_RECURSE))
                continue;
            if (subset.face->glyph->format == FT_GLYPH_FORMAT_COMPOSITE) {
                composite = true;
                EXPECT_GE(subset.face->glyph->subglyphs ? subset.face->glyph->num_subglyphs : 0, 2);
                EXPECT_GT(subset.outlinePoints(FT_UInt(g)), 0);
            }
        }
    }
    EXPECT_TRUE(composite);
    qvtest::TempDir dir;
    std::string doc = pdf.write();
    std::string poppler = extractText(doc, dir), mupdf = mupdfText(doc, dir);
    for (const std::string& expected : {thai + " " + thai, bengali}) {
        EXPECT_NE(poppler.find(expected), std::string::npos) << poppler;
        EXPECT_NE(mupdf.find(expected), std::string::npos) << mupdf;
    }
    EXPECT_EQ(mupdf.find("\xEF\xBF\xBD"), std::string::npos) << "no code without text";
    EXPECT_GT(inkShare(doc, dir), 0.005);
}

TEST(Embed, MissingCharactersShowABoxAndReadAsThemselves) {
    FaceRef face = systemFace();
    ASSERT_TRUE(face);
    // Private-use characters no installed font has: .notdef twice, for two characters.
    const std::string missing = "\xEE\x80\x80\xF4\x8F\xBF\xBD";  // U+E000 U+10FFFD
    if (FontService::shared().faceCovering(U'\uE000', nullptr) ||
        FontService::shared().faceCovering(U'\U0010FFFD', nullptr))
        GTEST_SKIP() << "a font here has private-use glyphs";
    MiniPdf pdf;
    pdf.line(missing, face, 40, 20, 100);
    qvtest::TempDir dir;
    std::string doc = pdf.write();
    EXPECT_GT(inkShare(doc, dir), 0.002) << "the .notdef box is drawn";
    EXPECT_NE(extractText(doc, dir).find(missing), std::string::npos);
    EXPECT_NE(mupdfText(doc, dir).find(missing), std::string::npos);
}

TEST(Embed, EmojiDrawInOneMonochromeFace) {
    FaceRef emoji = FontService::shared().faceCovering(U'\U0001F600', nullptr);
    if (!emoji) GTEST_SKIP() << "no outline font with emoji here";
    FaceRef face = systemFace();
    ASSERT_TRUE(face);
    // A face, a family joined by ZWJ and a flag: drawn, each glyph a real one, all in one face.
    const std::string text =
        "\xF0\x9F\x98\x80 \xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7 "
        "\xF0\x9F\x87\xB3\xF0\x9F\x87\xB1";
    std::set<FaceRef> faces;
    for (const auto& run : shapeLine(text, face)) {
        for (const auto& g : run.glyphs) {
            if (!g.text.empty() && g.text != U" " && g.text != U"\u200D") {
                EXPECT_NE(g.glyphId, 0u) << int(g.text[0]);
            }
        }
        if (run.face != face) faces.insert(run.face);
    }
    EXPECT_EQ(faces.size(), 1u);
    MiniPdf pdf;
    pdf.line(text, face, 30, 20, 100);
    qvtest::TempDir dir;
    std::string doc = pdf.write();
    EXPECT_GT(inkShare(doc, dir), 0.005);
    EXPECT_NE(extractText(doc, dir).find(text), std::string::npos);
}
