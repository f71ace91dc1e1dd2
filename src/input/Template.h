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

#include "platform/Error.h"

// The whole template file, unchanged; whether it is a usable PDF is decided when it is opened.
// Fails with "PDF lezen mislukt: %@", filled with the reason (missing, a folder, unreadable).
std::optional<std::string> QVReadTemplate(const std::filesystem::path& url, QVError* error = nullptr);

// The names of the template's fillable text fields, each once, in the order of their first
// widget (pages ascending, then each page's own annotation order). Names are fully qualified
// ("parent.child"). Fails with the message of the first check that refuses the template.
std::optional<std::vector<std::string>> QVTemplateFieldNames(std::string_view bytes, QVError* error = nullptr);
