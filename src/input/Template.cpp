#include "input/Template.h"

#include <unordered_set>

#include "input/Fail.h"
#include "input/ReadFile.h"
#include "input/TemplateFields.h"
#include "localization/Text.h"
#include "platform/Format.h"

std::optional<std::string> QVReadTemplate(const std::filesystem::path& url, QVError* error) {
    std::string reason;
    std::optional<std::string> bytes = QVReadWholeFile(url, kQVMaxTemplateBytes, &reason);
    if (!bytes) {
        QVFail(error, QVFormat(QVText("PDF lezen mislukt: %@"), {reason}));
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::vector<std::string>> QVTemplateFieldNames(std::string_view bytes, QVError* error) {
    std::shared_ptr<qvpdf::PDFDocument> document = QVDocument(bytes, error);
    if (!document) return std::nullopt;
    std::optional<std::vector<QVField>> fields = QVFields(document.get(), std::nullopt, nullptr, error);
    if (!fields) return std::nullopt;

    std::vector<std::string> names;
    std::unordered_set<std::string_view> seen;
    for (const QVField& field : *fields) {
        if (seen.insert(field.name).second) names.push_back(field.name);
    }
    return names;
}
