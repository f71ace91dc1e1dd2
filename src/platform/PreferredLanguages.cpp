#include "platform/PreferredLanguages.h"

#include <algorithm>
#include <cstdlib>

namespace {

std::string_view environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string_view(value) : std::string_view();
}

void addTag(std::vector<std::string>& tags, std::string_view locale) {
    std::string tag = QVLanguageTagFromLocale(locale);
    if (tag.empty()) return;
    if (std::find(tags.begin(), tags.end(), tag) != tags.end()) return;
    tags.push_back(std::move(tag));
}

}  // namespace

std::string QVLanguageTagFromLocale(std::string_view locale) {
    // "language_TERRITORY.codeset@modifier": the codeset and the modifier say nothing about the
    // language; the modifier may come without a codeset.
    size_t cut = locale.find_first_of(".@");
    std::string_view tag = locale.substr(0, cut);
    if (tag.empty() || tag == "C" || tag == "POSIX") return {};
    return std::string(tag);
}

std::vector<std::string> QVPreferredLanguages() {
    std::vector<std::string> tags;
    std::string_view list = environmentValue("LANGUAGE");
    while (!list.empty()) {
        size_t colon = list.find(':');
        addTag(tags, list.substr(0, colon));
        if (colon == std::string_view::npos) break;
        list.remove_prefix(colon + 1);
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        std::string_view locale = environmentValue(name);
        if (locale.empty()) continue;
        addTag(tags, locale);
        break;
    }
    return tags;
}
