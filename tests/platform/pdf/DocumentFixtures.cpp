#include "DocumentFixtures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "support/TestSupport.h"

namespace qvtest {

namespace {

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

class PdfBuilder {
public:
    int reserve() {
        objects_.emplace_back();
        return static_cast<int>(objects_.size());
    }
    void set(int id, std::string body) { objects_[static_cast<size_t>(id - 1)] = std::move(body); }
    std::string finish(int root, const std::string& trailerExtra = "") {
        std::string out = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
        std::vector<size_t> offsets;
        for (size_t i = 0; i < objects_.size(); ++i) {
            offsets.push_back(out.size());
            out += std::to_string(i + 1) + " 0 obj\n" + objects_[i] + "\nendobj\n";
        }
        size_t xref = out.size();
        out += "xref\n0 " + std::to_string(objects_.size() + 1) + "\n0000000000 65535 f\r\n";
        char line[24];
        for (size_t off : offsets) {
            std::snprintf(line, sizeof line, "%010zu 00000 n\r\n", off);
            out += line;
        }
        out += "trailer\n<</Size " + std::to_string(objects_.size() + 1) + " /Root " + std::to_string(root) +
               " 0 R" + trailerExtra + ">>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return out;
    }

private:
    std::vector<std::string> objects_;
};

std::string stream(const std::string& dict, const std::string& data) {
    return "<<" + dict + " /Length " + std::to_string(data.size()) + ">>\nstream\n" + data + "\nendstream";
}

// "@N" in `text` becomes a reference to ids[N]; higher numbers first, so "@1" leaves "@10" be.
std::string resolveRefs(std::string text, const std::vector<int>& ids) {
    for (size_t k = ids.size(); k-- > 0;) {
        std::string mark = "@" + std::to_string(k);
        for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at))
            text.replace(at, mark.size(), std::to_string(ids[k]) + " 0 R");
    }
    return text;
}

std::string buildForm(const std::vector<FixtureField>& fields, int pages, const std::string& helv,
                      const std::vector<std::string>& objects, bool needAppearances);

}  // namespace

std::string makeForm(const std::vector<FixtureField>& fields, int pages, const std::string& helv) {
    return buildForm(fields, pages, helv, {}, false);
}

std::string makeForm(const std::vector<FixtureField>& fields, const std::vector<std::string>& objects,
                     bool needAppearances) {
    return buildForm(fields, 1, kHelveticaFont, objects, needAppearances);
}

std::string streamObject(const std::string& dict, const std::string& data) { return stream(dict, data); }

std::string makePdf(const std::vector<std::string>& objects, int root, const std::string& trailerExtra) {
    PdfBuilder b;
    for (const std::string& body : objects) b.set(b.reserve(), body);
    return b.finish(root, trailerExtra.empty() ? trailerExtra : " " + trailerExtra);
}

namespace {

std::string buildForm(const std::vector<FixtureField>& fields, int pages, const std::string& helv,
                      const std::vector<std::string>& objects, bool needAppearances) {
    PdfBuilder b;
    int catalog = b.reserve(), tree = b.reserve(), form = b.reserve(), font = b.reserve();
    b.set(font, helv);
    std::vector<int> extraIds;
    for (size_t i = 0; i < objects.size(); ++i) extraIds.push_back(b.reserve());
    for (size_t i = 0; i < objects.size(); ++i) b.set(extraIds[i], resolveRefs(objects[i], extraIds));
    std::vector<int> pageIds, contentIds;
    for (int p = 0; p < pages; ++p) {
        pageIds.push_back(b.reserve());
        contentIds.push_back(b.reserve());
    }
    std::map<std::string, int> parents;
    std::map<std::string, std::vector<int>> parentKids;
    std::vector<int> topFields;
    std::vector<std::vector<int>> pageAnnots(static_cast<size_t>(pages));
    for (const auto& f : fields) {
        int parentId = 0;
        if (!f.parent.empty()) {
            if (!parents.count(f.parent)) {
                parents[f.parent] = b.reserve();
                topFields.push_back(parents[f.parent]);
            }
            parentId = parents[f.parent];
        }
        int id = b.reserve();
        std::string title = f.name.empty() ? std::string() : " /T (" + f.name + ")";
        std::string d = "<</Type /Annot /Subtype /Widget /FT /" + f.type + title + " /Rect [" +
                        num(f.rect[0]) + " " + num(f.rect[1]) + " " + num(f.rect[2]) + " " + num(f.rect[3]) +
                        "] /F " + std::to_string(f.annotFlags) + " /Ff " + std::to_string(f.flags) + " /DA (" + f.da +
                        ") /P " + std::to_string(pageIds[static_cast<size_t>(f.page)]) + " 0 R";
        if (f.maxLen) d += " /MaxLen " + std::to_string(f.maxLen);
        if (f.quadding) d += " /Q " + std::to_string(f.quadding);
        if (parentId) d += " /Parent " + std::to_string(parentId) + " 0 R";
        if (!f.extra.empty()) d += " " + f.extra;
        d += ">>";
        b.set(id, resolveRefs(d, extraIds));
        pageAnnots[static_cast<size_t>(f.page)].push_back(id);
        if (parentId)
            parentKids[f.parent].push_back(id);
        else
            topFields.push_back(id);
    }
    for (const auto& [name, id] : parents) {
        std::string kids;
        for (int k : parentKids[name]) kids += std::to_string(k) + " 0 R ";
        b.set(id, "<</T (" + name + ") /Kids [" + kids + "]>>");
    }
    std::string kids, fieldRefs;
    for (int p = 0; p < pages; ++p) {
        std::string annots;
        for (int a : pageAnnots[static_cast<size_t>(p)]) annots += std::to_string(a) + " 0 R ";
        b.set(pageIds[static_cast<size_t>(p)],
              "<</Type /Page /Parent " + std::to_string(tree) + " 0 R /MediaBox [0 0 612 792] /Resources <</Font <</F1 " +
                  std::to_string(font) + " 0 R>>>> /Contents " + std::to_string(contentIds[static_cast<size_t>(p)]) +
                  " 0 R /Annots [" + annots + "]>>");
        b.set(contentIds[static_cast<size_t>(p)],
              stream("", "BT /F1 12 Tf 72 750 Td (Static page " + std::to_string(p + 1) + ") Tj ET"));
        kids += std::to_string(pageIds[static_cast<size_t>(p)]) + " 0 R ";
    }
    for (int f : topFields) fieldRefs += std::to_string(f) + " 0 R ";
    b.set(tree, "<</Type /Pages /Count " + std::to_string(pages) + " /Kids [" + kids + "]>>");
    b.set(form, "<</Fields [" + fieldRefs + "] /DR <</Font <</Helv " + std::to_string(font) +
                    " 0 R>>>> /DA (/Helv 0 Tf 0 g)" + (needAppearances ? " /NeedAppearances true" : "") + ">>");
    b.set(catalog, "<</Type /Catalog /Pages " + std::to_string(tree) + " 0 R /AcroForm " + std::to_string(form) + " 0 R>>");
    return b.finish(catalog);
}

}  // namespace

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

double inkInside(const std::string& pdf, int page, const qvpdf::PDFRect& rect, double pageHeight) {
    TempDir dir;
    writeFile(dir / "in.pdf", pdf);
    std::string p = std::to_string(page + 1);
    int x = static_cast<int>(std::floor(rect.x)), y = static_cast<int>(std::floor(pageHeight - rect.y - rect.height));
    int w = static_cast<int>(std::ceil(rect.width)), h = static_cast<int>(std::ceil(rect.height));
    CommandResult r = runCommand({"pdftoppm", "-q", "-f", p, "-l", p, "-r", "72", "-gray", "-x", std::to_string(x), "-y",
                                  std::to_string(y), "-W", std::to_string(w), "-H", std::to_string(h),
                                  (dir / "in.pdf").string(), (dir / "out").string()});
    if (r.status != 0) return -1;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        if (entry.path().extension() != ".pgm") continue;
        std::string img = readFile(entry.path());
        std::istringstream in(img);
        std::string magic;
        int width = 0, height = 0, maxval = 0;
        in >> magic >> width >> height >> maxval;
        in.get();
        size_t start = static_cast<size_t>(in.tellg());
        size_t dark = 0, total = static_cast<size_t>(width) * static_cast<size_t>(height);
        for (size_t i = start; i < img.size() && i < start + total; ++i)
            if (static_cast<unsigned char>(img[i]) < 200) ++dark;
        return total ? static_cast<double>(dark) / static_cast<double>(total) : 0;
    }
    return -1;
}

PageImage::PageImage(const std::string& pdf, int page) {
    TempDir dir;
    writeFile(dir / "in.pdf", pdf);
    std::string p = std::to_string(page + 1);
    CommandResult r = runCommand({"pdftoppm", "-q", "-f", p, "-l", p, "-r", "72", "-gray", (dir / "in.pdf").string(),
                                  (dir / "out").string()});
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
    int x0 = std::max(0, static_cast<int>(std::floor(rect.x)));
    int x1 = std::min(width_, static_cast<int>(std::ceil(rect.x + rect.width)));
    int y0 = std::max(0, static_cast<int>(std::floor(height_ - rect.y - rect.height)));
    int y1 = std::min(height_, static_cast<int>(std::ceil(height_ - rect.y)));
    size_t dark = 0, total = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            ++total;
            if (static_cast<unsigned char>(pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)]) <
                threshold)
                ++dark;
        }
    }
    return total ? static_cast<double>(dark) / static_cast<double>(total) : -1;
}

std::string readForm(const std::string& name) { return readFile(formsDir() / name); }


}  // namespace qvtest
