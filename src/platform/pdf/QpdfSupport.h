#pragma once
// Small pieces of QPDF handling shared by the document layer's files.

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <memory>
#include <string_view>

#include "platform/pdf/Text.h"

namespace qvpdf::detail {

struct Template;

// No QPDF warning or message ever reaches the terminal: damaged input is our caller's
// business, reported through empty results.
void quietQpdf(QPDF& q);

// The form's own font described for the text layer; null for fonts that are not simple
// (Type0, Type3) or cannot be read.
std::unique_ptr<SimpleFont> readSimpleFont(QPDFObjectHandle fontDict);

// Parses bytes into a template without looking at the cache; null when unreadable.
std::shared_ptr<Template> loadTemplateUncached(std::string_view bytes);

}  // namespace qvpdf::detail
