#include "platform/text/Fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_CID_H
#include FT_TRUETYPE_TABLES_H
#include <hb-ot.h>
#include <hb.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace qvpdf {

namespace {

// One FreeType library for the process. Creating and ending faces in it, and the FreeType calls
// on a face after loading (which fill caches inside the face), are serialised by this lock;
// everything else reads HarfBuzz objects, which are safe to share once built.
std::mutex& freeTypeLock() {
    static std::mutex& lock = *new std::mutex;  // never destroyed: faces may end after it would
    return lock;
}

FT_Library freeType() {
    static FT_Library library = [] {
        FT_Library lib = nullptr;
        if (FT_Init_FreeType(&lib) != 0) return static_cast<FT_Library>(nullptr);
        return lib;
    }();
    return library;
}

double toThousandths(double units, unsigned upem) { return units * 1000.0 / upem; }

bool hasTable(hb_face_t* face, hb_tag_t tag) {
    hb_blob_t* table = hb_face_reference_table(face, tag);
    bool present = hb_blob_get_length(table) > 0;
    hb_blob_destroy(table);
    return present;
}

// Family names as fontconfig compares them: without blanks, in any case.
bool sameFamily(std::string_view a, std::string_view b) {
    auto next = [](std::string_view s, size_t& i) {
        while (i < s.size() && s[i] == ' ') ++i;
        return i < s.size() ? std::tolower(static_cast<unsigned char>(s[i++])) : -1;
    };
    size_t i = 0, j = 0;
    for (;;) {
        int x = next(a, i), y = next(b, j);
        if (x != y) return false;
        if (x < 0) return true;
    }
}

// Characters drawn as emoji by default (and the flag letters): looked for in the desktop's
// emoji family first, so that one face built for them draws a whole sequence rather than a
// text face that happens to have a few. Colour faces cannot be embedded and are passed over.
bool isEmoji(char32_t c) {
    auto u = static_cast<UChar32>(c);
    return u_hasBinaryProperty(u, UCHAR_EMOJI_PRESENTATION) || u_hasBinaryProperty(u, UCHAR_REGIONAL_INDICATOR);
}

constexpr char32_t kEmojiSample = U'\U0001F600';

}  // namespace

FaceRef Face::load(const std::string& path, int index) {
    std::shared_ptr<Face> face(new Face());
    face->path_ = path;
    face->index_ = index;
    face->blob_ = hb_blob_create_from_file_or_fail(path.c_str());
    if (!face->blob_ || !face->init()) return nullptr;
    return face;
}

FaceRef Face::loadFromBytes(std::string bytes, int index, std::string label) {
    std::shared_ptr<Face> face(new Face());
    face->path_ = std::move(label);
    face->index_ = index;
    face->bytes_ = std::move(bytes);
    face->blob_ = hb_blob_create_or_fail(face->bytes_.data(), static_cast<unsigned>(face->bytes_.size()),
                                         HB_MEMORY_MODE_READONLY, nullptr, nullptr);
    if (!face->blob_ || !face->init()) return nullptr;
    return face;
}

bool Face::init() {
    if (index_ < 0 || static_cast<unsigned>(index_) >= hb_face_count(blob_)) return false;
    hbFace_ = hb_face_create(blob_, static_cast<unsigned>(index_));
    glyphCount_ = hb_face_get_glyph_count(hbFace_);
    upem_ = hb_face_get_upem(hbFace_);
    if (glyphCount_ == 0 || upem_ < 16) return false;
    bool glyf = hasTable(hbFace_, HB_TAG('g', 'l', 'y', 'f')) && hasTable(hbFace_, HB_TAG('l', 'o', 'c', 'a'));
    cff_ = !glyf && hasTable(hbFace_, HB_TAG('C', 'F', 'F', ' '));
    if (!glyf && !cff_) return false;  // bitmap-only, CFF2 or Type 1: we cannot embed those

    hbFont_ = hb_font_create(hbFace_);
    hb_font_set_scale(hbFont_, static_cast<int>(upem_), static_cast<int>(upem_));

    hb_font_make_immutable(hbFont_);

    std::lock_guard<std::mutex> hold(freeTypeLock());
    FT_Library lib = freeType();
    if (!lib) return false;
    unsigned length = 0;
    const char* data = hb_blob_get_data(blob_, &length);
    if (FT_New_Memory_Face(lib, reinterpret_cast<const FT_Byte*>(data), static_cast<FT_Long>(length), index_,
                           &ftFace_) != 0) {
        ftFace_ = nullptr;
        return false;
    }
    if (!FT_IS_SFNT(ftFace_) || !FT_IS_SCALABLE(ftFace_)) return false;

    FT_Bool internallyCID = 0;
    cidKeyed_ = cff_ && FT_Get_CID_Is_Internally_CID_Keyed(ftFace_, &internallyCID) == 0 && internallyCID;

    if (const char* ps = FT_Get_Postscript_Name(ftFace_)) postScriptName_ = ps;
    if (postScriptName_.empty() && ftFace_->family_name) {
        for (const char* c = ftFace_->family_name; *c; ++c)
            if (*c != ' ') postScriptName_ += *c;
    }
    if (postScriptName_.empty()) postScriptName_ = "Font";

    ascent_ = toThousandths(ftFace_->ascender, upem_);
    descent_ = toThousandths(ftFace_->descender, upem_);
    if (descent_ > 0) descent_ = -descent_;
    bbox_[0] = toThousandths(ftFace_->bbox.xMin, upem_);
    bbox_[1] = toThousandths(ftFace_->bbox.yMin, upem_);
    bbox_[2] = toThousandths(ftFace_->bbox.xMax, upem_);
    bbox_[3] = toThousandths(ftFace_->bbox.yMax, upem_);
    fixedPitch_ = FT_IS_FIXED_WIDTH(ftFace_);
    capHeight_ = ascent_;
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(ftFace_, FT_SFNT_OS2))) {
        if (os2->version >= 2 && os2->sCapHeight > 0) capHeight_ = toThousandths(os2->sCapHeight, upem_);
        int familyClass = os2->sFamilyClass >> 8;
        serif_ = familyClass >= 1 && familyClass <= 7;
    }
    if (auto* post = static_cast<TT_Postscript*>(FT_Get_Sfnt_Table(ftFace_, FT_SFNT_POST)))
        italicAngle_ = static_cast<double>(post->italicAngle) / 65536.0;
    return true;
}

Face::~Face() {
    if (ftFace_) {
        std::lock_guard<std::mutex> hold(freeTypeLock());
        FT_Done_Face(ftFace_);
    }
    if (hbFont_) hb_font_destroy(hbFont_);
    if (hbFace_) hb_face_destroy(hbFace_);
    if (blob_) hb_blob_destroy(blob_);
}

bool Face::hasGlyph(char32_t codePoint) const { return glyphFor(codePoint) != 0; }

uint32_t Face::glyphFor(char32_t codePoint) const {
    hb_codepoint_t glyph = 0;
    if (!hb_font_get_nominal_glyph(hbFont_, codePoint, &glyph)) return 0;
    return glyph;
}

uint32_t Face::cidForGlyph(uint32_t glyphId) const {
    if (!cidKeyed_) return glyphId;
    FT_UInt cid = 0;
    std::lock_guard<std::mutex> hold(freeTypeLock());
    if (FT_Get_CID_From_Glyph_Index(ftFace_, glyphId, &cid) != 0) return glyphId;
    return cid;
}

double Face::advance(uint32_t glyphId) const {
    return toThousandths(hb_font_get_glyph_h_advance(hbFont_, glyphId), upem_);
}

// --- the font service -------------------------------------------------------------------

struct FontService::Impl {
    // Merges fill records on several threads at once, all asking the one shared service.
    std::mutex lock;
    FcConfig* config = nullptr;
    std::map<std::pair<std::string, int>, FaceRef> faces;
    bool systemResolved = false;
    FaceRef system;

    ~Impl() {
        if (config) FcConfigDestroy(config);
    }

    FaceRef faceFor(const std::string& path, int index) {
        auto key = std::make_pair(path, index);
        auto found = faces.find(key);
        if (found != faces.end()) return found->second;
        FaceRef face = Face::load(path, index);
        faces.emplace(key, face);
        return face;
    }

    // The fonts fontconfig prefers for the pattern, best first, with what they look like.
    struct Candidate {
        std::string file;
        int index;
        bool trueType;
        std::string family;  // the font's first family name
        int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN, width = FC_WIDTH_NORMAL, spacing = FC_PROPORTIONAL;
        bool instance = false;  // a named instance of a variable font: we would load its default
    };
    // With `mustCover`, only fonts whose character set holds that character. `named` receives
    // the families the pattern names before the first generic one (its own and their aliases).
    std::vector<Candidate> sorted(FcPattern* pattern, std::optional<char32_t> mustCover = std::nullopt,
                                  std::vector<std::string>* named = nullptr) {
        std::vector<Candidate> out;
        if (!config) return out;
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcChar8* family = nullptr;
        for (int i = 0; named && FcPatternGetString(pattern, FC_FAMILY, i, &family) == FcResultMatch; ++i) {
            std::string name = reinterpret_cast<const char*>(family);
            if (name == "sans-serif" || name == "serif" || name == "monospace") break;
            named->push_back(std::move(name));
        }
        FcResult result = FcResultNoMatch;
        FcFontSet* set = FcFontSort(config, pattern, FcFalse, nullptr, &result);
        if (!set) return out;
        for (int i = 0; i < set->nfont; ++i) {
            FcPattern* font = set->fonts[i];
            FcChar8* file = nullptr;
            if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch || !file) continue;
            int index = 0;
            FcPatternGetInteger(font, FC_INDEX, 0, &index);
            FcChar8* format = nullptr;
            FcPatternGetString(font, FC_FONTFORMAT, 0, &format);
            std::string fmt = format ? reinterpret_cast<const char*>(format) : "";
            if (fmt != "TrueType" && fmt != "CFF") continue;  // only sfnt fonts can be embedded
            if (mustCover) {
                FcCharSet* charset = nullptr;
                if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch || !charset ||
                    !FcCharSetHasChar(charset, *mustCover))
                    continue;
            }
            Candidate c{reinterpret_cast<const char*>(file), index & 0xFFFF, fmt == "TrueType", {}};
            c.instance = (index >> 16) != 0;
            FcChar8* family = nullptr;
            if (FcPatternGetString(font, FC_FAMILY, 0, &family) == FcResultMatch && family)
                c.family = reinterpret_cast<const char*>(family);
            FcPatternGetInteger(font, FC_WEIGHT, 0, &c.weight);
            FcPatternGetInteger(font, FC_SLANT, 0, &c.slant);
            FcPatternGetInteger(font, FC_WIDTH, 0, &c.width);
            FcPatternGetInteger(font, FC_SPACING, 0, &c.spacing);
            out.push_back(std::move(c));
        }
        FcFontSetDestroy(set);
        return out;
    }

    // How well a candidate fits a style: its kind, then its weight, then its slant, then its
    // outlines (glyf embeds in every viewer); higher is better.
    static int fit(const Candidate& c, const FaceStyle& style) {
        bool mono = c.spacing == FC_MONO || c.spacing == FC_CHARCELL;
        bool kind;
        switch (style.kind) {
        case FaceStyle::Kind::Mono: kind = mono; break;
        case FaceStyle::Kind::Serif: kind = !mono && c.family.find("Sans") == std::string::npos; break;
        default: kind = !mono && c.family.find("Serif") == std::string::npos; break;
        }
        // A named instance loads as its variable font's default: its weight and slant are not
        // what fontconfig says.
        bool weight = !c.instance && (style.bold ? c.weight >= FC_WEIGHT_DEMIBOLD
                                                 : c.weight >= FC_WEIGHT_BOOK && c.weight <= FC_WEIGHT_MEDIUM);
        bool slant = !c.instance && (style.italic ? c.slant > FC_SLANT_ROMAN : c.slant == FC_SLANT_ROMAN);
        bool width = c.width > FC_WIDTH_SEMICONDENSED && c.width < FC_WIDTH_SEMIEXPANDED;
        return (kind ? 16 : 0) + (weight ? 8 : 0) + (slant ? 4 : 0) + (width ? 2 : 0) + (c.trueType ? 1 : 0);
    }
    static constexpr int kPerfectFit = 31;

    // A pattern for the style's family, or the generic family of its kind, at its weight and
    // slant. Not both: the generic family's faces would outrank the family's own aliases.
    static FcPattern* stylePattern(const FaceStyle& style, bool withFamily) {
        FcPattern* pattern = FcPatternCreate();
        const char* generic = style.kind == FaceStyle::Kind::Mono    ? "monospace"
                              : style.kind == FaceStyle::Kind::Serif ? "serif"
                                                                     : "sans-serif";
        const char* family = withFamily && !style.family.empty() ? style.family.c_str() : generic;
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
        FcPatternAddInteger(pattern, FC_WEIGHT, style.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, style.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddInteger(pattern, FC_WIDTH, FC_WIDTH_NORMAL);
        // No FC_SPACING: fontconfig's rules would put their monospace faces before the family's
        // own aliases. fit() looks at the spacing instead.
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        return pattern;
    }

    // The best fitting candidate that loads and has the characters, fontconfig's order
    // deciding between equals.
    FaceRef best(const std::vector<Candidate>& candidates, const FaceStyle& style,
                 std::initializer_list<char32_t> characters, const FaceRef& avoid = nullptr) {
        std::vector<std::pair<int, size_t>> ranked;
        for (size_t i = 0; i < candidates.size(); ++i) ranked.emplace_back(-fit(candidates[i], style), i);
        std::stable_sort(ranked.begin(), ranked.end());
        for (const auto& [score, i] : ranked) {
            FaceRef face = faceFor(candidates[i].file, candidates[i].index);
            if (face && face != avoid &&
                std::all_of(characters.begin(), characters.end(), [&](char32_t c) { return face->hasGlyph(c); }))
                return face;
        }
        return nullptr;
    }

    std::map<std::tuple<int, bool, bool, std::string>, FaceRef> styled;  // faceForStyle
    std::map<std::tuple<char32_t, int, bool, bool>, FaceRef> covering;   // null: nothing covers it

    bool emojiResolved = false;
    FaceRef emojiFace;

    // The face fontconfig finds for the character, `avoid` only when no other has it.
    FaceRef search(char32_t codePoint, bool emoji, const FaceRef& avoid) {
        FcPattern* pattern = FcPatternCreate();
        const char* family = emoji ? "emoji" : "sans-serif";
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
        FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        FcCharSet* charset = FcCharSetCreate();
        FcCharSetAddChar(charset, codePoint);
        FcPatternAddCharSet(pattern, FC_CHARSET, charset);
        FcCharSetDestroy(charset);

        // fontconfig ranks coverage first; among the fonts that cover the character we take
        // the best TrueType one, since glyf outlines embed in every viewer, and a CFF one
        // otherwise.
        FaceRef chosen, cffChoice, lastResort;
        for (const auto& candidate : sorted(pattern, codePoint)) {
            if (!candidate.trueType && cffChoice) continue;
            FaceRef face = faceFor(candidate.file, candidate.index);
            if (!face || !face->hasGlyph(codePoint)) continue;
            if (avoid && face == avoid) {
                lastResort = face;
                continue;
            }
            if (!candidate.trueType) {
                cffChoice = face;
                continue;
            }
            chosen = face;
            break;
        }
        FcPatternDestroy(pattern);
        if (!chosen) chosen = cffChoice ? cffChoice : lastResort;
        return chosen;
    }

    // The face built for emoji, looked for once.
    const FaceRef& emoji() {
        if (!emojiResolved) {
            emojiResolved = true;
            emojiFace = search(kEmojiSample, true, nullptr);
        }
        return emojiFace;
    }
};

FontService::FontService() : impl_(std::make_unique<Impl>()) { impl_->config = FcInitLoadConfigAndFonts(); }

FontService::~FontService() = default;

FontService& FontService::shared() {
    // Destroyed at exit so that fontconfig releases its set-up; faces already handed out
    // stay alive through their own references.
    static FontService service;
    return service;
}

FaceRef FontService::systemUIFace() {
    std::lock_guard<std::mutex> hold(impl_->lock);
    if (impl_->systemResolved) return impl_->system;
    impl_->systemResolved = true;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcPatternAddInteger(pattern, FC_WIDTH, FC_WIDTH_NORMAL);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    for (const auto& candidate : impl_->sorted(pattern)) {
        FaceRef face = impl_->faceFor(candidate.file, candidate.index);
        // A UI face must at least show Latin letters and digits.
        if (face && face->hasGlyph(U'a') && face->hasGlyph(U'0')) {
            impl_->system = face;
            break;
        }
    }
    FcPatternDestroy(pattern);
    return impl_->system;
}

FaceRef FontService::faceCovering(char32_t codePoint, const FaceRef& preferred) {
    return faceCovering(codePoint, preferred, FaceStyle{});
}

FaceRef FontService::faceCovering(char32_t codePoint, const FaceRef& preferred, const FaceStyle& style) {
    // Emoji are looked for in the emoji face. That face has stray glyphs of other scripts (a
    // few ideographs among its symbols): it serves other characters only when no other face
    // has them. Otherwise the previous fallback serves the next character too.
    const bool emoji = isEmoji(codePoint);
    std::lock_guard<std::mutex> hold(impl_->lock);
    const FaceRef emojiFace = emoji ? nullptr : impl_->emoji();
    if (preferred && !emoji && preferred != emojiFace && preferred->hasGlyph(codePoint)) return preferred;
    auto key = std::make_tuple(codePoint, static_cast<int>(style.kind), style.bold, style.italic);
    auto cached = impl_->covering.find(key);
    if (cached != impl_->covering.end()) return cached->second;
    if (emoji) {
        FaceRef chosen = impl_->search(codePoint, true, nullptr);
        impl_->covering.emplace(key, chosen);
        return chosen;
    }

    FcPattern* pattern = Impl::stylePattern(style, false);
    FcCharSet* charset = FcCharSetCreate();
    FcCharSetAddChar(charset, codePoint);
    FcPatternAddCharSet(pattern, FC_CHARSET, charset);
    FcCharSetDestroy(charset);
    // fontconfig ranks coverage first; among the fonts that cover the character we take the
    // one that fits the style best.
    FaceRef chosen = impl_->best(impl_->sorted(pattern, codePoint), style, {codePoint}, emojiFace);
    FcPatternDestroy(pattern);
    if (!chosen && emojiFace && emojiFace->hasGlyph(codePoint)) chosen = emojiFace;
    impl_->covering.emplace(key, chosen);
    return chosen;
}

FaceRef FontService::faceForStyle(const FaceStyle& style) {
    std::lock_guard<std::mutex> hold(impl_->lock);
    auto key = std::make_tuple(static_cast<int>(style.kind), style.bold, style.italic, style.family);
    auto cached = impl_->styled.find(key);
    if (cached != impl_->styled.end()) return cached->second;
    FaceRef chosen;
    if (!style.family.empty()) {
        // A face of the family or of one its aliases (those with the same widths come first),
        // when one fits in every respect; otherwise the generic family's best.
        FcPattern* pattern = Impl::stylePattern(style, true);
        std::vector<std::string> named;
        std::vector<Impl::Candidate> candidates = impl_->sorted(pattern, std::nullopt, &named);
        FcPatternDestroy(pattern);
        candidates.erase(std::remove_if(candidates.begin(), candidates.end(),
                                        [&](const Impl::Candidate& c) {
                                            return Impl::fit(c, style) < Impl::kPerfectFit ||
                                                   std::none_of(named.begin(), named.end(), [&](const std::string& n) {
                                                       return sameFamily(n, c.family);
                                                   });
                                        }),
                         candidates.end());
        chosen = impl_->best(candidates, style, {U'a', U'0'});
    }
    if (!chosen) {
        FcPattern* pattern = Impl::stylePattern(style, false);
        chosen = impl_->best(impl_->sorted(pattern), style, {U'a', U'0'});
        FcPatternDestroy(pattern);
    }
    impl_->styled.emplace(key, chosen);
    return chosen;
}

}  // namespace qvpdf
