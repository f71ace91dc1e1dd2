#pragma once
// The field mapping view: one row per PDF field with its name and a pop-up of the data
// columns, under two header labels, in a scroll area that shows at most eight rows. A column
// whose name equals the field name exactly is proposed; every other field starts at the
// placeholder "Kies een kolom...".

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "input/FieldMapping.h"
#include "platform/dialogs/Controls.h"
#include "platform/dialogs/ScrollView.h"
#include "platform/dialogs/View.h"

class QVMappingView : public qvui::View {
public:
    static constexpr double kRowHeight = 38;
    static constexpr double kMaxVisibleHeight = 304;
    static constexpr double kWidth = 570;

    // The view built and laid out for `fields` (one row each, in order) and `columns` (the
    // header row, in order).
    static std::shared_ptr<QVMappingView> initWithFields(const std::vector<std::string>& fields,
                                                         const std::vector<std::string>& columns);

    // The chosen mapping, one entry per field; nothing when a field has no column, and then
    // `missing` (when given) names the first such field. `missing` is cleared on every call.
    [[nodiscard]] std::optional<QVFieldMapping> mappingWithMissingField(std::optional<std::string>* missing) const;

    const std::vector<std::string>& fields() const { return fields_; }
    const std::vector<std::string>& columns() const { return columns_; }
    const std::vector<std::shared_ptr<qvui::PopUpButton>>& popups() const { return popups_; }
    const std::shared_ptr<qvui::ScrollView>& scrollView() const { return scroll_; }

    // Public only for make_shared; use initWithFields.
    explicit QVMappingView(qvui::Rect frame) : View(frame) {}

private:
    void build(double contentHeight, double visibleHeight);

    std::vector<std::string> fields_;
    std::vector<std::string> columns_;
    std::vector<std::shared_ptr<qvui::PopUpButton>> popups_;
    std::shared_ptr<qvui::ScrollView> scroll_;
};
