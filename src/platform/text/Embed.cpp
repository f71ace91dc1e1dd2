#include "platform/text/Embed.h"

#include <hb-subset.h>
#include <hb.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace qvpdf {

std::string pdfNumber(double value) {
    if (!std::isfinite(value)) return "0";
    // Rounded as the widths are, so that adjustments computed against them come out exact.
    double rounded = std::fabs(value) < 1e15 ? std::round(value * 1000.0) / 1000.0 : std::round(value);
    if (rounded == 0) return "0";
    char buffer[400];  // room for the longest double in fixed notation
    std::to_chars_result res;
    if (std::fabs(rounded) < 1e15 && rounded == std::trunc(rounded))
        res = std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(rounded));
    else
        res = std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed, 3);
    if (res.ec != std::errc()) return "0";
    char* end = res.ptr;
    if (std::find(buffer, end, '.') != end) {
        while (end[-1] == '0') --end;
        if (end[-1] == '.') --end;
    }
    return std::string(buffer, end);
}

double embeddedGlyphWidth(const Face& face, uint32_t glyphId) {
    return std::round(face.advance(glyphId) * 1000.0) / 1000.0;
}

namespace {

void appendHex4(std::string& out, unsigned value) {
    static const char digits[] = "0123456789ABCDEF";
    for (int shift = 12; shift >= 0; shift -= 4) out += digits[(value >> shift) & 0xF];
}

std::string utf16Hex(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) {
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c >= 0x10000) {
            appendHex4(out, 0xD800 + ((c - 0x10000) >> 10));
            appendHex4(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            appendHex4(out, c);
        }
    }
    return out;
}

// Only characters that are valid in a PDF name without escapes.
std::string pdfNameSafe(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        if (c > 0x20 && c < 0x7F &&
            std::string_view("()<>[]{}/%#").find(static_cast<char>(c)) == std::string_view::npos)
            out += static_cast<char>(c);
    }
    if (out.empty()) out = "Font";
    return out.substr(0, 100);
}

// The width /W states for a code: its glyph's, or a drawn-together cluster's whole advance.
double codeWidth(const Face& face, const CodedGlyph& coded) {
    if (coded.parts.empty()) return embeddedGlyphWidth(face, coded.glyphId);
    return std::round(coded.advance * 1000.0 / face.unitsPerEm() * 1000.0) / 1000.0;
}

std::string widthsArray(const Face& face, const std::map<uint32_t, CodedGlyph>& codes) {
    std::string out = "[";
    uint32_t next = UINT32_MAX;
    for (const auto& [code, coded] : codes) {
        if (code != next) {
            if (next != UINT32_MAX) out += "] ";
            out += std::to_string(code) + " [";
        } else {
            out += ' ';
        }
        out += pdfNumber(codeWidth(face, coded));
        next = code + 1;
    }
    if (next != UINT32_MAX) out += "]";
    out += "]";
    return out;
}

struct Subset {
    std::string program;
    std::string cidToGidMap;  // empty: CIDs are the subset's glyph ids
    bool bareCFF = false;     // the program is the CFF table alone
};

// Two bytes per CID, big-endian: the subset's glyph id for each code in use.
std::string glyphMap(const std::map<uint32_t, uint32_t>& newGlyphByCode) {
    if (newGlyphByCode.empty()) return {};
    uint32_t last = newGlyphByCode.rbegin()->first;
    std::string out(2 * (static_cast<size_t>(last) + 1), '\0');
    bool identity = true;
    for (const auto& [code, mapped] : newGlyphByCode) {
        identity = identity && mapped == code;
        out[2 * code] = static_cast<char>((mapped >> 8) & 0xFF);
        out[2 * code + 1] = static_cast<char>(mapped & 0xFF);
    }
    return identity ? std::string() : out;
}

// The subset program holding only the used glyphs, renumbered. Content keeps addressing
// glyphs by codes chosen before subsetting (CIDs): for TrueType outlines a CIDToGIDMap leads
// each to its new place; CID-keyed CFF keeps every glyph's CID in its charset. Only name-keyed
// CFF, where the CID must be the glyph id, keeps the original numbering.
// Codes with parts become composite glyphs added to a TrueType subset.
Subset subsetProgram(const Face& face, const std::map<uint32_t, CodedGlyph>& codes) {
    hb_subset_input_t* input = hb_subset_input_create_or_fail();
    if (!input) return {};
    hb_set_t* glyphSet = hb_subset_input_glyph_set(input);
    hb_set_add(glyphSet, 0);
    for (const auto& [code, coded] : codes) {
        hb_set_add(glyphSet, coded.glyphId);
        for (const auto& part : coded.parts) hb_set_add(glyphSet, part.glyphId);
    }
    hb_set_clear(hb_subset_input_unicode_set(input));
    bool retain = face.isCFF() && !face.isCIDKeyed();
    // The .notdef box stays drawn, so that a reader sees where a character had no glyph.
    hb_subset_input_set_flags(input, HB_SUBSET_FLAGS_NO_HINTING | HB_SUBSET_FLAGS_NOTDEF_OUTLINE |
                                         (retain ? HB_SUBSET_FLAGS_RETAIN_GIDS : 0));
    // Layout tables serve shaping, which is done: a PDF viewer draws glyph ids.
    hb_set_t* drop = hb_subset_input_set(input, HB_SUBSET_SETS_DROP_TABLE_TAG);
    for (hb_tag_t tag : {HB_TAG('G', 'S', 'U', 'B'), HB_TAG('G', 'P', 'O', 'S'), HB_TAG('G', 'D', 'E', 'F'),
                         HB_TAG('B', 'A', 'S', 'E'), HB_TAG('J', 'S', 'T', 'F'), HB_TAG('M', 'A', 'T', 'H'),
                         HB_TAG('k', 'e', 'r', 'n'), HB_TAG('D', 'S', 'I', 'G'), HB_TAG('V', 'O', 'R', 'G')})
        hb_set_add(drop, tag);
    hb_subset_plan_t* plan = hb_subset_plan_create_or_fail(face.hbFace(), input);
    hb_subset_input_destroy(input);
    if (!plan) return {};
    Subset result;
    if (hb_face_t* subset = hb_subset_plan_execute_or_fail(plan)) {
        // A CID-keyed CFF goes in bare: viewers read an OpenType wrapper by glyph id, which
        // no longer is the CID, but a bare CID-keyed program by its charset.
        result.bareCFF = face.isCIDKeyed();
        hb_blob_t* blob = result.bareCFF ? hb_face_reference_table(subset, HB_TAG('C', 'F', 'F', ' '))
                                         : hb_face_reference_blob(subset);
        unsigned length = 0;
        const char* data = hb_blob_get_data(blob, &length);
        result.program.assign(data ? data : "", data ? length : 0);
        hb_blob_destroy(blob);
        if (!face.isCFF()) {
            const hb_map_t* oldToNew = hb_subset_plan_old_to_new_glyph_mapping(plan);
            auto renumbered = [&](uint32_t gid) {
                hb_codepoint_t mapped = hb_map_get(oldToNew, gid);
                return mapped == HB_MAP_VALUE_INVALID ? 0u : static_cast<uint32_t>(mapped);
            };
            std::map<uint32_t, uint32_t> newGlyphByCode;
            std::vector<CompositeGlyph> composites;
            std::vector<uint32_t> compositeCodes;
            for (const auto& [code, coded] : codes) {
                newGlyphByCode[code] = renumbered(coded.glyphId);
                if (coded.parts.empty()) continue;
                CompositeGlyph composite;
                composite.advance = coded.advance;
                for (auto part : coded.parts) {
                    part.glyphId = renumbered(part.glyphId);
                    composite.parts.push_back(part);
                }
                composites.push_back(std::move(composite));
                compositeCodes.push_back(code);
            }
            uint32_t added = hb_face_get_glyph_count(subset);
            // Should the program refuse them, such a code draws its first glyph alone.
            if (auto program = appendCompositeGlyphs(result.program, composites)) {
                result.program = std::move(*program);
                for (uint32_t code : compositeCodes) newGlyphByCode[code] = added++;
            }
            result.cidToGidMap = glyphMap(newGlyphByCode);
        }
        hb_face_destroy(subset);
    }
    hb_subset_plan_destroy(plan);
    return result;
}

}  // namespace

std::string toUnicodeCMap(const std::map<uint32_t, std::u32string>& glyphText) {
    std::vector<std::pair<uint32_t, std::string>> entries;
    for (const auto& [gid, text] : glyphText)
        if (!text.empty() && gid <= 0xFFFF) entries.emplace_back(gid, utf16Hex(text));
    std::string out =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    for (size_t i = 0; i < entries.size(); i += 100) {
        size_t n = std::min<size_t>(100, entries.size() - i);
        out += std::to_string(n) + " beginbfchar\n";
        for (size_t k = i; k < i + n; ++k) {
            out += '<';
            appendHex4(out, entries[k].first);
            out += "> <" + entries[k].second + ">\n";
        }
        out += "endbfchar\n";
    }
    out += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    return out;
}

std::string subsetTag(const std::string& postScriptName, const std::map<uint32_t, CodedGlyph>& codes) {
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    auto mix = [&](uint64_t value) {
        for (int i = 0; i < 8; ++i) {
            hash ^= (value >> (8 * i)) & 0xFF;
            hash *= 1099511628211ull;
        }
    };
    for (unsigned char c : postScriptName) mix(c);
    for (const auto& [code, coded] : codes) {
        mix(code);
        mix(coded.glyphId);
        for (const auto& part : coded.parts) {
            mix(part.glyphId);
            mix(static_cast<uint32_t>(part.dx));
            mix(static_cast<uint32_t>(part.dy));
        }
        mix(coded.advance);
        for (char32_t c : coded.text) mix(c);
        mix(0xFFFFFFFFu);
    }
    std::string tag;
    for (int i = 0; i < 6; ++i) {
        tag += static_cast<char>('A' + hash % 26);
        hash /= 26;
    }
    return tag;
}

struct FontEmbedder::Impl {
    struct Entry {
        FaceRef face;
        std::string name;
        // Every code content uses, with its glyph and the text it stands for.
        std::map<uint32_t, CodedGlyph> codes;
        std::map<std::pair<uint32_t, std::u32string>, uint32_t> codeOf;
        std::map<std::pair<std::vector<CompositeGlyph::Part>, std::u32string>, uint32_t> compositeOf;
        uint32_t nextCode = 0;  // the next code past the font's glyph ids
    };
    std::vector<Entry> entries;

    Entry& entryFor(const FaceRef& face) {
        for (auto& e : entries)
            if (e.face == face) return e;
        entries.push_back({face, "QVF" + std::to_string(entries.size() + 1), {}, {}, {}, face->glyphCount()});
        return entries.back();
    }

    // The code that draws the glyph and reads as the text. A ToUnicode map gives one text per
    // code, so a glyph that stands for different texts (a shared vowel sign, a space after a
    // joiner, .notdef for different missing characters) gets a code of its own for each: the
    // glyph id for the first, codes past the font's glyph ids for the others, which the
    // CIDToGIDMap leads to the same glyph. CFF programs find a glyph by its CID, so there the
    // first text seen for a glyph stays its only one (a glyph first seen without text takes one).
    uint32_t code(Entry& entry, const PlacedGlyph& g) {
        auto key = std::make_pair(g.glyphId, g.text);
        auto known = entry.codeOf.find(key);
        if (known != entry.codeOf.end()) return known->second;
        const Face& face = *entry.face;
        uint32_t code = face.cidForGlyph(g.glyphId);
        auto [it, added] = entry.codes.try_emplace(code, CodedGlyph{g.glyphId, g.text, {}, 0});
        if (!added) {
            if (face.isCFF() || entry.nextCode > 0xFFFF) {
                if (it->second.text.empty()) it->second.text = g.text;
                return code;  // not remembered: a later text may still claim an empty one
            }
            code = entry.nextCode++;
            entry.codes.emplace(code, CodedGlyph{g.glyphId, g.text, {}, 0});
        }
        entry.codeOf.emplace(std::move(key), code);
        return code;
    }

    // A code that draws the glyphs together as one (a TrueType composite glyph), reading as
    // the text; nothing when the codes are used up.
    std::optional<uint32_t> compositeCode(Entry& entry, std::vector<CompositeGlyph::Part> parts, unsigned advance,
                                          const std::u32string& text) {
        // The advance goes into the key as a part of its own.
        parts.push_back({UINT32_MAX, static_cast<int>(advance), 0});
        auto key = std::make_pair(std::move(parts), text);
        auto known = entry.compositeOf.find(key);
        if (known != entry.compositeOf.end()) return known->second;
        if (entry.nextCode > 0xFFFF) return std::nullopt;
        uint32_t code = entry.nextCode++;
        CodedGlyph coded{key.first.front().glyphId, text, key.first, advance};
        coded.parts.pop_back();
        entry.codes.emplace(code, std::move(coded));
        entry.compositeOf.emplace(std::move(key), code);
        return code;
    }
};

FontEmbedder::FontEmbedder() : impl_(std::make_unique<Impl>()) {}
FontEmbedder::~FontEmbedder() = default;

FontEmbedder::Use FontEmbedder::use(const GlyphRun& run) {
    Use result;
    if (!run.face) return result;
    auto& entry = impl_->entryFor(run.face);
    result.resourceName = entry.name;
    std::string operand;
    operand.reserve(4 * run.glyphs.size() + 2);
    operand += '<';
    for (const auto& g : run.glyphs) appendHex4(operand, impl_->code(entry, g));
    operand += '>';
    result.operand = std::move(operand);
    return result;
}

FontEmbedder::Show FontEmbedder::show(const GlyphRun& run, double size) {
    Show result;
    if (!run.face) return result;
    auto& entry = impl_->entryFor(run.face);
    result.resourceName = entry.name;
    const Face& face = *run.face;

    std::string& ops = result.operators;
    std::string array;  // the TJ array being built
    std::string hex;    // glyph ids not yet closed into a string
    double rise = 0;    // current Ts, in thousandths of an em
    auto flushHex = [&] {
        if (hex.empty()) return;
        array += "<" + hex + ">";
        hex.clear();
    };
    auto adjust = [&](double amount) {
        std::string n = pdfNumber(amount);
        if (n == "0") return;
        flushHex();
        array += " " + n + " ";
    };
    auto flushArray = [&] {
        flushHex();
        if (array.empty()) return;
        ops += "[" + array + "] TJ\n";
        array.clear();
    };
    // A cluster of several glyphs (its text on the first, nothing on the others) becomes one
    // composite glyph reading as the cluster's text: readers make something of every code,
    // even one without text, split a cluster's marks off when they are raised, and see gaps
    // around marks moved sideways. Otherwise the cluster's characters are handed out over its
    // glyphs, one each, the last glyph taking the rest: in a CFF program, which cannot take
    // new glyphs, and for characters past U+FFFF, which MuPDF reads only as a code's whole text.
    const bool compose = !face.isCFF();
    const double units = face.unitsPerEm() / 1000.0;
    auto emit = [&](uint32_t code, double xOffset, double yOffset, double width, double advance) {
        if (yOffset != rise) {
            flushArray();
            rise = yOffset;
            ops += pdfNumber(rise * size / 1000.0) + " Ts\n";
        }
        // A TJ number moves the pen left by number/1000 em: offsets before the glyph, and
        // after it the difference between the shaped advance and the width the font states.
        adjust(-xOffset);
        appendHex4(hex, code);
        adjust(xOffset + width - advance);
    };
    auto emitGlyph = [&](const PlacedGlyph& g) {
        emit(impl_->code(entry, g), g.xOffset, g.yOffset, embeddedGlyphWidth(face, g.glyphId), g.advance);
    };
    const auto& glyphs = run.glyphs;
    for (size_t i = 0; i < glyphs.size();) {
        const PlacedGlyph& g = glyphs[i];
        size_t end = i + 1;
        while (end < glyphs.size() && glyphs[end].text.empty()) ++end;
        if (end == i + 1) {
            emitGlyph(g);
            ++i;
            continue;
        }
        bool astral = std::any_of(g.text.begin(), g.text.end(), [](char32_t c) { return c > 0xFFFF; });
        if (compose && !astral) {
            std::vector<CompositeGlyph::Part> parts;
            double pen = 0;
            for (size_t k = i; k < end; ++k) {
                const PlacedGlyph& part = glyphs[k];
                parts.push_back({part.glyphId, static_cast<int>(std::lround((pen + part.xOffset) * units)),
                                 static_cast<int>(std::lround(part.yOffset * units))});
                pen += part.advance;
            }
            long whole = std::clamp(std::lround(pen * units), 0L, 0xFFFFL);
            if (auto code = impl_->compositeCode(entry, std::move(parts), static_cast<unsigned>(whole), g.text)) {
                emit(*code, 0, 0, codeWidth(face, entry.codes.at(*code)), pen);
                i = end;
                continue;
            }
        }
        for (size_t k = i; k < end; ++k) {
            PlacedGlyph part = glyphs[k];
            size_t at = k - i;
            part.text = at >= g.text.size() ? std::u32string()
                        : k + 1 == end      ? g.text.substr(at)
                                            : g.text.substr(at, 1);
            emitGlyph(part);
        }
        i = end;
    }
    flushArray();
    if (rise != 0) ops += "0 Ts\n";
    return result;
}

std::map<std::string, EmbeddedFont> FontEmbedder::build() const {
    std::map<std::string, EmbeddedFont> out;
    for (const auto& entry : impl_->entries) {
        const Face& face = *entry.face;
        EmbeddedFont font;
        std::string name = pdfNameSafe(face.postScriptName());
        std::map<uint32_t, std::u32string> textByCode;
        for (const auto& [code, coded] : entry.codes) textByCode.emplace(code, coded.text);
        font.baseFont = subsetTag(name, entry.codes) + "+" + name;
        Subset subset = subsetProgram(face, entry.codes);
        font.fontFile2 = std::move(subset.program);
        font.cidToGidMap = std::move(subset.cidToGidMap);
        if (face.isCFF()) font.fontFile3Subtype = subset.bareCFF ? "CIDFontType0C" : "OpenType";
        font.toUnicode = toUnicodeCMap(textByCode);
        font.widths = widthsArray(face, entry.codes);
        font.ascent = face.ascent();
        font.descent = face.descent();
        font.capHeight = face.capHeight();
        font.italicAngle = face.italicAngle();
        for (int i = 0; i < 4; ++i) font.bbox[i] = face.bbox()[i];
        font.flags = 4 | (face.fixedPitch() ? 1 : 0) | (face.serif() ? 2 : 0) | (face.italicAngle() != 0 ? 64 : 0);
        out.emplace(entry.name, std::move(font));
    }
    return out;
}

}  // namespace qvpdf
