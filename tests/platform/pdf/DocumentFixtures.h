#pragma once
// Small checks of the document tests with independent readers; their forms are made by
// support/FormFixtures.h.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/pdf/Document.h"
#include "platform/text/Typesetting.h"
#include "support/FormFixtures.h"

namespace qvtest {

// The form writers live with every test program's fixtures.
using qvfixture::FixtureField;
using qvfixture::kHelveticaFont;
using qvfixture::makeForm;
using qvfixture::makePdf;
using qvfixture::streamObject;

// A page rendered by poppler in grey (72 dpi unless asked), to measure ink in several places at
// once.
class PageImage {
public:
    PageImage(const std::string& pdf, int page, int dpi = 72);
    bool ok() const { return width_ > 0; }
    // Fraction of pixels darker than `threshold` (0..255) inside a page-space rectangle
    // (y upwards from the page's bottom).
    double ink(const qvpdf::PDFRect& rect, int threshold = 200) const;

    int width() const { return width_; }
    int height() const { return height_; }
    // Rows from the top, one byte per pixel.
    const std::string& pixels() const { return pixels_; }

private:
    int width_ = 0, height_ = 0;
    double scale_ = 1;  // pixels per point
    std::string pixels_;
};

// The bytes with a comment appended: the same PDF, but not bytes this layer remembers, so
// opening them really parses them.
std::string unfamiliar(const std::string& pdf);

// pdftotext of the bytes (all pages), or "" when it fails.
std::string pdfText(const std::string& pdf);
// The box poppler gives the first occurrence of a word (xMin, yMin, xMax, yMax, y measured
// from the top); nothing when it finds no such word.
std::optional<std::array<double, 4>> wordBox(const std::string& pdf, const std::string& word);
// qpdf --check passes without warnings.
bool qpdfCheckClean(const std::string& pdf, std::string* report = nullptr);
// Fraction of dark pixels inside a rectangle of page `page` (0-based), rendered by poppler
// (PageImage); -1 when it cannot be rendered.
double inkInside(const std::string& pdf, int page, const qvpdf::PDFRect& rect);

std::string readForm(const std::string& name);

// A real subset of `face` holding only the given characters, with its own cmap, as a form would
// embed it.
std::string subsetOf(const qvpdf::FaceRef& face, std::u32string_view characters);

// pdftotext's output without the white space that layout adds.
inline std::string squeeze(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '\n' && c != '\f') out += c;
    return out;
}

}  // namespace qvtest
