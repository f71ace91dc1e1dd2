#include <algorithm>
#include <climits>
#include <map>

#include "platform/text/Embed.h"

namespace qvpdf {

namespace {

uint16_t get16(const std::string& s, size_t at) {
    if (at + 2 > s.size()) return 0;
    return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) << 8 | static_cast<unsigned char>(s[at + 1]));
}
uint32_t get32(const std::string& s, size_t at) { return uint32_t(get16(s, at)) << 16 | get16(s, at + 2); }
void put16(std::string& s, size_t at, unsigned v) {
    s[at] = static_cast<char>((v >> 8) & 0xFF);
    s[at + 1] = static_cast<char>(v & 0xFF);
}
void put32(std::string& s, size_t at, uint32_t v) {
    put16(s, at, v >> 16);
    put16(s, at + 2, v & 0xFFFF);
}
void append16(std::string& s, unsigned v) {
    s += static_cast<char>((v >> 8) & 0xFF);
    s += static_cast<char>(v & 0xFF);
}
void append32(std::string& s, uint32_t v) {
    append16(s, v >> 16);
    append16(s, v & 0xFFFF);
}

uint32_t checksum(const std::string& data) {
    uint32_t sum = 0;
    for (size_t i = 0; i < data.size(); i += 4) {
        uint32_t word = 0;
        for (size_t k = 0; k < 4; ++k)
            word = word << 8 | (i + k < data.size() ? static_cast<unsigned char>(data[i + k]) : 0);
        sum += word;
    }
    return sum;
}

int16_t clamp16(long v) { return static_cast<int16_t>(std::clamp<long>(v, INT16_MIN, INT16_MAX)); }

}  // namespace

std::optional<std::string> appendCompositeGlyphs(const std::string& font, const std::vector<CompositeGlyph>& glyphs) {
    if (glyphs.empty()) return font;
    if (font.size() < 12) return std::nullopt;
    std::map<std::string, std::string> tables;
    unsigned count = get16(font, 4);
    if (12 + 16 * size_t(count) > font.size()) return std::nullopt;
    for (unsigned i = 0; i < count; ++i) {
        size_t record = 12 + 16 * size_t(i);
        uint32_t offset = get32(font, record + 8), length = get32(font, record + 12);
        if (offset > font.size() || length > font.size() - offset) return std::nullopt;
        tables[font.substr(record, 4)] = font.substr(offset, length);
    }
    for (const char* tag : {"head", "maxp", "hhea", "hmtx", "loca", "glyf"})
        if (!tables.count(tag)) return std::nullopt;
    std::string& head = tables["head"];
    std::string& maxp = tables["maxp"];
    std::string& hhea = tables["hhea"];
    const std::string& glyf = tables["glyf"];
    if (head.size() < 54 || maxp.size() < 6 || hhea.size() < 36) return std::nullopt;

    const unsigned numGlyphs = get16(maxp, 4);
    const unsigned numMetrics = get16(hhea, 34);
    const bool longLoca = get16(head, 50) != 0;
    const std::string& loca = tables["loca"];
    if (numMetrics == 0 || numMetrics > numGlyphs || numGlyphs + glyphs.size() > 0xFFFF ||
        loca.size() < (numGlyphs + 1) * size_t(longLoca ? 4 : 2) || tables["hmtx"].size() < 4 * size_t(numMetrics))
        return std::nullopt;
    std::vector<uint32_t> offsets(numGlyphs + 1);
    for (unsigned i = 0; i <= numGlyphs; ++i) offsets[i] = longLoca ? get32(loca, 4 * i) : 2u * get16(loca, 2 * i);
    auto bounds = [&](unsigned gid, int box[4]) {
        if (gid >= numGlyphs || offsets[gid] + 10 > offsets[gid + 1] || offsets[gid + 1] > glyf.size()) return false;
        for (int k = 0; k < 4; ++k) box[k] = static_cast<int16_t>(get16(glyf, offsets[gid] + 2 + 2 * k));
        return true;
    };

    // Full metrics for every glyph, so that the new ones can have their own advances.
    const std::string& hmtxIn = tables["hmtx"];
    std::string hmtx;
    unsigned widest = get16(hhea, 10);
    for (unsigned i = 0; i < numGlyphs; ++i) {
        unsigned m = std::min(i, numMetrics - 1);
        append16(hmtx, get16(hmtxIn, 4 * m));
        size_t lsbAt = i < numMetrics ? 4 * size_t(i) + 2 : 4 * size_t(numMetrics) + 2 * size_t(i - numMetrics);
        append16(hmtx, get16(hmtxIn, lsbAt));
    }

    std::string newGlyf = glyf;
    while (newGlyf.size() % 4) newGlyf += '\0';
    std::vector<uint32_t> newOffsets(offsets.begin(), offsets.end() - 1);
    unsigned mostParts = 0;
    for (const auto& glyph : glyphs) {
        newOffsets.push_back(static_cast<uint32_t>(newGlyf.size()));
        int box[4] = {INT_MAX, INT_MAX, INT_MIN, INT_MIN};
        for (const auto& part : glyph.parts) {
            int b[4];
            if (!bounds(part.glyphId, b)) continue;
            box[0] = std::min(box[0], b[0] + part.dx);
            box[1] = std::min(box[1], b[1] + part.dy);
            box[2] = std::max(box[2], b[2] + part.dx);
            box[3] = std::max(box[3], b[3] + part.dy);
        }
        if (box[0] > box[2]) box[0] = box[1] = box[2] = box[3] = 0;
        std::string g;
        append16(g, 0xFFFF);  // numberOfContours -1: a composite
        for (int v : box) append16(g, static_cast<uint16_t>(clamp16(v)));
        for (size_t i = 0; i < glyph.parts.size(); ++i) {
            const auto& part = glyph.parts[i];
            // ARG_1_AND_2_ARE_WORDS | ARGS_ARE_XY_VALUES, and MORE_COMPONENTS but for the last.
            append16(g, 0x0003 | (i + 1 < glyph.parts.size() ? 0x0020 : 0));
            append16(g, part.glyphId);
            append16(g, static_cast<uint16_t>(clamp16(part.dx)));
            append16(g, static_cast<uint16_t>(clamp16(part.dy)));
        }
        newGlyf += g;
        while (newGlyf.size() % 4) newGlyf += '\0';
        append16(hmtx, glyph.advance);
        append16(hmtx, static_cast<uint16_t>(clamp16(box[0])));
        widest = std::max<unsigned>(widest, glyph.advance);
        mostParts = std::max<unsigned>(mostParts, static_cast<unsigned>(glyph.parts.size()));
    }
    newOffsets.push_back(static_cast<uint32_t>(newGlyf.size()));
    std::string newLoca;
    for (uint32_t o : newOffsets) append32(newLoca, o);

    const unsigned total = numGlyphs + static_cast<unsigned>(glyphs.size());
    tables["glyf"] = std::move(newGlyf);
    tables["loca"] = std::move(newLoca);
    tables["hmtx"] = std::move(hmtx);
    put16(head, 50, 1);  // long offsets
    put16(hhea, 34, total);
    put16(hhea, 10, widest);
    put16(maxp, 4, total);
    if (get32(maxp, 0) == 0x00010000 && maxp.size() >= 32) {
        put16(maxp, 28, std::max<unsigned>(get16(maxp, 28), mostParts));
        put16(maxp, 30, std::min<unsigned>(get16(maxp, 30) + 1, 16));
    }
    // Glyph names (post 2.0) and per-glyph tables no longer match the glyph count: the names
    // go, and so do vertical metrics and variations (content draws the default instance).
    if (auto post = tables.find("post"); post != tables.end()) {
        if (post->second.size() >= 32) {
            post->second.resize(32);
            put32(post->second, 0, 0x00030000);
        } else {
            tables.erase(post);
        }
    }
    for (const char* tag :
         {"vhea", "vmtx", "gvar", "HVAR", "VVAR", "fvar", "avar", "cvar", "MVAR", "STAT", "hdmx", "LTSH", "VDMX"})
        tables.erase(tag);

    // The table directory again, tables four-byte aligned, with their checksums.
    put32(head, 8, 0);
    unsigned n = static_cast<unsigned>(tables.size());
    unsigned power = 1, log = 0;
    while (power * 2 <= n) {
        power *= 2;
        ++log;
    }
    std::string out;
    append32(out, get32(font, 0));
    append16(out, n);
    append16(out, power * 16);
    append16(out, log);
    append16(out, n * 16 - power * 16);
    size_t offset = 12 + 16 * size_t(n);
    size_t headAt = 0;
    std::string body;
    for (const auto& [tag, data] : tables) {
        out += tag;
        append32(out, checksum(data));
        append32(out, static_cast<uint32_t>(offset + body.size()));
        append32(out, static_cast<uint32_t>(data.size()));
        if (tag == "head") headAt = offset + body.size();
        body += data;
        while (body.size() % 4) body += '\0';
    }
    out += body;
    put32(out, headAt + 8, 0xB1B0AFBAu - checksum(out));
    return out;
}

}  // namespace qvpdf
