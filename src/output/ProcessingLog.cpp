#include "output/ProcessingLog.h"

#include <fcntl.h>

#include <cerrno>

#include <nlohmann/json.hpp>

#include "input/Fail.h"
#include "localization/Text.h"
#include "output/PosixIO.h"
#include "platform/Format.h"
#include "platform/System.h"

namespace {

using Json = nlohmann::ordered_json;

// One UTF-16 code unit as UTF-8. A lone surrogate has no UTF-8 form; it never reaches a
// successful parse anyway, so the replacement character stands in for it.
std::string codeUnitString(uint16_t unit) {
    char32_t c = (unit >= 0xD800 && unit <= 0xDFFF) ? U'\uFFFD' : unit;
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

Json optionalString(const std::optional<std::string>& value) {
    if (!value) return nullptr;
    return *value;
}

Json settingsObject(const QVProcessingLog& log) {
    const bool separate = log.outputMode == 0;
    Json mapping = Json::object();
    for (const auto& [field, column] : log.fieldMapping) mapping[field] = column;

    Json settings = Json::object();
    settings["output_mode"] = separate ? "separate" : "combined";
    // Combined output has one fixed name; the pattern played no part in it.
    settings["filename_pattern"] = separate ? log.filenamePattern : std::string();
    settings["separator"] = codeUnitString(log.separator);
    settings["field_mapping"] = std::move(mapping);
    settings["watermark_column"] = optionalString(log.watermarkColumn);
    settings["watermark_pattern"] = optionalString(log.watermarkPattern);
    settings["watermark_position"] = log.watermarkPosition;
    settings["watermark_font_size"] = log.watermarkFontSize;
    settings["watermark_gray"] = log.watermarkGray;
    if (log.fieldsKept) {
        settings["fields"] = "all";
        settings["fields_kept_from_template"] = *log.fieldsKept;
    }
    return settings;
}

Json logObject(const QVProcessingLog& log) {
    Json object = Json::object();
    object["version"] = 1;
    object["started_at"] = log.startedAt;
    object["finished_at"] = log.finishedAt;
    object["status"] = log.succeeded ? "success" : "failed";
    object["input_pdf"] = log.inputPDF.string();
    object["input_data"] = log.inputData.string();
    object["output_directory"] = log.outputDirectory.string();
    object["output_files"] = log.outputFiles;
    object["settings"] = settingsObject(log);
    if (log.succeeded) {
        object["error"] = nullptr;
    } else {
        object["error"] = log.errorMessage.empty() ? std::string("Unknown error") : log.errorMessage;
    }
    return object;
}

}  // namespace

std::optional<std::string> QVProcessingLogJSON(const QVProcessingLog& log, std::string* reason) {
    try {
        // The strict handler refuses invalid UTF-8 (a path in another encoding) rather than
        // writing a log that quietly differs from what happened.
        return logObject(log).dump(2, ' ', false, Json::error_handler_t::strict) + "\n";
    } catch (const Json::exception&) {
        if (reason) *reason = QVText("Het logboek bevat tekst die geen geldige UTF-8 is");
        return std::nullopt;
    }
}

QVLogFile::~QVLogFile() { close(); }

int QVLogFile::writeAll(std::string_view bytes) { return QVWriteAll(fd_, bytes); }

int QVLogFile::close() {
    if (fd_ < 0) return 0;
    int fd = fd_;
    fd_ = -1;
    if (QVCurrentPosixIO().close(fd) == 0) return 0;
    return errno;
}

std::optional<QVLogFile> QVCreateLogFile(const std::filesystem::path& url, QVError* error) {
    const std::string& path = url.native();
    // A NUL inside the path would make the system create a different, shorter name.
    int fd = -1;
    int number = EINVAL;
    if (path.find('\0') == std::string::npos) {
        fd = QVCurrentPosixIO().open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        number = errno;
    }
    if (fd < 0) {
        // The system's text is taken before the message is looked up, which may touch errno.
        std::string text = QVStrError(number);
        QVFail(error, QVFormat(QVText("Logboek aanmaken mislukt: %s"), {text.c_str()}));
        return std::nullopt;
    }
    return QVLogFile(fd);
}

std::optional<std::string> QVWriteProcessingLog(QVLogFile& file, const QVProcessingLog& log) {
    std::string serializationReason;
    std::optional<std::string> json = QVProcessingLogJSON(log, &serializationReason);
    int writeError = json ? file.writeAll(*json) : 0;
    int closeError = file.close();
    if (!json) return serializationReason;
    if (writeError) return QVStrError(writeError);
    if (closeError) return QVStrError(closeError);
    return std::nullopt;
}
