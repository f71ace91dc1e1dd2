#include "support/FormFixtures.h"

#include <cstdio>
#include <map>

#include <unicode/unistr.h>

namespace qvfixture {

namespace {

bool isPlainAscii(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

// A PDF text string: a literal for printable ASCII, otherwise UTF-16BE with a byte-order mark.
std::string pdfString(const std::string& utf8) {
    if (isPlainAscii(utf8)) {
        std::string out = "(";
        for (char c : utf8) {
            if (c == '(' || c == ')' || c == '\\') out += '\\';
            out += c;
        }
        return out + ")";
    }
    std::string hex = "<FEFF";
    auto unit = [&](unsigned u) {
        char buf[5];
        std::snprintf(buf, sizeof buf, "%04X", u & 0xFFFF);
        hex += buf;
    };
    // UTF-16 units, as ICU makes them (bad bytes become U+FFFD).
    const icu::UnicodeString units =
        icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    for (int32_t k = 0; k < units.length(); ++k) unit(units.charAt(k));
    return hex + ">";
}

}  // namespace

std::string ref(int object) { return std::to_string(object) + " 0 R"; }

std::string streamObject(const std::string& entries, const std::string& data) {
    return "<<" + entries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

int PdfWriter::add(std::string body) {
    objects_.push_back(std::move(body));
    placement_.emplace_back();
    return size();
}

void PdfWriter::set(int object, std::string body) { objects_.at(static_cast<size_t>(object - 1)) = std::move(body); }

void PdfWriter::placeInObjectStream(int object, int stream, int index) {
    placement_.at(static_cast<size_t>(object - 1)) = {stream, index};
}

std::string PdfWriter::header(std::vector<size_t>& offsets) const {
    std::string out = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
    offsets.assign(objects_.size(), 0);
    for (size_t i = 0; i < objects_.size(); ++i) {
        if (placement_[i].stream) continue;
        offsets[i] = out.size();
        out += std::to_string(i + 1) + " 0 obj\n" + objects_[i] + "\nendobj\n";
    }
    return out;
}

std::string PdfWriter::build(int root, const std::string& trailerExtra) const {
    std::vector<size_t> offsets;
    std::string out = header(offsets);
    const size_t xref = out.size();
    const std::string count = std::to_string(objects_.size() + 1);
    out += "xref\n0 " + count + "\n0000000000 65535 f \n";
    for (size_t i = 0; i < objects_.size(); ++i) {
        char line[32];
        if (placement_[i].stream)
            std::snprintf(line, sizeof line, "0000000000 00001 f \n");
        else
            std::snprintf(line, sizeof line, "%010zu 00000 n \n", offsets[i]);
        out += line;
    }
    out += "trailer\n<< /Size " + count + " /Root " + ref(root) + (trailerExtra.empty() ? "" : " " + trailerExtra) +
           " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

std::string PdfWriter::buildWithXrefStream(int root) const {
    std::vector<size_t> offsets;
    std::string out = header(offsets);
    // Rows of 1 + 4 + 2 bytes: type, offset or object stream, generation or index.
    std::string rows;
    auto row = [&](int type, size_t field2, int field3) {
        rows += static_cast<char>(type);
        for (int shift = 24; shift >= 0; shift -= 8) rows += static_cast<char>((field2 >> shift) & 0xFF);
        rows += static_cast<char>((field3 >> 8) & 0xFF);
        rows += static_cast<char>(field3 & 0xFF);
    };
    const size_t xref = out.size();
    row(0, 0, 0xFFFF);
    for (size_t i = 0; i < objects_.size(); ++i) {
        if (placement_[i].stream)
            row(2, static_cast<size_t>(placement_[i].stream), placement_[i].index);
        else
            row(1, offsets[i], 0);
    }
    row(1, xref, 0);
    const std::string self = std::to_string(objects_.size() + 1);
    out += self + " 0 obj\n" +
           streamObject(" /Type /XRef /Size " + std::to_string(objects_.size() + 2) + " /W [1 4 2] /Root " + ref(root),
                        rows) +
           "\nendobj\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

std::string makePdf(const std::vector<std::string>& objects, int root, const std::string& trailerExtra) {
    PdfWriter pdf;
    for (const std::string& body : objects) pdf.add(body);
    return pdf.build(root, trailerExtra);
}

int FormBuilder::addField(FieldSpec spec) {
    fields_.push_back(std::move(spec));
    return static_cast<int>(fields_.size()) - 1;
}

int FormBuilder::addPage(const std::string& text) {
    pageTexts_.push_back(text);
    pages_.emplace_back();
    geometry_.emplace_back();
    return static_cast<int>(pages_.size()) - 1;
}

namespace {
std::string box(double x0, double y0, double x1, double y1) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "[%g %g %g %g]", x0, y0, x1, y1);
    return buf;
}
}  // namespace

void FormBuilder::setMediaBox(int page, double x0, double y0, double x1, double y1) {
    geometry_.at(page).mediaBox = box(x0, y0, x1, y1);
}
void FormBuilder::setCropBox(int page, double x0, double y0, double x1, double y1) {
    geometry_.at(page).cropBox = box(x0, y0, x1, y1);
}
void FormBuilder::setRotation(int page, int degrees) { geometry_.at(page).rotation = degrees; }

void FormBuilder::addWidget(int page, int field) { pages_.at(page).push_back({Annot::widget, field}); }
void FormBuilder::addLink(int page) { pages_.at(page).push_back({Annot::link, -1}); }
void FormBuilder::addNote(int page) { pages_.at(page).push_back({Annot::note, -1}); }

std::string FormBuilder::build() const {
    const int fieldCount = static_cast<int>(fields_.size());
    std::vector<int> widgetCount(fieldCount, 0);
    std::vector<std::vector<int>> childFields(fieldCount);
    for (const auto& page : pages_)
        for (const Annot& a : page)
            if (a.kind == Annot::widget) ++widgetCount.at(a.field);
    for (int f = 0; f < fieldCount; ++f)
        if (fields_[f].parent >= 0) childFields.at(fields_[f].parent).push_back(f);
    auto merged = [&](int f) { return widgetCount[f] == 1 && childFields[f].empty(); };

    // Object numbers: catalog 1, page tree 2, font 3, then per page the page and its content,
    // then one object per annotation, then the fields that are not merged with their widget.
    int next = 4;
    std::vector<int> pageObj, contentObj;
    for (size_t p = 0; p < pages_.size(); ++p) {
        pageObj.push_back(next++);
        contentObj.push_back(next++);
    }
    std::vector<std::vector<int>> annotObj(pages_.size());
    std::vector<int> fieldObj(fieldCount, 0);
    std::map<int, std::vector<int>> widgetsOfField;
    for (size_t p = 0; p < pages_.size(); ++p) {
        for (const Annot& a : pages_[p]) {
            int obj = next++;
            annotObj[p].push_back(obj);
            if (a.kind != Annot::widget) continue;
            widgetsOfField[a.field].push_back(obj);
            if (merged(a.field)) fieldObj[a.field] = obj;
        }
    }
    for (int f = 0; f < fieldCount; ++f)
        if (!fieldObj[f]) fieldObj[f] = next++;

    std::map<int, std::string> objects;
    auto fieldKeys = [&](int f) {
        const FieldSpec& s = fields_[f];
        std::string d;
        if (s.name) d += " /T " + pdfString(*s.name);
        if (!s.type.empty()) d += " /FT " + s.type;
        if (s.flags) d += " /Ff " + std::to_string(s.flags);
        if (s.maxLength > 0) d += " /MaxLen " + std::to_string(s.maxLength);
        if (s.type == "/Tx") d += " /DA (/Helv 12 Tf 0 g)";
        if (s.type == "/Ch") d += " /Opt [(een) (twee)]";
        if (s.parent >= 0) d += " /Parent " + ref(fieldObj[s.parent]);
        return d;
    };

    std::string topFields;
    for (int f = 0; f < fieldCount; ++f)
        if (fields_[f].parent < 0) topFields += ref(fieldObj[f]) + " ";

    objects[1] = "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [" + topFields +
                 "] /DA (/Helv 12 Tf 0 g) /DR << /Font << /Helv 3 0 R >> >> >> >>";
    std::string kids;
    for (int obj : pageObj) kids += ref(obj) + " ";
    objects[2] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages_.size()) + " >>";
    objects[3] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";

    for (size_t p = 0; p < pages_.size(); ++p) {
        std::string annots;
        for (int obj : annotObj[p]) annots += ref(obj) + " ";
        const Geometry& g = geometry_[p];
        std::string boxes = "/MediaBox " + g.mediaBox;
        if (!g.cropBox.empty()) boxes += " /CropBox " + g.cropBox;
        if (g.rotation) boxes += " /Rotate " + std::to_string(g.rotation);
        objects[pageObj[p]] = "<< /Type /Page /Parent 2 0 R " + boxes + " /Contents " + ref(contentObj[p]) +
                              " /Resources << /Font << /Helv 3 0 R >> >> /Annots [" + annots + "] >>";
        std::string content;
        if (!pageTexts_[p].empty()) content = "BT /Helv 12 Tf 72 800 Td " + pdfString(pageTexts_[p]) + " Tj ET\n";
        objects[contentObj[p]] = streamObject("", content);

        for (size_t i = 0; i < pages_[p].size(); ++i) {
            const Annot& a = pages_[p][i];
            const double top = 760 - 30.0 * static_cast<double>(i);
            const std::string rect = "/Rect [72 " + std::to_string(top - 20) + " 300 " + std::to_string(top) + "]";
            std::string d = "<< /Type /Annot " + rect + " /P " + ref(pageObj[p]) + " /F 4";
            if (a.kind == Annot::link) {
                d += " /Subtype /Link /Border [0 0 0] /A << /S /URI /URI (https://example.org/) >>";
            } else if (a.kind == Annot::note) {
                d += " /Subtype /Text /Contents (Notitie)";
            } else {
                d += " /Subtype /Widget";
                if (merged(a.field))
                    d += fieldKeys(a.field);
                else
                    d += " /Parent " + ref(fieldObj[a.field]);
            }
            objects[annotObj[p][i]] = d + " >>";
        }
    }
    for (int f = 0; f < fieldCount; ++f) {
        if (merged(f)) continue;
        std::string fieldKids;
        for (int c : childFields[f]) fieldKids += ref(fieldObj[c]) + " ";
        for (int w : widgetsOfField[f]) fieldKids += ref(w) + " ";
        objects[fieldObj[f]] = "<<" + fieldKeys(f) + " /Kids [" + fieldKids + "] >>";
    }

    PdfWriter pdf;
    for (int n = 1; n < next; ++n) pdf.add(objects[n]);
    return pdf.build();
}

std::string textForm(const std::vector<std::string>& names) {
    FormBuilder form;
    int page = form.addPage();
    for (const std::string& name : names) form.addWidget(page, form.addText(name));
    return form.build();
}

namespace {

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

// "@N" in `text` becomes a reference to ids[N]; higher numbers first, so "@1" leaves "@10" be.
std::string resolveRefs(std::string text, const std::vector<int>& ids) {
    for (size_t k = ids.size(); k-- > 0;) {
        std::string mark = "@" + std::to_string(k);
        for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at))
            text.replace(at, mark.size(), ref(ids[k]));
    }
    return text;
}

std::string buildForm(const std::vector<FixtureField>& fields, int pages, const std::string& helv,
                      const std::vector<std::string>& objects, bool needAppearances) {
    PdfWriter b;
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
        std::string d = "<</Type /Annot /Subtype /Widget /FT /" + f.type + title + " /Rect [" + num(f.rect[0]) + " " +
                        num(f.rect[1]) + " " + num(f.rect[2]) + " " + num(f.rect[3]) + "] /F " +
                        std::to_string(f.annotFlags) + " /Ff " + std::to_string(f.flags) + " /DA (" + f.da + ") /P " +
                        ref(pageIds[static_cast<size_t>(f.page)]);
        if (f.maxLen) d += " /MaxLen " + std::to_string(f.maxLen);
        if (f.quadding) d += " /Q " + std::to_string(f.quadding);
        if (parentId) d += " /Parent " + ref(parentId);
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
        for (int k : parentKids[name]) kids += ref(k) + " ";
        b.set(id, "<</T (" + name + ") /Kids [" + kids + "]>>");
    }
    std::string kids, fieldRefs;
    for (int p = 0; p < pages; ++p) {
        std::string annots;
        for (int a : pageAnnots[static_cast<size_t>(p)]) annots += ref(a) + " ";
        b.set(pageIds[static_cast<size_t>(p)],
              "<</Type /Page /Parent " + ref(tree) + " /MediaBox [0 0 612 792] /Resources <</Font <</F1 " + ref(font) +
                  ">>>> /Contents " + ref(contentIds[static_cast<size_t>(p)]) + " /Annots [" + annots + "]>>");
        b.set(contentIds[static_cast<size_t>(p)],
              streamObject("", "BT /F1 12 Tf 72 750 Td (Static page " + std::to_string(p + 1) + ") Tj ET"));
        kids += ref(pageIds[static_cast<size_t>(p)]) + " ";
    }
    for (int f : topFields) fieldRefs += ref(f) + " ";
    b.set(tree, "<</Type /Pages /Count " + std::to_string(pages) + " /Kids [" + kids + "]>>");
    b.set(form, "<</Fields [" + fieldRefs + "] /DR <</Font <</Helv " + ref(font) + ">>>> /DA (/Helv 0 Tf 0 g)" +
                    (needAppearances ? " /NeedAppearances true" : "") + ">>");
    b.set(catalog, "<</Type /Catalog /Pages " + ref(tree) + " /AcroForm " + ref(form) + ">>");
    return b.build(catalog);
}

}  // namespace

std::string makeForm(const std::vector<FixtureField>& fields, int pages, const std::string& helv) {
    return buildForm(fields, pages, helv, {}, false);
}

std::string makeForm(const std::vector<FixtureField>& fields, const std::vector<std::string>& objects,
                     bool needAppearances) {
    return buildForm(fields, 1, kHelveticaFont, objects, needAppearances);
}

}  // namespace qvfixture
