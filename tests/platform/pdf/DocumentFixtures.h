#pragma once
// Forms made by code for the document tests, and small checks with independent readers.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/pdf/Document.h"

namespace qvtest {

struct FixtureField {
    std::string name;                    // partial name; empty for a widget of its parent field
    std::string parent;                  // partial name of a parent field; empty for none
    double rect[4] = {72, 700, 300, 720};
    int page = 0;
    int flags = 0;                       // field flags
    int annotFlags = 4;                  // annotation flags (print)
    int maxLen = 0;
    std::string type = "Tx";
    std::string da = "/Helv 12 Tf 0 g";
    int quadding = 0;                    // /Q
    std::string extra;                   // further widget entries; "@N" stands for extra object N
};

inline const char* kHelveticaFont = "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding>>";

// A form with classic cross-reference table, the font dictionary as /Helv in /DR (Helvetica
// unless told) and the given fields.
std::string makeForm(const std::vector<FixtureField>& fields, int pages = 1, const std::string& helv = kHelveticaFont);

// The same with objects of the test's own (bodies, numbered after the fields), which fields'
// `extra` entries refer to as "@0", "@1", ...; `needAppearances` asks viewers to make them.
std::string makeForm(const std::vector<FixtureField>& fields, const std::vector<std::string>& objects,
                     bool needAppearances);
// A PDF of the given object bodies, numbered from 1, with a classic cross-reference table; the
// trailer names object `root` as the catalog and holds `trailerExtra` as well.
std::string makePdf(const std::vector<std::string>& objects, int root, const std::string& trailerExtra = "");
// An object body holding a stream with the dictionary entries and the data.
std::string streamObject(const std::string& dict, const std::string& data);

// A page rendered by poppler at 72 dpi in grey, to measure ink in several places at once.
class PageImage {
public:
    PageImage(const std::string& pdf, int page);
    bool ok() const { return width_ > 0; }
    // Fraction of pixels darker than `threshold` (0..255) inside a page-space rectangle
    // (y upwards from the page's bottom).
    double ink(const qvpdf::PDFRect& rect, int threshold = 200) const;

private:
    int width_ = 0, height_ = 0;
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
// Fraction of dark pixels inside a rectangle of page `page` (0-based), rendered by poppler.
double inkInside(const std::string& pdf, int page, const qvpdf::PDFRect& rect, double pageHeight);

std::string readForm(const std::string& name);

}  // namespace qvtest
