#include "DocumentFixtures.h"

#include <hb-subset.h>
#include <hb.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "platform/text/Fonts.h"
#include "support/TestSupport.h"

namespace qvtest {

std::string unfamiliar(const std::string& pdf) { return pdf + "% reopened\n"; }

std::string pdfText(const std::string& pdf) {
    TempDir dir;
    writeFile(dir / "in.pdf", pdf);
    CommandResult r = runCommand({"pdftotext", "-q", "-enc", "UTF-8", (dir / "in.pdf").string(), "-"});
    return r.status == 0 ? r.output : std::string();
}

std::optional<std::array<double, 4>> wordBox(const std::string& pdf, const std::string& text) {
    TempDir dir;
    writeFile(dir / "in.pdf", pdf);
    CommandResult r = runCommand({"pdftotext", "-q", "-bbox", (dir / "in.pdf").string(), "-"});
    size_t end = r.output.find(">" + text + "</word>");
    size_t word = end == std::string::npos ? end : r.output.rfind("<word ", end);
    if (r.status != 0 || word == std::string::npos) return std::nullopt;
    std::array<double, 4> box{};
    const char* keys[] = {"xMin=\"", "yMin=\"", "xMax=\"", "yMax=\""};
    for (int i = 0; i < 4; ++i) {
        size_t at = r.output.find(keys[i], word);
        if (at == std::string::npos) return std::nullopt;
        box[static_cast<size_t>(i)] = std::strtod(r.output.c_str() + at + 6, nullptr);
    }
    return box;
}

bool qpdfCheckClean(const std::string& pdf, std::string* report) {
    TempDir dir;
    writeFile(dir / "in.pdf", pdf);
    CommandResult r = runCommand({"qpdf", "--check", (dir / "in.pdf").string()});
    if (report) *report = r.output + r.errors;
    return r.status == 0;
}

double inkInside(const std::string& pdf, int page, const qvpdf::PDFRect& rect) {
    const PageImage image(pdf, page);
    return image.ok() ? image.ink(rect) : -1;
}

PageImage::PageImage(const std::string& pdf, int page, int dpi) : scale_(dpi / 72.0) {
    TempDir dir;
    writeFile(dir / "in.pdf", pdf);
    std::string p = std::to_string(page + 1);
    CommandResult r = runCommand({"pdftoppm", "-q", "-f", p, "-l", p, "-r", std::to_string(dpi), "-gray",
                                  (dir / "in.pdf").string(), (dir / "out").string()});
    if (r.status != 0) return;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        if (entry.path().extension() != ".pgm") continue;
        std::string img = readFile(entry.path());
        std::istringstream in(img);
        std::string magic;
        int maxval = 0;
        in >> magic >> width_ >> height_ >> maxval;
        in.get();
        size_t start = static_cast<size_t>(in.tellg());
        size_t total = static_cast<size_t>(width_) * static_cast<size_t>(height_);
        if (magic != "P5" || img.size() < start + total) {
            width_ = height_ = 0;
            return;
        }
        pixels_ = img.substr(start, total);
    }
}

double PageImage::ink(const qvpdf::PDFRect& rect, int threshold) const {
    const double k = scale_;
    int x0 = std::max(0, static_cast<int>(std::floor(rect.x * k)));
    int x1 = std::min(width_, static_cast<int>(std::ceil((rect.x + rect.width) * k)));
    int y0 = std::max(0, static_cast<int>(std::floor(height_ - (rect.y + rect.height) * k)));
    int y1 = std::min(height_, static_cast<int>(std::ceil(height_ - rect.y * k)));
    size_t dark = 0, total = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            ++total;
            if (static_cast<unsigned char>(
                    pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)]) < threshold)
                ++dark;
        }
    }
    return total ? static_cast<double>(dark) / static_cast<double>(total) : -1;
}

std::string readForm(const std::string& name) { return readFile(formsDir() / name); }

std::string subsetOf(const qvpdf::FaceRef& face, std::u32string_view characters) {
    hb_subset_input_t* input = hb_subset_input_create_or_fail();
    for (char32_t c : characters) hb_set_add(hb_subset_input_unicode_set(input), c);
    hb_face_t* subset = hb_subset_or_fail(face->hbFace(), input);
    hb_subset_input_destroy(input);
    hb_blob_t* blob = hb_face_reference_blob(subset);
    unsigned length = 0;
    const char* data = hb_blob_get_data(blob, &length);
    std::string bytes(data, length);
    hb_blob_destroy(blob);
    hb_face_destroy(subset);
    return bytes;
}

}  // namespace qvtest
