// The logged merges: a merge run wrapped in its processing log.

#include <string>
#include <vector>

#include "engine/Engine.h"
#include "input/Fail.h"
#include "localization/Text.h"
#include "output/ProcessingLog.h"
#include "platform/Format.h"
#include "platform/System.h"

bool QVMergeLoggedWithPattern(std::string_view templateBytes, std::string_view dataText,
                              const std::filesystem::path& templateURL, const std::filesystem::path& dataURL,
                              const std::filesystem::path& outputFolder, const std::filesystem::path& logURL,
                              QVOutputMode mode, std::string_view filenamePattern, uint16_t separator,
                              const QVFieldMapping& mapping, const std::optional<std::string>& watermarkColumn,
                              const std::optional<std::string>& watermarkPattern, QVWatermarkStyle style,
                              uint64_t* count, QVError* error) {
    if (count) *count = 0;

    // The log exists before the merge: a merge whose log cannot be kept does not run at all.
    std::optional<QVLogFile> file = QVCreateLogFile(logURL, error);
    if (!file) return false;

    QVProcessingLog log;
    log.startedAt = QVISO8601Now();

    uint64_t written = 0;
    QVError mergeError;
    bool merged = QVMergeCollect(templateBytes, dataText, outputFolder, mode, filenamePattern, separator, &mapping,
                                 watermarkColumn, watermarkPattern, style, &written, &log.outputFiles, &mergeError);
    if (count) *count = written;

    log.finishedAt = QVISO8601Now();
    log.succeeded = merged;
    log.inputPDF = templateURL;
    log.inputData = dataURL;
    log.outputDirectory = outputFolder;
    log.outputMode = mode;
    log.filenamePattern = std::string(filenamePattern);
    log.separator = separator;
    log.fieldMapping = mapping;
    log.watermarkColumn = watermarkColumn;
    log.watermarkPattern = watermarkPattern;
    log.watermarkPosition = style.position;
    log.watermarkFontSize = style.fontSize;
    log.watermarkGray = style.gray;
    if (!merged) log.errorMessage = mergeError.localizedDescription();

    if (std::optional<std::string> reason = QVWriteProcessingLog(*file, log)) {
        // The PDFs and the (possibly incomplete) log stay; the message tells the user where.
        std::string message = QVFormat(QVText("Logboek schrijven mislukt: %@. Het logboek kan onvolledig zijn: %@"),
                                       {*reason, logURL.string()});
        if (!merged) message += QVFormat("\n%@", {mergeError.localizedDescription()});
        return QVFail(error, std::move(message));
    }
    if (!merged) {
        if (error) *error = mergeError;
        return false;
    }
    return true;
}

bool QVMergeLogged(std::string_view templateBytes, std::string_view dataText,
                   const std::filesystem::path& templateURL, const std::filesystem::path& dataURL,
                   const std::filesystem::path& outputFolder, const std::filesystem::path& logURL,
                   QVOutputMode mode, std::string_view filenamePattern, uint16_t separator,
                   const QVFieldMapping& mapping, const std::optional<std::string>& watermarkColumn,
                   uint64_t* count, QVError* error) {
    return QVMergeLoggedWithPattern(templateBytes, dataText, templateURL, dataURL, outputFolder, logURL, mode,
                                    filenamePattern, separator, mapping, watermarkColumn, std::nullopt,
                                    QVDefaultWatermarkStyle, count, error);
}
