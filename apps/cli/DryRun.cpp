#include "DryRun.h"

#include <span>
#include <unordered_set>
#include <vector>

#include "engine/Combined.h"
#include "engine/Watermark.h"
#include "input/Fail.h"
#include "input/TemplateFields.h"
#include "localization/Text.h"
#include "output/Pattern.h"
#include "platform/Format.h"
#include "platform/Unicode.h"

namespace {

// A field's maximum length counts UTF-16 code units; a malformed byte counts as one.
size_t utf16Length(std::string_view utf8) {
    size_t units = 0;
    size_t offset = 0;
    while (offset < utf8.size()) {
        std::optional<char32_t> c = QVNextCodePoint(utf8, offset);
        if (!c) {
            ++offset;
            ++units;
            continue;
        }
        units += *c > 0xFFFF ? 2 : 1;
    }
    return units;
}

// Names that differ only in letter case or composition name one file on the usual file systems.
std::string nameKey(std::string_view filename) {
    std::optional<std::string> composed = QVNormalizeNFC(filename);
    std::optional<std::string> lower = composed ? QVLowercase(*composed) : std::nullopt;
    return lower ? *lower : std::string(filename);
}

std::optional<size_t> headerIndex(std::span<const std::string_view> header, std::string_view column) {
    for (size_t i = 0; i < header.size(); ++i)
        if (header[i] == column) return i;
    return std::nullopt;
}

bool checkValueLengths(const std::vector<QVField>& fields, std::span<const std::string_view> row, uint64_t r,
                       QVError* error) {
    for (const QVField& field : fields) {
        const int maximum = field.widget->maximumLength();
        if (maximum <= 0) continue;
        if (utf16Length(row[*field.columnIndex]) <= static_cast<size_t>(maximum)) continue;
        return QVFail(error, QVFormat(QVText("Waarde voor '%@' in record %lu is te lang."),
                                      {field.name, static_cast<unsigned long>(r + 1)}));
    }
    return true;
}

bool checkFilename(const QVMergeRequest& request, std::span<const std::string_view> header,
                   std::span<const std::string_view> row, uint64_t r, std::unordered_set<std::string>& keys,
                   QVError* error) {
    std::optional<std::string> filename = QVFilename(request.filenamePattern, header, row, r, error);
    if (!filename) return false;
    if (!keys.insert(nameKey(*filename)).second) {
        return QVFail(error, QVFormat(QVText("Dubbele bestandsnaam '%@' bij record %lu. Voeg bijvoorbeeld {#} toe."),
                                      {*filename, static_cast<unsigned long>(r)}));
    }
    if (QVPathExists(request.outputFolder / *filename))
        return QVFail(error, QVFormat(QVText("Uitvoerbestand bestaat al: %@"), {*filename}));
    return true;
}

}  // namespace

std::optional<uint64_t> QVCheckMerge(const QVMergeRequest& request, QVError* error) {
    if (request.watermarkColumn && request.watermarkPattern) {
        QVFail(error, QVText("Kies een watermerkkolom of een watermerkpatroon, niet beide."));
        return std::nullopt;
    }
    if (request.mode != QVOutputModeSeparate && request.mode != QVOutputModeCombined) {
        QVFail(error, QVText("Onbekende uitvoermodus."));
        return std::nullopt;
    }
    const bool combined = request.mode == QVOutputModeCombined;
    if (combined && !QVCombinedOutputIsPossible()) {
        QVFail(error, QVText("Gecombineerde uitvoer vereist macOS 13 of nieuwer."));
        return std::nullopt;
    }

    std::optional<QVRecordTable> table = QVParseDelimitedText(request.dataText, request.separator, error);
    if (!table) return std::nullopt;
    std::shared_ptr<qvpdf::PDFDocument> document = QVDocument(request.templateBytes, error);
    if (!document) return std::nullopt;
    const std::vector<std::string_view> header = table->header();
    std::optional<std::vector<QVField>> fields =
        QVFields(document.get(), std::span<const std::string_view>(header), request.mapping, error);
    if (!fields) return std::nullopt;

    QVWatermarkSource source;
    if (request.watermarkColumn) {
        source.column = headerIndex(header, *request.watermarkColumn);
        if (!source.column) {
            QVFail(error, QVText("De gekozen watermerkkolom bestaat niet."));
            return std::nullopt;
        }
    }
    source.pattern = request.watermarkPattern;
    std::optional<QVWatermarkSetup> watermark;
    if (request.watermarkColumn || request.watermarkPattern) {
        watermark = QVPrepareWatermark(request.style, *document, error);
        if (!watermark) return std::nullopt;
    }

    const uint64_t records = table->rowCount() - 1;
    std::unordered_set<std::string> keys;
    for (uint64_t r = 1; r <= records; ++r) {
        const std::vector<std::string_view> row = table->row(r);
        if (watermark && !QVWatermarkTextForRecord(*watermark, source, header, row, r, error)) return std::nullopt;
        if (!checkValueLengths(*fields, row, r, error)) return std::nullopt;
        if (!combined && !checkFilename(request, header, row, r, keys, error)) return std::nullopt;
    }

    if (combined) {
        if (!QVBeginCombined(request.outputFolder, error)) return std::nullopt;
        return 1;
    }
    return records;
}
