// How filled values are laid out in their fields, as independent readers see the output: the
// ink of accents and stacked marks at automatic sizes, the direction of wrapped right-to-left
// paragraphs, comb cells, and soft hyphens.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <regex>
#include <sstream>

#include "DocumentFixtures.h"
#include "support/TestSupport.h"

using namespace qvpdf;
using namespace qvtest;

namespace {

constexpr int kMultiline = 1 << 12;
constexpr int kComb = 1 << 24;
constexpr double kPageHeight = 792;  // the fixture forms' pages

// A page rendered by poppler at 150 dpi in grey.
class Raster {
public:
    explicit Raster(const std::string& pdf) : image_(pdf, 0, 150) {}
    bool ok() const { return image_.ok(); }

    // Dark pixels inside a page-space rectangle (points, y upwards), or outside it when `outside`.
    size_t dark(double x0, double y0, double x1, double y1, bool outside = false) const {
        const double k = 150.0 / 72;
        const int width = image_.width(), height = image_.height();
        const std::string& pixels = image_.pixels();
        int px0 = static_cast<int>(std::floor(x0 * k)), px1 = static_cast<int>(std::ceil(x1 * k));
        int py0 = static_cast<int>(std::floor((kPageHeight - y1) * k)),
            py1 = static_cast<int>(std::ceil((kPageHeight - y0) * k));
        size_t n = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                bool in = x >= px0 && x < px1 && y >= py0 && y < py1;
                if (in != outside && static_cast<unsigned char>(pixels[static_cast<size_t>(y) * width + x]) < 160) ++n;
            }
        return n;
    }
    const std::string& pixels() const { return image_.pixels(); }

private:
    PageImage image_;
};

// The same output with the fields' clipping turned off (the same number of bytes, so the
// cross-reference table stays right): what the appearance would show if nothing were clipped.
std::string unclipped(std::string pdf) {
    for (size_t at = pdf.find(" re W n\n"); at != std::string::npos; at = pdf.find(" re W n\n", at))
        pdf.replace(at, 8, " re   n\n");
    return pdf;
}

std::optional<std::string> filled(const std::vector<FixtureField>& fields, const std::vector<std::string>& values) {
    auto doc = PDFDocument::initWithData(makeForm(fields));
    if (!doc) return std::nullopt;
    size_t i = 0;
    for (const auto& a : doc->pageAtIndex(0)->annotations()) {
        if (a->widgetFieldType() != PDFAnnotationWidgetSubtypeText || i >= values.size()) continue;
        if (!a->setWidgetStringValue(values[i++])) return std::nullopt;
    }
    return doc->dataRepresentation();
}

FixtureField field(double x0, double y0, double x1, double y1, const std::string& da, int flags = 0) {
    FixtureField f;
    f.name = "veld";
    f.rect[0] = x0, f.rect[1] = y0, f.rect[2] = x1, f.rect[3] = y1;
    f.da = da;
    f.flags = flags;
    return f;
}

struct Word {
    std::string text;
    double xMin = 0, yMin = 0, xMax = 0;
};

// The words poppler finds on the first page, with their boxes (y from the top).
std::vector<Word> words(const std::string& pdf) {
    TempDir dir;
    writeFile(dir / "in.pdf", pdf);
    CommandResult r = runCommand({"pdftotext", "-q", "-bbox", "-f", "1", "-l", "1", (dir / "in.pdf").string(), "-"});
    std::vector<Word> out;
    std::regex word(R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="[0-9.]+">([^<]*)</word>)re");
    for (auto it = std::sregex_iterator(r.output.begin(), r.output.end(), word); it != std::sregex_iterator(); ++it)
        out.push_back({(*it)[4], std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3])});
    return out;
}

}  // namespace

TEST(FieldLayout, AutomaticSizeKeepsAccentsAndStackedMarksInsideTheBox) {
    // One-line fields 20 points high, and a multi-line field whose first line carries capitals
    // with accents; each value must draw exactly what it would unclipped, and nothing outside.
    const std::vector<std::string> values = {
        "\xC4\xB0stanbul",  // İstanbul
        "\xC5\x81\xC3\x93"
        "D\xC5\xB9",                                                                             // ŁÓDŹ
        "Nguy\xE1\xBB\x85n",                                                                     // Nguyễn
        "\xC7\xBA\xC3\x89\xC3\x8A",                                                              // ǺÉÊ
        "\xE0\xB8\x9C\xE0\xB8\xB9\xE0\xB9\x89\xE0\xB9\x83\xE0\xB8\xAB\xE0\xB8\x8D\xE0\xB9\x88",  // Thai with tone marks
    };
    for (const std::string& value : values) {
        SCOPED_TRACE(value);
        for (bool multiline : {false, true}) {
            FixtureField f = multiline ? field(72, 600, 172, 640, "/Helv 0 Tf 0 g", kMultiline)
                                       : field(72, 600, 372, 620, "/Helv 0 Tf 0 g");
            std::string v = multiline ? value + " " + value + " " + value + " " + value : value;
            auto out = filled({f}, {v});
            ASSERT_TRUE(out);
            Raster clipped(*out), free(unclipped(*out));
            ASSERT_TRUE(clipped.ok() && free.ok());
            EXPECT_GT(clipped.dark(f.rect[0], f.rect[1], f.rect[2], f.rect[3]), 50u) << multiline;
            // Nothing reaches out of the field, so the clip cuts nothing off.
            EXPECT_EQ(free.dark(f.rect[0] - 30, f.rect[1] - 30, f.rect[2] + 30, f.rect[3] + 30) -
                          free.dark(f.rect[0], f.rect[1], f.rect[2], f.rect[3]),
                      0u)
                << multiline;
            EXPECT_EQ(clipped.pixels(), free.pixels()) << multiline;
        }
    }

    // A value far too long for its field stays at a readable size and is cut off at the side.
    auto out = filled({field(72, 600, 172, 620, "/Helv 0 Tf 0 g")}, {std::string(300, 'W')});
    ASSERT_TRUE(out);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(*out, m, std::regex(R"(/Helv ([0-9.]+) Tf\n<57)")));
    EXPECT_GE(std::stod(m[1]), 4);
}

TEST(FieldLayout, AWrappedRightToLeftParagraphKeepsItsDirectionOnEveryLine) {
    // Latin words between Hebrew ones: in a right-to-left paragraph each line shows the
    // earlier of two Latin words to the right of the later one, whichever word starts the line.
    std::string value;
    for (int i = 1; i <= 24; ++i) {
        char label[8];
        std::snprintf(label, sizeof label, "w%02d", i);
        value += std::string(i == 1 ? "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D " : "") + label +
                 " \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D ";
    }
    // Several widths, so that lines start with either kind of word.
    size_t checked = 0;
    for (double width = 110; width <= 230; width += 15) {
        SCOPED_TRACE(width);
        auto out = filled({field(72, 300, 72 + width, 700, "/Helv 12 Tf 0 g", kMultiline)}, {value});
        ASSERT_TRUE(out);
        std::map<long, std::vector<Word>> lines;
        for (const Word& w : words(*out))
            if (w.text.size() == 3 && w.text[0] == 'w') lines[std::lround(w.yMin)].push_back(w);
        int seen = 0;
        for (auto& [y, latin] : lines) {
            std::sort(latin.begin(), latin.end(), [](const Word& a, const Word& b) { return a.text < b.text; });
            seen += static_cast<int>(latin.size());
            for (size_t i = 1; i < latin.size(); ++i) {
                EXPECT_GT(latin[i - 1].xMin, latin[i].xMax) << latin[i - 1].text << " and " << latin[i].text;
                ++checked;
            }
        }
        EXPECT_EQ(seen, 24);
    }
    EXPECT_GE(checked, 30u);
}

TEST(FieldLayout, CombCellsFollowAlignmentDirectionAndBorder) {
    // Ten cells of 20 points; the border's colour draws the lines between them.
    auto comb = [](int quadding) {
        FixtureField f = field(100, 600, 300, 620, "/Helv 10 Tf 0 g", kComb);
        f.maxLen = 10;
        f.quadding = quadding;
        f.extra = "/MK <</BC [0 0 0]>> /BS <</W 1 /S /S>>";
        return f;
    };
    auto cellOf = [](const Word& w) { return static_cast<int>(std::floor(((w.xMin + w.xMax) / 2 - 100) / 20)); };
    for (int q : {0, 1, 2}) {
        SCOPED_TRACE(q);
        auto out = filled({comb(q)}, {"ABC"});
        ASSERT_TRUE(out);
        std::map<std::string, int> cells;
        for (const Word& w : words(*out)) cells[w.text] = cellOf(w);
        const int first = q == 0 ? 0 : q == 1 ? 3 : 7;
        EXPECT_EQ(cells["A"], first);
        EXPECT_EQ(cells["B"], first + 1);
        EXPECT_EQ(cells["C"], first + 2);

        Raster page(*out);
        ASSERT_TRUE(page.ok());
        for (int i = 1; i < 10; ++i) {
            double x = 100 + 20 * i;
            EXPECT_GT(page.dark(x - 0.6, 604, x + 0.6, 616), 20u) << "divider " << i;
        }
        // The middle of an empty cell stays blank.
        double emptyMiddle = 100 + 20 * (q == 2 ? 2 : 8) + 10;
        EXPECT_EQ(page.dark(emptyMiddle - 3, 603, emptyMiddle + 3, 617), 0u);
    }

    // Right-to-left text is read from the right: its first letter takes the third cell.
    auto out = filled({comb(0)}, {"\xD7\x90\xD7\x91\xD7\x92"});  // alef bet gimel
    ASSERT_TRUE(out);
    std::map<std::string, int> cells;
    for (const Word& w : words(*out)) cells[w.text] = cellOf(w);
    EXPECT_EQ(cells["\xD7\x90"], 2);
    EXPECT_EQ(cells["\xD7\x92"], 0);
}

TEST(FieldLayout, ASoftHyphenShowsOnlyWhereTheLineBreaks) {
    const std::string value = "Zee\xC2\xADmeeuw\xC2\xADvleugel";
    auto one = filled({field(72, 600, 372, 620, "/Helv 12 Tf 0 g")}, {value});
    ASSERT_TRUE(one);
    std::string text = pdfText(*one);
    EXPECT_NE(text.find("Zeemeeuwvleugel"), std::string::npos) << text;
    EXPECT_EQ(text.find("\xC2\xAD"), std::string::npos);
    EXPECT_EQ(text.find('-'), std::string::npos);

    // Too narrow for the word, wide enough for "Zeemeeuw-": the line breaks at the second one.
    auto wrapped = filled({field(72, 500, 162, 620, "/Helv 12 Tf 0 g", kMultiline)}, {value});
    ASSERT_TRUE(wrapped);
    // Word by word, since pdftotext joins a word hyphenated at a line's end.
    std::map<std::string, double> tops;
    for (const Word& w : words(*wrapped)) tops[w.text] = w.yMin;
    ASSERT_TRUE(tops.count("Zeemeeuw-") && tops.count("vleugel")) << pdfText(*wrapped);
    EXPECT_GT(tops["vleugel"], tops["Zeemeeuw-"]);
}
