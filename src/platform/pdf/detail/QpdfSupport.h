#pragma once
// Small pieces of QPDF handling shared by the document layer's files.

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text/Typesetting.h"

namespace qvpdf::detail {

struct Template;

// No QPDF warning or message ever reaches the terminal: damaged input is our caller's
// business, reported through empty results.
void quietQpdf(QPDF& q);

// The form's own font described for the text layer; null for fonts that are not simple
// (Type0, Type3) or cannot be read.
[[nodiscard]] std::unique_ptr<SimpleFont> readSimpleFont(QPDFObjectHandle fontDict);

// The decoded bytes of a stream, or nothing when it cannot be decoded or is larger than
// `limit` once decoded.
[[nodiscard]] std::optional<std::string> boundedStreamData(QPDFObjectHandle stream, size_t limit);

// Parses bytes into a template without looking at the cache; null when unreadable.
[[nodiscard]] std::shared_ptr<Template> loadTemplateUncached(std::string_view bytes);

}  // namespace qvpdf::detail
