#pragma once
// A loaded font face: one FreeType face and one HarfBuzz font over the same bytes, so that
// the shaper, the measurer and the embedder all see exactly the same font.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/text/Typesetting.h"

typedef struct FT_FaceRec_* FT_Face;
typedef struct hb_blob_t hb_blob_t;
typedef struct hb_face_t hb_face_t;
typedef struct hb_font_t hb_font_t;

namespace qvpdf {

class Face {
public:
    // Loads face `index` of the font file; null when the file is no usable scalable sfnt font
    // (TrueType or OpenType outlines), since only those can be shaped and embedded.
    static FaceRef load(const std::string& path, int index);
    // The same from bytes held in memory (tests, fonts that a document carries).
    static FaceRef loadFromBytes(std::string bytes, int index, std::string label = "memory");
    ~Face();
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;

    const std::string& path() const { return path_; }
    int index() const { return index_; }
    const std::string& postScriptName() const { return postScriptName_; }
    // Outlines as a CFF table (embedded as OpenType) rather than TrueType glyf.
    bool isCFF() const { return cff_; }
    // CFF outlines keyed by CID (a charset of CIDs rather than glyph names): a PDF viewer
    // finds such a glyph by its CID, which survives subsetting while the glyph id does not.
    bool isCIDKeyed() const { return cidKeyed_; }
    // The CID of a glyph of a CID-keyed face; the glyph id itself for any other face.
    uint32_t cidForGlyph(uint32_t glyphId) const;
    unsigned unitsPerEm() const { return upem_; }

    bool hasGlyph(char32_t codePoint) const;
    uint32_t glyphFor(char32_t codePoint) const;  // 0 (.notdef) when absent
    // Horizontal advance of a glyph in thousandths of an em.
    double advance(uint32_t glyphId) const;
    uint32_t glyphCount() const { return glyphCount_; }

    // Descriptor metrics in thousandths of an em.
    double ascent() const { return ascent_; }
    double descent() const { return descent_; }  // negative
    double capHeight() const { return capHeight_; }
    double italicAngle() const { return italicAngle_; }
    const double* bbox() const { return bbox_; }
    bool fixedPitch() const { return fixedPitch_; }
    bool serif() const { return serif_; }

    hb_face_t* hbFace() const { return hbFace_; }
    hb_font_t* hbFont() const { return hbFont_; }
    FT_Face ftFace() const { return ftFace_; }

private:
    Face() = default;
    [[nodiscard]] bool init();

    std::string path_;
    int index_ = 0;
    std::string postScriptName_;
    std::string bytes_;  // owned copy when loaded from memory
    bool cff_ = false;
    bool cidKeyed_ = false;
    unsigned upem_ = 1000;
    uint32_t glyphCount_ = 0;
    double ascent_ = 0, descent_ = 0, capHeight_ = 0, italicAngle_ = 0;
    double bbox_[4] = {0, 0, 0, 0};
    bool fixedPitch_ = false, serif_ = false;
    hb_blob_t* blob_ = nullptr;
    hb_face_t* hbFace_ = nullptr;
    hb_font_t* hbFont_ = nullptr;
    FT_Face ftFace_ = nullptr;
};

}  // namespace qvpdf
