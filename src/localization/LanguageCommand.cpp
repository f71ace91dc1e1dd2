#include "localization/LanguageCommand.h"

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "localization/MenuTitles.h"
#include "localization/Text.h"
#include "platform/Format.h"
#include "platform/UserDefaults.h"
#include "platform/dialogs/Alert.h"
#include "platform/dialogs/Controls.h"

namespace {

struct LanguageChoice {
    const char* title;
    const char* code;
};

// Each language is named in its own language, so a user lost in a foreign one finds their way
// back; only the automatic choice is translated.
constexpr std::array<LanguageChoice, 6> kChoices = {{
    {"Automatisch", "auto"},
    {"Nederlands", "nl"},
    {"English", "en"},
    {"Français", "fr"},
    {"Deutsch", "de"},
    {"Español", "es"},
}};

// The item of the stored choice, read directly: with nothing stored the dialog shows
// "Automatisch", even when the language in force came from a fallback.
int storedChoiceIndex() {
    std::optional<std::string> stored = QVUserDefaults::standardUserDefaults().stringForKey("org.quorvel.language");
    if (!stored) return 0;
    for (size_t i = 1; i < kChoices.size(); ++i) {
        if (*stored == kChoices[i].code) return static_cast<int>(i);
    }
    return 0;
}

// The choice could not be stored, so the language in force stays what it was: said in that
// language, with the file (or the missing place) to look at.
void showNotSaved() {
    qvui::Alert alert;
    alert.setMessageText(QVText("De taalkeuze kon niet worden bewaard."));
    std::optional<std::filesystem::path> file = QVUserDefaultsPath();
    alert.setInformativeText(
        file ? QVFormat(QVText("Het instellingenbestand %@ kon niet worden geschreven. De taal blijft zoals hij was."),
                        {file->string()})
             : QVText("Er is geen plaats voor instellingen gevonden (HOME of XDG_CONFIG_HOME). De taal blijft zoals "
                      "hij was."));
    alert.runModal();
}

}  // namespace

void QVLanguageCommand(void* /*clientData*/) {
    qvui::Alert alert;
    alert.setMessageText(QVText("Kies een taal"));
    alert.setInformativeText(
        QVText("Automatisch volgt de taalinstellingen van het systeem (LANGUAGE, LC_ALL, LC_MESSAGES of LANG)."));

    auto popup = std::make_shared<qvui::PopUpButton>(qvui::Rect{0, 0, 240, 26}, false);
    popup->addItemWithTitle(QVText(kChoices[0].title));
    for (size_t i = 1; i < kChoices.size(); ++i) popup->addItemWithTitle(kChoices[i].title);
    popup->selectItemAtIndex(storedChoiceIndex());
    alert.setAccessoryView(popup);
    alert.addButtonWithTitle(QVText("Bewaren"));
    alert.addButtonWithTitle(QVText("Annuleren"));
    if (alert.runModal() != qvui::kAlertFirstButtonReturn) return;

    int index = popup->indexOfSelectedItem();
    // A pop-up left without a selection names no language: nothing to store.
    if (index < 0 || index >= static_cast<int>(kChoices.size())) return;
    if (!QVSetLanguage(kChoices[static_cast<size_t>(index)].code)) return showNotSaved();
    QVUpdateMenuTitles();
}
