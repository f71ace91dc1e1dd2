#pragma once
// Opening the template and walking its form widgets: shared by the template reader and the
// merge run, not part of the public interface.

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "input/FieldMapping.h"
#include "platform/Error.h"
#include "platform/pdf/Document.h"

// One accepted widget of the template. A field shown by several widgets has one entry each.
struct QVField {
    std::shared_ptr<qvpdf::PDFAnnotation> widget;
    std::string name;    // the fully qualified field name
    std::string column;  // the mapped column, or the field name without a mapping; may be empty
                         // (a mapping without an entry) when no columns were given
    std::optional<size_t> columnIndex;  // the column's index in the header; only with columns
};

// Opens the template bytes. Fails with "De PDF is ongeldig, leeg of beveiligd." for bytes that
// are not a readable PDF, an encrypted document (even one that opens without a password) or
// a document without pages.
std::shared_ptr<qvpdf::PDFDocument> QVDocument(std::string_view bytes, QVError* error = nullptr);

// The accepted widgets of `document` in document order: pages ascending, each page's
// annotations in its own order; annotations other than widgets are passed over.
//
// Every widget must be a text field with a name that is neither read-only nor a password
// field. With `columns`, each widget's column (the mapping's entry for its field name, or with
// no mapping the name itself) must be one of them, by exact comparison. Each widget is checked
// completely before the next, so the first offending widget decides the message:
//   "Het formulier bevat een niet-ondersteund, naamloos, beveiligd of alleen-lezen veld."
//   "CSV-kolom ontbreekt voor PDF-veld '%@'."  (the field name)
// and a document without any accepted widget fails with
//   "Het PDF-sjabloon bevat geen ondersteunde tekstvelden."
// A null document counts as one without pages.
std::optional<std::vector<QVField>> QVFields(const qvpdf::PDFDocument* document,
                                             std::optional<std::span<const std::string_view>> columns,
                                             const QVFieldMapping* mapping, QVError* error = nullptr);
