#pragma once
// Pieces of the font embedder that the appearance builder and the tests share.

#include <cstdint>
#include <map>
#include <string>

#include "platform/pdf/Fonts.h"

namespace qvpdf {

// The width of a glyph as the embedded font's /W array states it (thousandths of an em,
// rounded to what the array prints), so that content adjustments computed against it are exact.
double embeddedGlyphWidth(const Face& face, uint32_t glyphId);

// A number as PDF content prints it: at most three decimals, no exponent, no "-0".
std::string pdfNumber(double value);

// The ToUnicode CMap for glyph ids and the text each stands for (glyphs without text are left out).
std::string toUnicodeCMap(const std::map<uint32_t, std::u32string>& glyphText);

// Six capital letters that depend only on the font and the glyph set.
std::string subsetTag(const std::string& postScriptName, const std::map<uint32_t, std::u32string>& glyphs);

}  // namespace qvpdf
