#include "output/ProcessingLog.h"

#include <fcntl.h>

#include <cerrno>

#include "localization/Text.h"
#include "output/PosixIO.h"
#include "platform/Error.h"
#include "platform/Format.h"
#include "platform/Json.h"
#include "platform/System.h"
#include "platform/Unicode.h"

namespace {

std::string base64(std::string_view bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v =
            uint32_t(uint8_t(bytes[i])) << 16 | uint32_t(uint8_t(bytes[i + 1])) << 8 | uint8_t(bytes[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6) out += digits[(v >> shift) & 63];
    }
    if (i < bytes.size()) {
        const bool two = i + 1 < bytes.size();
        const uint32_t v = uint32_t(uint8_t(bytes[i])) << 16 | (two ? uint32_t(uint8_t(bytes[i + 1])) << 8 : 0);
        out += digits[(v >> 18) & 63];
        out += digits[(v >> 12) & 63];
        out += two ? digits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// `bytes` with every byte that is not part of a well-formed UTF-8 sequence shown as U+FFFD;
// nothing when `bytes` is well-formed already.
std::optional<std::string> withReplacements(std::string_view bytes) {
    std::optional<size_t> bad = QVFirstInvalidUTF8(bytes);
    if (!bad) return std::nullopt;
    std::string out;
    while (bad) {
        out.append(bytes.substr(0, *bad));
        out += "\xEF\xBF\xBD";
        bytes.remove_prefix(*bad + 1);
        bad = QVFirstInvalidUTF8(bytes);
    }
    out.append(bytes);
    return out;
}

// A text member. Names from the file system need not be UTF-8 (Linux names are bytes); such a
// name is written readably, with U+FFFD for each byte that is not UTF-8, and exactly, as base64
// in a sibling member "<key>_bytes_base64", so that the log stays JSON and loses nothing.
void putText(QVJson& object, const std::string& key, std::string_view bytes) {
    std::optional<std::string> shown = withReplacements(bytes);
    object.set(key, shown ? *shown : std::string(bytes));
    if (shown) object.set(key + "_bytes_base64", base64(bytes));
}

void putOptionalText(QVJson& object, const std::string& key, const std::optional<std::string>& value) {
    if (value)
        putText(object, key, *value);
    else
        object.set(key, nullptr);
}

// A list of names, with the same rule: "<key>_bytes_base64" (only when needed) holds, at each
// position, the base64 of a name that is not UTF-8 and null for one that is.
void putTexts(QVJson& object, const std::string& key, const std::vector<std::string>& names) {
    QVJson shown = QVJson::array();
    QVJson raw = QVJson::array();
    bool any = false;
    for (const std::string& name : names) {
        std::optional<std::string> replaced = withReplacements(name);
        shown.push_back(replaced ? *replaced : name);
        raw.push_back(replaced ? QVJson(base64(name)) : QVJson(nullptr));
        any = any || replaced;
    }
    object.set(key, std::move(shown));
    if (any) object.set(key + "_bytes_base64", std::move(raw));
}

QVJson settingsObject(const QVProcessingLog& log) {
    const bool separate = log.outputMode == 0;
    QVJson mapping = QVJson::object();
    // Field and column names are UTF-8 already (the data file is checked, the PDF layer converts);
    // the replacement only guards the log's own validity.
    for (const auto& [field, column] : log.fieldMapping)
        mapping.set(withReplacements(field).value_or(field), withReplacements(column).value_or(column));

    QVJson settings = QVJson::object();
    settings.set("output_mode", separate ? "separate" : "combined");
    // Combined output has one fixed name; the pattern played no part in it.
    putText(settings, "filename_pattern", separate ? log.filenamePattern : std::string());
    settings.set("separator", QVEncodeUTF8(std::u32string(1, log.separator)));  // one UTF-16 unit
    settings.set("field_mapping", std::move(mapping));
    putOptionalText(settings, "watermark_column", log.watermarkColumn);
    putOptionalText(settings, "watermark_pattern", log.watermarkPattern);
    settings.set("watermark_position", log.watermarkPosition);
    settings.set("watermark_font_size", log.watermarkFontSize);
    settings.set("watermark_gray", log.watermarkGray);
    if (log.fieldsKept) {
        settings.set("fields", "all");
        QVJson kept = QVJson::array();
        for (const std::string& name : *log.fieldsKept) kept.push_back(withReplacements(name).value_or(name));
        settings.set("fields_kept_from_template", std::move(kept));
    }
    if (log.recordSelection) settings.set("records", *log.recordSelection);
    if (log.skipped) settings.set("skip_existing", true);
    return settings;
}

QVJson logObject(const QVProcessingLog& log) {
    QVJson object = QVJson::object();
    object.set("version", 1);
    object.set("started_at", log.startedAt);
    object.set("finished_at", log.finishedAt);
    object.set("status", log.succeeded ? "success" : "failed");
    putText(object, "input_pdf", log.inputPDF.native());
    putText(object, "input_data", log.inputData.native());
    putText(object, "output_directory", log.outputDirectory.native());
    putTexts(object, "output_files", log.outputFiles);
    if (log.skipped) {
        putTexts(object, "skipped", *log.skipped);
        object.set("skipped_count", static_cast<uint64_t>(log.skipped->size()));
    }
    if (log.interrupted) object.set("interrupted", true);
    object.set("settings", settingsObject(log));
    if (log.succeeded) {
        object.set("error", nullptr);
    } else {
        // A message may quote a path.
        putText(object, "error", log.errorMessage.empty() ? std::string("Unknown error") : log.errorMessage);
    }
    return object;
}

}  // namespace

std::optional<std::string> QVProcessingLogJSON(const QVProcessingLog& log, QVError* error) {
    // Every text was made UTF-8 above; the check in dump only guards against a slip.
    std::optional<std::string> json = logObject(log).dump();
    if (!json) {
        QVFail(error, QVText("Het logboek bevat tekst die geen geldige UTF-8 is"));
        return std::nullopt;
    }
    return *json + "\n";
}

namespace {

std::optional<QVLogFile> createLog(int folder, const char* path, int refusal, QVError* error) {
    int fd = -1;
    int number = refusal;
    if (!refusal) {
        fd = QVCurrentPosixIO().openat(folder, path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        number = errno;
    }
    QVLogFile file = QVOwnedDescriptor(fd);
    if (!file.valid()) {
        // The system's text is taken before the message is looked up, which may touch errno.
        std::string text = QVStrError(number);
        QVFail(error, QVFormat(QVText("Logboek aanmaken mislukt: %s"), {text.c_str()}));
        return std::nullopt;
    }
    return file;
}

}  // namespace

std::optional<QVLogFile> QVCreateLogFile(const std::filesystem::path& url, QVError* error) {
    const std::string& path = url.native();
    // A NUL inside the path would make the system create a different, shorter name.
    const int refusal = path.find('\0') == std::string::npos ? 0 : EINVAL;
    return createLog(AT_FDCWD, path.c_str(), refusal, error);
}

std::optional<QVLogFile> QVCreateLogFile(const QVOutputFolder& folder, const std::string& name, QVError* error) {
    const int refusal = folder.openError() ? folder.openError() : QVIsSingleName(name) ? 0 : EINVAL;
    return createLog(folder.descriptor(), name.c_str(), refusal, error);
}

bool QVWriteProcessingLog(QVLogFile& file, const QVProcessingLog& log, QVError* error) {
    QVError serialization;
    std::optional<std::string> json = QVProcessingLogJSON(log, &serialization);
    int writeError = json ? QVWriteAll(file.get(), *json) : 0;
    int closeError = 0;
    if (!file.reset()) closeError = errno;
    if (!json) {
        if (error) *error = std::move(serialization);
        return false;
    }
    if (writeError) return QVFail(error, QVStrError(writeError));
    if (closeError) return QVFail(error, QVStrError(closeError));
    return true;
}
