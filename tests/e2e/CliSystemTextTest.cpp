// The system's own error texts inside our messages speak the language in force, when the
// system has them in that language.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/System.h"
#include "support/DutchHome.h"
#include "support/FormFixtures.h"
#include "support/TestSupport.h"

using qvtest::CommandResult;
using qvtest::ScopedEnv;

namespace {

class CliSystemText : public qvtest::DutchHomeTest {
protected:
    void SetUp() override {
        // Asked without LANGUAGE, which would otherwise speak for the C library.
        ScopedEnv noLanguage("LANGUAGE", std::nullopt);
        for (const char* language : {"nl", "fr"})
            if (QVStrErrorIn(ENOENT, language) == QVStrErrorIn(ENOENT, "en"))
                GTEST_SKIP() << "no " << language << " system texts here (Debian: libc-l10n and the locale)";
        qvtest::writeFile(dir_ / "formulier.pdf", qvfixture::textForm({"Naam"}));
        qvtest::writeFile(dir_ / "klanten.csv", "Naam\nAnna\n");
    }
    // A merge into a folder whose parent is missing: only the folder itself is ever made.
    CommandResult mergeIntoMissingParent() {
        return qvtest::runQuorvel({"merge", "--template", (dir_ / "formulier.pdf").string(), "--data",
                                   (dir_ / "klanten.csv").string(), "--output", (dir_ / "weg" / "uit").string()});
    }
};

}  // namespace

TEST_F(CliSystemText, AMissingFolderIsSaidInDutchOrFrench) {
    const std::string folder = (dir_ / "weg" / "uit").string();
    CommandResult dutch = mergeIntoMissingParent();
    EXPECT_EQ(dutch.status, 1);
    EXPECT_EQ(dutch.errors, "De uitvoermap '" + folder +
                                "' aanmaken mislukt: Bestand of map bestaat niet\n"
                                "0 PDF-bestanden zijn al gemaakt.\n");

    ScopedEnv french("LANGUAGE", "fr");
    CommandResult inFrench = mergeIntoMissingParent();
    EXPECT_NE(inFrench.errors.find(folder + "' a échoué : Aucun fichier ou dossier de ce type\n"), std::string::npos)
        << inFrench.errors;

    ScopedEnv english("LANGUAGE", "en");
    CommandResult inEnglish = mergeIntoMissingParent();
    EXPECT_NE(inEnglish.errors.find(": No such file or directory\n"), std::string::npos) << inEnglish.errors;
}
