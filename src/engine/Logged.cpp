// The logged merges: a merge run wrapped in its processing log.

#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/MergeRun.h"
#include "localization/Text.h"
#include "output/OutputFolder.h"
#include "output/ProcessingLog.h"
#include "platform/Error.h"
#include "platform/Format.h"
#include "platform/System.h"

bool QVMergeLoggedRun(const QVMergeSettings& settings, uint64_t* count, std::vector<std::string>* outputs,
                      QVError* error, QVMergeReport* report) {
    if (count) *count = 0;

    // The output folder is followed once, here, for the log and the run alike. A log whose path
    // names that folder is made in it as the PDFs are, so it lands beside them even if the
    // folder's path changes meanwhile; a log anywhere else is created by its own path.
    const QVOutputFolder folder = QVOutputFolder::open(settings.outputFolder);

    // The log exists before the merge: a merge whose log cannot be kept does not run at all.
    const std::filesystem::path& logURL = *settings.logURL;
    std::optional<QVLogFile> file = folder.holds(logURL) ? QVCreateLogFile(folder, logURL.filename().string(), error)
                                                         : QVCreateLogFile(logURL, error);
    if (!file) return false;

    QVProcessingLog log;
    log.startedAt = QVISO8601Now();

    uint64_t written = 0;
    QVError mergeError;
    std::optional<QVFieldPlan> plan;
    if (settings.fieldPolicy == QVFieldPolicy::Broad) plan.emplace();
    QVMergeReport outcome;
    bool merged =
        QVMergeCollect(settings, folder, &written, &log.outputFiles, &mergeError, plan ? &*plan : nullptr, &outcome);
    if (count) *count = written;
    if (outputs) outputs->insert(outputs->end(), log.outputFiles.begin(), log.outputFiles.end());

    log.finishedAt = QVISO8601Now();
    log.succeeded = merged;
    log.inputPDF = settings.templateURL;
    log.inputData = settings.dataURL;
    log.outputDirectory = settings.outputFolder;
    log.outputMode = settings.mode;
    log.filenamePattern = settings.filenamePattern;
    log.separator = settings.separator;
    if (settings.mapping) log.fieldMapping = *settings.mapping;
    log.watermarkColumn = settings.watermarkColumn;
    log.watermarkPattern = settings.watermarkPattern;
    log.watermarkPosition = settings.style.position;
    log.watermarkFontSize = settings.style.fontSize;
    log.watermarkGray = settings.style.gray;
    if (plan) {
        // What was filled from where, and what kept the template's value, as the run found it.
        log.fieldsKept = plan->kept;
        if (!plan->filled.empty()) log.fieldMapping = plan->mapping;
    }
    if (!merged) log.errorMessage = mergeError.localizedDescription();
    // Only what was asked for beyond a plain merge adds members to the log.
    log.interrupted = outcome.interrupted;
    if (settings.skipExisting) log.skipped = outcome.skipped;
    if (settings.records) log.recordSelection = QVRecordRangesText(QVNormalizeRecordRanges(*settings.records));
    if (report) *report = std::move(outcome);

    if (QVError logError; !QVWriteProcessingLog(*file, log, &logError)) {
        // The PDFs and the (possibly incomplete) log stay; the message tells the user where.
        std::string message = QVFormat(QVText("Logboek schrijven mislukt: %@. Het logboek kan onvolledig zijn: %@"),
                                       {logError.message, logURL.string()});
        if (!merged) message += QVFormat("\n%@", {mergeError.localizedDescription()});
        return QVFail(error, std::move(message));
    }
    if (!merged) {
        if (error) *error = mergeError;
        return false;
    }
    return true;
}

bool QVMergeLoggedWithPattern(std::string_view templateBytes, std::string_view dataText,
                              const std::filesystem::path& templateURL, const std::filesystem::path& dataURL,
                              const std::filesystem::path& outputFolder, const std::filesystem::path& logURL,
                              QVOutputMode mode, std::string_view filenamePattern, uint16_t separator,
                              const QVFieldMapping& mapping, const std::optional<std::string>& watermarkColumn,
                              const std::optional<std::string>& watermarkPattern, QVWatermarkStyle style,
                              uint64_t* count, QVError* error) {
    QVMergeSettings settings = QVEntryPointSettings(templateBytes, dataText, outputFolder, mode, filenamePattern,
                                                    separator, &mapping, watermarkColumn, watermarkPattern, style);
    settings.templateURL = templateURL;
    settings.dataURL = dataURL;
    settings.logURL = logURL;
    return QVMergeLoggedRun(settings, count, nullptr, error);
}

bool QVMergeLogged(std::string_view templateBytes, std::string_view dataText, const std::filesystem::path& templateURL,
                   const std::filesystem::path& dataURL, const std::filesystem::path& outputFolder,
                   const std::filesystem::path& logURL, QVOutputMode mode, std::string_view filenamePattern,
                   uint16_t separator, const QVFieldMapping& mapping, const std::optional<std::string>& watermarkColumn,
                   uint64_t* count, QVError* error) {
    return QVMergeLoggedWithPattern(templateBytes, dataText, templateURL, dataURL, outputFolder, logURL, mode,
                                    filenamePattern, separator, mapping, watermarkColumn, std::nullopt,
                                    QVDefaultWatermarkStyle, count, error);
}
