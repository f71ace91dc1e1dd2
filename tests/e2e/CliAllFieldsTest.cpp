// `quorvel merge --all-fields` and `quorvel fields --all-fields/--details` as programs: real
// forms with check boxes, radios and choices, and what the default rule says when it refuses.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/DutchHome.h"
#include "support/FormFixtures.h"
#include "support/TestSupport.h"

using qvtest::CommandResult;
namespace fs = std::filesystem;

namespace {

class CliAllFields : public qvtest::DutchHomeTest {
protected:
    fs::path out_ = dir_ / "uit";
    void SetUp() override { fs::create_directories(out_); }

    std::string form(const std::string& name) { return (qvtest::formsDir() / name).string(); }
    std::string file(const std::string& name, const std::string& bytes) {
        qvtest::writeFile(dir_ / name, bytes);
        return (dir_ / name).string();
    }
    size_t written() const {
        size_t n = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(out_)) ++n;
        return n;
    }
};

}  // namespace

TEST_F(CliAllFields, TheDefaultRuleRefusesAsBeforeAndNamesTheFirstOffendingField) {
    const std::string data = file("d.csv", "a\nb\n");
    CommandResult r =
        qvtest::runQuorvel({"merge", "--template", form("sejda-mixed.pdf"), "--data", data, "--output", out_.string()});
    EXPECT_EQ(r.status, 1);
    const std::string first = "Het formulier bevat een niet-ondersteund, naamloos, beveiligd of alleen-lezen veld.\n";
    EXPECT_EQ(r.errors.rfind(first, 0), 0u) << r.errors;
    EXPECT_NE(r.errors.find("Eerste niet-ondersteunde veld: '"), std::string::npos) << r.errors;
    EXPECT_NE(r.errors.find("--all-fields"), std::string::npos) << r.errors;
    EXPECT_EQ(written(), 0u);

    CommandResult encrypted = qvtest::runQuorvel({"fields", form("encrypted-aes128-text.pdf")});
    EXPECT_EQ(encrypted.status, 1);
    EXPECT_EQ(encrypted.errors,
              "De PDF is ongeldig, leeg of beveiligd.\nHet PDF-sjabloon is versleuteld, maar opent zonder wachtwoord. "
              "Met --all-fields wordt het toch ingevuld; de uitvoer blijft dan versleuteld.\n");

    // A form the default rule takes gets no second line.
    CommandResult plain = qvtest::runQuorvel({"fields", form("acrobat-textfields.pdf")});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.errors, "");
}

TEST_F(CliAllFields, FieldsListsWhatTheBroadRuleFillsAndDetailsEveryWidget) {
    CommandResult names = qvtest::runQuorvel({"fields", "--all-fields", form("acrobat-all-kinds.pdf")});
    ASSERT_EQ(names.status, 0) << names.errors;
    CommandResult details = qvtest::runQuorvel({"fields", "--details", form("acrobat-all-kinds.pdf")});
    ASSERT_EQ(details.status, 0) << details.errors;

    // qpdf's own count of widgets: one line each.
    CommandResult json = qvtest::runCommand({"qpdf", "--json=2", "--json-key=acroform", form("acrobat-all-kinds.pdf")});
    const auto fields = nlohmann::json::parse(json.output)["acroform"]["fields"];
    size_t lines = 0;
    for (char c : details.output) lines += c == '\n';
    EXPECT_EQ(lines, fields.size());
    EXPECT_NE(details.output.find("| knop |"), std::string::npos) << details.output;
    EXPECT_NE(details.output.find("ingevuld: nee (knop)"), std::string::npos);
    EXPECT_NE(details.output.find("| handtekeningveld |"), std::string::npos);
    EXPECT_NE(details.output.find("| selectievakje |"), std::string::npos);
    EXPECT_NE(details.output.find("| keuzerondje |"), std::string::npos);
    EXPECT_NE(details.output.find("| keuzelijst |"), std::string::npos);
    EXPECT_NE(details.output.find("| vervolgkeuzelijst |"), std::string::npos);

    // Every name listed is one whose widgets say it is filled.
    size_t start = 0;
    while (start < names.output.size()) {
        size_t end = names.output.find('\n', start);
        const std::string name = names.output.substr(start, end - start);
        EXPECT_NE(details.output.find("| " + name + " |"), std::string::npos) << name;
        start = end + 1;
    }

    CommandResult english = qvtest::runQuorvel({"fields", "--details", form("irs-f1040-2010-mixed.pdf")});
    EXPECT_NE(english.output.find("ingevuld: ja"), std::string::npos);
}

TEST_F(CliAllFields, MergesTheTaxFormWithItsCheckBoxesAndSaysWhatKeepsItsValue) {
    const std::string tax = form("irs-f1040-2010-mixed.pdf");
    CommandResult listed = qvtest::runQuorvel({"fields", "--details", tax});
    ASSERT_EQ(listed.status, 0);
    // The first check box and the first text field of the form, by name.
    std::string box, text;
    size_t start = 0;
    while (start < listed.output.size() && (box.empty() || text.empty())) {
        size_t end = listed.output.find('\n', start);
        const std::string line = listed.output.substr(start, end - start);
        const size_t a = line.find(" | ") + 3, b = line.find(" | ", a) + 3, c = line.find(" | ", b);
        const std::string kind = line.substr(a, b - 3 - a), name = line.substr(b, c - b);
        if (kind == "selectievakje" && box.empty()) box = name;
        if (kind == "tekstveld" && text.empty() && line.find("ingevuld: ja") != std::string::npos) text = name;
        start = end + 1;
    }
    ASSERT_FALSE(box.empty());
    ASSERT_FALSE(text.empty());
    const std::string data = file("d.csv", "\"" + box + "\";\"" + text + "\"\nja;Jansen\nnee;Visser\n");

    CommandResult r = qvtest::runQuorvel({"merge", "--all-fields", "--verbose", "--template", tax, "--data", data,
                                          "--separator", "semicolon", "--output", out_.string(), "--log"});
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_NE(r.errors.find("2 velden worden ingevuld, "), std::string::npos) << r.errors;
    EXPECT_NE(r.errors.find("Houdt de waarde uit het sjabloon: "), std::string::npos);
    EXPECT_EQ(r.output.rfind("2 PDF-bestanden gemaakt.\n", 0), 0u) << r.output;
    EXPECT_NE(qvtest::runCommand({"pdftotext", (out_ / "merge-000001.pdf").string(), "-"}).output.find("Jansen"),
              std::string::npos);
    EXPECT_EQ(qvtest::runCommand({"qpdf", "--check", (out_ / "merge-000002.pdf").string()}).status, 0);

    // Without --all-fields the same form is refused, and nothing is written.
    CommandResult strict = qvtest::runQuorvel({"merge", "--template", tax, "--data", data, "--separator", "semicolon",
                                               "--output", (dir_ / "leeg").string(), "--dry-run"});
    EXPECT_EQ(strict.status, 1);

    CommandResult quiet =
        qvtest::runQuorvel({"merge", "--all-fields", "--quiet", "--template", tax, "--data", data, "--separator",
                            "semicolon", "--output", out_.string(), "--pattern", "q-{#}", "--dry-run"});
    EXPECT_EQ(quiet.status, 0) << quiet.errors;
    EXPECT_EQ(quiet.errors, "");

    CommandResult bad = qvtest::runQuorvel({"merge", "--all-fields", "--quiet", "--template", tax, "--data",
                                            file("bad.csv", "\"" + box + "\"\nja\nmisschien\n"), "--output",
                                            out_.string(), "--pattern", "b-{#}"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.errors.find("Waarde 'misschien' voor veld '" + box + "' in record 3 is niet toegestaan."),
              std::string::npos)
        << bad.errors;
}
