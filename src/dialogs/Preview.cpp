#include "dialogs/Preview.h"

#include <algorithm>
#include <memory>

#include "input/PreviewText.h"
#include "localization/Text.h"
#include "platform/dialogs/Alert.h"
#include "platform/dialogs/ScrollView.h"

bool showPreview(const QVRecordTable& table) {
    size_t count = table.rowCount() > 0 ? table.rowCount() - 1 : 0;
    size_t shown = std::min(count, kQVPreviewRecordLimit);

    qvui::Alert alert;
    alert.setMessageText(QVPreviewTitle());
    alert.setInformativeText(QVPreviewSummary(count, shown));

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
    textView->setString(QVPreviewText(table, shown));
    scroll->setDocumentView(textView);
    alert.setAccessoryView(scroll);

    alert.addButtonWithTitle(QVText("Verder"));
    alert.addButtonWithTitle(QVText("Annuleren"));
    return alert.runModal() == qvui::kAlertFirstButtonReturn;
}
