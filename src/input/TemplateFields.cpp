#include "input/TemplateFields.h"

#include <unordered_map>

#include "input/Fail.h"
#include "localization/Text.h"
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

}  // namespace

std::shared_ptr<PDFDocument> QVDocument(std::string_view bytes, QVError* error) {
    std::shared_ptr<PDFDocument> document = PDFDocument::initWithData(bytes);
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
    const size_t pageCount = document ? document->pageCount() : 0;
    for (size_t p = 0; p < pageCount; ++p) {
        std::shared_ptr<qvpdf::PDFPage> page = document->pageAtIndex(p);
        if (!page) continue;
        for (std::shared_ptr<PDFAnnotation>& annotation : page->annotations()) {
            if (!annotation || annotation->type() != qvpdf::PDFAnnotationSubtypeWidget) continue;

            QVField field;
            field.name = annotation->fieldName();
            if (!isFillableText(*annotation, field.name)) {
                QVFail(error, QVText("Het formulier bevat een niet-ondersteund, naamloos, beveiligd of alleen-lezen veld."));
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
    }

    if (fields.empty()) {
        QVFail(error, QVText("Het PDF-sjabloon bevat geen ondersteunde tekstvelden."));
        return std::nullopt;
    }
    return fields;
}
