#include "dialogs/MappingView.h"

#include <algorithm>

#include "localization/Text.h"
#include "platform/Format.h"

using qvui::Rect;

std::shared_ptr<QVMappingView> QVMappingView::initWithFields(const std::vector<std::string>& fields,
                                                             const std::vector<std::string>& columns) {
    double contentHeight = std::max(kRowHeight, static_cast<double>(fields.size()) * kRowHeight);
    double visibleHeight = std::min(contentHeight, kMaxVisibleHeight);
    auto view = std::make_shared<QVMappingView>(Rect{0, 0, kWidth, visibleHeight + 30});
    // Rows of a name and its pop-up under two headings: a terminal lists them as one overview.
    view->setAccessibilityRole(qvui::AccessibilityRole::table);
    view->fields_ = fields;
    view->columns_ = columns;
    view->popups_.reserve(fields.size());
    view->build(contentHeight, visibleHeight);
    return view;
}

void QVMappingView::build(double contentHeight, double visibleHeight) {
    auto fieldHeader = qvui::Label::labelWithString(QVText("PDF-veld"));
    fieldHeader->setFrame({8, visibleHeight + 7, 230, 18});
    fieldHeader->setFont(qvui::Font::boldSystemFontOfSize(12));
    addSubview(fieldHeader);
    auto columnHeader = qvui::Label::labelWithString(QVText("CSV-kolom"));
    columnHeader->setFrame({250, visibleHeight + 7, 290, 18});
    columnHeader->setFont(qvui::Font::boldSystemFontOfSize(12));
    addSubview(columnHeader);

    scroll_ = std::make_shared<qvui::ScrollView>(Rect{0, 0, kWidth, visibleHeight});
    scroll_->setBorderType(qvui::BorderType::bezel);
    scroll_->setHasVerticalScroller(true);
    scroll_->setHasHorizontalScroller(false);
    scroll_->setAutohidesScrollers(true);
    auto document = qvui::View::initWithFrame({0, 0, 550, contentHeight});

    std::string placeholder = QVText("Kies een kolom...");
    std::string labelFormat = QVText("CSV-kolom voor PDF-veld %@");
    for (size_t i = 0; i < fields_.size(); ++i) {
        const std::string& field = fields_[i];
        double base = contentHeight - static_cast<double>(i + 1) * kRowHeight;

        auto name = qvui::Label::labelWithString(field);
        name->setFrame({8, base + 9, 230, 20});
        name->setLineBreakMode(qvui::LineBreakMode::truncatingMiddle);
        name->setToolTip(field);
        document->addSubview(name);

        auto popup = std::make_shared<qvui::PopUpButton>(Rect{250, base + 5, 290, 26}, false);
        // Separate items, so that a column titled like the placeholder or like another column
        // keeps its own place: the choice is read by position.
        popup->menu().addItem(qvui::MenuItem(placeholder, ""));
        for (const std::string& column : columns_) popup->menu().addItem(qvui::MenuItem(column, ""));
        // Exact, code unit by code unit: a proposal must never tie a field to a look-alike.
        auto match = std::find(columns_.begin(), columns_.end(), field);
        popup->selectItemAtIndex(match == columns_.end() ? 0 : static_cast<int>(match - columns_.begin()) + 1);
        popup->setAccessibilityLabel(QVFormat(labelFormat, {field}));
        document->addSubview(popup);
        popups_.push_back(popup);
    }

    scroll_->setDocumentView(document);
    // Open at the first row, which sits at the top of the document.
    double top = contentHeight - scroll_->contentView()->bounds().height;
    scroll_->contentView()->scrollToPoint({0, top < 0 ? 0 : top});
    scroll_->reflectScrolledClipView(*scroll_->contentView());
    addSubview(scroll_);
}

std::optional<QVFieldMapping> QVMappingView::mappingWithMissingField(std::optional<std::string>* missing) const {
    if (missing) missing->reset();
    QVFieldMapping mapping;
    int columnCount = static_cast<int>(columns_.size());
    for (size_t i = 0; i < fields_.size() && i < popups_.size(); ++i) {
        int s = popups_[i]->indexOfSelectedItem();
        if (s <= 0 || s > columnCount) {
            if (missing) *missing = fields_[i];
            return std::nullopt;
        }
        mapping[fields_[i]] = columns_[static_cast<size_t>(s - 1)];
    }
    return mapping;
}
