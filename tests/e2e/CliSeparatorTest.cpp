// The data file's separator on the command line: chosen from the data unless the user names
// one, and named in the message when the user's choice reads the file wrongly.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/DutchHome.h"
#include "support/FormFixtures.h"
#include "support/TestSupport.h"

using qvtest::CommandResult;
namespace fs = std::filesystem;

namespace {

class CliSeparator : public qvtest::DutchHomeTest {
protected:
    fs::path out_ = dir_ / "uit";
    std::string form_ = file("formulier.pdf", qvfixture::textForm({"Naam", "Plaats"}));
    void SetUp() override { fs::create_directories(out_); }

    std::string file(const std::string& name, const std::string& bytes) {
        qvtest::writeFile(dir_ / name, bytes);
        return (dir_ / name).string();
    }
    CommandResult merge(const std::string& data, std::vector<std::string> more = {}) {
        std::vector<std::string> arguments = {"merge", "--template", form_, "--data", data, "--output", out_.string()};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return qvtest::runQuorvel(arguments);
    }
};

}  // namespace

TEST_F(CliSeparator, ADutchExportIsReadWithTheSemicolonAndSaysSo) {
    // As a spreadsheet saves it: byte-order mark, semicolons, CR LF, a comma inside a value.
    const std::string data = file("export.csv", "\xEF\xBB\xBFNaam;Plaats\r\nJansen, A.;Utrecht\r\nVisser;Gouda\r\n");
    CommandResult r = merge(data);
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(r.errors, "Gekozen scheidingsteken: semicolon (kies zelf met --separator).\n");
    EXPECT_EQ(r.output, "2 PDF-bestanden gemaakt.\n");
    EXPECT_NE(qvtest::runCommand({"pdftotext", (out_ / "merge-000001.pdf").string(), "-"}).output.find("Jansen, A."),
              std::string::npos);

    // The user's own choice wins, and the message says which one would have read the file.
    CommandResult comma = merge(data, {"--separator", "comma", "--pattern", "c-{#}"});
    EXPECT_EQ(comma.status, 1);
    EXPECT_EQ(comma.errors,
              "CSV-record 2 heeft een afwijkend aantal kolommen.\n"
              "Regel 2 van het gegevensbestand: \"Jansen, A.;Utrecht\"\n"
              "Met --separator semicolon wordt het gegevensbestand wel in meerdere kolommen gelezen.\n"
              "0 PDF-bestanden zijn al gemaakt.\n");

    CommandResult preview = qvtest::runQuorvel({"preview", data});
    EXPECT_EQ(preview.status, 0);
    EXPECT_EQ(preview.errors, "Gekozen scheidingsteken: semicolon (kies zelf met --separator).\n");
    EXPECT_NE(preview.output.find("Naam: Jansen, A.\nPlaats: Utrecht\n"), std::string::npos) << preview.output;
}

TEST_F(CliSeparator, TheHeaderDecidesAndCommaStaysTheQuietDefault) {
    // Tabs in the header, a semicolon inside a value: the tab.
    CommandResult tab = merge(file("tab.csv", "Naam\tPlaats\nA;B\tC\n"), {"--quiet"});
    EXPECT_EQ(tab.status, 0) << tab.errors;
    EXPECT_EQ(tab.errors, "") << "--quiet says nothing on success";

    // An ordinary comma file: nothing to say.
    CommandResult comma = merge(file("komma.csv", "Naam,Plaats\n\"Jansen; A.\",Utrecht\n"), {"--pattern", "k-{#}"});
    EXPECT_EQ(comma.status, 0) << comma.errors;
    EXPECT_EQ(comma.errors, "");

    // One column that no separator splits: read as it is, and refused for the missing column.
    CommandResult single = merge(file("een.csv", "Naam\nAnna\n"), {"--pattern", "e-{#}"});
    EXPECT_EQ(single.status, 1);
    EXPECT_EQ(single.errors,
              "CSV-kolom ontbreekt voor PDF-veld 'Plaats'.\nKolommen in het gegevensbestand: Naam\n"
              "Koppel het veld aan een kolom met --map 'Plaats=KOLOM'.\n0 PDF-bestanden zijn al gemaakt.\n");
}
