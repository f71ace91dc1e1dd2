#include "localization/Text.h"

#include "localization/LocalizationBundle.h"
#include "platform/LanguageChoice.h"
#include "platform/UserDefaults.h"

std::string QVLanguage() { return QVResolveLanguage(); }

void QVSetLanguage(const std::string& code) {
    // The choice is a convenience: when it cannot be stored, the language simply stays.
    QVUserDefaults defaults = QVUserDefaults::standardUserDefaults();
    if (code == "auto") defaults.removeObjectForKey(QVLanguageDefaultsKey);
    else defaults.setStringForKey(code, QVLanguageDefaultsKey);
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
