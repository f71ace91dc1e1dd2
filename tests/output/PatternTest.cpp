#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DutchTexts.h"
#include "output/Pattern.h"

namespace {

using Row = std::vector<std::string_view>;

class Pattern : public qvtest::DutchTexts {
protected:
    Row columns_{"Klant", "Naam ", "#", "a{b", "Plaats"};

    // Expands with the values given (one per column) and answers the text or the message.
    std::string expand(std::string_view pattern, const Row& values, uint64_t number, int8_t watermark) {
        QVError error;
        std::optional<std::string> out = QVExpandPattern(pattern, columns_, values, number, watermark, &error);
        return out ? *out : "FOUT: " + error.message;
    }
    std::string filename(std::string_view pattern, const Row& values, uint64_t number) {
        QVError error;
        std::optional<std::string> out = QVFilename(pattern, columns_, values, number, &error);
        return out ? *out : "FOUT: " + error.message;
    }
    std::string filenameForValue(std::string_view value, uint64_t number = 7) {
        return filename("{Klant}", Row{value, "", "", "", ""}, number);
    }
};

const Row kJansen{"Jansen", "Piet", "hekje", "accolade", "Gouda"};

TEST_F(Pattern, RecordNumberHasAtLeastSixDigits) {
    EXPECT_EQ(filename("merge-{#}", kJansen, 1), "merge-000001.pdf");
    EXPECT_EQ(filename("merge-{#}", kJansen, 42), "merge-000042.pdf");
    EXPECT_EQ(filename("merge-{#}", kJansen, 999999), "merge-999999.pdf");
    EXPECT_EQ(filename("merge-{#}", kJansen, 1000000), "merge-1000000.pdf");
    EXPECT_EQ(filename("merge-{#}", kJansen, 1234567), "merge-1234567.pdf");
    EXPECT_EQ(expand("{#}", kJansen, UINT64_MAX, 0), "18446744073709551615");
    EXPECT_EQ(expand("{#}{#}", kJansen, 3, 1), "000003000003");
}

TEST_F(Pattern, ColumnNamesMatchExactly) {
    EXPECT_EQ(filename("Factuur-{Klant}-{#}", kJansen, 12), "Factuur-Jansen-000012.pdf");
    // Case and spaces are part of the name.
    EXPECT_EQ(filename("{Naam }", kJansen, 1), "Piet.pdf");
    EXPECT_EQ(filename("{Naam}", kJansen, 1), "FOUT: Onbekende CSV-kolom in bestandsnaam: 'Naam'.");
    EXPECT_EQ(filename("{klant}", kJansen, 1), "FOUT: Onbekende CSV-kolom in bestandsnaam: 'klant'.");
    // "#" is the record number even though the header has a column of that name.
    EXPECT_EQ(expand("{#}", kJansen, 5, 0), "000005");
    // A pattern without placeholders is copied as it stands, for every record.
    EXPECT_EQ(filename("overzicht", kJansen, 1), "overzicht.pdf");
    EXPECT_EQ(filename("overzicht", kJansen, 2), "overzicht.pdf");
    EXPECT_EQ(expand("", kJansen, 1, 1), "");
}

TEST_F(Pattern, InsertedValuesAreNeverScannedAgain) {
    Row values{"{#}", "}{", "", "", "{Plaats}"};
    EXPECT_EQ(filename("x-{Klant}-{Naam }-{Plaats}", values, 3), "x-{#}-}{-{Plaats}.pdf");
    EXPECT_EQ(expand("{Klant}", values, 3, 1), "{#}");
}

TEST_F(Pattern, BraceErrorsUseTheWordingOfThePatternKind) {
    struct Case {
        const char* pattern;
        const char* filenameMessage;
        const char* watermarkMessage;
    };
    const Case cases[] = {
        {"{Klant", "Een accolade in het bestandsnaampatroon is niet afgesloten.",
         "Een accolade in het watermerkpatroon is niet afgesloten."},
        {"a}b", "Onverwachte sluitaccolade in het bestandsnaampatroon.",
         "Onverwachte sluitaccolade in het watermerkpatroon."},
        // The first error from the left wins.
        {"}{x", "Onverwachte sluitaccolade in het bestandsnaampatroon.",
         "Onverwachte sluitaccolade in het watermerkpatroon."},
        {"{Klant}}", "Onverwachte sluitaccolade in het bestandsnaampatroon.",
         "Onverwachte sluitaccolade in het watermerkpatroon."},
        {"{Onbekend}{", "Onbekende CSV-kolom in bestandsnaam: 'Onbekend'.",
         "Onbekende CSV-kolom in watermerk: 'Onbekend'."},
        {"{Klant}{", "Een accolade in het bestandsnaampatroon is niet afgesloten.",
         "Een accolade in het watermerkpatroon is niet afgesloten."},
        {"{}", "Onbekende CSV-kolom in bestandsnaam: ''.", "Onbekende CSV-kolom in watermerk: ''."},
        // A name holding "{" never matches, even though the header has exactly that column.
        {"{a{b}", "Onbekende CSV-kolom in bestandsnaam: 'a{b'.", "Onbekende CSV-kolom in watermerk: 'a{b'."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(filename(c.pattern, kJansen, 1), std::string("FOUT: ") + c.filenameMessage);
        EXPECT_EQ(expand(c.pattern, kJansen, 1, 0), std::string("FOUT: ") + c.filenameMessage);
        EXPECT_EQ(expand(c.pattern, kJansen, 1, 1), std::string("FOUT: ") + c.watermarkMessage);
        EXPECT_EQ(expand(c.pattern, kJansen, 1, -1), std::string("FOUT: ") + c.watermarkMessage);
    }
}

TEST_F(Pattern, FailuresWithoutAReportPlaceStillFail) {
    EXPECT_FALSE(QVExpandPattern("{", columns_, kJansen, 1, 0, nullptr));
    EXPECT_FALSE(QVFilename("{Klant}", columns_, Row{"", "", "", "", ""}, 1, nullptr));
    // A row shorter than its header is refused, never read past its end.
    EXPECT_EQ(filename("{Plaats}", Row{"a"}, 1), "FOUT: Onbekende CSV-kolom in bestandsnaam: 'Plaats'.");
}

TEST_F(Pattern, WatermarkTextIsNotHeldToFileNameRules) {
    Row values{" Vertrouwelijk: a/b\t", "", "", "", ""};
    EXPECT_EQ(expand("{Klant}", values, 1, 1), " Vertrouwelijk: a/b\t");
}

TEST_F(Pattern, UnsafeFileNamesAreRefusedWithTheRecordNumber) {
    const std::string invalid =
        "FOUT: Ongeldige bestandsnaam voor record 7. Gebruik geen /, \\, :, controletekens, beginpunt of spaties "
        "aan het begin of einde.";
    const std::string_view refused[] = {
        "",            // the whole name empty
        ".verborgen",  // leading dot
        "a/b",
        "a\\b",
        "C:x",
        "..",                         // would name the parent folder
        std::string_view("a\0b", 3),  // a NUL would cut the path short
        "a\x01z",
        "a\x7f",     // Cc
        "a\u200Bz",  // zero-width space (Cf)
        "\uFEFFa",   // byte-order mark (Cf)
        "a\u202Ez",  // right-to-left override (Cf): hides the real extension
        " Jansen",
        "Jansen\t",
        "Jansen\n",
        "\u00A0Jansen",
        "Jansen\u3000",
        "Jansen\u2028",
        "Jansen\u0085",
        "\xff",
        "Jan\xc3",
        "\xed\xa0\x80",  // not UTF-8
    };
    for (std::string_view value : refused) {
        SCOPED_TRACE(testing::PrintToString(std::string(value)));
        EXPECT_EQ(filenameForValue(value), invalid);
    }
    // Only the start and the end are held to the whitespace rule; dots only at the start.
    EXPECT_EQ(filenameForValue("Jan\u00A0de Vries."), "Jan\u00A0de Vries..pdf");
    EXPECT_EQ(filenameForValue("Café ☕ 𝄞"), "Café ☕ 𝄞.pdf");
    // The number is the record's own, also past six digits.
    EXPECT_EQ(filename("{Klant}", Row{"", "", "", "", ""}, 1234567),
              "FOUT: Ongeldige bestandsnaam voor record 1234567. Gebruik geen /, \\, :, controletekens, beginpunt of "
              "spaties aan het begin of einde.");
}

TEST_F(Pattern, NamesAreLimitedTo255BytesWithExtension) {
    const std::string tooLong = "FOUT: Bestandsnaam voor record 9 is te lang.";
    EXPECT_EQ(filenameForValue(std::string(251, 'a'), 9), std::string(251, 'a') + ".pdf");
    EXPECT_EQ(filenameForValue(std::string(252, 'a'), 9), tooLong);

    // Bytes count, not characters: é precomposed takes two, e plus a combining accent three.
    std::string precomposed;
    for (int i = 0; i < 125; ++i) precomposed += "\u00E9";
    EXPECT_EQ(filenameForValue(precomposed + "a", 9), precomposed + "a.pdf");
    EXPECT_EQ(filenameForValue(precomposed + "\u00E9", 9), tooLong);
    std::string decomposed;
    for (int i = 0; i < 83; ++i) decomposed += "e\u0301";
    EXPECT_EQ(filenameForValue(decomposed + "ab", 9), decomposed + "ab.pdf");
    EXPECT_EQ(filenameForValue(decomposed + "e\u0301", 9), tooLong);

    // A name that is both unsafe and too long is reported as unsafe.
    EXPECT_EQ(filenameForValue("." + std::string(300, 'a'), 9).substr(0, 45),
              "FOUT: Ongeldige bestandsnaam voor record 9. G");
}

}  // namespace

namespace {

// Messages are looked up in the language in force before they are filled: with English in
// force the wording changes, the filled-in values do not.
TEST_F(Pattern, MessagesAreTranslatedBeforeTheyAreFilled) {
    qvtest::ScopedEnv english("LANGUAGE", "en");
    qvtest::ScopedEnv all("LC_ALL", "en_GB.UTF-8");
    std::string unknown = expand("{Onbekend}", kJansen, 1, 1);
    EXPECT_EQ(unknown.find("Onbekende CSV-kolom"), std::string::npos) << unknown;
    EXPECT_NE(unknown.find("'Onbekend'"), std::string::npos) << unknown;
    std::string tooLong = filenameForValue(std::string(300, 'a'), 4321);
    EXPECT_EQ(tooLong.find("te lang"), std::string::npos) << tooLong;
    EXPECT_NE(tooLong.find("4321"), std::string::npos) << tooLong;
}

}  // namespace
