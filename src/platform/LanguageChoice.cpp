#include "platform/LanguageChoice.h"

#include <array>
#include <optional>
#include <string_view>

#include "platform/PreferredLanguages.h"
#include "platform/UserDefaults.h"

namespace {

constexpr std::array<std::string_view, 5> kSupported = {"nl", "en", "fr", "de", "es"};

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

std::string QVResolveLanguage() {
    std::optional<std::string> stored = QVUserDefaults::standardUserDefaults().stringForKey(QVLanguageDefaultsKey);
    if (stored && isSupported(*stored)) return *stored;
    // Only the first preferred language that we speak counts; later ones are not looked at.
    for (const std::string& tag : QVPreferredLanguages()) {
        std::string code = primaryLanguage(tag);
        if (isSupported(code)) return code;
    }
    return "en";
}
