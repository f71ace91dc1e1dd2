#pragma once
// Fonts, text shaping and the drawing of text into PDF content streams.
//
// This is the seam between the font service (fontconfig, FreeType, HarfBuzz, ICU bidi) and
// the PDF document layer. Nothing here knows QPDF: fonts that must be embedded are handed
// back as plain data (EmbeddedFont) and the document layer turns them into PDF objects.
//
// One Face object both measures and draws, so what is measured is exactly what is drawn.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qvpdf {

// A loaded font face (one file and face index). Shared and immutable once loaded.
class Face;
using FaceRef = std::shared_ptr<const Face>;

// What a face should look like: the kind of typeface, its weight and its slant, and the family
// of the font it stands in for (a hint: fontconfig knows faces with the same widths as
// Helvetica, Times or Courier).
struct FaceStyle {
    enum class Kind : uint8_t { Sans, Serif, Mono };
    Kind kind = Kind::Sans;
    bool bold = false;
    bool italic = false;
    std::string family;  // e.g. "Helvetica", "Calibri"; empty for none
    bool operator==(const FaceStyle& o) const {
        return kind == o.kind && bold == o.bold && italic == o.italic && family == o.family;
    }
};

// The process-wide font service; safe to use from several threads at once.
class FontService {
public:
    static FontService& shared();

    // A service of its own, with the fontconfig set-up the environment names now
    // (FONTCONFIG_FILE and friends). Faces it loads are cached for its lifetime.
    FontService();
    virtual ~FontService();
    FontService(const FontService&) = delete;
    FontService& operator=(const FontService&) = delete;

    // The desktop's sans-serif user-interface font, regular weight (fontconfig "sans-serif").
    // Null when fontconfig finds no usable font.
    FaceRef systemUIFace();

    // A face that has a glyph for the code point, preferring `preferred` when it has one;
    // null when no installed font covers it.
    FaceRef faceCovering(char32_t codePoint, const FaceRef& preferred);
    // The same among faces of the style's kind, weight and slant first (its family plays no part).
    FaceRef faceCovering(char32_t codePoint, const FaceRef& preferred, const FaceStyle& style);

    // The installed face that best stands in for a font of this style: its family or the
    // generic family of its kind ("sans-serif", "serif", "monospace"), at its weight and slant,
    // able to show Latin letters and digits. The nearest face when none has that weight or
    // slant; null when fontconfig finds no usable face at all.
    FaceRef faceForStyle(const FaceStyle& style);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// One glyph as it is drawn: glyph id, advance and offsets in thousandths of the text size
// (PDF glyph space), and the text it stands for (for the ToUnicode map).
struct PlacedGlyph {
    uint32_t glyphId = 0;
    double advance = 0;  // thousandths of an em
    double xOffset = 0;  // thousandths of an em
    double yOffset = 0;  // thousandths of an em
    // The characters of this cluster on its first glyph in drawing order, empty for the later
    // glyphs of one cluster. Right-to-left clusters hold their characters in visual order
    // (reversed), as readers reverse right-to-left text character by character.
    std::u32string text;
};

// A run of glyphs drawn in one face, in visual order (left to right on the page).
struct GlyphRun {
    FaceRef face;
    std::vector<PlacedGlyph> glyphs;
    double width() const;  // sum of advances, thousandths of an em
};

// Shapes one line of UTF-8 text: falls back per run of characters to a face that covers
// them, shapes with HarfBuzz (kerning, marks, complex scripts) and puts right-to-left runs in
// visual order (ICU bidi). Invalid UTF-8 is shaped as U+FFFD.
std::vector<GlyphRun> shapeLine(std::string_view utf8, const FaceRef& primary);

// Width of one line of text set at `size` points in `face` (with fallback as shapeLine does).
double measureLine(std::string_view utf8, const FaceRef& face, double size);

// A font the document layer must embed: a subset of a system face holding the glyphs used,
// as a CIDFontType2 with Identity-H encoding and a ToUnicode map. Content bytes are two-byte
// CIDs chosen as glyphs are drawn: the glyph ids of the full font (for CID-keyed CFF, the
// glyphs' CIDs), and further codes for a glyph drawn for another text, so content streams
// built before subsetting stay valid while the subset itself is renumbered.
struct EmbeddedFont {
    std::string baseFont;   // subset tag + PostScript name, e.g. "ABCDEF+DejaVuSans"
    std::string fontFile2;  // the subset TrueType program
    // The /CIDToGIDMap stream data of a CIDFontType2 (two bytes per CID, big-endian, the
    // subset's glyph id); empty for /Identity.
    std::string cidToGidMap;
    // Set when fontFile2 holds CFF outlines instead: embedded as /FontFile3 with this /Subtype
    // under a CIDFontType0 (no /CIDToGIDMap). "CIDFontType0C" is the bare CFF program of a
    // CID-keyed face, whose charset leads viewers from CID to glyph; "OpenType" a whole font
    // whose glyph ids are the CIDs.
    std::string fontFile3Subtype;
    bool isCFF() const { return !fontFile3Subtype.empty(); }
    std::string toUnicode;  // the ToUnicode CMap stream contents
    std::string widths;     // the /W array in PDF syntax by CID, e.g. "[3 [600 ...]]"
    double ascent = 0, descent = 0, capHeight = 0, italicAngle = 0, stemV = 80;
    double bbox[4] = {0, 0, 0, 0};
    int flags = 32;  // /FontDescriptor /Flags
};

// Collects the glyphs that one document draws with each system face, then builds one
// embedded subset per face. Resource names are stable per face ("QVF1", "QVF2", ...).
class FontEmbedder {
public:
    FontEmbedder();
    ~FontEmbedder();
    FontEmbedder(const FontEmbedder&) = delete;
    FontEmbedder& operator=(const FontEmbedder&) = delete;

    // Records the glyphs of the run and answers the run's content-stream string operand
    // (a hex string of two-byte glyph ids, "<...>") and the resource name of its face.
    struct Use {
        std::string resourceName;
        std::string operand;
    };
    Use use(const GlyphRun& run);

    // Records the glyphs of the run and answers content-stream operators that draw it at the
    // current text position in a font set at `size` points, with every advance and offset the
    // shaper gave: a TJ array whose adjustments turn the font's own widths (/W) into the
    // shaped advances, and Ts around raised or lowered glyphs (leaving the rise at 0). Every
    // code reads as exactly its own text: in a TrueType face a cluster of several glyphs is
    // drawn as one code (a composite glyph of the subset) standing for the cluster's text; in
    // a CFF face its characters are handed out over its glyphs, one each.
    // The caller selects the font (`/<resourceName> <size> Tf`) first.
    struct Show {
        std::string resourceName;
        std::string operators;
    };
    Show show(const GlyphRun& run, double size);

    // One embedded subset for every face used so far, keyed by resource name.
    std::map<std::string, EmbeddedFont> build() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A simple (single-byte) font that a form brings along in its default resources, described
// without QPDF: what the document layer read from the font dictionary.
struct SimpleFontDescription {
    std::string subtype;                     // "Type1", "TrueType", "Type3", ...
    std::string baseFont;                    // e.g. "Helvetica", "ABCDEF+Arial-BoldMT"
    std::string encodingName;                // "WinAnsiEncoding", "MacRomanEncoding", "StandardEncoding" or ""
    std::map<int, std::string> differences;  // code -> glyph name, from /Encoding /Differences
    int firstChar = 0;
    std::vector<double> widths;              // /Widths from firstChar on; empty when absent
    std::optional<std::string> fontProgram;  // embedded FontFile / FontFile2 / FontFile3 bytes, when present
    double missingWidth = 0;                 // /FontDescriptor /MissingWidth
    double ascent = 0, descent = 0;          // /FontDescriptor /Ascent and /Descent; 0 when absent
    int flags = 0;                           // /FontDescriptor /Flags (FixedPitch, Serif, Italic, ForceBold)
    double fontWeight = 0;                   // /FontDescriptor /FontWeight; 0 when absent
    double italicAngle = 0;                  // /FontDescriptor /ItalicAngle
};

// A form's own font, able to say whether it can show a text and to encode and measure it.
class SimpleFont {
public:
    explicit SimpleFont(SimpleFontDescription description);
    // The single-byte codes for the text, or nothing when a character has no code in the
    // font's encoding (or the font has no glyph for it, or a width of 0 that is not a mark's).
    [[nodiscard]] std::optional<std::string> encode(std::u32string_view text) const;
    // Whether encode() would succeed, without building the codes.
    bool canEncode(std::u32string_view text) const;
    // The font program is in the document; otherwise the viewer draws the font with a face of
    // its own choice.
    bool embedded() const { return embedded_; }
    // The kind, weight and slant of the font, from its name and descriptor: what a face that
    // stands in for it should look like.
    const FaceStyle& style() const { return style_; }
    // Width of encoded bytes in thousandths of an em (from /Widths, or the standard 14
    // fonts' metrics, or the embedded program).
    double width(std::string_view encoded) const;
    double ascent() const;   // thousandths of an em
    double descent() const;  // thousandths of an em, negative
    // The lowest and highest point the glyphs of encoded bytes reach (thousandths of an em):
    // accents rise above the ascent. {0, 0} for no bytes.
    std::pair<double, double> ink(std::string_view encoded) const;
    // The character a code stands for, or 0 when the encoding has none.
    char32_t unicodeFor(unsigned char code) const { return unicode_[code]; }
    const SimpleFontDescription& description() const { return description_; }

private:
    SimpleFontDescription description_;
    std::vector<double> metrics_;  // width per code 0..255
    double ascent_ = 718, descent_ = -207;
    float inkBottom_[256] = {}, inkTop_[256] = {};  // per code, thousandths of an em
    char32_t unicode_[256] = {};                    // code -> character (0: none)
    bool usable_[256] = {};                         // the code has a character and the font a glyph for it
    std::map<char32_t, unsigned char> codes_;       // character -> its first usable code
    int16_t ascii_[128];                            // codes_ for ASCII characters, -1 for none: the common case
    bool embedded_ = false;
    FaceStyle style_;
};

// The style of a form's font: a standard font's by its name alone (viewers pick their copy by
// name), any other's by its name and its descriptor's flags, weight and italic angle.
FaceStyle styleOfFont(const SimpleFontDescription& description);

}  // namespace qvpdf
