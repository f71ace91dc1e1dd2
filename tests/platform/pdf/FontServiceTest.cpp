#include <gtest/gtest.h>

#include "platform/text/Fonts.h"
#include "support/TestSupport.h"

using namespace qvpdf;

namespace {

struct Sample {
    const char* script;
    char32_t codePoint;
};

const Sample kScripts[] = {
    {"Latin", U'\u0141'}, {"Greek", U'\u03A9'},  {"Cyrillic", U'\u0416'}, {"Han", U'\u4E2D'},
    {"Kana", U'\u3042'},  {"Arabic", U'\u0639'}, {"Hebrew", U'\u05E9'},
};

}  // namespace

TEST(FontService, SystemFaceIsALoadedScalableSansFace) {
    FaceRef face = FontService::shared().systemUIFace();
    ASSERT_TRUE(face);
    EXPECT_TRUE(face->hasGlyph(U'a'));
    EXPECT_GT(face->advance(face->glyphFor(U'M')), 0);
    EXPECT_GT(face->ascent(), 0);
    EXPECT_LT(face->descent(), 0);
    EXPECT_FALSE(face->postScriptName().empty());
    // Loaded once: the same object every time.
    EXPECT_EQ(face, FontService::shared().systemUIFace());
}

TEST(FontService, EveryScriptFindsACoveringFace) {
    FaceRef system = FontService::shared().systemUIFace();
    for (const auto& sample : kScripts) {
        FaceRef face = FontService::shared().faceCovering(sample.codePoint, system);
        ASSERT_TRUE(face) << sample.script;
        EXPECT_TRUE(face->hasGlyph(sample.codePoint)) << sample.script << " in " << face->path();
        if (system->hasGlyph(sample.codePoint)) {
            EXPECT_EQ(face, system) << sample.script;
        }
    }
    // A face that covers the character is kept, whatever fontconfig would rank first.
    FaceRef han = FontService::shared().faceCovering(U'\u4E2D', nullptr);
    EXPECT_EQ(FontService::shared().faceCovering(U'\u6587', han), han);
}

TEST(FontService, StyledFacesHaveTheKindWeightAndSlantAsked) {
    using Kind = FaceStyle::Kind;
    auto named = [](const FaceRef& face, std::initializer_list<const char*> words) {
        for (const char* w : words)
            if (face->postScriptName().find(w) != std::string::npos) return true;
        return false;
    };
    for (Kind kind : {Kind::Sans, Kind::Serif, Kind::Mono}) {
        for (const char* family : {"", "Helvetica", "Times", "Courier"}) {
            for (int variant = 0; variant < 4; ++variant) {
                FaceStyle style{kind, (variant & 1) != 0, (variant & 2) != 0, family};
                SCOPED_TRACE(std::to_string(static_cast<int>(kind)) + " " + family + " " + std::to_string(variant));
                FaceRef face = FontService::shared().faceForStyle(style);
                ASSERT_TRUE(face);
                EXPECT_TRUE(face->hasGlyph(U'a') && face->hasGlyph(U'0'));
                EXPECT_EQ(named(face, {"Bold"}), style.bold) << face->postScriptName();
                EXPECT_EQ(face->italicAngle() != 0, style.italic) << face->postScriptName();
                // The kind decides even when the family hint is of another kind.
                EXPECT_EQ(face->fixedPitch(), kind == Kind::Mono) << face->postScriptName();
                if (kind == Kind::Serif) {
                    EXPECT_TRUE(named(face, {"Serif", "Roman", "Times"})) << face->postScriptName();
                }
                if (kind == Kind::Sans) {
                    EXPECT_FALSE(named(face, {"Serif", "Mono"})) << face->postScriptName();
                }
                EXPECT_EQ(FontService::shared().faceForStyle(style), face);  // kept
            }
        }
    }
    // Han characters of a bold field come from a bold face too.
    FaceRef han = FontService::shared().faceCovering(U'\u4E2D', nullptr, FaceStyle{Kind::Sans, true, false, {}});
    ASSERT_TRUE(han);
    EXPECT_TRUE(named(han, {"Bold"})) << han->postScriptName();
}

TEST(FontService, NothingCoversUnassignedCharacters) {
    EXPECT_FALSE(FontService::shared().faceCovering(U'\U0010FFFD', nullptr));
}

TEST(FontService, EmptyFontconfigGivesNoFaces) {
    qvtest::TempDir dir;
    qvtest::writeFile(dir / "fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n");
    qvtest::ScopedEnv config("FONTCONFIG_FILE", (dir / "fonts.conf").string());
    qvtest::ScopedEnv path("FONTCONFIG_PATH", dir.path().string());
    FontService empty;
    EXPECT_FALSE(empty.systemUIFace());
    EXPECT_FALSE(empty.faceCovering(U'a', nullptr));
    EXPECT_FALSE(empty.faceForStyle(FaceStyle{FaceStyle::Kind::Serif, true, true, "Times"}));
}

TEST(FontFace, DamagedOrForeignFilesAreRefused) {
    qvtest::TempDir dir;
    EXPECT_FALSE(Face::load((dir / "missing.ttf").string(), 0));
    EXPECT_FALSE(Face::loadFromBytes("not a font at all", 0));
    EXPECT_FALSE(Face::loadFromBytes("", 0));

    FaceRef system = FontService::shared().systemUIFace();
    ASSERT_TRUE(system);
    std::string bytes = qvtest::readFile(system->path());
    EXPECT_TRUE(Face::loadFromBytes(bytes, 0));
    EXPECT_FALSE(Face::loadFromBytes(bytes, 7));  // no such face in the file
    // Truncated in the middle of its tables: refused or loaded, but never a crash.
    for (size_t cut : {size_t(12), size_t(200), bytes.size() / 2}) {
        FaceRef truncated = Face::loadFromBytes(bytes.substr(0, cut), 0);
        if (truncated) (void)truncated->advance(truncated->glyphFor(U'a'));
    }
}
