#pragma once
// Helpers of the shaper that the appearance builder shares: UTF-8 decoding with U+FFFD for
// invalid sequences, and shaping of already decoded text with a chosen font service.

#include <string>
#include <string_view>
#include <vector>

#include "platform/pdf/Text.h"

namespace qvpdf {

// Decodes UTF-8; every maximal invalid subsequence becomes one U+FFFD.
std::u32string decodeUtf8(std::string_view utf8);
std::string encodeUtf8(std::u32string_view text);

// shapeLine on decoded text, with fallback faces from `service` of the kind, weight and slant
// of `style`.
std::vector<GlyphRun> shapeText(std::u32string_view text, const FaceRef& primary, FontService& service,
                                const FaceStyle& style = {});

}  // namespace qvpdf
