#include "dialogs/MappingDialog.h"

#include "dialogs/MappingView.h"
#include "localization/Text.h"
#include "platform/Format.h"
#include "platform/dialogs/Alert.h"

std::optional<QVFieldMapping> chooseMapping(const std::vector<std::string>& fields,
                                            const std::vector<std::string>& columns) {
    qvui::Alert alert;
    alert.setMessageText(QVText("Koppel PDF-velden aan CSV-kolommen"));
    alert.setInformativeText(
        QVText("Controleer de voorgestelde koppelingen en kies voor elk PDF-veld een kolom. Scroll voor meer velden."));
    // Where every field is listed at once (a terminal) there is nothing to scroll.
    alert.setInformativeTextWithoutScrolling(
        QVText("Controleer de voorgestelde koppelingen en kies voor elk PDF-veld een kolom."));
    auto view = QVMappingView::initWithFields(fields, columns);
    alert.setAccessoryView(view);
    alert.addButtonWithTitle(QVText("Verder"));
    alert.addButtonWithTitle(QVText("Annuleren"));

    // The same alert and view each time round, so every choice already made stays in place.
    for (;;) {
        if (alert.runModal() != qvui::kAlertFirstButtonReturn) return std::nullopt;
        std::optional<std::string> missing;
        if (auto mapping = view->mappingWithMissingField(&missing)) return mapping;

        qvui::Alert reminder;
        reminder.setMessageText(QVText("Kies eerst een CSV-kolom."));
        reminder.setInformativeText(
            QVFormat(QVText("Er ontbreekt een koppeling voor PDF-veld '%@'."), {missing.value_or("")}));
        reminder.runModal();
    }
}
