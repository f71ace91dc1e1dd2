#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/DelimitedText.h"
#include "localization/Text.h"
#include "platform/Format.h"
#include "support/DutchHome.h"
#include "support/TerminalCases.h"
#include "support/TestSupport.h"

using qvtest::CommandResult;
using qvtest::ScopedEnv;
using qvtest::TempDir;
using qvtest::writeFile;

namespace {

class CliPreview : public qvtest::DutchHomeTest {
protected:
    CommandResult quorvel(std::vector<std::string> arguments) { return qvtest::runQuorvel(std::move(arguments)); }
    std::string file(const std::string& name, const std::string& bytes) {
        writeFile(dir_ / name, bytes);
        return (dir_ / name).string();
    }
};

const std::string kIntro = "Controleer de ingelezen gegevens\n";

}  // namespace

TEST_F(CliPreview, ShowsTheCountAndTheFirstFiveRecords) {
    std::string data = "Naam,Plaats,Bedrag\n";
    for (int i = 1; i <= 7; ++i) data += "Klant " + std::to_string(i) + ",Utrecht,\"€ " + std::to_string(i) + ",50\"\n";
    data.replace(data.find("Utrecht"), 7, "");  // the first record has an empty value
    CommandResult result = quorvel({"preview", file("klanten.csv", data)});
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(result.errors, "");
    std::string expected =
        kIntro +
        "7 records gevonden. De eerste 5 worden hieronder getoond; controleer de kolommen en waarden. "
        "Dit is geen PDF-voorbeeld.\n\n"
        "Record 1\nNaam: Klant 1\nPlaats: \nBedrag: € 1,50\n\n";
    for (int i = 2; i <= 5; ++i) {
        expected += "Record " + std::to_string(i) + "\nNaam: Klant " + std::to_string(i) +
                    "\nPlaats: Utrecht\nBedrag: € " + std::to_string(i) + ",50\n\n";
    }
    EXPECT_EQ(result.output, expected);
}

TEST_F(CliPreview, SeparatorsAndTheWrongSeparatorWarning) {
    const std::string semicolons = file("puntkomma.csv", "Naam;Plaats\nJan;Utrecht\nPiet;Gouda\n");
    CommandResult right = quorvel({"preview", semicolons, "--separator", "semicolon"});
    EXPECT_EQ(right.status, 0);
    EXPECT_EQ(right.errors, "");
    EXPECT_NE(right.output.find("2 records gevonden. De eerste 2 "), std::string::npos);
    EXPECT_NE(right.output.find("Record 2\nNaam: Piet\nPlaats: Gouda\n\n"), std::string::npos);

    // Read with the comma it is one column: shown, with a warning beside it.
    CommandResult wrong = quorvel({"preview", semicolons, "--separator", "comma"});
    EXPECT_EQ(wrong.status, 0);
    EXPECT_NE(wrong.errors.find("Mogelijk verkeerd scheidingsteken\n"), std::string::npos);
    EXPECT_NE(wrong.output.find("Record 1\nNaam;Plaats: Jan;Utrecht\n"), std::string::npos);

    CommandResult tab = quorvel({"preview", file("tab.csv", "Naam\tPlaats\nJan\tUtrecht\n"), "--separator=tab"});
    EXPECT_EQ(tab.status, 0);
    EXPECT_NE(tab.output.find("Naam: Jan\nPlaats: Utrecht\n"), std::string::npos);

    CommandResult single = quorvel({"preview", file("een.csv", "Naam\nJan\n")});
    EXPECT_EQ(single.status, 0);
    EXPECT_EQ(single.errors, "");
}

TEST_F(CliPreview, FailuresGoToStandardErrorWithExitOne) {
    CommandResult missing = quorvel({"preview", (dir_ / "geen.csv").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.output, "");
    EXPECT_EQ(missing.errors, "CSV lezen mislukt: Het bestand 'geen.csv' bestaat niet.\n");

    CommandResult uneven = quorvel({"preview", file("scheef.csv", "a,b\n1,2\n3\n")});
    EXPECT_EQ(uneven.status, 1);
    EXPECT_EQ(uneven.output, "");
    EXPECT_EQ(uneven.errors,
              "CSV-record 3 heeft een afwijkend aantal kolommen.\nRegel 3 van het gegevensbestand: \"3\"\n");

    CommandResult latin1 = quorvel({"preview", file("latin1.csv", "Naam\nJos\xE9\n")});
    EXPECT_EQ(latin1.status, 1);
    EXPECT_NE(latin1.errors.find("geen geldige UTF-8-tekst (ongeldige byte op positie 8)"), std::string::npos);
}

TEST_F(CliPreview, UsageErrorsExitTwo) {
    const std::string data = file("a.csv", "a\n1\n");
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{},
                                               {"preview"},
                                               {"preview", data, "--separator", "pipe"},
                                               {"preview", data, "--onbekend"},
                                               {"preview", data, "extra"},
                                               {"samenvoegen"}}) {
        CommandResult result = quorvel(arguments);
        EXPECT_EQ(result.status, 2) << testing::PrintToString(arguments);
        EXPECT_EQ(result.output.find("Record"), std::string::npos);
    }
    EXPECT_EQ(quorvel({"preview", "--help"}).status, 0);
}

TEST_F(CliPreview, ControlCharactersArePrintedHarmlessly) {
    const std::string data =
        "Naam,Notitie\n"
        "\"\x1B]0;gekaapt\x07\",\"\x1B[31mrood\rover\nregel\"\n"
        "\xE2\x80\xAE"
        "cba,\"tab\there\"\n";
    CommandResult result = quorvel({"preview", file("vreemd.csv", data)});
    EXPECT_EQ(result.status, 0) << result.errors;
    for (char c : {'\x1B', '\x07', '\r'}) EXPECT_EQ(result.output.find(c), std::string::npos) << int(c);
    EXPECT_EQ(result.output.find("\xE2\x80\xAE"), std::string::npos);
    EXPECT_NE(result.output.find("Naam: \\u{1B}]0;gekaapt\\u{07}\n"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("Notitie: \\u{1B}[31mrood\\rover\\nregel\n"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("Naam: \\u{202E}cba\nNotitie: tab\\there\n"), std::string::npos) << result.output;

    // A hostile file name in a message, too.
    CommandResult missing = quorvel({"preview", (dir_ / "x\x1B[2Jy.csv").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.errors, "CSV lezen mislukt: Het bestand 'x\\u{1B}[2Jy.csv' bestaat niet.\n");
}

TEST_F(CliPreview, FileNamesAreShownAsEveryTerminalTextIs) {
    // File names may hold any byte but NUL and the slash.
    for (const qvtest::TerminalCase& c : qvtest::terminalCases()) {
        if (c.text.find_first_of(std::string("/\0", 2)) != std::string::npos) continue;
        CommandResult missing = quorvel({"preview", (dir_ / ("x" + c.text + ".csv")).string()});
        EXPECT_EQ(missing.status, 1);
        EXPECT_EQ(missing.errors, "CSV lezen mislukt: Het bestand 'x" + c.shown + ".csv' bestaat niet.\n");
    }
}

TEST_F(CliPreview, SpeaksTheLanguageInForce) {
    ScopedEnv english("LANGUAGE", "en");
    ScopedEnv all("LC_ALL", "en_GB.UTF-8");
    CommandResult result = quorvel({"preview", file("a.csv", "Naam\nJan\n")});
    ASSERT_EQ(result.status, 0) << result.errors;
    const std::string expected =
        QVText("Controleer de ingelezen gegevens") + "\n" +
        QVFormat(QVText("%lu records gevonden. De eerste %lu worden hieronder getoond; controleer de kolommen en "
                        "waarden. Dit is geen PDF-voorbeeld."),
                 {1ul, 1ul}) +
        "\n\n" + QVFormat(QVText("Record %lu"), {1ul}) + "\nNaam: Jan\n\n";
    EXPECT_EQ(result.output, expected);
}

TEST_F(CliPreview, TheBundledExample) {
    const std::string example = std::string(QV_SOURCE_DIR) + "/examples/klanten.csv";
    std::optional<std::string> text = QVReadDataFile(example);
    ASSERT_TRUE(text);
    std::optional<QVRecordTable> table = QVParseCSV(*text);
    ASSERT_TRUE(table);
    EXPECT_GE(table->rowCount() - 1, 20u);
    CommandResult result = quorvel({"preview", example});
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(result.errors, "");
    EXPECT_NE(result.output.find(std::to_string(table->rowCount() - 1) + " records gevonden. De eerste 5 "),
              std::string::npos);
}
