#include "HostText.h"

#include <array>
#include <optional>
#include <string_view>

#include "platform/Bundle.h"
#include "platform/PreferredLanguages.h"
#include "platform/UserDefaults.h"

namespace {

const char anchor = 0;
constexpr std::array<std::string_view, 5> kSupported = {"nl", "en", "fr", "de", "es"};

bool isSupported(std::string_view code) {
    for (std::string_view s : kSupported)
        if (s == code) return true;
    return false;
}

std::string primaryLanguage(std::string_view tag) {
    std::string piece(tag.substr(0, tag.find_first_of("-_")));
    for (char& c : piece)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return piece;
}

}  // namespace

std::string QVHostLanguage() {
    std::optional<std::string> stored = QVUserDefaults::standardUserDefaults().stringForKey("org.quorvel.language");
    if (stored && isSupported(*stored)) return *stored;
    for (const std::string& tag : QVPreferredLanguages()) {
        std::string code = primaryLanguage(tag);
        if (isSupported(code)) return code;
    }
    return "en";
}

std::string QVHostText(const std::string& dutch) {
    std::optional<QVBundle> own = QVBundle::bundleForAddress(&anchor);
    if (!own) return dutch;
    std::optional<std::filesystem::path> folder = own->pathForResource(QVHostLanguage(), "lproj");
    if (!folder) return dutch;
    std::optional<QVBundle> table = QVBundle::bundleWithPath(*folder);
    return table ? table->localizedString(dutch, dutch) : dutch;
}
