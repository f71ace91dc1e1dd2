#include "platform/text/StandardFonts.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

namespace qvpdf::stdfonts {

std::optional<size_t> glyphIndex(std::string_view name) {
    const GlyphName* begin = kGlyphNames;
    const GlyphName* end = kGlyphNames + kGlyphNameCount;
    const GlyphName* found = std::lower_bound(
        begin, end, name, [](const GlyphName& g, std::string_view n) { return std::string_view(g.name) < n; });
    if (found == end || std::string_view(found->name) != name) return std::nullopt;
    return static_cast<size_t>(found - begin);
}

namespace {

std::optional<char32_t> hexValue(std::string_view digits) {
    if (digits.empty() || digits.size() > 6) return std::nullopt;
    char32_t value = 0;
    for (char c : digits) {
        if (!std::isxdigit(static_cast<unsigned char>(c)) || std::islower(static_cast<unsigned char>(c)))
            return std::nullopt;
        value =
            value * 16 + static_cast<char32_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : c - 'A' + 10);
    }
    if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
    return value;
}

}  // namespace

std::optional<char32_t> unicodeForGlyphName(std::string_view name) {
    // "a.sc" and "f_i.alt" name variants of the glyph before the dot.
    if (auto dot = name.find('.'); dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
    if (auto index = glyphIndex(name)) return kGlyphNames[*index].unicode;
    if (name.size() == 7 && name.substr(0, 3) == "uni") return hexValue(name.substr(3));
    if (name.size() >= 5 && name.size() <= 7 && name[0] == 'u') return hexValue(name.substr(1));
    return std::nullopt;
}

const StandardFont* standardFontFor(std::string_view baseFont) {
    // A subset tag is six capitals and a plus sign.
    if (baseFont.size() > 7 && baseFont[6] == '+' &&
        std::all_of(baseFont.begin(), baseFont.begin() + 6, [](char c) { return c >= 'A' && c <= 'Z'; }))
        baseFont = baseFont.substr(7);
    std::string name;
    for (char c : baseFont)
        if (c != ' ') name += c;
    for (size_t i = 0; i < kStandardFontCount; ++i)
        if (name == kStandardFonts[i].name) return &kStandardFonts[i];

    size_t cut = name.find_first_of(",-");
    std::string family = name.substr(0, cut);
    std::string style = cut == std::string::npos ? "" : name.substr(cut + 1);
    for (auto& c : style) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* suffix : {"PSMT", "MT", "PS"}) {
        size_t n = std::strlen(suffix);
        if (family.size() > n && family.compare(family.size() - n, n, suffix) == 0) {
            family.resize(family.size() - n);
            break;
        }
    }
    bool bold = style.find("bold") != std::string::npos;
    bool italic = style.find("italic") != std::string::npos || style.find("oblique") != std::string::npos;
    int variant = (bold ? 1 : 0) + (italic ? 2 : 0);
    int base = -1;
    if (family == "Helvetica" || family == "Arial")
        base = 0;
    else if (family == "Times" || family == "TimesNewRoman" || family == "TimesRoman")
        base = 4;
    else if (family == "Courier" || family == "CourierNew")
        base = 8;
    else if (family == "Symbol")
        return &kStandardFonts[12];
    else if (family == "ZapfDingbats")
        return &kStandardFonts[13];
    if (base < 0) return nullptr;
    return &kStandardFonts[base + variant];
}

std::optional<double> standardWidth(const StandardFont& font, size_t glyph) {
    const GlyphWidth* end = font.widths + font.widthCount;
    const GlyphWidth* found =
        std::lower_bound(font.widths, end, glyph, [](const GlyphWidth& w, size_t g) { return w.glyph < g; });
    if (found == end || found->glyph != glyph) return std::nullopt;
    return found->width;
}

std::optional<std::pair<double, double>> standardInk(const StandardFont& font, size_t glyph) {
    const GlyphWidth* end = font.widths + font.widthCount;
    const GlyphWidth* found =
        std::lower_bound(font.widths, end, glyph, [](const GlyphWidth& w, size_t g) { return w.glyph < g; });
    if (found == end || found->glyph != glyph) return std::nullopt;
    return std::pair<double, double>(found->yMin, found->yMax);
}

}  // namespace qvpdf::stdfonts
