#include "platform/pdf/Appearance.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "platform/pdf/Embed.h"
#include "platform/pdf/Fonts.h"
#include "platform/pdf/Shaping.h"
#include "platform/pdf/StandardFonts.h"

namespace qvpdf {

namespace {

// --- default appearance string ----------------------------------------------------------

struct DefaultAppearance {
    std::string fontName;      // resource name without the slash; empty when /DA names none
    double size = 0;           // 0: automatic
    std::string colour = "0 g";  // fill colour operators, ready for the content stream
};

// Reads "/Helv 0 Tf 0 g" and the like: the last Tf and the last colour operator win.
DefaultAppearance parseDefaultAppearance(const std::string& da) {
    DefaultAppearance result;
    std::vector<std::string> operands;
    size_t i = 0;
    while (i < da.size()) {
        char c = da[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        size_t start = i;
        if (c == '/') {
            ++i;
            while (i < da.size() && !std::isspace(static_cast<unsigned char>(da[i])) &&
                   std::string_view("/[]()<>{}%").find(da[i]) == std::string_view::npos)
                ++i;
            operands.push_back(da.substr(start, i - start));
            continue;
        }
        if (std::string_view("[]()<>{}%").find(c) != std::string_view::npos) {
            operands.clear();  // arrays, strings and comments play no part here
            ++i;
            continue;
        }
        while (i < da.size() && !std::isspace(static_cast<unsigned char>(da[i])) &&
               std::string_view("/[]()<>{}%").find(da[i]) == std::string_view::npos)
            ++i;
        std::string token = da.substr(start, i - start);
        char* end = nullptr;
        std::strtod(token.c_str(), &end);
        bool number = end && *end == '\0' && !token.empty();
        if (number) {
            operands.push_back(token);
            continue;
        }
        auto numbers = [&](size_t n) -> std::optional<std::vector<double>> {
            if (operands.size() < n) return std::nullopt;
            std::vector<double> values;
            for (size_t k = operands.size() - n; k < operands.size(); ++k) {
                if (operands[k].empty() || operands[k][0] == '/') return std::nullopt;
                double v = std::strtod(operands[k].c_str(), nullptr);
                if (!std::isfinite(v)) return std::nullopt;
                values.push_back(v);
            }
            return values;
        };
        if (token == "Tf" && operands.size() >= 2 && operands[operands.size() - 2][0] == '/') {
            result.fontName = operands[operands.size() - 2].substr(1);
            double size = std::strtod(operands.back().c_str(), nullptr);
            result.size = std::isfinite(size) && size > 0 ? std::min(size, 1000.0) : 0;
        } else if (token == "g" || token == "rg" || token == "k") {
            size_t n = token == "g" ? 1 : token == "rg" ? 3 : 4;
            if (auto values = numbers(n)) {
                std::string colour;
                for (double v : *values) colour += pdfNumber(std::clamp(v, 0.0, 1.0)) + " ";
                result.colour = colour + token;
            }
        }
        operands.clear();
    }
    return result;
}

std::string colourOperator(const std::vector<double>& components, bool stroke) {
    const char* ops[2][3] = {{"g", "rg", "k"}, {"G", "RG", "K"}};
    int kind = components.size() == 1 ? 0 : components.size() == 3 ? 1 : components.size() == 4 ? 2 : -1;
    if (kind < 0) return "";
    std::string out;
    for (double v : components) out += pdfNumber(std::clamp(std::isfinite(v) ? v : 0.0, 0.0, 1.0)) + " ";
    return out + ops[stroke ? 1 : 0][kind];
}

// --- text in the form's font or in system faces -----------------------------------------

// A piece of one line, drawn either with the form's single-byte font or with shaped glyphs.
struct Segment {
    bool formFont = false;
    std::string encoded;            // the form font's codes
    std::vector<GlyphRun> runs;     // shaped glyphs in system faces
    double width = 0;               // thousandths of an em
};

struct Line {
    std::vector<Segment> segments;
    double width = 0;  // thousandths of an em
};

bool joinsPrevious(char32_t c) {
    int8_t type = u_charType(static_cast<UChar32>(c));
    return type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK || type == U_COMBINING_SPACING_MARK ||
           c == 0x200C || c == 0x200D || u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_VARIATION_SELECTOR);
}

bool rightToLeft(char32_t c) {
    auto dir = u_charDirection(static_cast<UChar32>(c));
    return dir == U_RIGHT_TO_LEFT || dir == U_RIGHT_TO_LEFT_ARABIC || dir == U_RIGHT_TO_LEFT_EMBEDDING ||
           dir == U_RIGHT_TO_LEFT_OVERRIDE || dir == U_RIGHT_TO_LEFT_ISOLATE;
}

// Clusters: a character with the marks and joiners that follow it.
std::vector<std::u32string> clustersOf(std::u32string_view text) {
    std::vector<std::u32string> clusters;
    for (char32_t c : text) {
        if (!clusters.empty() && joinsPrevious(c)) clusters.back() += c;
        else clusters.emplace_back(1, c);
    }
    return clusters;
}

class TextSetter {
public:
    TextSetter(const SimpleFont* form, FaceRef system) : form_(form), system_(std::move(system)) {}

    bool canDraw() const { return form_ || system_; }

    // Metrics of the /DA font (the form's, else the system face), thousandths of an em.
    double ascent() const { return form_ ? form_->ascent() : system_ ? system_->ascent() : 800; }
    double descent() const { return form_ ? form_->descent() : system_ ? system_->descent() : -200; }

    // Splits a line into runs: the form's font wherever it can show whole clusters, system
    // faces for the rest. Lines with right-to-left text are shaped as a whole, since a
    // single-byte font can neither reorder nor join.
    Line layout(std::u32string_view text) const {
        Line line;
        if (text.empty()) return line;
        bool rtl = std::any_of(text.begin(), text.end(), rightToLeft);
        if (!form_ || rtl) {
            addSystem(line, text);
            return line;
        }
        if (auto whole = form_->encode(text)) {  // the common case: one run in the form's font
            addForm(line, *whole);
            return line;
        }
        std::string encoded;
        std::u32string pending;  // clusters the form font cannot show
        for (const auto& cluster : clustersOf(text)) {
            auto codes = form_->encode(cluster);
            if (codes) {
                if (!pending.empty()) {
                    addForm(line, encoded);
                    addSystem(line, pending);
                    pending.clear();
                    encoded.clear();
                }
                encoded += *codes;
            } else {
                pending += cluster;
            }
        }
        if (!pending.empty()) {
            addForm(line, encoded);
            addSystem(line, pending);
        } else {
            addForm(line, encoded);
        }
        return line;
    }

    double width(std::u32string_view text) const { return layout(text).width; }

private:
    void addForm(Line& line, const std::string& encoded) const {
        if (encoded.empty()) return;
        Segment s;
        s.formFont = true;
        s.encoded = encoded;
        s.width = form_->width(encoded);
        line.width += s.width;
        line.segments.push_back(std::move(s));
    }
    void addSystem(Line& line, std::u32string_view text) const {
        Segment s;
        s.runs = shapeText(text, system_, FontService::shared());
        for (const auto& run : s.runs) s.width += run.width();
        if (s.runs.empty()) return;
        line.width += s.width;
        line.segments.push_back(std::move(s));
    }

    const SimpleFont* form_;
    FaceRef system_;
};

// --- wrapping ---------------------------------------------------------------------------

std::vector<std::u32string> paragraphsOf(std::u32string_view text) {
    std::vector<std::u32string> out(1);
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c == U'\r' || c == U'\n' || c == 0x2028 || c == 0x2029) {
            if (c == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') ++i;
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    return out;
}

// Greedy wrapping at spaces; a word wider than the line is broken between clusters. Stops
// after `maxLines` lines: what follows would be below the box.
std::vector<std::u32string> wrap(const std::u32string& paragraph, const TextSetter& setter, double maxWidth,
                                 size_t maxLines) {
    std::vector<std::u32string> lines;
    // Words with the spaces that follow them.
    std::vector<std::u32string> words;
    for (char32_t c : paragraph) {
        if (words.empty() || (c != U' ' && words.back().back() == U' ')) words.emplace_back();
        words.back() += c;
    }
    std::u32string current;
    auto trimmed = [](std::u32string s) {
        while (!s.empty() && s.back() == U' ') s.pop_back();
        return s;
    };
    for (const auto& word : words) {
        if (lines.size() >= maxLines) return lines;
        std::u32string candidate = current + word;
        if (setter.width(trimmed(candidate)) <= maxWidth) {
            current = candidate;
            continue;
        }
        if (!current.empty()) {
            lines.push_back(trimmed(current));
            current.clear();
        }
        if (setter.width(trimmed(word)) <= maxWidth) {
            current = word;
            continue;
        }
        // Break the long word between clusters.
        for (const auto& cluster : clustersOf(word)) {
            std::u32string next = current + cluster;
            if (!current.empty() && setter.width(trimmed(next)) > maxWidth) {
                lines.push_back(trimmed(current));
                current = cluster;
            } else {
                current = next;
            }
        }
    }
    lines.push_back(trimmed(current));
    return lines;
}

// --- content ----------------------------------------------------------------------------

class Content {
public:
    Content(FontEmbedder& embedder, Appearance& appearance) : embedder_(embedder), appearance_(appearance) {}

    std::string& out() { return out_; }

    // Draws a laid-out line with its left end at the current text matrix origin.
    void drawLine(const Line& line, const std::string& formName, double size) {
        for (const auto& segment : line.segments) {
            if (segment.formFont) {
                selectFont(formName, size, true);
                out_ += "<";
                static const char digits[] = "0123456789ABCDEF";
                for (unsigned char c : segment.encoded) {
                    out_ += digits[c >> 4];
                    out_ += digits[c & 15];
                }
                out_ += "> Tj\n";
                continue;
            }
            for (const auto& run : segment.runs) {
                auto show = embedder_.show(run, size);
                selectFont(show.resourceName, size, false);
                out_ += show.operators;
            }
        }
    }

    void moveTo(double x, double y) { out_ += "1 0 0 1 " + pdfNumber(x) + " " + pdfNumber(y) + " Tm\n"; }

private:
    void selectFont(const std::string& name, double size, bool form) {
        auto& list = form ? appearance_.formFonts : appearance_.embeddedFonts;
        if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
        if (name == currentFont_ && size == currentSize_) return;
        currentFont_ = name;
        currentSize_ = size;
        out_ += "/" + name + " " + pdfNumber(size) + " Tf\n";
    }

    FontEmbedder& embedder_;
    Appearance& appearance_;
    std::string out_;
    std::string currentFont_;
    double currentSize_ = -1;
};

std::string rect(double x, double y, double w, double h) {
    return pdfNumber(x) + " " + pdfNumber(y) + " " + pdfNumber(w) + " " + pdfNumber(h) + " re";
}

std::string polygon(std::initializer_list<std::pair<double, double>> points) {
    std::string out;
    bool first = true;
    for (auto [x, y] : points) {
        out += pdfNumber(x) + " " + pdfNumber(y) + (first ? " m " : " l ");
        first = false;
    }
    return out + "f\n";
}

using Colour = std::optional<std::vector<double>>;

// A widget's background and border, drawn in the layout box (w × h).
std::string decoration(const Colour& background, const Colour& border, double bw, const std::string& style,
                       double w, double h) {
    std::string out;
    if (background) {
        std::string fill = colourOperator(*background, false);
        if (!fill.empty()) out += fill + "\n" + rect(0, 0, w, h) + " f\n";
    }
    if (!border || bw <= 0 || !std::isfinite(bw)) return out;
    std::string stroke = colourOperator(*border, true);
    if (stroke.empty()) return out;
    if (style == "B" || style == "I") {
        // The bevel: light above and left, dark below and right (the other way round inset).
        std::string light = style == "B" ? "1 g" : "0.502 g";
        std::string dark = style == "B" ? "0.502 g" : "0.753 g";
        if (style == "B" && background && background->size() == 1)
            dark = pdfNumber(std::clamp((*background)[0], 0.0, 1.0) / 2) + " g";
        out += light + "\n" +
               polygon({{bw, bw}, {bw, h - bw}, {w - bw, h - bw}, {w - 2 * bw, h - 2 * bw}, {2 * bw, h - 2 * bw},
                        {2 * bw, 2 * bw}});
        out += dark + "\n" +
               polygon({{w - bw, h - bw}, {w - bw, bw}, {bw, bw}, {2 * bw, 2 * bw}, {w - 2 * bw, 2 * bw},
                        {w - 2 * bw, h - 2 * bw}});
    }
    out += stroke + "\n" + pdfNumber(bw) + " w\n";
    if (style == "U") {
        out += "0 " + pdfNumber(bw / 2) + " m " + pdfNumber(w) + " " + pdfNumber(bw / 2) + " l S\n";
        return out;
    }
    if (style == "D") out += "[3] 0 d\n";
    out += rect(bw / 2, bw / 2, w - bw, h - bw) + " S\n";
    if (style == "D") out += "[] 0 d\n";
    return out;
}

std::string decoration(const TextFieldAppearanceRequest& r, double w, double h) {
    return decoration(r.backgroundColor, r.borderColor, r.borderWidth, r.borderStyle, w, h);
}

void setRotation(Appearance& a, int rotation, double w, double h) {
    int r = ((rotation % 360) + 360) % 360;
    r = (r / 90) * 90;
    double bboxW = (r == 90 || r == 270) ? h : w;
    double bboxH = (r == 90 || r == 270) ? w : h;
    a.bbox[0] = 0;
    a.bbox[1] = 0;
    a.bbox[2] = bboxW;
    a.bbox[3] = bboxH;
    const double matrices[4][6] = {
        {1, 0, 0, 1, 0, 0}, {0, 1, -1, 0, w, 0}, {-1, 0, 0, -1, w, h}, {0, -1, 1, 0, 0, h}};
    std::copy(std::begin(matrices[r / 90]), std::end(matrices[r / 90]), a.matrix);
}

// --- buttons ------------------------------------------------------------------------------

// A circle as four Bézier curves.
std::string circle(double cx, double cy, double r) {
    const double k = 0.5523 * r;
    auto p = [](double x, double y) { return pdfNumber(x) + " " + pdfNumber(y); };
    return p(cx + r, cy) + " m\n" + p(cx + r, cy + k) + " " + p(cx + k, cy + r) + " " + p(cx, cy + r) + " c\n" +
           p(cx - k, cy + r) + " " + p(cx - r, cy + k) + " " + p(cx - r, cy) + " c\n" + p(cx - r, cy - k) + " " +
           p(cx - k, cy - r) + " " + p(cx, cy - r) + " c\n" + p(cx + k, cy - r) + " " + p(cx + r, cy - k) + " " +
           p(cx + r, cy) + " c\n";
}

// A radio button's background and border: round, as viewers draw them.
std::string roundDecoration(const ButtonAppearanceRequest& r, double w, double h) {
    std::string out;
    double radius = std::min(w, h) / 2;
    if (r.backgroundColor) {
        std::string fill = colourOperator(*r.backgroundColor, false);
        if (!fill.empty()) out += fill + "\n" + circle(w / 2, h / 2, radius) + "f\n";
    }
    double bw = r.borderWidth;
    if (!r.borderColor || bw <= 0 || !std::isfinite(bw) || bw >= radius) return out;
    std::string stroke = colourOperator(*r.borderColor, true);
    if (stroke.empty()) return out;
    out += stroke + "\n" + pdfNumber(bw) + " w\n";
    if (r.borderStyle == "D") out += "[3] 0 d\n";
    out += circle(w / 2, h / 2, radius - bw / 2) + "S\n";
    if (r.borderStyle == "D") out += "[] 0 d\n";
    return out;
}

struct Mark {
    unsigned char code;
    double box[4];  // glyph bounding box, thousandths of an em
    const char* outline;  // the glyph's shape as a path in glyph space; null: drawn as text
};

// The marks forms use, with their outlines' extent (from the URW D050000L metrics), so that
// the drawn shape rather than its advance is centred. They are drawn as paths of the same
// shape: a viewer without a dingbats font (poppler without the URW fonts) would show nothing
// of the glyph, and a mark that does not show is the one failure a check box must not have.
constexpr Mark kMarks[] = {
    {'4', {36, -13, 811, 706}, "36 330 m 300 -13 l 811 640 l 700 706 l 300 250 l 140 430 l h f\n"},  // check
    {'8', {36, -14, 642, 705}, "36 600 m 233 345 l 36 90 l 140 -14 l 339 240 l 538 -14 l 642 90 l 445 345 l "
                               "642 600 l 538 705 l 339 450 l 140 705 l h f\n"},  // cross
    {'u', {35, -14, 754, 705}, "394 -14 m 754 345 l 394 705 l 35 345 l h f\n"},  // diamond
    {'l', {35, -14, 757, 708}, nullptr},                                           // circle, drawn below
    {'n', {35, 0, 726, 691}, "35 0 691 691 re f\n"},                             // square
    {'H', {35, -13, 782, 707}, "408 707 m 496 466 l 782 466 l 552 305 l 639 -13 l 408 183 l 177 -13 l "
                               "264 305 l 35 466 l 320 466 l h f\n"},  // star
};

// The caption's character and its extent; the usual mark when ZapfDingbats has no such glyph.
Mark markFor(const ButtonAppearanceRequest& r) {
    unsigned char code = r.caption.empty() ? 0 : static_cast<unsigned char>(r.caption[0]);
    if (!code || !stdfonts::kZapfDingbatsEncoding[code]) code = r.radio ? 'l' : '4';
    for (const Mark& m : kMarks)
        if (m.code == code) return m;
    const stdfonts::StandardFont& zapf = stdfonts::kStandardFonts[13];
    double width = stdfonts::standardWidth(zapf, stdfonts::kZapfDingbatsEncoding[code] - 1u).value_or(800);
    return Mark{code, {0, -14, width, 705}, nullptr};
}

// --- list boxes -------------------------------------------------------------------------

constexpr const char* kSelectionColour = "0.6 0.75 0.87 rg";

// Gives the appearance the box and matrix of a widget's rectangle turned as /MK /R says.
void placeInRect(Appearance& appearance, const double rect[4], int rotation) {
    double rw = std::abs(rect[2] - rect[0]);
    double rh = std::abs(rect[3] - rect[1]);
    if (!std::isfinite(rw) || !std::isfinite(rh)) rw = rh = 0;
    setRotation(appearance, rotation, rw, rh);
}

// What every field that shows text starts from: its turned box, its /DA and form font, and the
// room inside the border.
struct FieldFrame {
    double w = 0, h = 0, inset = 0, innerW = 0, innerH = 0, textW = 0;
    DefaultAppearance da;
    const SimpleFont* form = nullptr;
};

constexpr double kFieldPadding = 2;  // between the border and the text

FieldFrame fieldFrame(const TextFieldAppearanceRequest& r, Appearance& appearance) {
    FieldFrame f;
    placeInRect(appearance, r.rect, r.rotation);
    f.w = appearance.bbox[2];
    f.h = appearance.bbox[3];
    f.da = parseDefaultAppearance(r.defaultAppearance);
    f.form = r.formFont && !f.da.fontName.empty() ? r.formFont(f.da.fontName) : nullptr;
    const double bw = r.borderColor && std::isfinite(r.borderWidth) ? std::max(0.0, r.borderWidth) : 0;
    f.inset = (r.borderStyle == "B" || r.borderStyle == "I") ? 2 * bw : bw;
    f.innerW = std::max(0.0, f.w - 2 * f.inset);
    f.innerH = std::max(0.0, f.h - 2 * f.inset);
    f.textW = std::max(0.0, f.innerW - 2 * kFieldPadding);
    return f;
}

// Whole characters of UTF-8 text: the byte offset after the first `count` of them, or the end.
size_t afterCharacters(std::string_view text, size_t from, size_t count) {
    size_t i = from;
    for (; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && count-- == 0) break;
    }
    return i;
}

// The byte offset where the last `count` characters begin.
size_t beforeCharacters(std::string_view text, size_t count) {
    size_t i = text.size();
    while (i > 0 && count > 0) {
        --i;
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) --count;
    }
    return i;
}

}  // namespace

std::string_view drawablePart(std::string_view value, const TextFieldAppearanceRequest& request) {
    // At its smallest size (the /DA size, else 2 points on one line and 4 on several) a glyph
    // of a twentieth of an em still fills a line of the field's longest side with this many;
    // a value shorter than that is drawn whole, as is anything a comb field accepts.
    const double side = std::max({1.0, std::abs(request.rect[2] - request.rect[0]),
                                  std::abs(request.rect[3] - request.rect[1])});
    const double daSize = parseDefaultAppearance(request.defaultAppearance).size;
    const double size = std::max(0.5, daSize > 0 ? daSize : request.multiline ? 4.0 : 2.0);
    const double perLine = side * 20 / size + 1;
    const double lines = request.multiline ? side / size + 2 : 1;
    const double limit = std::min(1024 + perLine * lines, double(kMostDrawnCharacters));
    if (value.size() <= limit || request.comb) return value;
    const size_t most = static_cast<size_t>(limit);
    if (request.multiline || request.quadding == 0) return value.substr(0, afterCharacters(value, 0, most));
    if (request.quadding == 2) return value.substr(beforeCharacters(value, most));
    // Centred: what shows is the middle.
    const size_t middle = value.size() / 2;
    const size_t from = beforeCharacters(value.substr(0, middle), most / 2);
    return value.substr(from, afterCharacters(value, from, most) - from);
}

Appearance buildTextFieldAppearance(const TextFieldAppearanceRequest& request, FontEmbedder& embedder) {
    Appearance appearance;
    const FieldFrame frame = fieldFrame(request, appearance);
    const double w = frame.w, h = frame.h, inset = frame.inset, innerW = frame.innerW, innerH = frame.innerH,
                 textW = frame.textW, padding = kFieldPadding;
    const DefaultAppearance& da = frame.da;
    TextSetter setter(frame.form, FontService::shared().systemUIFace());

    Content content(embedder, appearance);
    std::string& out = content.out();
    out += decoration(request, w, h);
    out += "/Tx BMC\n";
    std::u32string value = decodeUtf8(request.value);
    if (value.empty() || !setter.canDraw()) {
        out += "EMC\n";
        appearance.content = out;
        return appearance;
    }
    out += "q\n" + rect(inset, inset, innerW, innerH) + " W n\nBT\n" + da.colour + "\n";
    const double lineHeight = (setter.ascent() - setter.descent()) / 1000.0;  // per point of size
    auto xFor = [&](double width) {
        if (request.quadding == 1) return (w - width) / 2;
        if (request.quadding == 2) return w - inset - padding - width;
        return inset + padding;
    };

    if (request.comb && request.maxLen > 0 && !request.multiline) {
        auto clusters = clustersOf(value);
        double cell = w / request.maxLen;
        double size = da.size;
        if (size <= 0) {
            size = std::min(12.0, innerH / lineHeight);
            for (const auto& c : clusters) {
                double cw = setter.width(c);
                if (cw > 0) size = std::min(size, cell * 1000 / cw);
            }
            size = std::max(size, 2.0);
        }
        double baseline = (h - lineHeight * size) / 2 - setter.descent() / 1000 * size;
        for (size_t i = 0; i < clusters.size(); ++i) {
            Line line = setter.layout(clusters[i]);
            content.moveTo(cell * i + (cell - line.width * size / 1000) / 2, baseline);
            content.drawLine(line, da.fontName, size);
        }
    } else if (request.multiline) {
        auto paragraphs = paragraphsOf(value);
        // Lines below the box are never seen: one more than fit is enough to know it is full.
        auto linesAt = [&](double size) {
            const double fitting = size > 0 ? std::max(0.0, innerH - 2 * padding) / (lineHeight * size) : 0;
            const size_t most = fitting < 1e6 ? static_cast<size_t>(fitting) + 2 : size_t{1000000};
            std::vector<std::u32string> lines;
            for (const auto& p : paragraphs) {
                if (lines.size() >= most) break;
                auto wrapped = wrap(p, setter, size > 0 ? textW * 1000 / size : 0, most - lines.size());
                lines.insert(lines.end(), wrapped.begin(), wrapped.end());
            }
            return lines;
        };
        double size = da.size;
        std::vector<std::u32string> lines;
        if (size <= 0) {
            // Automatic size: 12 points, smaller until the wrapped text fits the height.
            for (size = 12; size > 4; size -= 0.5) {
                lines = linesAt(size);
                if (lines.size() * lineHeight * size <= innerH - 2 * padding) break;
            }
            if (size <= 4) {
                size = 4;
                lines = linesAt(size);
            }
        } else {
            lines = linesAt(size);
        }
        double y = h - inset - padding - setter.ascent() / 1000 * size;
        for (const auto& text : lines) {
            Line line = setter.layout(text);
            if (line.segments.empty()) {
                y -= lineHeight * size;
                continue;
            }
            content.moveTo(xFor(line.width * size / 1000), y);
            content.drawLine(line, da.fontName, size);
            y -= lineHeight * size;
        }
    } else {
        // One line: line breaks in the value are shown as spaces.
        std::u32string single;
        for (size_t i = 0; i < value.size(); ++i) {
            if (value[i] == U'\r' && i + 1 < value.size() && value[i + 1] == U'\n') continue;
            single += (value[i] == U'\r' || value[i] == U'\n') ? U' ' : value[i];
        }
        Line line = setter.layout(single);
        double size = da.size;
        if (size <= 0) {
            // Automatic size: as high as the field allows, smaller until the text fits its width.
            size = std::max(1.0, (innerH - 2) / lineHeight);
            if (line.width > 0) size = std::min(size, textW * 1000 / line.width);
            size = std::max(size, 2.0);
            size = std::floor(size * 10) / 10;
        }
        double baseline = (h - lineHeight * size) / 2 - setter.descent() / 1000 * size;
        content.moveTo(xFor(line.width * size / 1000), baseline);
        content.drawLine(line, da.fontName, size);
    }
    out += "ET\nQ\nEMC\n";
    appearance.content = out;
    return appearance;
}

Appearance buildFreeTextAppearance(const FreeTextAppearanceRequest& request, FontEmbedder& embedder) {
    Appearance appearance;
    double w = std::abs(request.rect[2] - request.rect[0]);
    double h = std::abs(request.rect[3] - request.rect[1]);
    if (!std::isfinite(w) || !std::isfinite(h)) w = h = 0;
    appearance.bbox[2] = w;
    appearance.bbox[3] = h;
    FaceRef face = request.face ? request.face : FontService::shared().systemUIFace();
    double size = std::isfinite(request.size) && request.size > 0 ? request.size : 11;
    if (!face || request.text.empty()) return appearance;

    auto runs = shapeLine(request.text, face);
    double width = 0;
    for (const auto& run : runs) width += run.width();
    width = width * size / 1000;
    const double padding = 2;
    double x = request.alignment == 1 ? (w - width) / 2 : request.alignment == 2 ? w - padding - width : padding;
    double baseline = (h - (face->ascent() - face->descent()) / 1000 * size) / 2 - face->descent() / 1000 * size;

    Content content(embedder, appearance);
    std::string& out = content.out();
    double gray = std::isfinite(request.gray) ? std::clamp(request.gray, 0.0, 1.0) : 0;
    out += "q\nBT\n" + pdfNumber(gray) + " g\n";
    content.moveTo(x, baseline);
    Line line;
    Segment segment;
    segment.runs = std::move(runs);
    line.segments.push_back(std::move(segment));
    content.drawLine(line, "", size);
    out += "ET\nQ\n";
    appearance.content = out;
    return appearance;
}

}  // namespace qvpdf

namespace qvpdf {

Appearance buildButtonAppearance(const ButtonAppearanceRequest& request, bool on) {
    Appearance appearance;
    placeInRect(appearance, request.rect, request.rotation);
    const double w = appearance.bbox[2], h = appearance.bbox[3];

    std::string out = request.radio ? roundDecoration(request, w, h)
                                    : decoration(request.backgroundColor, request.borderColor, request.borderWidth,
                                                 request.borderStyle, w, h);
    if (on && w > 0 && h > 0) {
        double bw = request.borderColor && std::isfinite(request.borderWidth) ? std::max(0.0, request.borderWidth) : 0;
        double inset = (request.borderStyle == "B" || request.borderStyle == "I") ? 2 * bw : bw;
        double innerW = std::max(0.0, w - 2 * inset), innerH = std::max(0.0, h - 2 * inset);
        if (request.radio) innerW = innerH = std::min(innerW, innerH);
        Mark mark = markFor(request);
        double gw = mark.box[2] - mark.box[0], gh = mark.box[3] - mark.box[1];
        // A check fills most of its box; a radio's dot sits well inside its ring.
        double share = request.radio ? 0.5 : 0.8;
        double size = std::min(innerW * share * 1000 / gw, innerH * share * 1000 / gh);
        if (size > 0 && std::isfinite(size)) {
            double x = (w - gw * size / 1000) / 2 - mark.box[0] * size / 1000;
            double y = (h - gh * size / 1000) / 2 - mark.box[1] * size / 1000;
            std::string colour = parseDefaultAppearance(request.defaultAppearance).colour;
            if (mark.code == 'l') {
                out += "q\n" + colour + "\n" + circle(w / 2, h / 2, gw * size / 2000) + "f\nQ\n";
            } else if (mark.outline) {
                double scale = size / 1000;
                out += "q\n" + colour + "\n" + pdfNumber(scale) + " 0 0 " + pdfNumber(scale) + " " + pdfNumber(x) +
                       " " + pdfNumber(y) + " cm\n" + mark.outline + "Q\n";
            } else {
                static const char digits[] = "0123456789ABCDEF";
                out += "q\nBT\n" + colour + "\n/ZaDb " + pdfNumber(size) + " Tf\n" + pdfNumber(x) + " " +
                       pdfNumber(y) + " Td\n<" + digits[mark.code >> 4] + digits[mark.code & 15] + "> Tj\nET\nQ\n";
                appearance.zapfDingbats = true;
            }
        }
    }
    appearance.content = out;
    return appearance;
}

Appearance buildListBoxAppearance(const ListBoxAppearanceRequest& request, FontEmbedder& embedder) {
    const TextFieldAppearanceRequest& r = request.field;
    Appearance appearance;
    const FieldFrame frame = fieldFrame(r, appearance);
    const double w = frame.w, h = frame.h, inset = frame.inset, innerW = frame.innerW, innerH = frame.innerH,
                 textW = frame.textW, padding = kFieldPadding;
    const DefaultAppearance& da = frame.da;
    TextSetter setter(frame.form, FontService::shared().systemUIFace());

    Content content(embedder, appearance);
    std::string& out = content.out();
    out += decoration(r, w, h);
    out += "/Tx BMC\n";
    const int count = static_cast<int>(request.options.size());
    if (count == 0 || !setter.canDraw()) {
        out += "EMC\n";
        appearance.content = out;
        return appearance;
    }
    const double size = da.size > 0 ? da.size : 12;
    const double lineHeight = (setter.ascent() - setter.descent()) / 1000.0 * size;
    const double top = h - inset - 1;  // the first line's top
    const int visible = std::max(1, static_cast<int>((top - inset) / lineHeight));
    int first = std::clamp(request.topIndex, 0, count - 1);
    // A list scrolled away from its selection would hide it: the first selected option shows.
    std::vector<int> selected;
    for (int i : request.selected)
        if (i >= 0 && i < count) selected.push_back(i);
    std::sort(selected.begin(), selected.end());
    if (!selected.empty() && (selected.front() < first || selected.front() >= first + visible)) first = selected.front();
    int last = std::min(count, first + visible + 1);  // a partly visible line is drawn, clipped

    out += "q\n" + rect(inset, inset, innerW, innerH) + " W n\n";
    for (int i : selected) {
        if (i < first || i >= last) continue;
        double lineTop = top - (i - first) * lineHeight;
        out += std::string(kSelectionColour) + "\n" + rect(inset, lineTop - lineHeight, innerW, lineHeight) + " f\n";
    }
    out += "BT\n" + da.colour + "\n";
    for (int i = first; i < last; ++i) {
        Line line = setter.layout(decodeUtf8(request.options[static_cast<size_t>(i)]));
        if (line.segments.empty()) continue;
        double width = line.width * size / 1000;
        double x = r.quadding == 1 ? (w - width) / 2 : r.quadding == 2 ? inset + padding + textW - width : inset + padding;
        double baseline = top - (i - first) * lineHeight - setter.ascent() / 1000 * size;
        content.moveTo(x, baseline);
        content.drawLine(line, da.fontName, size);
    }
    out += "ET\nQ\nEMC\n";
    appearance.content = out;
    return appearance;
}

}  // namespace qvpdf
