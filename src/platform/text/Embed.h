#pragma once
// Pieces of the font embedder that the appearance builder and the tests share.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/text/Fonts.h"

namespace qvpdf {

// The width of a glyph as the embedded font's /W array states it (thousandths of an em,
// rounded to what the array prints), so that content adjustments computed against it are exact.
double embeddedGlyphWidth(const Face& face, uint32_t glyphId);

// A number as PDF content prints it: at most three decimals, no exponent, no "-0".
std::string pdfNumber(double value);

// The ToUnicode CMap for codes and the text each stands for (codes without text are left out).
std::string toUnicodeCMap(const std::map<uint32_t, std::u32string>& glyphText);

// A glyph drawn as several glyphs of the font put together, in font units.
struct CompositeGlyph {
    struct Part {
        uint32_t glyphId = 0;
        int dx = 0, dy = 0;
        // Spelt out: this layer also builds as C++17 (see the top CMakeLists.txt).
        bool operator==(const Part& o) const { return glyphId == o.glyphId && dx == o.dx && dy == o.dy; }
        bool operator!=(const Part& o) const { return !(*this == o); }
        bool operator<(const Part& o) const { return std::tie(glyphId, dx, dy) < std::tie(o.glyphId, o.dx, o.dy); }
    };
    std::vector<Part> parts;
    unsigned advance = 0;
};

// The TrueType font with the glyphs added after its own (glyph ids from its glyph count on);
// nothing when it has no glyf outlines to add them to.
[[nodiscard]] std::optional<std::string> appendCompositeGlyphs(const std::string& font,
                                                               const std::vector<CompositeGlyph>& glyphs);

// A code of an embedded font: the glyph it draws and the text it reads as. A code that draws
// a cluster's glyphs together (see FontEmbedder::show) has them as parts (full-font glyph
// ids), glyphId being the first.
struct CodedGlyph {
    uint32_t glyphId = 0;
    std::u32string text;
    std::vector<CompositeGlyph::Part> parts;
    unsigned advance = 0;  // font units, of a code with parts
};

// Six capital letters that depend only on the font and its codes.
std::string subsetTag(const std::string& postScriptName, const std::map<uint32_t, CodedGlyph>& codes);

}  // namespace qvpdf
