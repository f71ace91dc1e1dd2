#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "localization/LocalizationBundle.h"
#include "localization/Text.h"
#include "platform/StringsTable.h"
#include "platform/UserDefaults.h"
#include "support/DutchHome.h"
#include "support/TestSupport.h"

using qvtest::ScopedEnv;
using qvtest::TempDir;
namespace fs = std::filesystem;

namespace {

// Every test runs with its own home and no language variables at all.
class LanguageTest : public qvtest::NoLanguageHomeTest {
protected:
    fs::path defaultsFile = home / "config" / "quorvel" / "defaults.json";

    void store(const std::string& value) {
        ASSERT_TRUE(QVUserDefaults::standardUserDefaults().setStringForKey(value, "org.quorvel.language"));
    }
    std::string languageWith(const char* languageList) {
        ScopedEnv env("LANGUAGE", languageList);
        return QVLanguage();
    }
};

}  // namespace

TEST_F(LanguageTest, AutomaticChoiceTakesTheFirstPreferredLanguageWeSpeak) {
    EXPECT_EQ(languageWith("pt-BR:de-AT:en-US"), "de");
    EXPECT_EQ(languageWith("zh-Hans-CN:ja"), "en");
    EXPECT_EQ(languageWith("de-CH"), "de");
    EXPECT_EQ(languageWith("en_GB"), "en");
    EXPECT_EQ(languageWith("FR-ca"), "fr");  // the language piece is compared in lower case
    EXPECT_EQ(languageWith("es_419:nl"), "es");
    EXPECT_EQ(languageWith("nl-NL"), "nl");
    EXPECT_EQ(languageWith("deutsch:nld:fr"), "fr");  // a piece that only starts like a code is no match
    EXPECT_EQ(QVLanguage(), "en");                    // no preferred languages at all
    {
        ScopedEnv env("LANG", "nl_BE.UTF-8");
        EXPECT_EQ(QVLanguage(), "nl");
        ScopedEnv c("LC_ALL", "C.UTF-8");
        EXPECT_EQ(QVLanguage(), "en");
    }
}

TEST_F(LanguageTest, StoredChoiceWinsOnlyWhenItIsExactlyASupportedCode) {
    ScopedEnv env("LANGUAGE", "nl-NL");
    store("es");
    EXPECT_EQ(QVLanguage(), "es");
    for (const char* unusable : {"auto", "NL", "En", "pt", "", "nl-NL", " de"}) {
        store(unusable);
        EXPECT_EQ(QVLanguage(), "nl") << unusable;
    }
    // A stored value of the wrong type, or a damaged file, is automatic as well.
    qvtest::writeFile(defaultsFile, R"({"org.quorvel.language": ["de"]})");
    EXPECT_EQ(QVLanguage(), "nl");
    qvtest::writeFile(defaultsFile, "{\"org.quorvel.language\": \"de\"");
    EXPECT_EQ(QVLanguage(), "nl");
}

TEST_F(LanguageTest, SettingAutoRemovesTheStoredChoice) {
    ScopedEnv env("LANGUAGE", "fr_FR");
    ASSERT_TRUE(QVSetLanguage("de"));
    EXPECT_EQ(QVLanguage(), "de");
    ASSERT_TRUE(QVUserDefaults::standardUserDefaults().setStringForKey("keep me", "org.example.other"));

    ASSERT_TRUE(QVSetLanguage("auto"));
    EXPECT_EQ(QVLanguage(), "fr");
    auto stored = nlohmann::json::parse(qvtest::readFile(defaultsFile));
    EXPECT_FALSE(stored.contains("org.quorvel.language"));
    EXPECT_EQ(stored["org.example.other"], "keep me");

    // Choosing a language nobody can store leaves things working.
    ScopedEnv unusable("XDG_CONFIG_HOME", (home / "config" / "quorvel" / "defaults.json").string());
    EXPECT_FALSE(QVSetLanguage("es"));
    EXPECT_EQ(QVLanguage(), "fr");
}

TEST_F(LanguageTest, LookupInABundleFallsBackToTheDutchKey) {
    fs::path resources = home / "bundle" / "Resources";
    fs::create_directories(resources / "en.lproj");
    fs::create_directories(resources / "es.lproj");
    qvtest::writeFile(resources / "en.lproj" / "Localizable.po",
                      "msgid \"Er ontbreekt een koppeling voor PDF-veld '%@'.\"\n"
                      "msgstr \"No column is linked to PDF field '%@'.\"\n");
    qvtest::writeFile(resources / "es.lproj" / "Localizable.po", "msgid \"Ja\"\nmsgstr \"S\xc3\xad\n");  // damaged
    qvtest::writeFile(resources / "fr.lproj", "a file, not a folder");
    std::optional<QVBundle> bundle = QVBundle::bundleWithPath(home / "bundle");
    ASSERT_TRUE(bundle);

    EXPECT_EQ(QVTextFromBundle(*bundle, "en", "Er ontbreekt een koppeling voor PDF-veld '%@'."),
              "No column is linked to PDF field '%@'.");
    // Missing entry, damaged table, unusable folder, no folder (Dutch): the key, placeholders intact.
    EXPECT_EQ(QVTextFromBundle(*bundle, "en", "Record %lu"), "Record %lu");
    EXPECT_EQ(QVTextFromBundle(*bundle, "es", "Ja"), "Ja");
    EXPECT_EQ(QVTextFromBundle(*bundle, "fr", "Ja"), "Ja");
    EXPECT_EQ(QVTextFromBundle(*bundle, "nl", "Logboek aanmaken mislukt: %s"), "Logboek aanmaken mislukt: %s");
}

TEST_F(LanguageTest, TextUsesTheProgramsOwnBundleAndTheLanguageOfTheMoment) {
    std::optional<QVBundle> own = QVLocalizationBundle::bundle();
    ASSERT_TRUE(own);
    EXPECT_EQ(own->bundlePath(), fs::canonical(qvtest::binDir()));

    // There is no Dutch table: Dutch shows the program's own texts.
    ASSERT_FALSE(own->pathForResource("nl", "lproj"));
    ASSERT_TRUE(QVSetLanguage("nl"));
    EXPECT_EQ(QVText("CSV samenvoegen..."), "CSV samenvoegen...");
    const std::string missing = "Deze tekst staat in geen enkele tabel: %@ en %lu.";
    for (const char* code : {"en", "fr", "de", "es"}) {
        ASSERT_TRUE(QVSetLanguage(code));
        EXPECT_EQ(QVText(missing), missing) << code;
    }

    // A change of language counts from the very next lookup.
    std::map<std::string, QVStringsTable> tables;
    for (const char* code : {"en", "de"}) {
        std::optional<fs::path> folder = own->pathForResource(code, "lproj");
        if (!folder) GTEST_SKIP() << "no " << code << ".lproj beside the test program";
        std::optional<QVStringsTable> table = QVLoadStringsTable(*folder / "Localizable.po");
        ASSERT_TRUE(table && !table->empty()) << code;
        tables[code] = *table;
    }
    for (const auto& [key, english] : tables["en"]) {
        auto german = tables["de"].find(key);
        if (german == tables["de"].end() || german->second == english) continue;
        ASSERT_TRUE(QVSetLanguage("en"));
        EXPECT_EQ(QVText(key), english);
        ASSERT_TRUE(QVSetLanguage("de"));
        EXPECT_EQ(QVText(key), german->second);
        ASSERT_TRUE(QVSetLanguage("auto"));
        ScopedEnv env("LANGUAGE", "it:en_US");
        EXPECT_EQ(QVText(key), english);
        return;
    }
    ADD_FAILURE() << "no text is translated differently in English and German";
}

TEST_F(LanguageTest, ABatchKeepsTheLanguageOfItsMakingUntilItEnds) {
    const std::string key = "Annuleren";
    ASSERT_TRUE(QVSetLanguage("de"));
    const std::string german = QVText(key);
    ASSERT_TRUE(QVSetLanguage("fr"));
    const std::string french = QVText(key);
    if (german == key || french == key || german == french) GTEST_SKIP() << "no French and German tables here";

    {
        QVTextBatch outer;
        EXPECT_EQ(QVText(key), french);
        ASSERT_TRUE(QVSetLanguage("de"));
        EXPECT_EQ(QVText(key), french);
        EXPECT_EQ(QVLanguage(), "fr");
        EXPECT_TRUE(QVIsSingularCount(0));  // French counts 0 as one
        {
            QVTextBatch inner;  // made inside a batch: the same language
            EXPECT_EQ(inner.language(), "fr");
            EXPECT_EQ(QVText(key), french);
        }
        EXPECT_EQ(QVText(key), french);
        EXPECT_EQ(QVText("Deze tekst staat in geen enkele tabel."), "Deze tekst staat in geen enkele tabel.");

        // Other threads do not see it.
        std::string elsewhere;
        std::thread([&] { elsewhere = QVText(key); }).join();
        EXPECT_EQ(elsewhere, german);
    }
    EXPECT_EQ(QVText(key), german);
    EXPECT_EQ(QVLanguage(), "de");
}
