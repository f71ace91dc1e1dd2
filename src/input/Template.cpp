#include "input/Template.h"

#include <unordered_set>

#include "input/ReadFile.h"
#include "input/TemplateFields.h"
#include "localization/Text.h"
#include "platform/Error.h"
#include "platform/Format.h"

namespace {

// The field names of a field list, each once, in the order of their first widget.
std::vector<std::string> namesOf(const std::vector<QVField>& fields) {
    std::vector<std::string> names;
    std::unordered_set<std::string_view> seen;
    for (const QVField& field : fields) {
        if (seen.insert(field.name).second) names.push_back(field.name);
    }
    return names;
}

}  // namespace

std::optional<std::string> QVReadTemplate(const std::filesystem::path& url, QVError* error) {
    QVError readError;
    std::optional<std::string> bytes = QVReadWholeFile(url, kQVMaxTemplateBytes, &readError);
    if (!bytes) {
        QVFail(error, QVFormat(QVText("PDF lezen mislukt: %@"), {readError.message}));
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::vector<std::string>> QVTemplateFieldNames(std::string_view bytes, QVError* error) {
    std::shared_ptr<qvpdf::PDFDocument> document = QVDocument(bytes, error);
    if (!document) return std::nullopt;
    std::optional<std::vector<QVField>> fields = QVFields(document.get(), std::nullopt, nullptr, error);
    if (!fields) return std::nullopt;
    return namesOf(*fields);
}

std::optional<std::vector<std::string>> QVTemplateFieldNamesForAllFields(std::string_view bytes, QVError* error) {
    std::shared_ptr<qvpdf::PDFDocument> document = QVDocumentForAllFields(bytes, error);
    if (!document) return std::nullopt;
    std::optional<std::vector<QVField>> fields =
        QVFieldsForAllFields(document.get(), std::nullopt, nullptr, nullptr, error);
    if (!fields) return std::nullopt;
    return namesOf(*fields);
}

namespace {

std::string withLabel(const std::string& value, const std::string& label) {
    return label.empty() || label == value ? value : value + " = " + label;
}

std::vector<QVWidgetDescription> describe(const qvpdf::PDFDocument& document) {
    std::vector<QVWidgetDescription> widgets;
    for (size_t p = 0; p < document.pageCount(); ++p) {
        std::shared_ptr<qvpdf::PDFPage> page = document.pageAtIndex(p);
        if (!page) continue;
        for (const std::shared_ptr<qvpdf::PDFAnnotation>& annotation : page->annotations()) {
            if (!annotation || annotation->type() != qvpdf::PDFAnnotationSubtypeWidget) continue;
            QVWidgetDescription d;
            d.page = p + 1;
            d.kind = QVKindOfWidget(*annotation);
            d.name = annotation->fieldName();
            d.flags = annotation->fieldFlags();
            d.maximumLength = annotation->maximumLength();
            d.alignment = static_cast<int>(annotation->alignment());
            d.bounds = annotation->bounds();
            d.use = QVUseOfWidget(*annotation, d.name);
            if (d.kind == QVWidgetKind::CheckBox || d.kind == QVWidgetKind::RadioButton) {
                std::string state = annotation->buttonOnState();
                if (!state.empty()) d.choices.push_back(withLabel(state, annotation->buttonOptionLabel()));
            } else if (d.kind == QVWidgetKind::ComboBox || d.kind == QVWidgetKind::ListBox) {
                for (const qvpdf::PDFChoiceOption& option : annotation->choiceOptions())
                    d.choices.push_back(withLabel(option.exportValue, option.displayText));
            }
            widgets.push_back(std::move(d));
        }
    }
    return widgets;
}

}  // namespace

std::optional<std::vector<QVWidgetDescription>> QVDescribeWidgets(std::string_view bytes, QVError* error) {
    std::shared_ptr<qvpdf::PDFDocument> document = QVDocumentForAllFields(bytes, error);
    if (!document) return std::nullopt;
    return describe(*document);
}

std::optional<QVWidgetDescription> QVFirstWidgetRefusedByTextRule(std::string_view bytes) {
    std::shared_ptr<qvpdf::PDFDocument> document = qvpdf::PDFDocument::initWithData(bytes);
    if (!document) return std::nullopt;
    for (QVWidgetDescription& d : describe(*document)) {
        // The order of the text rule's own tests: kind, name, read-only, password.
        const bool refused = d.kind != QVWidgetKind::Text || d.name.empty() || d.use == QVWidgetUse::ReadOnly ||
                             d.use == QVWidgetUse::Password;
        if (refused) return std::move(d);
    }
    return std::nullopt;
}
