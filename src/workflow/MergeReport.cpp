#include "workflow/MergeReport.h"

#include <system_error>

#include "localization/Text.h"
#include "platform/Format.h"
#include "platform/dialogs/Alert.h"

void showMergeReport(bool succeeded, uint64_t written, const QVError& error,
                     const std::optional<std::filesystem::path>& logURL) {
    auto count = static_cast<unsigned long>(written);
    std::string informative =
        succeeded ? QVFormat(QVText("%lu PDF-bestanden gemaakt."), {count})
                  : QVFormat(QVText("%@\n%lu PDF-bestanden zijn al gemaakt."), {error.localizedDescription(), count});
    std::error_code ec;
    bool logExists = logURL && std::filesystem::exists(std::filesystem::symlink_status(*logURL, ec));
    if (logExists) informative += QVFormat("\n%@", {QVFormat(QVText("Logboeklocatie: %@"), {logURL->string()})});

    qvui::Alert alert;
    alert.setMessageText(QVText(succeeded ? "Samenvoegen voltooid" : "Samenvoegen mislukt"));
    alert.setInformativeText(informative);
    alert.runModal();
}
