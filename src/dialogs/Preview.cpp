#include "dialogs/Preview.h"

#include <algorithm>
#include <memory>

#include "localization/Text.h"
#include "platform/Format.h"
#include "platform/dialogs/Alert.h"
#include "platform/dialogs/ScrollView.h"

namespace {

constexpr size_t kPreviewLimit = 5;

}  // namespace

std::string previewText(const QVRecordTable& table, size_t shown) {
    std::string text;
    std::vector<std::string_view> header = table.header();
    std::string recordFormat = QVText("Record %lu");
    for (size_t r = 1; r <= shown && r < table.rowCount(); ++r) {
        text += QVFormat("%@\n", {QVFormat(recordFormat, {static_cast<unsigned long>(r)})});
        for (size_t c = 0; c < header.size(); ++c) text += QVFormat("%@: %@\n", {header[c], table.cell(r, c)});
        text += "\n";
    }
    return text;
}

bool showPreview(const QVRecordTable& table) {
    size_t count = table.rowCount() > 0 ? table.rowCount() - 1 : 0;
    size_t shown = std::min(count, kPreviewLimit);

    qvui::Alert alert;
    alert.setMessageText(QVText("Controleer de ingelezen gegevens"));
    alert.setInformativeText(QVFormat(QVText("%lu records gevonden. De eerste %lu worden hieronder getoond; "
                                             "controleer de kolommen en waarden. Dit is geen PDF-voorbeeld."),
                                      {static_cast<unsigned long>(count), static_cast<unsigned long>(shown)}));

    auto scroll = std::make_shared<qvui::ScrollView>(qvui::Rect{0, 0, 480, 250});
    scroll->setHasVerticalScroller(true);
    scroll->setBorderType(qvui::BorderType::bezel);

    qvui::Size visible = scroll->contentSize();
    auto textView = std::make_shared<qvui::TextView>(qvui::Rect{0, 0, visible.width, visible.height});
    textView->setEditable(false);
    textView->setSelectable(true);
    textView->setVerticallyResizable(true);
    textView->setAutoresizingMask(qvui::ViewWidthSizable);
    textView->textContainer().setWidthTracksTextView(true);
    textView->setFont(qvui::Font::systemFontOfSize(13));
    textView->setString(previewText(table, shown));
    scroll->setDocumentView(textView);
    alert.setAccessoryView(scroll);

    alert.addButtonWithTitle(QVText("Verder"));
    alert.addButtonWithTitle(QVText("Annuleren"));
    return alert.runModal() == qvui::kAlertFirstButtonReturn;
}
