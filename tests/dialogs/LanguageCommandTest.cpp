#include <gtest/gtest.h>

#include "ScriptedDialogs.h"
#include "localization/LanguageCommand.h"
#include "localization/MenuTitles.h"
#include "localization/Text.h"
#include "platform/UserDefaults.h"
#include "platform/dialogs/Controls.h"

using nlohmann::json;
using qvtest::IsolatedLanguage;
using qvtest::ScriptedDialogs;

namespace {

const json kItems = {"Automatisch", "Nederlands", "English", "Français", "Deutsch", "Español"};

std::optional<std::string> stored() {
    return QVUserDefaults::standardUserDefaults().stringForKey("org.quorvel.language");
}

void store(const std::string& code) {
    ASSERT_TRUE(QVUserDefaults::standardUserDefaults().setStringForKey(code, "org.quorvel.language"));
}

// Records the menu titles each time the menu is asked to refresh them.
class MenuSpy {
public:
    MenuSpy() {
        QVSetMenuTitlesUpdater([this] { titles.push_back(QVText("Taal...")); });
    }
    ~MenuSpy() { QVSetMenuTitlesUpdater({}); }
    std::vector<std::string> titles;
};

}  // namespace

TEST(LanguageCommand, NothingStoredOpensAtAutomaticAndStoresNothing) {
    IsolatedLanguage english("en");  // English in force by the preferred languages only
    MenuSpy menu;
    bool inspected = false;
    ScriptedDialogs dialogs(R"([{"button": 1}])", [&](qvui::Alert& alert) {
        auto* popup = dynamic_cast<qvui::PopUpButton*>(alert.accessoryView().get());
        ASSERT_TRUE(popup);
        EXPECT_EQ(popup->frame().size(), (qvui::Size{240, 26}));
        EXPECT_FALSE(popup->pullsDown());
        inspected = true;
    });
    QVLanguageCommand(nullptr);
    EXPECT_TRUE(inspected);
    auto line = dialogs.lines().at(0);
    EXPECT_EQ(line["popups"][0]["selected"], 0);
    EXPECT_EQ(line["popups"][0]["items"][0], "Automatic");  // the only translated item
    EXPECT_EQ(line["popups"][0]["items"][3], "Français");
    EXPECT_FALSE(stored());
    EXPECT_EQ(menu.titles, std::vector<std::string>{"Language..."});
}

TEST(LanguageCommand, ShowsTheStoredChoiceAndAutomaticRemovesIt) {
    IsolatedLanguage german("de");
    store("fr");
    MenuSpy menu;
    ScriptedDialogs dialogs(R"([{"button": 1, "popups": [0]}])");
    QVLanguageCommand(nullptr);
    dialogs.expectScriptUsedUp();
    auto line = dialogs.lines().at(0);
    EXPECT_EQ(line["popups"][0]["selected"], 3);
    EXPECT_EQ(line["buttons"][0], "Enregistrer");  // the language in force before the choice
    EXPECT_FALSE(stored());
    ASSERT_EQ(menu.titles.size(), 1u);
    EXPECT_EQ(QVLanguage(), "de");
    EXPECT_NE(menu.titles[0], "Taal...");  // retitled from the preferred languages
}

TEST(LanguageCommand, UnknownStoredValueOpensAtAutomatic) {
    IsolatedLanguage dutch;
    store("klingon");
    ScriptedDialogs dialogs(R"([{"cancel": true}])");
    QVLanguageCommand(nullptr);
    auto line = dialogs.lines().at(0);
    EXPECT_EQ(line["message"], "Kies een taal");
    EXPECT_EQ(line["informative"],
              "Automatisch volgt de taalinstellingen van het systeem (LANGUAGE, LC_ALL, LC_MESSAGES of LANG).");
    EXPECT_EQ(line["popups"][0]["items"], kItems);
    EXPECT_EQ(line["popups"][0]["selected"], 0);
    EXPECT_EQ(line["buttons"], json({"Bewaren", "Annuleren"}));
    EXPECT_EQ(stored(), "klingon");  // a cancelled dialog changes nothing
}

TEST(LanguageCommand, AChoiceThatCannotBeStoredIsSaidAndChangesNothing) {
    IsolatedLanguage dutch;
    // The settings folder cannot be made: a file stands where it would go.
    qvtest::writeFile(dutch.home / "config", "geen map");
    MenuSpy menu;
    ScriptedDialogs dialogs(R"([{"button": "Bewaren", "popups": [2]}, {}])");
    QVLanguageCommand(nullptr);
    dialogs.expectScriptUsedUp();
    ASSERT_EQ(dialogs.lines().size(), 2u);
    auto said = dialogs.lines().at(1);
    EXPECT_EQ(said["message"], "De taalkeuze kon niet worden bewaard.");
    EXPECT_EQ(said["informative"], "Het instellingenbestand " + (dutch.home / "config/quorvel/defaults.json").string() +
                                       " kon niet worden geschreven. De taal blijft zoals hij was.");
    EXPECT_EQ(QVLanguage(), "nl");
    EXPECT_TRUE(menu.titles.empty());
}

TEST(LanguageCommand, CancelChangesNeitherSettingNorMenu) {
    IsolatedLanguage dutch;
    store("nl");
    MenuSpy menu;
    ScriptedDialogs dialogs(R"([{"button": "Annuleren", "popups": [4]}, {"cancel": true, "popups": [4]}])");
    QVLanguageCommand(nullptr);
    QVLanguageCommand(nullptr);
    EXPECT_EQ(stored(), "nl");
    EXPECT_TRUE(menu.titles.empty());
}

TEST(LanguageCommand, AChosenLanguageTakesEffectAtOnce) {
    IsolatedLanguage dutch;
    MenuSpy menu;
    ScriptedDialogs dialogs(R"([{"button": "Bewaren", "popups": [2]}, {"cancel": true}])");
    QVLanguageCommand(nullptr);
    EXPECT_EQ(stored(), "en");
    EXPECT_EQ(menu.titles, std::vector<std::string>{"Language..."});
    QVLanguageCommand(nullptr);  // the next dialog speaks English
    auto next = dialogs.lines().at(1);
    EXPECT_EQ(next["message"], "Choose a language");
    EXPECT_EQ(next["popups"][0]["selected"], 2);
    EXPECT_EQ(next["popups"][0]["items"][0], "Automatic");
}

TEST(LanguageCommand, NoSelectionStoresNothing) {
    IsolatedLanguage dutch;
    store("es");
    MenuSpy menu;
    ScriptedDialogs dialogs(R"([{"button": "Bewaren", "popups": [-1]}])");
    QVLanguageCommand(nullptr);
    EXPECT_EQ(stored(), "es");
    EXPECT_TRUE(menu.titles.empty());
}
