#include "localization/LanguageCommand.h"

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "localization/MenuTitles.h"
#include "localization/Text.h"
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
    std::optional<std::string> stored =
        QVUserDefaults::standardUserDefaults().stringForKey("org.quorvel.language");
    if (!stored) return 0;
    for (size_t i = 1; i < kChoices.size(); ++i) {
        if (*stored == kChoices[i].code) return static_cast<int>(i);
    }
    return 0;
}

}  // namespace

void QVLanguageCommand(void* /*clientData*/) {
    qvui::Alert alert;
    alert.setMessageText(QVText("Kies een taal"));
    alert.setInformativeText(QVText("Automatisch volgt de voorkeurstalen van macOS."));

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
    QVSetLanguage(kChoices[static_cast<size_t>(index)].code);
    QVUpdateMenuTitles();
}
