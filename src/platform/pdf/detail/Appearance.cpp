#include "platform/pdf/detail/Appearance.h"

#include <hb.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "platform/Unicode.h"
#include "platform/pdf/detail/Names.h"
#include "platform/text/Embed.h"
#include "platform/text/Fonts.h"
#include "platform/text/Shaping.h"
#include "platform/text/StandardFonts.h"

namespace qvpdf {

namespace {

// --- default appearance string ----------------------------------------------------------

struct DefaultAppearance {
    std::string fontName;        // resource name without the slash; empty when /DA names none
    double size = 0;             // 0: automatic
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
            // Kept decoded like every resource name; the content escapes it again.
            result.fontName = decodePdfName(std::string_view(operands[operands.size() - 2]).substr(1));
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
    std::string encoded;         // the form font's codes
    std::vector<GlyphRun> runs;  // shaped glyphs in system faces
    double width = 0;            // thousandths of an em
};

struct Line {
    std::vector<Segment> segments;
    double width = 0;  // thousandths of an em
};

bool joinsPrevious(char32_t c) {
    int8_t type = u_charType(static_cast<UChar32>(c));
    return type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK || type == U_COMBINING_SPACING_MARK || c == 0x200C ||
           c == 0x200D || u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_VARIATION_SELECTOR);
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
        if (!clusters.empty() && joinsPrevious(c))
            clusters.back() += c;
        else
            clusters.emplace_back(1, c);
    }
    return clusters;
}

constexpr char32_t kSoftHyphen = 0x00AD;

// How the lines of one paragraph are set: in system faces as a whole (right-to-left text, which
// a single-byte font can neither reorder nor join), and at which bidi level.
struct ParagraphStyle {
    bool system = false;
    int level = -1;  // 0 left to right, 1 right to left; -1: each line's own
};

// The ink of a line, thousandths of an em: its lowest and highest point.
struct Ink {
    double bottom = 0, top = 0;
};

class TextSetter {
public:
    // Characters the form's font cannot show are drawn in a face of its kind, weight and slant.
    explicit TextSetter(const SimpleFont* form) : form_(form), useForm_(form != nullptr) {
        if (form_) style_ = form_->style();
    }

    bool canDraw() const { return form_ || system(); }

    // Settles whether the form's font takes part in drawing `value` (line breaks, tabs and
    // other controls aside: they show as nothing or as spaces). A font the form does not embed
    // is drawn by the viewer with a face of its own choosing, so it draws the whole value or
    // none of it: a word half in that face and half in ours would mix two designs.
    void settle(std::u32string_view value) {
        useForm_ = form_ != nullptr;
        if (!form_ || form_->embedded()) return;
        auto isControl = [](char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029; };
        if (std::none_of(value.begin(), value.end(), isControl)) {
            useForm_ = form_->canEncode(value);
        } else {
            std::u32string shown;
            for (char32_t c : value)
                if (!isControl(c)) shown += c;
            useForm_ = form_->canEncode(shown);
        }
        if (!useForm_ && !system()) useForm_ = true;  // no face of ours: the form's font shows what it can
    }

    // Metrics of the /DA font (the form's, else the system face), thousandths of an em.
    double ascent() const { return form_ ? form_->ascent() : system() ? system()->ascent() : 800; }
    double descent() const { return form_ ? form_->descent() : system() ? system()->descent() : -200; }

    // A paragraph's style: its level from its first strong character, for all its lines.
    ParagraphStyle paragraphStyle(std::u32string_view text) const {
        return {!useForm_ || std::any_of(text.begin(), text.end(), rightToLeft), paragraphLevel(text)};
    }

    // Splits a line into runs: the form's font wherever it can show whole clusters, system
    // faces for the rest. Lines with right-to-left text are shaped as a whole.
    Line layout(std::u32string_view text) const {
        return layout(text, {!useForm_ || std::any_of(text.begin(), text.end(), rightToLeft), -1});
    }

    Line layout(std::u32string_view text, const ParagraphStyle& style) const {
        Line line;
        if (text.empty()) return line;
        if (style.system) {
            addSystem(line, text, style.level);
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

    // The advance of each character of a paragraph as layout() sets its lines, measured once:
    // a line's width is then a difference of sums.
    std::vector<double> advances(std::u32string_view text, const ParagraphStyle& style) const {
        FontService& service = FontService::shared();
        if (style.system) return characterAdvances(text, system(), service, style.level, style_);
        std::vector<double> out(text.size(), 0);
        auto setForm = [&](size_t at, const std::string& codes) {
            for (size_t k = 0; k < codes.size(); ++k) out[at + k] = form_->width(std::string_view(codes).substr(k, 1));
        };
        if (auto whole = form_->encode(text)) {
            setForm(0, *whole);
            return out;
        }
        size_t pending = text.size();  // start of the clusters the form font cannot show
        auto flush = [&](size_t end) {
            if (pending >= end) return;
            auto shaped = characterAdvances(text.substr(pending, end - pending), system(), service, -1, style_);
            std::copy(shaped.begin(), shaped.end(), out.begin() + static_cast<std::ptrdiff_t>(pending));
            pending = text.size();
        };
        for (size_t i = 0; i < text.size();) {
            size_t end = i + 1;
            while (end < text.size() && joinsPrevious(text[end])) ++end;
            if (auto codes = form_->encode(text.substr(i, end - i))) {
                flush(i);
                setForm(i, *codes);
            } else if (pending == text.size()) {
                pending = i;
            }
            i = end;
        }
        flush(text.size());
        return out;
    }

    // How far the drawn glyphs of a line reach above and below the baseline.
    Ink ink(const Line& line) const {
        Ink ink{1e9, -1e9};
        for (const auto& segment : line.segments) {
            if (segment.formFont) {
                auto [bottom, top] = form_->ink(segment.encoded);
                ink.bottom = std::min(ink.bottom, bottom);
                ink.top = std::max(ink.top, top);
                continue;
            }
            for (const auto& run : segment.runs) {
                const double scale = 1000.0 / run.face->unitsPerEm();
                for (const auto& g : run.glyphs) {
                    hb_glyph_extents_t e{};
                    if (!hb_font_get_glyph_extents(run.face->hbFont(), g.glyphId, &e) || e.height == 0) continue;
                    ink.top = std::max(ink.top, e.y_bearing * scale + g.yOffset);
                    ink.bottom = std::min(ink.bottom, (e.y_bearing + e.height) * scale + g.yOffset);
                }
            }
        }
        return ink.top < ink.bottom ? Ink{} : ink;
    }

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
    void addSystem(Line& line, std::u32string_view text, int level = -1) const {
        Segment s;
        s.runs = shapeText(text, system(), FontService::shared(), level, style_);
        for (const auto& run : s.runs) s.width += run.width();
        if (s.runs.empty()) return;
        line.width += s.width;
        line.segments.push_back(std::move(s));
    }

    // Found when first needed: most values are all in the form's font.
    const FaceRef& system() const {
        if (!systemResolved_) {
            systemResolved_ = true;
            FontService& service = FontService::shared();
            if (form_) system_ = service.faceForStyle(style_);
            if (!system_) system_ = service.systemUIFace();
        }
        return system_;
    }

    const SimpleFont* form_;
    bool useForm_;
    FaceStyle style_;
    mutable bool systemResolved_ = false;
    mutable FaceRef system_;
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

// A paragraph measured once for wrapping at any size.
struct Paragraph {
    std::u32string text;
    ParagraphStyle style;
    std::vector<double> prefix;  // prefix[i]: advance of the first i characters, thousandths of an em
    double hyphen = 0;           // the advance of the hyphen a soft hyphen turns into at a break
};

Paragraph measure(std::u32string text, const TextSetter& setter) {
    Paragraph p;
    p.style = setter.paragraphStyle(text);
    std::vector<double> advances = setter.advances(text, p.style);
    p.prefix.assign(text.size() + 1, 0);
    for (size_t i = 0; i < text.size(); ++i) p.prefix[i + 1] = p.prefix[i] + (text[i] == kSoftHyphen ? 0 : advances[i]);
    if (text.find(kSoftHyphen) != std::u32string::npos) p.hyphen = setter.layout(U"-", p.style).width;
    p.text = std::move(text);
    return p;
}

struct WrappedLine {
    std::u32string text;
    const Paragraph* paragraph = nullptr;
};

// Greedy wrapping: lines break after spaces (which are dropped) and at soft hyphens (drawn as
// a hyphen there, and nowhere else); a word wider than the line is broken between clusters.
// Stops after `limit` lines in all. Every character is measured once, so this is linear.
void wrap(const Paragraph& p, double maxWidth, size_t limit, std::vector<WrappedLine>& lines) {
    const std::u32string& text = p.text;
    const size_t n = text.size();
    auto width = [&](size_t a, size_t b) { return p.prefix[b] - p.prefix[a]; };
    auto emit = [&](size_t a, size_t b, bool hyphen) {
        while (b > a && (text[b - 1] == U' ' || text[b - 1] == kSoftHyphen)) --b;
        WrappedLine line{{}, &p};
        for (size_t i = a; i < b; ++i)
            if (text[i] != kSoftHyphen) line.text += text[i];
        if (hyphen) line.text += U'-';
        lines.push_back(std::move(line));
    };
    // The places a line may end: the end of the text before each run of spaces or soft hyphen.
    struct Break {
        size_t end, next;
        bool soft;
    };
    std::vector<Break> breaks;
    for (size_t i = 0; i < n;) {
        if (text[i] == U' ') {
            size_t e = i;
            while (i < n && text[i] == U' ') ++i;
            breaks.push_back({e, i, false});
        } else if (text[i] == kSoftHyphen) {
            breaks.push_back({i, i + 1, true});
            ++i;
        } else {
            ++i;
        }
    }
    breaks.push_back({n, n, false});

    size_t start = 0;
    std::optional<size_t> best;  // the last break where the current line may end
    for (size_t j = 0; j < breaks.size() && lines.size() < limit;) {
        const Break& b = breaks[j];
        if (b.end < start) {
            ++j;
            continue;
        }
        double w = width(start, b.end);
        if (w <= maxWidth) {
            if (j + 1 == breaks.size()) {
                emit(start, n, false);
                return;
            }
            if (!b.soft || w + p.hyphen <= maxWidth) best = j;
            ++j;
            continue;
        }
        if (best) {
            const Break& at = breaks[*best];
            emit(start, at.end, at.soft);
            start = at.next;
            j = *best + 1;
            best.reset();
            continue;
        }
        // Not even the first word fits: as many of its clusters as fit, at least one.
        auto nextCluster = [&](size_t k) {
            for (++k; k < n && joinsPrevious(text[k]); ++k) {
            }
            return k;
        };
        size_t k = nextCluster(start);
        while (k < b.end) {
            size_t after = nextCluster(k);
            if (width(start, after) > maxWidth) break;
            k = after;
        }
        emit(start, k, false);
        start = k;
    }
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
        out_ += pdfName(name) + " " + pdfNumber(size) + " Tf\n";
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
std::string decoration(const Colour& background, const Colour& border, double bw, const std::string& style, double w,
                       double h) {
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
               polygon({{bw, bw},
                        {bw, h - bw},
                        {w - bw, h - bw},
                        {w - 2 * bw, h - 2 * bw},
                        {2 * bw, h - 2 * bw},
                        {2 * bw, 2 * bw}});
        out += dark + "\n" +
               polygon({{w - bw, h - bw},
                        {w - bw, bw},
                        {bw, bw},
                        {2 * bw, 2 * bw},
                        {w - 2 * bw, 2 * bw},
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
    const double matrices[4][6] = {{1, 0, 0, 1, 0, 0}, {0, 1, -1, 0, w, 0}, {-1, 0, 0, -1, w, h}, {0, -1, 1, 0, 0, h}};
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
    double box[4];        // glyph bounding box, thousandths of an em
    const char* outline;  // the glyph's shape as a path in glyph space; null: drawn as text
};

// The marks forms use, with their outlines' extent (from the URW D050000L metrics), so that
// the drawn shape rather than its advance is centred. They are drawn as paths of the same
// shape: a viewer without a dingbats font (poppler without the URW fonts) would show nothing
// of the glyph, and a mark that does not show is the one failure a check box must not have.
constexpr Mark kMarks[] = {
    {'4', {36, -13, 811, 706}, "36 330 m 300 -13 l 811 640 l 700 706 l 300 250 l 140 430 l h f\n"},  // check
    {'8',
     {36, -14, 642, 705},
     "36 600 m 233 345 l 36 90 l 140 -14 l 339 240 l 538 -14 l 642 90 l 445 345 l "
     "642 600 l 538 705 l 339 450 l 140 705 l h f\n"},                           // cross
    {'u', {35, -14, 754, 705}, "394 -14 m 754 345 l 394 705 l 35 345 l h f\n"},  // diamond
    {'l', {35, -14, 757, 708}, nullptr},                                         // circle, drawn below
    {'n', {35, 0, 726, 691}, "35 0 691 691 re f\n"},                             // square
    {'H',
     {35, -13, 782, 707},
     "408 707 m 496 466 l 782 466 l 552 305 l 639 -13 l 408 183 l 177 -13 l "
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

// The smallest automatic size: below it text is unreadable on paper, so it is clipped instead.
constexpr double kMinimumAutoSize = 4;

// The baseline of one line at `size`: the font's line centred in the box, moved as little as
// needed to keep the glyphs' ink inside it (centred ink when it cannot fit).
double inkBaseline(const FieldFrame& f, const TextSetter& setter, const Ink& ink, double size) {
    const double lineHeight = (setter.ascent() - setter.descent()) / 1000.0;
    const double nominal = (f.h - lineHeight * size) / 2 - setter.descent() / 1000 * size;
    const double low = f.inset + 1 - ink.bottom / 1000 * size, high = f.h - f.inset - 1 - ink.top / 1000 * size;
    if (low > high) return (low + high) / 2;
    return std::clamp(nominal, low, high);
}

// The characters of a comb field's cells, a character with its marks per cell, in the order
// they are read on the page: right-to-left text is put in visual order.
std::vector<std::u32string> combCells(std::u32string_view text) {
    std::vector<std::u32string> clusters = clustersOf(text);
    if (std::none_of(text.begin(), text.end(), rightToLeft)) return clusters;
    std::vector<size_t> clusterOf(text.size());
    for (size_t i = 0, c = 0; i < text.size(); ++i) {
        if (i > 0 && !joinsPrevious(text[i])) ++c;
        clusterOf[i] = c;
    }
    std::vector<std::u32string> cells;
    std::vector<bool> placed(clusters.size(), false);
    for (size_t i : visualOrder(text, paragraphLevel(text))) {
        size_t c = clusterOf[i];
        if (placed[c]) continue;
        placed[c] = true;
        cells.push_back(clusters[c]);
    }
    return cells;
}

// The lines between a comb field's cells, in the border's colour, width and dashes.
std::string combDividers(const TextFieldAppearanceRequest& r, double w, double h) {
    const double bw = r.borderColor && std::isfinite(r.borderWidth) ? r.borderWidth : 0;
    // Cells narrower than the lines between them would be one block of ink.
    if (bw <= 0 || r.maxLen < 2 || w / r.maxLen < 2 * bw) return "";
    std::string stroke = colourOperator(*r.borderColor, true);
    if (stroke.empty()) return "";
    std::string out = "q\n" + stroke + "\n" + pdfNumber(bw) + " w\n";
    if (r.borderStyle == "D") out += "[3] 0 d\n";
    for (int i = 1; i < r.maxLen; ++i) {
        std::string x = pdfNumber(w * i / r.maxLen);
        out += x + " 0 m " + x + " " + pdfNumber(h) + " l\n";
    }
    return out + "S\nQ\n";
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
    const double side =
        std::max({1.0, std::abs(request.rect[2] - request.rect[0]), std::abs(request.rect[3] - request.rect[1])});
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
    TextSetter setter(frame.form);

    Content content(embedder, appearance);
    std::string& out = content.out();
    out += decoration(request, w, h);
    if (request.comb && request.maxLen > 0 && !request.multiline) out += combDividers(request, w, h);
    out += "/Tx BMC\n";
    // Composed first, so that "o" and a combining diaeresis find the font's own "ö".
    std::u32string value = QVDecodeUTF8Replacing(request.value);
    QVComposeNFC(value);
    setter.settle(value);
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
        std::u32string text;
        for (char32_t c : value)
            if (c != kSoftHyphen) text += c;
        std::vector<Line> cells;
        for (const auto& cluster : combCells(text)) cells.push_back(setter.layout(cluster));
        const double cell = w / request.maxLen;
        const int count = static_cast<int>(cells.size());
        // Right-aligned values end in the last cell, centred ones take the middle cells.
        const int first = request.quadding == 2   ? std::max(0, request.maxLen - count)
                          : request.quadding == 1 ? std::max(0, (request.maxLen - count) / 2)
                                                  : 0;
        double size = da.size;
        Ink ink;
        for (const auto& line : cells) {
            Ink k = setter.ink(line);
            ink.bottom = std::min(ink.bottom, k.bottom);
            ink.top = std::max(ink.top, k.top);
        }
        double baseline = (h - lineHeight * size) / 2 - setter.descent() / 1000 * size;
        if (size <= 0) {
            const double extent = std::max(setter.ascent(), ink.top) - std::min(setter.descent(), ink.bottom);
            size = std::min(12.0, (innerH - 2) * 1000 / extent);
            for (const auto& line : cells)
                if (line.width > 0) size = std::min(size, cell * 1000 / line.width);
            size = std::max(size, kMinimumAutoSize);
            baseline = inkBaseline(frame, setter, ink, size);
        }
        for (int i = 0; i < count && first + i < request.maxLen; ++i) {
            const Line& line = cells[static_cast<size_t>(i)];
            content.moveTo(cell * (first + i) + (cell - line.width * size / 1000) / 2, baseline);
            content.drawLine(line, da.fontName, size);
        }
    } else if (request.multiline) {
        std::vector<Paragraph> paragraphs;
        for (auto& p : paragraphsOf(value)) paragraphs.push_back(measure(std::move(p), setter));
        const double room = innerH - 2 * padding;
        // Lines that fit the height at a size: more are never drawn, so none are laid out.
        auto capacity = [&](double size) {
            double lines = std::floor(room / (lineHeight * size) + 1e-9);
            return lines <= 0 ? size_t{0} : lines >= 1e9 ? size_t{1000000000} : static_cast<size_t>(lines);
        };
        auto linesAt = [&](double size, size_t limit) {
            std::vector<WrappedLine> lines;
            for (const auto& p : paragraphs) {
                if (lines.size() >= limit) break;
                wrap(p, size > 0 ? textW * 1000 / size : 0, limit, lines);
            }
            return lines;
        };
        // The first baseline: below the padding, or lower when the first line's ink would rise
        // out of the box.
        auto firstBaseline = [&](const std::vector<WrappedLine>& lines, double size) {
            double y = h - inset - padding - setter.ascent() / 1000 * size;
            if (lines.empty()) return y;
            Ink ink = setter.ink(setter.layout(lines.front().text, lines.front().paragraph->style));
            return std::min(y, h - inset - 1 - ink.top / 1000 * size);
        };
        double size = da.size;
        std::vector<WrappedLine> lines;
        double y = 0;
        if (size <= 0) {
            // Automatic size: 12 points, smaller until the wrapped text and its ink fit the height.
            for (size = 12; size >= kMinimumAutoSize; size -= 0.5) {
                const size_t fit = capacity(size);
                lines = linesAt(size, fit + 1);
                if (lines.size() > fit) continue;
                y = firstBaseline(lines, size);
                if (lines.empty()) break;
                const WrappedLine& last = lines.back();
                Ink ink = setter.ink(setter.layout(last.text, last.paragraph->style));
                double lastBaseline = y - static_cast<double>(lines.size() - 1) * lineHeight * size;
                if (lastBaseline + std::min(setter.descent(), ink.bottom) / 1000 * size >= inset + 1 - 1e-9) break;
            }
            if (size < kMinimumAutoSize) {
                size = kMinimumAutoSize;
                lines = linesAt(size, capacity(size) + 2);
                y = firstBaseline(lines, size);
            }
        } else {
            lines = linesAt(size, capacity(size) + 2);
            y = firstBaseline(lines, size);
        }
        for (const auto& wrapped : lines) {
            if (y + std::max(setter.ascent(), 1000.0) / 1000 * size * 2 < inset) break;  // below the box
            Line line = setter.layout(wrapped.text, wrapped.paragraph->style);
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
            if (value[i] == kSoftHyphen) continue;  // a line that never breaks shows none
            if (value[i] == U'\r' && i + 1 < value.size() && value[i + 1] == U'\n') continue;
            single += (value[i] == U'\r' || value[i] == U'\n') ? U' ' : value[i];
        }
        Line line = setter.layout(single);
        double size = da.size;
        double baseline;
        if (size <= 0) {
            // Automatic size: as high as the field allows for the font's line and the glyphs'
            // ink (accents rise above the ascent), smaller until the text fits its width.
            const Ink ink = setter.ink(line);
            const double extent = std::max(setter.ascent(), ink.top) - std::min(setter.descent(), ink.bottom);
            size = std::max(1.0, (innerH - 2) * 1000 / extent);
            if (line.width > 0) size = std::min(size, textW * 1000 / line.width);
            size = std::max(size, kMinimumAutoSize);
            size = std::floor(size * 10) / 10;
            baseline = inkBaseline(frame, setter, ink, size);
        } else {
            baseline = (h - lineHeight * size) / 2 - setter.descent() / 1000 * size;
        }
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
                out += "q\nBT\n" + colour + "\n/ZaDb " + pdfNumber(size) + " Tf\n" + pdfNumber(x) + " " + pdfNumber(y) +
                       " Td\n<" + digits[mark.code >> 4] + digits[mark.code & 15] + "> Tj\nET\nQ\n";
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
    TextSetter setter(frame.form);

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
    if (!selected.empty() && (selected.front() < first || selected.front() >= first + visible))
        first = selected.front();
    int last = std::min(count, first + visible + 1);  // a partly visible line is drawn, clipped

    out += "q\n" + rect(inset, inset, innerW, innerH) + " W n\n";
    for (int i : selected) {
        if (i < first || i >= last) continue;
        double lineTop = top - (i - first) * lineHeight;
        out += std::string(kSelectionColour) + "\n" + rect(inset, lineTop - lineHeight, innerW, lineHeight) + " f\n";
    }
    out += "BT\n" + da.colour + "\n";
    for (int i = first; i < last; ++i) {
        std::u32string option = QVDecodeUTF8Replacing(request.options[static_cast<size_t>(i)]);
        QVComposeNFC(option);
        setter.settle(option);
        Line line = setter.layout(option);
        if (line.segments.empty()) continue;
        double width = line.width * size / 1000;
        double x = r.quadding == 1   ? (w - width) / 2
                   : r.quadding == 2 ? inset + padding + textW - width
                                     : inset + padding;
        double baseline = top - (i - first) * lineHeight - setter.ascent() / 1000 * size;
        content.moveTo(x, baseline);
        content.drawLine(line, da.fontName, size);
    }
    out += "ET\nQ\nEMC\n";
    appearance.content = out;
    return appearance;
}

}  // namespace qvpdf
