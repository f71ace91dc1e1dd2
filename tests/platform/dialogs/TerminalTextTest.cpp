#include <gtest/gtest.h>

#include "platform/dialogs/ContentType.h"
#include "platform/dialogs/TerminalText.h"

using namespace qvui;

TEST(TerminalText, TypedTextMustBeCleanUtf8) {
    EXPECT_EQ(checkTypedText("Factuur-{Klant}-{#} ✓"), TypedTextProblem::none);
    EXPECT_EQ(checkTypedText("merge-\x1b[A"), TypedTextProblem::controlCharacter);
    EXPECT_EQ(checkTypedText("a\tb"), TypedTextProblem::controlCharacter);
    EXPECT_EQ(checkTypedText("caf\xe9"), TypedTextProblem::invalidUtf8);
}

TEST(TerminalText, WrapsAtSpacesOnly) {
    EXPECT_EQ(wrapText("een twee drie vier", 9), "een twee\ndrie vier");
    EXPECT_EQ(wrapText("een twee drie vier", 0), "een twee drie vier");
    EXPECT_EQ(wrapText("kort\n\nalinea met meer woorden", 10), "kort\n\nalinea met\nmeer\nwoorden");
    EXPECT_EQ(wrapText("a /een/heel/lang/pad/zonder/spaties b", 8), "a\n/een/heel/lang/pad/zonder/spaties\nb");
    EXPECT_EQ(wrapText("  1) Komma (,) of iets langers", 14, 6), "  1) Komma (,)\n      of iets\n      langers");
    EXPECT_EQ(wrapText("Prompt (1-3): ", 40), "Prompt (1-3): ");  // the trailing space stays
    // Columns, not bytes: accents take one, CJK two.
    EXPECT_EQ(wrapText("één één één", 7), "één één\néén");
    EXPECT_EQ(wrapText("\u4e2d\u6587 \u4e2d\u6587", 8), "\u4e2d\u6587\n\u4e2d\u6587");
}

TEST(TerminalText, TruncatesInTheMiddleByColumns) {
    EXPECT_EQ(truncateMiddle("Naam", 10), "Naam");
    EXPECT_EQ(truncateMiddle("abcdefghij", 5), "ab\u2026ij");
    EXPECT_EQ(truncateMiddle("\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9", 4), "\u00e9\u00e9\u2026\u00e9");
    EXPECT_EQ(terminalWidth("e\u0301\u4e2d"), 3u);  // a combining accent takes no column
}

TEST(ContentType, KnowsExtensionsCaseInsensitively) {
    auto pdf = ContentType::typeWithFilenameExtension("PDF");
    ASSERT_TRUE(pdf);
    EXPECT_EQ(pdf->identifier, "application/pdf");
    EXPECT_EQ(pdf->preferredFilenameExtension, "pdf");
    EXPECT_TRUE(pdf->matchesFileName("Formulier.Pdf"));
    EXPECT_FALSE(pdf->matchesFileName(".pdf"));
    EXPECT_FALSE(pdf->matchesFileName("formulierpdf"));
    EXPECT_FALSE(pdf->matchesFileName("formulier.pdf.txt"));
    for (const char* ext : {"csv", "tsv", "txt"}) EXPECT_TRUE(ContentType::typeWithFilenameExtension(ext)) << ext;

    EXPECT_FALSE(ContentType::typeWithFilenameExtension("qvnotatype"));
    EXPECT_FALSE(ContentType::typeWithFilenameExtension(""));
    EXPECT_FALSE(ContentType::typeWithFilenameExtension(".pdf"));
    EXPECT_FALSE(ContentType::typeWithFilenameExtension("*"));
}
