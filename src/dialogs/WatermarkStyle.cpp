#include "dialogs/WatermarkStyle.h"

#include <array>
#include <memory>
#include <string>

#include "localization/Text.h"
#include "platform/dialogs/Alert.h"
#include "platform/dialogs/Controls.h"

namespace {

constexpr std::array<double, 3> kFontSizes = {11.0, 16.0, 22.0};
constexpr std::array<double, 3> kGrays = {0.35, 0.55, 0.75};

struct StyleRow {
    const char* label;
    std::array<const char*, 3> items;
};

constexpr std::array<StyleRow, 3> kRows = {{
    {"Positie", {"Onderaan", "Midden", "Bovenaan"}},
    {"Tekstgrootte", {"Klein", "Middel", "Groot"}},
    {"Grijstint", {"Donkergrijs", "Grijs", "Lichtgrijs"}},
}};

}  // namespace

bool chooseWatermarkStyle(QVWatermarkStyle& style) {
    qvui::Alert alert;
    alert.setMessageText(QVText("Watermerk vormgeven"));
    alert.setInformativeText(
        QVText("Kies de positie, grootte en grijstint. Controleer de PDF op overlap met bestaande inhoud."));

    auto view = qvui::View::initWithFrame({0, 0, 380, 110});
    std::array<std::shared_ptr<qvui::PopUpButton>, 3> popups;
    for (size_t i = 0; i < kRows.size(); ++i) {
        double base = 80 - 36 * static_cast<double>(i);
        auto label = qvui::Label::labelWithString(QVText(kRows[i].label));
        label->setFrame({0, base + 3, 135, 20});
        view->addSubview(label);
        popups[i] = std::make_shared<qvui::PopUpButton>(qvui::Rect{140, base, 240, 26}, false);
        for (const char* item : kRows[i].items) popups[i]->addItemWithTitle(QVText(item));
        popups[i]->selectItemAtIndex(0);
        view->addSubview(popups[i]);
    }
    alert.setAccessoryView(view);
    alert.addButtonWithTitle(QVText("Verder"));
    alert.addButtonWithTitle(QVText("Annuleren"));
    if (alert.runModal() != qvui::kAlertFirstButtonReturn) return false;

    std::array<int, 3> chosen{};
    for (size_t i = 0; i < popups.size(); ++i) {
        chosen[i] = popups[i]->indexOfSelectedItem();
        if (chosen[i] < 0 || chosen[i] > 2) {
            qvui::Alert invalid;
            invalid.setMessageText(QVText("Ongeldige watermerkopmaak."));
            invalid.runModal();
            return false;
        }
    }
    style.position = static_cast<uint64_t>(chosen[0]);
    style.fontSize = kFontSizes[static_cast<size_t>(chosen[1])];
    style.gray = kGrays[static_cast<size_t>(chosen[2])];
    return true;
}
