#include <ft2build.h>
#include FT_FREETYPE_H
#include <unicode/uchar.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/text/StandardFonts.h"
#include "platform/text/Typesetting.h"

namespace qvpdf {

namespace {

using namespace stdfonts;

const uint16_t* baseEncoding(const SimpleFontDescription& d, const StandardFont* standard) {
    if (d.encodingName == "WinAnsiEncoding") return kWinAnsiEncoding;
    if (d.encodingName == "MacRomanEncoding") return kMacRomanEncoding;
    if (d.encodingName == "StandardEncoding") return kStandardEncoding;
    // Without an encoding a font uses its own: the symbol fonts have theirs built in.
    if (standard && standard->symbolic)
        return std::string(standard->name) == "Symbol" ? kSymbolEncoding : kZapfDingbatsEncoding;
    return kStandardEncoding;
}

bool isMark(char32_t c) {
    int8_t type = u_charType(static_cast<UChar32>(c));
    return type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK || type == U_COMBINING_SPACING_MARK;
}

std::string lowercase(std::string_view text) {
    std::string out(text);
    for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool containsAny(const std::string& text, std::initializer_list<const char*> words) {
    return std::any_of(words.begin(), words.end(), [&](const char* w) { return text.find(w) != std::string::npos; });
}

// /FontDescriptor /Flags bits.
constexpr int kFixedPitch = 1 << 0, kSerif = 1 << 1, kItalic = 1 << 6, kForceBold = 1 << 18;

std::optional<size_t> glyphForCharacter(char32_t c) {
    for (size_t i = 0; i < kGlyphNameCount; ++i)
        if (kGlyphNames[i].unicode == c) return i;
    return std::nullopt;
}

// The font program a form embeds, opened with FreeType to see which glyphs it really has
// (forms often embed subsets that lack most characters).
class Program {
public:
    explicit Program(const std::string& bytes) {
        if (FT_Init_FreeType(&library_) != 0) {
            library_ = nullptr;
            return;
        }
        if (FT_New_Memory_Face(library_, reinterpret_cast<const FT_Byte*>(bytes.data()),
                               static_cast<FT_Long>(bytes.size()), 0, &face_) != 0)
            face_ = nullptr;
    }
    ~Program() {
        if (face_) FT_Done_Face(face_);
        if (library_) FT_Done_FreeType(library_);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool loaded() const { return face_ != nullptr; }

    // The glyph for a code of the font's encoding, by name where the font has names, else
    // through its character maps as viewers look glyphs up.
    unsigned glyphFor(unsigned char code, const char* glyphName, char32_t unicode) const {
        if (!face_) return 0;
        if (glyphName && FT_HAS_GLYPH_NAMES(face_)) {
            unsigned gid = FT_Get_Name_Index(face_, glyphName);
            if (gid) return gid;
        }
        for (int i = 0; i < face_->num_charmaps; ++i) {
            FT_CharMap map = face_->charmaps[i];
            if (FT_Set_Charmap(face_, map) != 0) continue;
            unsigned gid = 0;
            if (map->encoding == FT_ENCODING_UNICODE && unicode)
                gid = FT_Get_Char_Index(face_, unicode);
            else if (map->encoding == FT_ENCODING_MS_SYMBOL) {
                gid = FT_Get_Char_Index(face_, 0xF000 + code);
                if (!gid) gid = FT_Get_Char_Index(face_, code);
            } else if (map->encoding == FT_ENCODING_APPLE_ROMAN || map->encoding == FT_ENCODING_ADOBE_CUSTOM ||
                       map->encoding == FT_ENCODING_ADOBE_STANDARD)
                gid = FT_Get_Char_Index(face_, code);
            if (gid) return gid;
        }
        return 0;
    }

    double advance(unsigned gid) const {
        if (!face_ || FT_Load_Glyph(face_, gid, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0) return 0;
        unsigned upem = face_->units_per_EM ? face_->units_per_EM : 1000;
        return face_->glyph->advance.x * 1000.0 / upem;
    }

    // The bottom and top of a glyph's outline, thousandths of an em.
    std::optional<std::pair<double, double>> ink(unsigned gid) const {
        if (!face_ || FT_Load_Glyph(face_, gid, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0) return std::nullopt;
        double scale = 1000.0 / (face_->units_per_EM ? face_->units_per_EM : 1000);
        const FT_Glyph_Metrics& m = face_->glyph->metrics;
        return std::pair<double, double>((m.horiBearingY - m.height) * scale, m.horiBearingY * scale);
    }

    double ascent() const { return face_ && face_->units_per_EM ? face_->ascender * 1000.0 / face_->units_per_EM : 0; }
    double descent() const {
        return face_ && face_->units_per_EM ? face_->descender * 1000.0 / face_->units_per_EM : 0;
    }

private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

}  // namespace

SimpleFont::SimpleFont(SimpleFontDescription description) : description_(std::move(description)) {
    metrics_.assign(256, 0);
    std::fill(std::begin(ascii_), std::end(ascii_), int16_t(-1));
    const auto& d = description_;
    style_ = styleOfFont(d);
    // Type 3 glyphs are drawn by procedures in their own glyph space: we cannot measure
    // them reliably, so such a font shows nothing and the caller falls back.
    if (d.subtype == "Type3") return;

    const StandardFont* standard = standardFontFor(d.baseFont);
    std::unique_ptr<Program> program;
    if (d.fontProgram && !d.fontProgram->empty()) {
        program = std::make_unique<Program>(*d.fontProgram);
        if (!program->loaded()) program.reset();
    }

    const uint16_t* base = baseEncoding(d, standard);
    const char* names[256] = {};
    std::string differenceNames[256];
    for (int code = 0; code < 256; ++code) {
        if (base[code]) {
            const GlyphName& g = kGlyphNames[base[code] - 1];
            names[code] = g.name;
            unicode_[code] = g.unicode;
        }
    }
    for (const auto& [code, name] : d.differences) {
        if (code < 0 || code > 255) continue;
        differenceNames[code] = name;
        names[code] = differenceNames[code].c_str();
        unicode_[code] = unicodeForGlyphName(name).value_or(0);
    }

    // The ink of a glyph a viewer substitutes: the standard font's, or Helvetica's shape.
    const StandardFont* inkModel = standard ? standard : &kStandardFonts[0];
    std::optional<std::pair<double, double>> glyphInk[256];
    for (int code = 0; code < 256; ++code) {
        const char* name = names[code];
        std::optional<size_t> glyph = name ? glyphIndex(name) : std::nullopt;
        // "uni017A" names the glyph that the metrics know as "zacute".
        if (!glyph && unicode_[code]) glyph = glyphForCharacter(unicode_[code]);
        unsigned programGlyph = program ? program->glyphFor(static_cast<unsigned char>(code), name, unicode_[code]) : 0;

        int widthIndex = code - d.firstChar;
        bool fromWidths = !d.widths.empty() && widthIndex >= 0 && widthIndex < static_cast<int>(d.widths.size());
        std::optional<double> standardW = standard && glyph ? standardWidth(*standard, *glyph) : std::nullopt;
        if (fromWidths)
            metrics_[code] = d.widths[widthIndex];
        else if (!d.widths.empty())
            metrics_[code] = d.missingWidth;
        else if (standardW)
            metrics_[code] = *standardW;
        else if (programGlyph)
            metrics_[code] = program->advance(programGlyph);
        if (programGlyph)
            glyphInk[code] = program->ink(programGlyph);
        else if (glyph)
            glyphInk[code] = standardInk(*inkModel, *glyph);

        bool hasGlyph;
        if (program)
            hasGlyph = programGlyph != 0;
        else if (standard && d.widths.empty())
            hasGlyph = standardW.has_value();
        else if (standard)
            hasGlyph = standardW.has_value() || (fromWidths && metrics_[code] > 0);
        // A font the viewer substitutes: trust its widths, where a zero means no glyph.
        else
            hasGlyph = fromWidths && (metrics_[code] > 0 || unicode_[code] == U' ');
        // A glyph without width would be drawn over the next character (forms that list 0 for
        // the euro sign or curly quotes); only a combining mark belongs there.
        if (hasGlyph && !(metrics_[code] > 0) && !isMark(unicode_[code])) hasGlyph = false;
        usable_[code] = unicode_[code] != 0 && hasGlyph;
    }

    for (int code = 0; code < 256; ++code) {
        if (!usable_[code]) continue;
        // Only the glyph name's own character: readers know no other for the glyph (Greek mu
        // on WinAnsi's "mu" would be read back as the micro sign), so a second character the
        // glyph could serve is left to a face that has it.
        codes_.try_emplace(unicode_[code], static_cast<unsigned char>(code));
    }
    // No-break space and soft hyphen look like space and hyphen where a font has no glyph of their own.
    if (auto space = codes_.find(U' '); space != codes_.end()) codes_.try_emplace(U'\u00A0', space->second);
    if (auto hyphen = codes_.find(U'-'); hyphen != codes_.end()) codes_.try_emplace(U'\u00AD', hyphen->second);
    for (char32_t c = 0; c < 128; ++c) {
        auto found = codes_.find(c);
        ascii_[c] = found == codes_.end() ? -1 : found->second;
    }
    embedded_ = program != nullptr;

    // Viewers draw a standard font that is not embedded with their own copy and trust its
    // metrics over the descriptor's, so we do the same.
    if (standard && !program) {
        ascent_ = standard->ascent;
        descent_ = standard->descent;
    } else if (d.ascent != 0 || d.descent != 0) {
        ascent_ = d.ascent;
        descent_ = d.descent < 0 ? d.descent : -d.descent;
    } else if (standard) {
        ascent_ = standard->ascent;
        descent_ = standard->descent;
    } else if (program && program->ascent() > 0) {
        ascent_ = program->ascent();
        descent_ = program->descent();
    }
    if (ascent_ <= 0) ascent_ = 718;
    if (descent_ >= 0) descent_ = -207;
    for (int code = 0; code < 256; ++code) {
        auto [bottom, top] = glyphInk[code].value_or(std::pair<double, double>(descent_, ascent_));
        inkBottom_[code] = static_cast<float>(bottom);
        inkTop_[code] = static_cast<float>(top);
    }
}

std::optional<std::string> SimpleFont::encode(std::u32string_view text) const {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (c < 128) {
            if (ascii_[c] < 0) return std::nullopt;
            out += static_cast<char>(ascii_[c]);
            continue;
        }
        auto found = codes_.find(c);
        if (found == codes_.end()) return std::nullopt;
        out += static_cast<char>(found->second);
    }
    return out;
}

bool SimpleFont::canEncode(std::u32string_view text) const {
    for (char32_t c : text) {
        if (c < 128 ? ascii_[c] < 0 : codes_.find(c) == codes_.end()) return false;
    }
    return true;
}

double SimpleFont::width(std::string_view encoded) const {
    double sum = 0;
    for (unsigned char c : encoded) sum += metrics_[c];
    return sum;
}

std::pair<double, double> SimpleFont::ink(std::string_view encoded) const {
    if (encoded.empty()) return {0, 0};
    double bottom = 1e9, top = -1e9;
    for (unsigned char c : encoded) {
        bottom = std::min(bottom, static_cast<double>(inkBottom_[c]));
        top = std::max(top, static_cast<double>(inkTop_[c]));
    }
    return {bottom, top};
}

double SimpleFont::ascent() const { return ascent_; }
double SimpleFont::descent() const { return descent_; }

FaceStyle styleOfFont(const SimpleFontDescription& d) {
    FaceStyle style;
    std::string_view name = d.baseFont;
    if (name.size() > 7 && name[6] == '+' &&
        std::all_of(name.begin(), name.begin() + 6, [](char c) { return c >= 'A' && c <= 'Z'; }))
        name = name.substr(7);

    if (const StandardFont* standard = standardFontFor(name)) {
        std::string_view full = standard->name;  // "Helvetica-BoldOblique", "Times-Roman", ...
        style.family = std::string(full.substr(0, full.find('-')));
        style.kind = style.family == "Courier" ? FaceStyle::Kind::Mono
                     : style.family == "Times" ? FaceStyle::Kind::Serif
                                               : FaceStyle::Kind::Sans;
        style.bold = full.find("Bold") != std::string_view::npos;
        style.italic = full.find("Italic") != std::string_view::npos || full.find("Oblique") != std::string_view::npos;
        return style;
    }

    // "MyriadPro-BoldIt", "Calibri,Italic", "ABCDEF+SourceSerifPro-Semibold": the family before
    // the first comma or hyphen, the style words after it.
    std::string family;
    for (char c : name.substr(0, name.find_first_of(",-")))
        if (c != ' ') family += c;
    for (const char* suffix : {"PSMT", "MT", "PS"}) {
        size_t n = std::strlen(suffix);
        if (family.size() > n && family.compare(family.size() - n, n, suffix) == 0) {
            family.resize(family.size() - n);
            break;
        }
    }
    style.family = family;
    std::string lower = lowercase(name);
    std::string lowerFamily = lowercase(family);
    size_t cut = name.find_first_of(",-");
    std::string words = cut == std::string_view::npos ? "" : lowercase(name.substr(cut + 1));
    bool itSuffix = words.size() >= 2 && words.compare(words.size() - 2, 2, "it") == 0;  // "BoldIt"
    style.bold =
        containsAny(lower, {"bold", "black", "heavy", "demi"}) || (d.flags & kForceBold) || d.fontWeight >= 600;
    style.italic = containsAny(lower, {"italic", "oblique"}) || itSuffix || (d.flags & kItalic) ||
                   (d.italicAngle != 0 && std::abs(d.italicAngle) < 45);
    bool monoName = containsAny(lowerFamily, {"mono", "courier", "consol", "typewriter", "code"});
    bool serifName =
        (lowerFamily.find("serif") != std::string::npos && lowerFamily.find("sans") == std::string::npos) ||
        containsAny(lowerFamily, {"times", "garamond", "georgia", "cambria", "palatino", "bookman", "baskerville",
                                  "minion", "century", "bodoni", "didot", "caslon"});
    if ((d.flags & kFixedPitch) || monoName)
        style.kind = FaceStyle::Kind::Mono;
    else if ((d.flags & kSerif) || serifName)
        style.kind = FaceStyle::Kind::Serif;
    return style;
}

}  // namespace qvpdf
