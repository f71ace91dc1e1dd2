#include "localization/LocalizationBundle.h"

namespace {
// Any object inside this binary would do; this one exists only to be pointed at.
const char anchor = 0;
}  // namespace

std::optional<QVBundle> QVLocalizationBundle::bundle() { return QVBundle::bundleForAddress(&anchor); }

std::string QVTextFromBundle(const QVBundle& resources, const std::string& language, const std::string& key) {
    std::optional<std::filesystem::path> folder = resources.pathForResource(language, "lproj");
    if (!folder) return key;
    std::optional<QVBundle> table = QVBundle::bundleWithPath(*folder);
    if (!table) return key;
    return table->localizedString(key, key);
}
