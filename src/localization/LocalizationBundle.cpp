#include "localization/LocalizationBundle.h"

namespace {
// Any object inside this binary would do; this one exists only to be pointed at.
const char anchor = 0;
}  // namespace

std::optional<QVBundle> QVLocalizationBundle::bundle() { return QVBundle::bundleForAddress(&anchor); }

std::shared_ptr<const QVStringsTable> QVStringsFromBundle(const QVBundle& resources, const std::string& language) {
    std::optional<std::filesystem::path> folder = resources.pathForResource(language, "lproj");
    if (!folder) return nullptr;
    std::optional<QVBundle> table = QVBundle::bundleWithPath(*folder);
    if (!table) return nullptr;
    return table->localizedStrings();
}

std::string QVTextFromTable(const QVStringsTable* table, const std::string& key) {
    if (!table) return key;
    auto it = table->find(key);
    return it == table->end() ? key : it->second;
}

std::string QVTextFromBundle(const QVBundle& resources, const std::string& language, const std::string& key) {
    return QVTextFromTable(QVStringsFromBundle(resources, language).get(), key);
}
