#pragma once
// Strict UTF-8 checking for the data file: the text must be exactly what a UTF-8 decoder
// accepts without substitution, so that every later step can trust it.

#include <cstddef>
#include <optional>
#include <string_view>

// The byte offset of the first ill-formed sequence in `text` (the offset of its first byte),
// or nothing when the whole text is well-formed UTF-8. Rejected: stray continuation bytes,
// overlong forms (C0, C1, E0 80..9F, F0 80..8F), encoded surrogates (ED A0..BF), code points
// above U+10FFFF (F4 90.., F5..FF) and sequences cut short by another byte or by the end.
std::optional<size_t> QVFirstInvalidUtf8(std::string_view text);
