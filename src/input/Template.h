#pragma once
// The PDF template: reading it into memory and listing its fillable text fields.
//
// A template is usable only as a whole: an unencrypted PDF with at least one page, whose every
// form widget is a named, writable, non-password text field. A form that holds anything the
// merge cannot fill is refused rather than half filled.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/TemplateFields.h"
#include "platform/Error.h"

// The whole template file, unchanged; whether it is a usable PDF is decided when it is opened.
// Fails with "PDF lezen mislukt: %@", filled with the reason (missing, a folder, unreadable).
[[nodiscard]] std::optional<std::string> QVReadTemplate(const std::filesystem::path& url, QVError* error = nullptr);

// The names of the template's fillable text fields, each once, in the order of their first
// widget (pages ascending, then each page's own annotation order). Names are fully qualified
// ("parent.child"). Fails with the message of the first check that refuses the template.
[[nodiscard]] std::optional<std::vector<std::string>> QVTemplateFieldNames(std::string_view bytes,
                                                                           QVError* error = nullptr);

// The names of the fields a merge that fills every kind of field fills (text fields, check
// boxes, radio buttons, combo and list boxes), each once, in the order of their first widget.
// An openly encrypted template whose permissions allow filling is read like any other.
[[nodiscard]] std::optional<std::vector<std::string>> QVTemplateFieldNamesForAllFields(std::string_view bytes,
                                                                                       QVError* error = nullptr);

// One widget of a template, described for people.
struct QVWidgetDescription {
    size_t page = 0;  // from 1
    QVWidgetKind kind = QVWidgetKind::Unknown;
    std::string name;
    int flags = 0;          // the field flags
    int maximumLength = 0;  // 0: none
    int alignment = 0;      // 0 left, 1 centred, 2 right
    qvpdf::PDFRect bounds;  // on its page, in points
    // Check boxes and radio buttons: this widget's on-state, with its label after " = " where
    // the field has labels; combo and list boxes: each option's export value, with its display
    // text after " = " where that differs.
    std::vector<std::string> choices;
    QVWidgetUse use = QVWidgetUse::Fillable;  // what a merge of every kind of field does with it
};

// Every widget of the template in document order. Opens the template as a merge of every kind of
// field would, and fails with its messages.
[[nodiscard]] std::optional<std::vector<QVWidgetDescription>> QVDescribeWidgets(std::string_view bytes,
                                                                                QVError* error = nullptr);

// The first widget the text-fields-only rule refuses, if any (the template's bytes must open).
[[nodiscard]] std::optional<QVWidgetDescription> QVFirstWidgetRefusedByTextRule(std::string_view bytes);
