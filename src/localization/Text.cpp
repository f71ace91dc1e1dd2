#include "localization/Text.h"

#include <array>
#include <string_view>

#include "localization/LocalizationBundle.h"
#include "platform/PreferredLanguages.h"
#include "platform/UserDefaults.h"

namespace {

const char* const kLanguageKey = "org.quorvel.language";
const std::array<std::string_view, 5> kSupported = {"nl", "en", "fr", "de", "es"};

bool isSupported(std::string_view code) {
    for (std::string_view s : kSupported)
        if (s == code) return true;
    return false;
}

// The language part of a tag: up to the first "-" or "_", lower-cased. ASCII lower-casing is
// enough: no other character lower-cases to a letter of the five codes.
std::string primaryLanguage(std::string_view tag) {
    std::string piece(tag.substr(0, tag.find_first_of("-_")));
    for (char& c : piece)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return piece;
}

}  // namespace

std::string QVLanguage() {
    std::optional<std::string> stored = QVUserDefaults::standardUserDefaults().stringForKey(kLanguageKey);
    if (stored && isSupported(*stored)) return *stored;
    // Only the first preferred language that we speak counts; later ones are not looked at.
    for (const std::string& tag : QVPreferredLanguages()) {
        std::string code = primaryLanguage(tag);
        if (isSupported(code)) return code;
    }
    return "en";
}

void QVSetLanguage(const std::string& code) {
    // The choice is a convenience: when it cannot be stored, the language simply stays.
    QVUserDefaults defaults = QVUserDefaults::standardUserDefaults();
    if (code == "auto") defaults.removeObjectForKey(kLanguageKey);
    else defaults.setStringForKey(code, kLanguageKey);
}

std::string QVText(const std::string& key) {
    std::optional<QVBundle> resources = QVLocalizationBundle::bundle();
    if (!resources) return key;
    return QVTextFromBundle(*resources, QVLanguage(), key);
}
