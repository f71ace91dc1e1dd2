#pragma once
// Glyph names, single-byte encodings and the widths of the standard 14 PDF fonts, generated
// by scripts/gen-standard-fonts.py into StandardFontsData.cpp.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

namespace qvpdf::stdfonts {

struct GlyphName {
    const char* name;
    char32_t unicode;
    char32_t alternative;  // a second character the glyph serves (Ohm sign and Omega), or 0
};
// Sorted by name (byte order).
extern const GlyphName kGlyphNames[];
extern const size_t kGlyphNameCount;

// Each encoding maps a code to 1 + an index into kGlyphNames, or 0 for no glyph.
extern const uint16_t kStandardEncoding[256];
extern const uint16_t kWinAnsiEncoding[256];
extern const uint16_t kMacRomanEncoding[256];
extern const uint16_t kSymbolEncoding[256];
extern const uint16_t kZapfDingbatsEncoding[256];

struct GlyphWidth {
    uint16_t glyph;      // index into kGlyphNames
    uint16_t width;      // thousandths of an em
    int16_t yMin, yMax;  // the glyph's ink, bottom and top, thousandths of an em
};

struct StandardFont {
    const char* name;          // "Helvetica", "Times-Bold", ...
    const GlyphWidth* widths;  // sorted by glyph
    size_t widthCount;
    int ascent, descent, capHeight;
    bool symbolic;  // Symbol and ZapfDingbats: their own built-in encoding
};
extern const StandardFont kStandardFonts[];
extern const size_t kStandardFontCount;

// The index of a glyph name in kGlyphNames.
[[nodiscard]] std::optional<size_t> glyphIndex(std::string_view name);
// The character a glyph name stands for: from the list, or from "uniXXXX" / "uXXXX[XX]" names.
[[nodiscard]] std::optional<char32_t> unicodeForGlyphName(std::string_view name);
// The standard font that a /BaseFont names, also under the usual other names (Arial,
// TimesNewRoman, CourierNew, with style suffixes) and with a subset tag; null otherwise.
const StandardFont* standardFontFor(std::string_view baseFont);
// Width of a glyph in a standard font; nullopt when the font has no such glyph.
[[nodiscard]] std::optional<double> standardWidth(const StandardFont& font, size_t glyph);
// The bottom and top of a glyph's ink in a standard font; nullopt when the font has no such glyph.
[[nodiscard]] std::optional<std::pair<double, double>> standardInk(const StandardFont& font, size_t glyph);

}  // namespace qvpdf::stdfonts
