#include "support/FormFixtures.h"

#include <cstdio>
#include <map>

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
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        unsigned cp = c;
        size_t len = 1;
        if (c >= 0xF0) cp = c & 0x07, len = 4;
        else if (c >= 0xE0) cp = c & 0x0F, len = 3;
        else if (c >= 0xC0) cp = c & 0x1F, len = 2;
        for (size_t k = 1; k < len && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return hex + ">";
}

std::string ref(int object) { return std::to_string(object) + " 0 R"; }

}  // namespace

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
        objects[pageObj[p]] = "<< /Type /Page /Parent 2 0 R " + boxes + " /Contents " +
                              ref(contentObj[p]) + " /Resources << /Font << /Helv 3 0 R >> >> /Annots [" +
                              annots + "] >>";
        std::string content;
        if (!pageTexts_[p].empty()) content = "BT /Helv 12 Tf 72 800 Td " + pdfString(pageTexts_[p]) + " Tj ET\n";
        objects[contentObj[p]] = "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream";

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
                if (merged(a.field)) d += fieldKeys(a.field);
                else d += " /Parent " + ref(fieldObj[a.field]);
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

    std::string pdf = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
    std::vector<size_t> offsets(next, 0);
    for (const auto& [number, body] : objects) {
        offsets[number] = pdf.size();
        pdf += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(next) + "\n0000000000 65535 f \n";
    for (int n = 1; n < next; ++n) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offsets[n]);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(next) + " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

std::string textForm(const std::vector<std::string>& names) {
    FormBuilder form;
    int page = form.addPage();
    for (const std::string& name : names) form.addWidget(page, form.addText(name));
    return form.build();
}

}  // namespace qvfixture
