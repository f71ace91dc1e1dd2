#include "plugin/About.h"

#include <optional>
#include <string>

#include "localization/Text.h"
#include "platform/Bundle.h"
#include "platform/Format.h"
#include "platform/System.h"
#include "platform/dialogs/Alert.h"
#include "platform/dialogs/OpenPanel.h"

namespace {

const char* const kBundleIdentifier = "com.brindlewick.acrobat.QuorVel";
const char* const kFallbackBundlePath = "~/Library/Application Support/Adobe/Acrobat/DC/Plug-ins/Quorvel.acroplugin";
const char* const kFallbackVersion = "0.12";
// The product's own notice line: never translated.
const char* const kNoticeLine = "\u00A9 Quorvel";

std::string pluginVersion() {
    std::optional<QVBundle> bundle = QVBundle::bundleWithIdentifier(kBundleIdentifier);
    if (!bundle) bundle = QVBundle::bundleWithPath(qvui::expandUserPath(kFallbackBundlePath));
    if (!bundle) return kFallbackVersion;
    // A bundle whose Info dictionary lacks the version still gets a version line that says
    // something, rather than an empty one.
    return bundle->objectForInfoDictionaryKey("CFBundleShortVersionString").value_or(kFallbackVersion);
}

}  // namespace

void QVShowAbout() {
    qvui::Alert alert;
    alert.setMessageText("Quorvel");
    // The two description lines name the system this copy runs on, as it says of itself.
    alert.setInformativeText(QVFormat(
        "%@\n%@\n\n%@\n%@",
        {QVFormat(QVText("Version %@"), {pluginVersion()}),
         QVFormat(QVText("PDF-formulieren samenvoegen met CSV-gegevens op %@."), {QVOperatingSystemName()}),
         QVFormat(QVText("CSV \u2192 ingevulde PDF's. Processor: %@."), {QVMachineArchitecture()}), kNoticeLine}));
    alert.addButtonWithTitle(QVText("OK"));
    alert.runModal();
}
