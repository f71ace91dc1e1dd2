// The chain of merge entry points: each fills one more setting with its default and calls the
// next longer one, down to the merge run.

#include "engine/Engine.h"
#include "engine/MergeRun.h"

bool QVMerge(const std::filesystem::path& templateURL, const std::filesystem::path& dataURL,
             const std::filesystem::path& outputFolder, QVOutputMode mode, std::string_view filenamePattern,
             uint64_t* count, QVError* error) {
    return QVMergeDelimited(templateURL, dataURL, outputFolder, mode, filenamePattern, QVSeparatorComma, count, error);
}

bool QVMergeDelimited(const std::filesystem::path& templateURL, const std::filesystem::path& dataURL,
                      const std::filesystem::path& outputFolder, QVOutputMode mode, std::string_view filenamePattern,
                      uint16_t separator, uint64_t* count, QVError* error) {
    if (count) *count = 0;
    // The data file is read first, so its failure is the one reported when both are unreadable.
    std::optional<QVMappedFile> text = QVMapDataFile(dataURL, error);
    if (!text) return false;
    return QVMergeText(templateURL, text->bytes(), outputFolder, mode, filenamePattern, separator, count, error);
}

bool QVMergeText(const std::filesystem::path& templateURL, std::string_view dataText,
                 const std::filesystem::path& outputFolder, QVOutputMode mode, std::string_view filenamePattern,
                 uint16_t separator, uint64_t* count, QVError* error) {
    if (count) *count = 0;
    std::optional<std::string> bytes = QVReadTemplate(templateURL, error);
    if (!bytes) return false;
    return QVMergeMapped(*bytes, dataText, outputFolder, mode, filenamePattern, separator, nullptr, count, error);
}

bool QVMergeMapped(std::string_view templateBytes, std::string_view dataText, const std::filesystem::path& outputFolder,
                   QVOutputMode mode, std::string_view filenamePattern, uint16_t separator,
                   const QVFieldMapping* mapping, uint64_t* count, QVError* error) {
    return QVMergeWithWatermark(templateBytes, dataText, outputFolder, mode, filenamePattern, separator, mapping,
                                std::nullopt, count, error);
}

bool QVMergeWithWatermark(std::string_view templateBytes, std::string_view dataText,
                          const std::filesystem::path& outputFolder, QVOutputMode mode,
                          std::string_view filenamePattern, uint16_t separator, const QVFieldMapping* mapping,
                          const std::optional<std::string>& watermarkColumn, uint64_t* count, QVError* error) {
    return QVMergeWithWatermarkPattern(templateBytes, dataText, outputFolder, mode, filenamePattern, separator, mapping,
                                       watermarkColumn, std::nullopt, QVDefaultWatermarkStyle, count, error);
}

bool QVMergeWithWatermarkPattern(std::string_view templateBytes, std::string_view dataText,
                                 const std::filesystem::path& outputFolder, QVOutputMode mode,
                                 std::string_view filenamePattern, uint16_t separator, const QVFieldMapping* mapping,
                                 const std::optional<std::string>& watermarkColumn,
                                 const std::optional<std::string>& watermarkPattern, QVWatermarkStyle style,
                                 uint64_t* count, QVError* error) {
    const QVMergeSettings settings = QVEntryPointSettings(templateBytes, dataText, outputFolder, mode, filenamePattern,
                                                          separator, mapping, watermarkColumn, watermarkPattern, style);
    return QVMergeCollect(settings, count, nullptr, error);
}

QVMergeSettings QVEntryPointSettings(std::string_view templateBytes, std::string_view dataText,
                                     const std::filesystem::path& outputFolder, QVOutputMode mode,
                                     std::string_view filenamePattern, uint16_t separator,
                                     const QVFieldMapping* mapping, const std::optional<std::string>& watermarkColumn,
                                     const std::optional<std::string>& watermarkPattern, QVWatermarkStyle style) {
    QVMergeSettings settings;
    settings.templateBytes = templateBytes;
    settings.dataText = dataText;
    settings.outputFolder = outputFolder;
    settings.mode = mode;
    settings.filenamePattern = std::string(filenamePattern);
    settings.separator = separator;
    if (mapping) settings.mapping = *mapping;
    settings.watermarkColumn = watermarkColumn;
    settings.watermarkPattern = watermarkPattern;
    settings.style = style;
    return settings;
}
