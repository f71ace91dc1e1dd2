#include "HostText.h"

#include <optional>

#include "platform/Bundle.h"
#include "platform/LanguageChoice.h"

namespace {

// An address inside the host binary, to find the folder the host was started from.
const char anchor = 0;

}  // namespace

std::string QVHostLanguage() { return QVResolveLanguage(); }

std::string QVHostText(const std::string& dutch) {
    std::optional<QVBundle> own = QVBundle::bundleForAddress(&anchor);
    if (!own) return dutch;
    std::optional<std::filesystem::path> folder = own->pathForResource(QVHostLanguage(), "lproj");
    if (!folder) return dutch;
    std::optional<QVBundle> table = QVBundle::bundleWithPath(*folder);
    return table ? table->localizedString(dutch, dutch) : dutch;
}
