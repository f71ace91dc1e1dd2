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

// What a widget is, as far as filling it goes.
enum class QVWidgetKind { Text, CheckBox, RadioButton, ComboBox, ListBox, PushButton, Signature, Unknown };

QVWidgetKind QVKindOfWidget(const qvpdf::PDFAnnotation& widget);

// Why the broad rule leaves a widget as the template has it; Fillable when it fills it.
enum class QVWidgetUse { Fillable, Unnamed, ReadOnly, Password, PushButton, Signature, UnknownKind };

QVWidgetUse QVUseOfWidget(const qvpdf::PDFAnnotation& widget, const std::string& name);

// The values a check box, radio button or choice field can take, gathered once from all of
// its widgets and shared by them.
struct QVFieldChoices {
    QVWidgetKind kind = QVWidgetKind::Text;
    std::vector<std::string> onStates;                        // buttons: the distinct on-state names, widget order
    std::vector<std::pair<std::string, std::string>> labels;  // buttons: /Opt label, its on-state
    std::vector<qvpdf::PDFChoiceOption> options;              // choices
    bool editable = false;                                    // a combo box that takes any text
    bool multiSelect = false;                                 // a list box that takes several options
};

// One accepted widget of the template. A field shown by several widgets has one entry each.
struct QVField {
    std::shared_ptr<qvpdf::PDFAnnotation> widget;
    QVWidgetKind kind = QVWidgetKind::Text;
    std::shared_ptr<const QVFieldChoices> choices;  // every kind but text
    std::string name;                               // the fully qualified field name
    std::string column;                 // the mapped column, or the field name without a mapping; may be empty
                                        // (a mapping without an entry) when no columns were given
    std::optional<size_t> columnIndex;  // the column's index in the header; only with columns
};

// Opens the template bytes. Fails with "De PDF is ongeldig, leeg of beveiligd." for bytes that
// are not a readable PDF, an encrypted document (even one that opens without a password) or
// a document without pages. Opened through the calling thread's PDF context, or `context`.
[[nodiscard]] std::shared_ptr<qvpdf::PDFDocument> QVDocument(std::string_view bytes, QVError* error = nullptr);
[[nodiscard]] std::shared_ptr<qvpdf::PDFDocument> QVDocument(std::string_view bytes, qvpdf::PDFContext& context,
                                                             QVError* error = nullptr);

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
[[nodiscard]] std::optional<std::vector<QVField>> QVFields(const qvpdf::PDFDocument* document,
                                                           std::optional<std::span<const std::string_view>> columns,
                                                           const QVFieldMapping* mapping, QVError* error = nullptr);

// The broad rule's open: like QVDocument, but a template encrypted with an empty user password
// is accepted when its permissions allow filling forms. Fails with
// "Het PDF-sjabloon is beveiligd met een wachtwoord." when a password is needed, and with
// "Het PDF-sjabloon is beveiligd en staat het invullen van formulieren niet toe." when the
// permissions forbid filling; otherwise as QVDocument.
[[nodiscard]] std::shared_ptr<qvpdf::PDFDocument> QVDocumentForAllFields(std::string_view bytes,
                                                                         QVError* error = nullptr);
[[nodiscard]] std::shared_ptr<qvpdf::PDFDocument> QVDocumentForAllFields(std::string_view bytes,
                                                                         qvpdf::PDFContext& context,
                                                                         QVError* error = nullptr);

// The broad rule's field list: every widget the broad rule fills (text fields, check boxes,
// radio buttons, combo and list boxes), in document order; every other widget is passed over.
// A widget is filled only when it has a column: the mapping's entry for its field name (which
// must then be one of the columns, or the call fails with "CSV-kolom ontbreekt voor PDF-veld
// '%@'."), or without an entry, or without a mapping, a column of its own name. Fields without
// a column are listed in `kept` by name, each once. Without columns, every fillable widget is
// listed. Fails with "Het PDF-sjabloon bevat geen ondersteunde tekstvelden." when the document
// has no fillable widget, and with "Geen enkel veld van het PDF-formulier heeft een CSV-kolom."
// when it has some but none has a column.
[[nodiscard]] std::optional<std::vector<QVField>> QVFieldsForAllFields(
    const qvpdf::PDFDocument* document, std::optional<std::span<const std::string_view>> columns,
    const QVFieldMapping* mapping, std::vector<std::string>* kept = nullptr, QVError* error = nullptr);
