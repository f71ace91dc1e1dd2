#include "localization/Text.h"

#include "localization/LocalizationBundle.h"
#include "platform/LanguageChoice.h"
#include "platform/UserDefaults.h"

std::string QVLanguage() { return QVResolveLanguage(); }

bool QVSetLanguage(const std::string& code) {
    // The choice is a convenience: when it cannot be stored, the language simply stays, and
    // the caller may say so.
    QVUserDefaults defaults = QVUserDefaults::standardUserDefaults();
    if (code == "auto") return defaults.removeObjectForKey(QVLanguageDefaultsKey);
    return defaults.setStringForKey(code, QVLanguageDefaultsKey);
}

bool QVIsSingularCount(uint64_t n) {
    if (QVLanguage() == "fr") return n <= 1;
    return n == 1;
}

std::string QVText(const std::string& key) {
    std::optional<QVBundle> resources = QVLocalizationBundle::bundle();
    if (!resources) return key;
    return QVTextFromBundle(*resources, QVLanguage(), key);
}
