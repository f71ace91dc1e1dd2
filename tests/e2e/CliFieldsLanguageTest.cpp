// `quorvel fields` and `quorvel language` run as programs.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/DutchHome.h"
#include "support/FormFixtures.h"
#include "support/TestSupport.h"

using qvtest::CommandResult;
using qvtest::ScopedEnv;
using qvtest::TempDir;
namespace fs = std::filesystem;

namespace {

class CliCommands : public qvtest::DutchHomeTest {
protected:
    CommandResult quorvel(std::vector<std::string> arguments) { return qvtest::runQuorvel(std::move(arguments)); }
    std::string file(const std::string& name, const std::string& bytes) {
        qvtest::writeFile(dir_ / name, bytes);
        return (dir_ / name).string();
    }
};

}  // namespace

TEST_F(CliCommands, FieldsListsOneNamePerLineSafeForATerminal) {
    CommandResult result = quorvel({"fields", file("f.pdf", qvfixture::textForm({"Naam", "Straße", "Zoë\x1B[2J"}))});
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(result.output, "Naam\nStraße\nZoë\\u{1B}[2J\n");
}

TEST_F(CliCommands, FieldsRefusesWhatIsNotAUsableForm) {
    CommandResult damaged = quorvel({"fields", file("kapot.pdf", "%PDF-1.7\nniet echt\n")});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(damaged.output, "");
    EXPECT_EQ(damaged.errors,
              "De PDF is ongeldig, leeg of beveiligd.\nDe PDF is beschadigd en kon niet worden gelezen.\n");

    CommandResult missing = quorvel({"fields", (dir_ / "weg.pdf").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.errors.rfind("PDF lezen mislukt: ", 0), 0u) << missing.errors;

    EXPECT_EQ(quorvel({"fields"}).status, 2);
}

TEST_F(CliCommands, LanguageShowsStoresAndForgetsTheChoice) {
    CommandResult shown = quorvel({"language"});
    EXPECT_EQ(shown.status, 0) << shown.errors;
    EXPECT_EQ(shown.output, "Taal in gebruik: Nederlands (nl)\nBewaarde keuze: Automatisch\n");

    // The new choice is in force for the command's own answer already.
    CommandResult french = quorvel({"language", "fr"});
    EXPECT_EQ(french.status, 0) << french.errors;
    EXPECT_EQ(french.output, "Langue utilisée : Français (fr)\nChoix enregistré : Français (fr)\n");
    EXPECT_EQ(quorvel({"language"}).output, french.output);

    CommandResult automatic = quorvel({"language", "auto"});
    EXPECT_EQ(automatic.output, "Taal in gebruik: Nederlands (nl)\nBewaarde keuze: Automatisch\n");
    EXPECT_EQ(qvtest::readFile(dir_ / "config" / "quorvel" / "defaults.json").find("org.quorvel.language"),
              std::string::npos);

    EXPECT_EQ(quorvel({"language", "NL"}).status, 2);
    EXPECT_EQ(quorvel({"language", "en", "fr"}).status, 2);
}

TEST_F(CliCommands, ALanguageChoiceThatCannotBeStoredIsReported) {
    // The configuration folder's place is taken by a file.
    qvtest::writeFile(dir_ / "config", "geen map");
    CommandResult result = quorvel({"language", "de"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.errors.rfind("Taalkeuze bewaren mislukt in ", 0), 0u) << result.errors;
}

TEST_F(CliCommands, UsageWordsAndErrorsFollowTheLanguageInForce) {
    CommandResult help = quorvel({"merge", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("Gebruik: quorvel merge [OPTIES]"), std::string::npos) << help.output;
    EXPECT_NE(help.output.find("--template TEKST VERPLICHT"), std::string::npos) << help.output;
    EXPECT_NE(help.output.find("-h,--help                   Toont deze hulp en stopt"), std::string::npos);
    EXPECT_EQ(help.output.find("Usage"), std::string::npos) << help.output;

    CommandResult missing = quorvel({"merge", "--data", "a.csv", "--output", "uit"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.errors, "--template is verplicht.\nMeer uitleg met --help.\n");
    EXPECT_EQ(quorvel({}).errors, "Kies een opdracht.\nMeer uitleg met --help.\n");

    ScopedEnv french("LANGUAGE", "fr");
    ScopedEnv all("LC_ALL", "fr_FR.UTF-8");
    CommandResult both = quorvel({"merge", "--template", "a.pdf", "--data", "a.csv", "--output", "uit",
                                  "--watermark-column", "A", "--watermark-pattern", "B"});
    EXPECT_EQ(both.status, 2);
    EXPECT_EQ(
        both.errors,
        "--watermark-column ne peut pas être utilisé avec --watermark-pattern.\nPlus d’informations avec --help.\n");
    CommandResult mode = quorvel({"merge", "--template", "a.pdf", "--data", "a.csv", "--output", "uit", "--mode", "x"});
    EXPECT_EQ(mode.errors,
              "--mode : « x » ne fait pas partie de combined,separate.\nPlus d’informations avec --help.\n");
    EXPECT_NE(quorvel({"fields", "--help"}).output.find("Utilisation: quorvel fields"), std::string::npos);
}
