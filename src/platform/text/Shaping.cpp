#include "platform/text/Shaping.h"

#include <hb.h>
#include <unicode/ubidi.h>
#include <unicode/uchar.h>
#include <unicode/uscript.h>

#include <algorithm>
#include <memory>

#include "platform/Unicode.h"
#include "platform/text/Fonts.h"

namespace qvpdf {

double GlyphRun::width() const {
    double sum = 0;
    for (const auto& g : glyphs) sum += g.advance;
    return sum;
}

namespace {

// Characters that belong to the character before them, whatever font covers them.
bool attachesToPrevious(char32_t c) {
    int8_t type = u_charType(static_cast<UChar32>(c));
    if (type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK || type == U_COMBINING_SPACING_MARK) return true;
    return c == 0x200C || c == 0x200D || u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_VARIATION_SELECTOR);
}

bool realScript(UScriptCode s) { return s != USCRIPT_COMMON && s != USCRIPT_INHERITED && s != USCRIPT_UNKNOWN; }

struct Piece {
    size_t start, end;
    FaceRef face;
};

struct HbBuffer {
    hb_buffer_t* buffer = hb_buffer_create();
    ~HbBuffer() { hb_buffer_destroy(buffer); }
};

GlyphRun shapePiece(const std::u32string& shaped, std::u32string_view original, const Piece& piece, bool rtl,
                    std::vector<uint32_t>* clusterOfGlyph) {
    GlyphRun run;
    run.face = piece.face;
    HbBuffer holder;
    hb_buffer_t* buf = holder.buffer;
    hb_buffer_add_codepoints(buf, reinterpret_cast<const hb_codepoint_t*>(shaped.data()),
                             static_cast<int>(shaped.size()), static_cast<unsigned>(piece.start),
                             static_cast<int>(piece.end - piece.start));
    hb_buffer_set_direction(buf, rtl ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
    hb_buffer_guess_segment_properties(buf);
    hb_shape(piece.face->hbFont(), buf, nullptr, 0);

    unsigned count = 0;
    hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buf, &count);
    hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buf, &count);

    // Each cluster's text runs up to the next cluster in logical order.
    std::vector<uint32_t> clusters;
    clusters.reserve(count);
    for (unsigned i = 0; i < count; ++i) clusters.push_back(info[i].cluster);
    if (clusterOfGlyph) clusterOfGlyph->insert(clusterOfGlyph->end(), clusters.begin(), clusters.end());
    std::sort(clusters.begin(), clusters.end());
    clusters.erase(std::unique(clusters.begin(), clusters.end()), clusters.end());
    std::vector<bool> given(clusters.size(), false);

    const double scale = 1000.0 / piece.face->unitsPerEm();
    run.glyphs.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        PlacedGlyph g;
        g.glyphId = info[i].codepoint;
        g.advance = pos[i].x_advance * scale;
        g.xOffset = pos[i].x_offset * scale;
        g.yOffset = pos[i].y_offset * scale;
        size_t k = std::lower_bound(clusters.begin(), clusters.end(), info[i].cluster) - clusters.begin();
        if (!given[k]) {
            given[k] = true;
            size_t end = k + 1 < clusters.size() ? clusters[k + 1] : piece.end;
            size_t begin = info[i].cluster;
            if (begin < end && end <= original.size()) {
                g.text = std::u32string(original.substr(begin, end - begin));
                // Readers put right-to-left text back in logical order character by
                // character, so a cluster drawn right to left reads in visual order too.
                if (rtl) std::reverse(g.text.begin(), g.text.end());
            }
        }
        run.glyphs.push_back(std::move(g));
    }
    return run;
}

// Splits the logical range [start, end) into pieces of one face and one script.
std::vector<Piece> splitByFace(const std::u32string& text, size_t start, size_t end, const FaceRef& primary,
                               FontService& service, const FaceStyle& style) {
    std::vector<Piece> pieces;
    FaceRef fallback;
    UScriptCode script = USCRIPT_COMMON;
    for (size_t i = start; i < end; ++i) {
        char32_t c = text[i];
        UErrorCode err = U_ZERO_ERROR;
        UScriptCode sc = uscript_getScript(static_cast<UChar32>(c), &err);
        FaceRef face;
        bool keep =
            !pieces.empty() && (attachesToPrevious(c) || (u_isUWhiteSpace(static_cast<UChar32>(c)) &&
                                                          pieces.back().face && pieces.back().face->hasGlyph(c)));
        if (keep) {
            face = pieces.back().face;
        } else if (primary && primary->hasGlyph(c)) {
            face = primary;
        } else {
            face = service.faceCovering(c, fallback, style);
            if (face)
                fallback = face;
            else if (primary)
                face = primary;  // drawn as .notdef, but drawn and measured
            else if (!pieces.empty())
                face = pieces.back().face;
        }
        if (!face) continue;  // no font at all: nothing can be drawn
        bool newScript = realScript(sc) && realScript(script) && sc != script;
        if (realScript(sc)) script = sc;
        if (!pieces.empty() && pieces.back().face == face && !newScript && pieces.back().end == i) {
            pieces.back().end = i + 1;
        } else {
            pieces.push_back({i, i + 1, face});
        }
    }
    return pieces;
}

// UTF-16 for ICU, with the code point index of every code unit (and one past the end).
struct Utf16 {
    std::u16string units;
    std::vector<size_t> toCodePoint;
    explicit Utf16(std::u32string_view text) {
        units.reserve(text.size());
        toCodePoint.reserve(text.size() + 1);
        for (size_t i = 0; i < text.size(); ++i) {
            char32_t c = text[i];
            if (c >= 0x10000) {
                units.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
                units.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
                toCodePoint.push_back(i);
                toCodePoint.push_back(i);
            } else {
                units.push_back(static_cast<char16_t>(c));
                toCodePoint.push_back(i);
            }
        }
        toCodePoint.push_back(text.size());
    }
};

using BidiRef = std::unique_ptr<UBiDi, void (*)(UBiDi*)>;

// The bidi analysis of a paragraph at a given level (below 0: the text's own).
BidiRef analyse(const Utf16& text, int paragraphLevel, UErrorCode& err) {
    BidiRef bidi(ubidi_openSized(static_cast<int32_t>(text.units.size()), 0, &err), ubidi_close);
    if (bidi && U_SUCCESS(err)) {
        UBiDiLevel level = paragraphLevel < 0 ? UBIDI_DEFAULT_LTR : static_cast<UBiDiLevel>(paragraphLevel & 1);
        ubidi_setPara(bidi.get(), reinterpret_cast<const UChar*>(text.units.data()),
                      static_cast<int32_t>(text.units.size()), level, nullptr, &err);
    }
    return bidi;
}

// shapeText, telling for every glyph the index of the character its cluster starts at.
std::vector<GlyphRun> shapeAll(std::u32string_view original, const FaceRef& primary, FontService& service,
                               int paragraphLevel, const FaceStyle& style, std::vector<uint32_t>* clusterOfGlyph) {
    std::vector<GlyphRun> runs;
    if (original.empty()) return runs;

    // Control characters (tabs, stray line breaks) are drawn as spaces; their text stays.
    std::u32string text(original);
    for (auto& c : text)
        if (u_charType(static_cast<UChar32>(c)) == U_CONTROL_CHAR) c = U' ';

    const Utf16 utf16(text);
    const std::vector<size_t>& toCodePoint = utf16.toCodePoint;
    struct Visual {
        size_t start, end;
        bool rtl;
    };
    std::vector<Visual> visual;
    UErrorCode err = U_ZERO_ERROR;
    BidiRef bidi = analyse(utf16, paragraphLevel, err);
    int32_t count = U_SUCCESS(err) && bidi ? ubidi_countRuns(bidi.get(), &err) : 0;
    if (U_SUCCESS(err) && count > 0) {
        for (int32_t r = 0; r < count; ++r) {
            int32_t start = 0, length = 0;
            UBiDiDirection dir = ubidi_getVisualRun(bidi.get(), r, &start, &length);
            visual.push_back({toCodePoint[start], toCodePoint[start + length], dir == UBIDI_RTL});
        }
    } else {
        visual.push_back({0, text.size(), false});
    }

    for (const auto& v : visual) {
        std::vector<Piece> pieces = splitByFace(text, v.start, v.end, primary, service, style);
        if (v.rtl) std::reverse(pieces.begin(), pieces.end());
        for (const auto& piece : pieces) {
            GlyphRun run = shapePiece(text, original, piece, v.rtl, clusterOfGlyph);
            if (!runs.empty() && runs.back().face == run.face) {
                auto& glyphs = runs.back().glyphs;
                glyphs.insert(glyphs.end(), std::make_move_iterator(run.glyphs.begin()),
                              std::make_move_iterator(run.glyphs.end()));
            } else if (!run.glyphs.empty()) {
                runs.push_back(std::move(run));
            }
        }
    }
    return runs;
}

}  // namespace

std::vector<GlyphRun> shapeText(std::u32string_view text, const FaceRef& primary, FontService& service,
                                int paragraphLevel, const FaceStyle& style) {
    return shapeAll(text, primary, service, paragraphLevel, style, nullptr);
}

int paragraphLevel(std::u32string_view text) {
    for (char32_t c : text) {
        switch (u_charDirection(static_cast<UChar32>(c))) {
        case U_LEFT_TO_RIGHT: return 0;
        case U_RIGHT_TO_LEFT:
        case U_RIGHT_TO_LEFT_ARABIC: return 1;
        default: break;
        }
    }
    return 0;
}

std::vector<double> characterAdvances(std::u32string_view text, const FaceRef& primary, FontService& service,
                                      int paragraphLevel, const FaceStyle& style) {
    std::vector<double> advances(text.size(), 0);
    std::vector<uint32_t> clusters;
    size_t k = 0;
    for (const auto& run : shapeAll(text, primary, service, paragraphLevel, style, &clusters))
        for (const auto& g : run.glyphs) {
            uint32_t c = k < clusters.size() ? clusters[k] : 0;
            ++k;
            if (c < advances.size()) advances[c] += g.advance;
        }
    return advances;
}

std::vector<size_t> visualOrder(std::u32string_view text, int paragraphLevel) {
    std::vector<size_t> order;
    const Utf16 utf16(text);
    UErrorCode err = U_ZERO_ERROR;
    BidiRef bidi = analyse(utf16, paragraphLevel, err);
    std::vector<int32_t> map(utf16.units.size());
    if (bidi && U_SUCCESS(err) && !map.empty()) ubidi_getVisualMap(bidi.get(), map.data(), &err);
    if (!bidi || U_FAILURE(err)) {
        for (size_t i = 0; i < text.size(); ++i) order.push_back(i);
        return order;
    }
    for (int32_t unit : map) {
        size_t i = utf16.toCodePoint[static_cast<size_t>(unit)];
        if (order.empty() || order.back() != i) order.push_back(i);  // a surrogate pair is one character
    }
    return order;
}

std::vector<GlyphRun> shapeLine(std::string_view utf8, const FaceRef& primary) {
    return shapeText(QVDecodeUTF8Replacing(utf8), primary, FontService::shared());
}

double measureLine(std::string_view utf8, const FaceRef& face, double size) {
    double width = 0;
    for (const auto& run : shapeLine(utf8, face)) width += run.width();
    return width * size / 1000.0;
}

}  // namespace qvpdf
