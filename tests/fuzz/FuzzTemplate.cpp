// Template reading and field listing on arbitrary PDF bytes. A template that is accepted is
// also filled and written once: the written file must open again and show the same fields
// holding the values that were put in.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "input/Template.h"
#include "input/TemplateFields.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    QVError error;
    std::optional<std::vector<std::string>> names = QVTemplateFieldNames(bytes, &error);
    if (!names) {
        QV_FUZZ_CHECK(!error.message.empty());
        return 0;
    }
    QV_FUZZ_CHECK(!names->empty());

    std::shared_ptr<qvpdf::PDFDocument> document = QVDocument(bytes, &error);
    QV_FUZZ_CHECK(document);
    std::optional<std::vector<QVField>> fields = QVFields(document.get(), std::nullopt, nullptr, &error);
    QV_FUZZ_CHECK(fields);
    for (const QVField& field : *fields) {
        // Within any maximum length, so that every widget takes its value.
        std::string value = field.widget->maximumLength() > 0 ? "x" : "Waarde é €";
        QV_FUZZ_CHECK(field.widget->setWidgetStringValue(value));
    }
    std::optional<std::string> written = document->dataRepresentation();
    if (!written) return 0;  // a refusal to write is a clean failure; the merge reports it
    std::optional<std::vector<std::string>> again = QVTemplateFieldNames(*written, &error);
    QV_FUZZ_CHECK(again && *again == *names);
    return 0;
}
