#pragma once
// Shaping of already decoded text (QVDecodeUTF8Replacing, platform/Unicode.h) with a chosen
// font service, for the appearance builder.

#include <string>
#include <string_view>
#include <vector>

#include "platform/text/Typesetting.h"

namespace qvpdf {

// shapeLine on decoded text, with fallback faces from `service` of the kind, weight and slant
// of `style`. `paragraphLevel` is the bidi level of the paragraph the text belongs to (0 left
// to right, 1 right to left); below 0 the text's own first strong character decides.
std::vector<GlyphRun> shapeText(std::u32string_view text, const FaceRef& primary, FontService& service,
                                int paragraphLevel = -1, const FaceStyle& style = {});
inline std::vector<GlyphRun> shapeText(std::u32string_view text, const FaceRef& primary, FontService& service,
                                       const FaceStyle& style) {
    return shapeText(text, primary, service, -1, style);
}

// The bidi level of a paragraph: 1 when its first strong character is right-to-left, else 0.
int paragraphLevel(std::u32string_view text);

// The advance of every character of `text` (thousandths of an em) as one shapeText pass draws
// it: a cluster's advance counts at its first character, its other characters count 0.
std::vector<double> characterAdvances(std::u32string_view text, const FaceRef& primary, FontService& service,
                                      int paragraphLevel, const FaceStyle& style = {});

// The indices of the characters of `text` in visual order (left to right) at the paragraph level.
std::vector<size_t> visualOrder(std::u32string_view text, int paragraphLevel);

}  // namespace qvpdf
