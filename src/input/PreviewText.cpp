#include "input/PreviewText.h"

#include "localization/Text.h"
#include "platform/Format.h"

std::string QVPreviewTitle() { return QVText("Controleer de ingelezen gegevens"); }

std::string QVPreviewSummary(size_t records, size_t shown) {
    return QVFormat(QVText("%lu records gevonden. De eerste %lu worden hieronder getoond; controleer de kolommen "
                           "en waarden. Dit is geen PDF-voorbeeld."),
                    {static_cast<unsigned long>(records), static_cast<unsigned long>(shown)});
}

std::string QVPreviewText(const QVRecordTable& table, size_t shown, std::string (*show)(std::string_view)) {
    auto as = [show](std::string_view text) { return show ? show(text) : std::string(text); };
    std::string text;
    const std::string recordFormat = QVText("Record %lu");
    for (size_t r = 1; r <= shown && r < table.rowCount(); ++r) {
        text += QVFormat("%@\n", {QVFormat(recordFormat, {static_cast<unsigned long>(r)})});
        for (size_t c = 0; c < table.columnCount(); ++c)
            text += QVFormat("%@: %@\n", {as(table.cell(0, c)), as(table.cell(r, c))});
        text += "\n";
    }
    return text;
}
