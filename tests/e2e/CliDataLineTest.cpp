// A data file the parser refuses for its quoting or a row's width: after the message, the
// command line names the line of the file and shows how it starts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/DutchHome.h"
#include "support/FormFixtures.h"
#include "support/TestSupport.h"

using qvtest::CommandResult;
using qvtest::ScopedEnv;
namespace fs = std::filesystem;

namespace {

class CliDataLine : public qvtest::DutchHomeTest {
protected:
    fs::path out_ = dir_ / "uit";
    std::string form_ = file("formulier.pdf", qvfixture::textForm({"Naam", "Plaats"}));

    std::string file(const std::string& name, const std::string& bytes) {
        qvtest::writeFile(dir_ / name, bytes);
        return (dir_ / name).string();
    }
    CommandResult merge(const std::string& data, std::vector<std::string> more = {}) {
        std::vector<std::string> arguments = {"merge",    "--template", form_, "--data", file("klanten.csv", data),
                                              "--output", out_.string()};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return qvtest::runQuorvel(arguments);
    }
};

}  // namespace

TEST_F(CliDataLine, AMisplacedQuoteNamesItsLineInMergeDryRunAndPreview) {
    const std::string data = "Naam;Plaats\nAnna;Utrecht\nPiet \"PJ\" Jansen;Gouda\n";
    const std::string expected =
        "Ongeldige aanhalingstekens in CSV.\n"
        "Regel 3 van het gegevensbestand: \"Piet \"PJ\" Jansen;Gouda\"\n";
    CommandResult merged = merge(data, {"--separator", "semicolon"});
    EXPECT_EQ(merged.status, 1);
    EXPECT_EQ(merged.errors, expected + "0 PDF-bestanden zijn al gemaakt.\n");
    EXPECT_FALSE(fs::exists(out_)) << "nothing is made for a merge that cannot start";

    CommandResult dry = merge(data, {"--separator", "semicolon", "--dry-run"});
    EXPECT_EQ(dry.status, 1);
    EXPECT_EQ(dry.errors, expected + "0 PDF-bestanden zijn al gemaakt.\n");

    CommandResult preview =
        qvtest::runQuorvel({"preview", (dir_ / "klanten.csv").string(), "--separator", "semicolon"});
    EXPECT_EQ(preview.status, 1);
    EXPECT_EQ(preview.errors, expected);
}

TEST_F(CliDataLine, LinesAreCountedAsAnEditorCountsThem) {
    // A byte-order mark, CR LF line ends and a quoted cell over two lines before the bad row.
    CommandResult uneven = merge("\xEF\xBB\xBFNaam,Plaats\r\n\"Anna\r\nJansen\",Utrecht\r\nBram,Gouda,extra\r\n");
    EXPECT_EQ(uneven.status, 1);
    EXPECT_EQ(uneven.errors,
              "CSV-record 3 heeft een afwijkend aantal kolommen.\n"
              "Regel 4 van het gegevensbestand: \"Bram,Gouda,extra\"\n"
              "0 PDF-bestanden zijn al gemaakt.\n");

    // A quoted cell never closed: the line of its opening quote, however far the file runs on.
    CommandResult open = merge("Naam,Plaats\nAnna,\"Utrecht\nBram,Gouda\nCees,Zwolle\n");
    EXPECT_EQ(open.status, 1);
    EXPECT_EQ(open.errors,
              "Een geciteerd CSV-veld is niet afgesloten.\n"
              "Regel 2 van het gegevensbestand: \"Anna,\"Utrecht\"\n"
              "0 PDF-bestanden zijn al gemaakt.\n");

    // A faulty header is the file's fault as a whole: no line.
    CommandResult names = merge("Naam,Naam\nAnna,Utrecht\n");
    EXPECT_EQ(names.errors, "CSV-kolomnamen mogen niet leeg of dubbel zijn.\n0 PDF-bestanden zijn al gemaakt.\n");
}

TEST_F(CliDataLine, TheLineIsShownShortAndSafeInTheLanguageInForce) {
    // Forty characters at most, control characters made visible.
    const std::string line = "Anna\x1b[2J" + std::string(60, 'x') + "\"y";
    CommandResult result = merge("Naam,Plaats\n" + line + ",Utrecht\n");
    EXPECT_EQ(result.errors,
              "Ongeldige aanhalingstekens in CSV.\n"
              "Regel 2 van het gegevensbestand: \"Anna\\u{1B}[2J" +
                  std::string(32, 'x') +
                  "…\"\n"
                  "0 PDF-bestanden zijn al gemaakt.\n");

    ScopedEnv french("LANGUAGE", "fr");
    CommandResult inFrench = merge("Naam,Plaats\nAnna,Utr\"echt\n");
    EXPECT_NE(inFrench.errors.find("\nLigne 2 du fichier de données : « Anna,Utr\"echt »\n"), std::string::npos)
        << inFrench.errors;
}
