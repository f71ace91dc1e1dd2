#include "input/TemplateFields.h"

#include <algorithm>
#include <unordered_map>

#include "localization/Text.h"
#include "platform/Error.h"
#include "platform/Format.h"

using qvpdf::PDFAnnotation;
using qvpdf::PDFDocument;

namespace {

// A widget the merge can fill: a named text field that is neither read-only nor a password field.
bool isFillableText(const PDFAnnotation& widget, const std::string& name) {
    if (widget.widgetFieldType() != qvpdf::PDFAnnotationWidgetSubtypeText) return false;
    if (name.empty()) return false;
    if (widget.isReadOnly()) return false;
    if (widget.isPasswordField()) return false;
    return true;
}

// Column name to its index in the header; the first of equal names wins.
using ColumnIndex = std::unordered_map<std::string_view, size_t>;

ColumnIndex indexColumns(std::span<const std::string_view> columns) {
    ColumnIndex index;
    index.reserve(columns.size());
    for (size_t i = 0; i < columns.size(); ++i) index.try_emplace(columns[i], i);
    return index;
}

// The widgets of a document in document order: pages ascending, each page's annotations in
// its own order. A null document counts as one without pages.
std::vector<std::shared_ptr<PDFAnnotation>> widgetsOf(const PDFDocument* document) {
    std::vector<std::shared_ptr<PDFAnnotation>> widgets;
    const size_t pageCount = document ? document->pageCount() : 0;
    for (size_t p = 0; p < pageCount; ++p) {
        std::shared_ptr<qvpdf::PDFPage> page = document->pageAtIndex(p);
        if (!page) continue;
        for (std::shared_ptr<PDFAnnotation>& annotation : page->annotations())
            if (annotation && annotation->type() == qvpdf::PDFAnnotationSubtypeWidget)
                widgets.push_back(std::move(annotation));
    }
    return widgets;
}

// The choices of every fillable non-text field, by field name, from all of its widgets.
using ChoicesByName = std::unordered_map<std::string, std::shared_ptr<QVFieldChoices>>;

void addWidgetChoices(QVFieldChoices& choices, const PDFAnnotation& widget) {
    if (choices.kind == QVWidgetKind::ComboBox || choices.kind == QVWidgetKind::ListBox) {
        if (choices.options.empty()) choices.options = widget.choiceOptions();
        const int flags = widget.fieldFlags();
        choices.editable = choices.kind == QVWidgetKind::ComboBox && (flags & qvpdf::PDFFieldFlagEdit);
        choices.multiSelect = choices.kind == QVWidgetKind::ListBox && (flags & qvpdf::PDFFieldFlagMultiSelect);
        return;
    }
    std::string state = widget.buttonOnState();
    if (!state.empty() && std::find(choices.onStates.begin(), choices.onStates.end(), state) == choices.onStates.end())
        choices.onStates.push_back(state);
    std::string label = widget.buttonOptionLabel();
    if (!label.empty() && !state.empty()) choices.labels.emplace_back(std::move(label), std::move(state));
}

}  // namespace

QVWidgetKind QVKindOfWidget(const PDFAnnotation& widget) {
    const std::string type = widget.widgetFieldType();
    const int flags = widget.fieldFlags();
    if (type == qvpdf::PDFAnnotationWidgetSubtypeText) return QVWidgetKind::Text;
    if (type == qvpdf::PDFAnnotationWidgetSubtypeButton) {
        if (flags & qvpdf::PDFFieldFlagPushButton) return QVWidgetKind::PushButton;
        return (flags & qvpdf::PDFFieldFlagRadio) ? QVWidgetKind::RadioButton : QVWidgetKind::CheckBox;
    }
    if (type == qvpdf::PDFAnnotationWidgetSubtypeChoice)
        return (flags & qvpdf::PDFFieldFlagCombo) ? QVWidgetKind::ComboBox : QVWidgetKind::ListBox;
    if (type == qvpdf::PDFAnnotationWidgetSubtypeSignature) return QVWidgetKind::Signature;
    return QVWidgetKind::Unknown;
}

QVWidgetUse QVUseOfWidget(const PDFAnnotation& widget, const std::string& name) {
    if (name.empty()) return QVWidgetUse::Unnamed;
    const QVWidgetKind kind = QVKindOfWidget(widget);
    switch (kind) {
    case QVWidgetKind::PushButton: return QVWidgetUse::PushButton;
    case QVWidgetKind::Signature: return QVWidgetUse::Signature;
    case QVWidgetKind::Unknown: return QVWidgetUse::UnknownKind;
    default: break;
    }
    if (widget.isReadOnly()) return QVWidgetUse::ReadOnly;
    if (kind == QVWidgetKind::Text && widget.isPasswordField()) return QVWidgetUse::Password;
    return QVWidgetUse::Fillable;
}

std::shared_ptr<PDFDocument> QVDocument(std::string_view bytes, QVError* error) {
    return QVDocument(bytes, qvpdf::PDFContext::ofThisThread(), error);
}

std::shared_ptr<PDFDocument> QVDocument(std::string_view bytes, qvpdf::PDFContext& context, QVError* error) {
    std::shared_ptr<PDFDocument> document = PDFDocument::initWithData(bytes, context);
    if (!document || document->isEncrypted() || document->pageCount() == 0) {
        QVFail(error, QVText("De PDF is ongeldig, leeg of beveiligd."));
        return nullptr;
    }
    return document;
}

std::optional<std::vector<QVField>> QVFields(const PDFDocument* document,
                                             std::optional<std::span<const std::string_view>> columns,
                                             const QVFieldMapping* mapping, QVError* error) {
    std::optional<ColumnIndex> columnIndex;
    if (columns) columnIndex = indexColumns(*columns);

    std::vector<QVField> fields;
    for (std::shared_ptr<PDFAnnotation>& annotation : widgetsOf(document)) {
        QVField field;
        field.name = annotation->fieldName();
        if (!isFillableText(*annotation, field.name)) {
            QVFail(error,
                   QVText("Het formulier bevat een niet-ondersteund, naamloos, beveiligd of alleen-lezen veld."));
            return std::nullopt;
        }

        bool hasColumn = true;
        if (mapping) {
            auto entry = mapping->find(field.name);
            hasColumn = entry != mapping->end();
            if (hasColumn) field.column = entry->second;
        } else {
            field.column = field.name;
        }

        if (columnIndex) {
            auto found = hasColumn ? columnIndex->find(field.column) : columnIndex->end();
            if (found == columnIndex->end()) {
                QVFail(error, QVFormat(QVText("CSV-kolom ontbreekt voor PDF-veld '%@'."), {field.name}));
                return std::nullopt;
            }
            field.columnIndex = found->second;
        }

        field.widget = std::move(annotation);
        fields.push_back(std::move(field));
    }

    if (fields.empty()) {
        QVFail(error, QVText("Het PDF-sjabloon bevat geen ondersteunde tekstvelden."));
        return std::nullopt;
    }
    return fields;
}

std::shared_ptr<PDFDocument> QVDocumentForAllFields(std::string_view bytes, QVError* error) {
    return QVDocumentForAllFields(bytes, qvpdf::PDFContext::ofThisThread(), error);
}

std::shared_ptr<PDFDocument> QVDocumentForAllFields(std::string_view bytes, qvpdf::PDFContext& context,
                                                    QVError* error) {
    std::shared_ptr<PDFDocument> document = PDFDocument::initWithData(bytes, context);
    if (!document) {
        if (PDFDocument::dataNeedsPassword(bytes))
            QVFail(error, QVText("Het PDF-sjabloon is beveiligd met een wachtwoord."));
        else
            QVFail(error, QVText("De PDF is ongeldig, leeg of beveiligd."));
        return nullptr;
    }
    if (document->isEncrypted() && !document->allowsFormFilling()) {
        QVFail(error, QVText("Het PDF-sjabloon is beveiligd en staat het invullen van formulieren niet toe."));
        return nullptr;
    }
    if (document->pageCount() == 0) {
        QVFail(error, QVText("De PDF is ongeldig, leeg of beveiligd."));
        return nullptr;
    }
    return document;
}

std::optional<std::vector<QVField>> QVFieldsForAllFields(const PDFDocument* document,
                                                         std::optional<std::span<const std::string_view>> columns,
                                                         const QVFieldMapping* mapping, std::vector<std::string>* kept,
                                                         QVError* error) {
    std::optional<ColumnIndex> columnIndex;
    if (columns) columnIndex = indexColumns(*columns);

    // Every fillable widget first, so that a field's choices come from all of its widgets.
    std::vector<QVField> candidates;
    ChoicesByName choices;
    for (std::shared_ptr<PDFAnnotation>& annotation : widgetsOf(document)) {
        QVField field;
        field.name = annotation->fieldName();
        if (QVUseOfWidget(*annotation, field.name) != QVWidgetUse::Fillable) continue;
        field.kind = QVKindOfWidget(*annotation);
        if (field.kind != QVWidgetKind::Text) {
            std::shared_ptr<QVFieldChoices>& c = choices[field.name];
            if (!c) {
                c = std::make_shared<QVFieldChoices>();
                c->kind = field.kind;
            }
            addWidgetChoices(*c, *annotation);
            field.choices = c;
        }
        field.widget = std::move(annotation);
        candidates.push_back(std::move(field));
    }
    if (candidates.empty()) {
        QVFail(error, QVText("Het PDF-sjabloon bevat geen ondersteunde tekstvelden."));
        return std::nullopt;
    }

    std::vector<QVField> fields;
    std::unordered_map<std::string_view, bool> keptNames;
    for (QVField& field : candidates) {
        const QVFieldMapping::const_iterator entry =
            mapping ? mapping->find(field.name) : QVFieldMapping::const_iterator();
        const bool mapped = mapping && entry != mapping->end();
        field.column = mapped ? entry->second : field.name;
        if (columnIndex) {
            auto found = columnIndex->find(field.column);
            if (found == columnIndex->end()) {
                // A column the user named must exist; a field's own name is only a proposal.
                if (mapped) {
                    QVFail(error, QVFormat(QVText("CSV-kolom ontbreekt voor PDF-veld '%@'."), {field.name}));
                    return std::nullopt;
                }
                if (keptNames.emplace(field.name, true).second && kept) kept->push_back(field.name);
                continue;
            }
            field.columnIndex = found->second;
        }
        fields.push_back(std::move(field));
    }
    if (fields.empty()) {
        QVFail(error, QVText("Geen enkel veld van het PDF-formulier heeft een CSV-kolom."));
        return std::nullopt;
    }
    return fields;
}
