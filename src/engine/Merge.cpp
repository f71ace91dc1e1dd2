// The merge run: settings, data and template, a first pass that checks every record without
// writing anything, then a second pass that fills a fresh copy of the template per record and
// writes it (separate output) or flattens it into the combined document (combined output).

#include <algorithm>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "engine/Combined.h"
#include "engine/Engine.h"
#include "engine/MergeRun.h"
#include "engine/NameKeys.h"
#include "engine/Ordered.h"
#include "engine/Progress.h"
#include "engine/Watermark.h"
#include "input/Fail.h"
#include "input/FieldValues.h"
#include "input/TemplateFields.h"
#include "localization/Text.h"
#include "output/Pattern.h"
#include "output/WriteFile.h"
#include "platform/Format.h"
#include "platform/Unicode.h"

namespace {

// Names that differ only in letter case or in Unicode composition name the same file on the
// file systems our users write to.
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

struct Run {
    std::string_view templateBytes;
    const std::filesystem::path& outputFolder;
    QVOutputMode mode;
    std::string_view filenamePattern;
    const QVFieldMapping* mapping;
    bool allFields;
    const QVRecordTable& table;
    std::vector<std::string_view> header;
    std::optional<QVWatermarkSetup> watermark;
    QVWatermarkSource watermarkSource;
    uint64_t* count;
    std::vector<std::string>* outputs;
    QVError* error;
    // This run's records (all of them unless the merge is shared out among several runs).
    uint64_t first = 1;
    uint64_t last = 0;
    unsigned jobs = 1;

    bool ownsRecord(uint64_t r) const { return r >= first && r <= last; }
};

bool refuseCell(const QVField& field, std::string_view value, uint64_t r, QVError* error) {
    return QVFail(error, QVFormat(QVText("Waarde '%@' voor veld '%@' in record %lu is niet toegestaan. Mogelijk: %@."),
                                  {std::string(value), field.name, static_cast<unsigned long>(r + 1),
                                   QVAcceptedCells(*field.choices)}));
}

// Check boxes, radio buttons and choices take only the values they offer.
bool checkChoiceCell(const QVField& field, std::string_view value, uint64_t r, QVError* error) {
    if (field.kind == QVWidgetKind::CheckBox || field.kind == QVWidgetKind::RadioButton) {
        if (!QVButtonStateForCell(*field.choices, value)) return refuseCell(field, value, r, error);
    } else if (!QVChoiceValuesForCell(*field.choices, value)) {
        return refuseCell(field, value, r, error);
    }
    return true;
}

bool checkValues(const std::vector<QVField>& fields, std::span<const std::string_view> row, uint64_t r,
                 QVError* error) {
    for (const QVField& field : fields) {
        if (field.kind != QVWidgetKind::Text) {
            if (!checkChoiceCell(field, row[*field.columnIndex], r, error)) return false;
            continue;
        }
        const int maximum = field.widget->maximumLength();
        if (maximum <= 0) continue;
        std::string_view value = row[*field.columnIndex];
        // A value never has more UTF-16 units than UTF-8 bytes, so most values pass uncounted.
        if (value.size() <= static_cast<size_t>(maximum)) continue;
        if (QVUTF16Length(value) <= static_cast<size_t>(maximum)) continue;
        return QVFail(error, QVFormat(QVText("Waarde voor '%@' in record %lu is te lang."),
                                      {field.name, static_cast<unsigned long>(r + 1)}));
    }
    return true;
}

// The file name of record r; built alike in both passes and for the duplicate check.
std::optional<std::string> filenameOf(const Run& run, std::span<const std::string_view> row, uint64_t r,
                                      QVError* error) {
    return QVFilename(run.filenamePattern, run.header, row, r, error);
}

bool checkFilename(Run& run, std::span<const std::string_view> row, uint64_t r, QVNameKeys<>& keys) {
    std::optional<std::string> filename = filenameOf(run, row, r, run.error);
    if (!filename) return false;
    auto keyOfRecord = [&run](uint64_t earlier) {
        std::optional<std::string> name = filenameOf(run, run.table.row(earlier), earlier, nullptr);
        return name ? nameKey(*name) : std::string();
    };
    if (!keys.insert(nameKey(*filename), r, keyOfRecord)) {
        return QVFail(run.error, QVFormat(QVText("Dubbele bestandsnaam '%@' bij record %lu. Voeg bijvoorbeeld {#} toe."),
                                          {*filename, static_cast<unsigned long>(r)}));
    }
    // Another run of a shared-out merge may have written its own records' files already.
    if (run.ownsRecord(r) && QVPathExists(run.outputFolder / *filename))
        return QVFail(run.error, QVFormat(QVText("Uitvoerbestand bestaat al: %@"), {*filename}));
    return true;
}

// The watermark text of record r.
std::optional<std::string> watermarkOf(const Run& run, std::span<const std::string_view> row, uint64_t r,
                                       QVError* error) {
    return QVWatermarkTextForRecord(*run.watermark, run.watermarkSource, run.header, row, r, error);
}

// Checks every record. Nothing is kept per record but a hash of its file name: the second
// pass builds names and watermark texts again, which costs less than holding them all.
bool firstPass(Run& run, const std::vector<QVField>& templateFields) {
    const size_t records = run.table.rowCount() - 1;
    QVNameKeys keys(run.mode == QVOutputModeSeparate ? records : 0);
    for (uint64_t r = 1; r <= records; ++r) {
        const std::vector<std::string_view> row = run.table.row(r);
        if (run.watermark && !watermarkOf(run, row, r, run.error)) return false;
        if (!checkValues(templateFields, row, r, run.error)) return false;
        if (run.mode == QVOutputModeSeparate && !checkFilename(run, row, r, keys)) return false;
    }
    return true;
}

// The fields the run fills, by the run's rule.
std::optional<std::vector<QVField>> templateFieldsOf(const Run& run, const qvpdf::PDFDocument* document,
                                                     std::vector<std::string>* kept, QVError* error) {
    const std::span<const std::string_view> header(run.header);
    if (run.allFields) return QVFieldsForAllFields(document, header, run.mapping, kept, error);
    return QVFields(document, header, run.mapping, error);
}

// One widget takes one cell; the first pass has accepted it already.
bool fill(const QVField& field, std::string_view value) {
    switch (field.kind) {
    case QVWidgetKind::Text: return field.widget->setWidgetStringValue(value);
    case QVWidgetKind::CheckBox:
    case QVWidgetKind::RadioButton: {
        std::optional<std::string> state = QVButtonStateForCell(*field.choices, value);
        return state && field.widget->setButtonState(*state);
    }
    default: {
        std::optional<std::vector<std::string>> values = QVChoiceValuesForCell(*field.choices, value);
        return values && field.widget->setChoiceValues(*values);
    }
    }
}

// The template opened by the run's rule.
std::shared_ptr<qvpdf::PDFDocument> templateDocumentOf(const QVMergeSettings& settings, QVError* error) {
    if (settings.fieldPolicy == QVFieldPolicy::Broad) return QVDocumentForAllFields(settings.templateBytes, error);
    return QVDocument(settings.templateBytes, error);
}

// The fields a run fills, each once, with their columns, beside those it leaves as they are.
QVFieldPlan planOf(const std::vector<QVField>& fields, std::vector<std::string> kept) {
    QVFieldPlan plan;
    plan.kept = std::move(kept);
    for (const QVField& field : fields)
        if (plan.mapping.emplace(field.name, field.column).second) plan.filled.push_back(field.name);
    return plan;
}

// Fills a fresh copy of the template with record r and, when asked, its watermark. Touches
// nothing of the run but what it reads, so that several threads may build records at once.
std::shared_ptr<qvpdf::PDFDocument> buildRecord(const Run& run, std::span<const std::string_view> row, uint64_t r,
                                                QVError* error) {
    // No check of its own: bytes that will not open give a document without pages, and the
    // field list then refuses it with its own message.
    std::shared_ptr<qvpdf::PDFDocument> document = qvpdf::PDFDocument::initWithData(run.templateBytes);
    std::optional<std::vector<QVField>> fields = templateFieldsOf(run, document.get(), nullptr, error);
    if (!fields) return nullptr;

    for (const QVField& field : *fields) {
        // A value the PDF layer refuses would leave the field showing the template's text.
        if (!fill(field, row[*field.columnIndex])) {
            QVFail(error, QVText("PDF genereren mislukt."));
            return nullptr;
        }
    }
    if (run.watermark) {
        std::optional<std::string> text = watermarkOf(run, row, r, error);
        if (!text || !QVPlaceWatermark(*run.watermark, *document, *text, error)) return nullptr;
    }
    return document;
}

// Counts a written file and reports the progress of the run's own records.
void recordWritten(Run& run, const std::string& filename, uint64_t r, bool reportProgress) {
    if (run.outputs) run.outputs->push_back(filename);
    if (run.count) ++*run.count;
    if (reportProgress) QVReportMergeProgress(r - run.first + 1, run.last - run.first + 1);
}

bool writeSeparate(Run& run, qvpdf::PDFDocument& document, const std::string& filename) {
    std::optional<std::string> data = document.dataRepresentation();
    if (!data) return QVFail(run.error, QVText("PDF genereren mislukt."));
    return QVWriteNewPDF(*data, run.outputFolder / filename, run.error);
}

// A record's file, complete but without its name yet.
struct PreparedRecord {
    std::string filename;
    QVPreparedPDF file;
};

// Separate output on several threads: each builds records and writes them into nameless
// files; this thread names them in record order, so a failure at record r leaves the files
// of the records before r and nothing after, as on one thread.
bool secondPassInParallel(Run& run) {
    const bool reportProgress = QVHasMergeProgressHandler();
    std::function<std::optional<PreparedRecord>(uint64_t, QVError*)> produce =
        [&run](uint64_t r, QVError* error) -> std::optional<PreparedRecord> {
        const std::vector<std::string_view> row = run.table.row(r);
        std::shared_ptr<qvpdf::PDFDocument> document = buildRecord(run, row, r, error);
        if (!document) return std::nullopt;
        std::optional<std::string> filename = filenameOf(run, row, r, error);
        if (!filename) return std::nullopt;
        std::optional<std::string> data = document->dataRepresentation();
        if (!data) {
            QVFail(error, QVText("PDF genereren mislukt."));
            return std::nullopt;
        }
        std::optional<QVPreparedPDF> file = QVPrepareNewPDF(*data, run.outputFolder / *filename, error);
        if (!file) return std::nullopt;
        return PreparedRecord{std::move(*filename), std::move(*file)};
    };
    std::function<bool(uint64_t, PreparedRecord&, QVError*)> consume =
        [&run, reportProgress](uint64_t r, PreparedRecord& record, QVError* error) {
            if (!QVNameNewPDF(record.file, error)) return false;
            recordWritten(run, record.filename, r, reportProgress);
            return true;
        };
    // A few records ahead per thread keep every thread busy while names wait their turn; each
    // holds an open file, so never more than a quarter of the usual limit of 1024.
    const size_t window = std::min<size_t>(4 * size_t{run.jobs}, 256);
    const unsigned threads = static_cast<unsigned>(std::min<uint64_t>(run.jobs, run.last + 1 - run.first));
    return QVProduceInOrder<PreparedRecord>(run.first, run.last, threads, window, produce, consume, run.error);
}

bool secondPass(Run& run, QVCombinedOutput* combined) {
    if (!combined && run.jobs > 1) return secondPassInParallel(run);
    const bool reportProgress = QVHasMergeProgressHandler();
    for (uint64_t r = run.first; r <= run.last; ++r) {
        // The record's document lives only for this iteration.
        const std::vector<std::string_view> row = run.table.row(r);
        std::shared_ptr<qvpdf::PDFDocument> document = buildRecord(run, row, r, run.error);
        if (!document) return false;
        if (combined) {
            if (!QVAppendFlattened(*combined, *document, r, run.error)) return false;
            if (reportProgress) QVReportMergeProgress(r - run.first + 1, run.last - run.first + 1);
        } else {
            std::optional<std::string> filename = filenameOf(run, row, r, run.error);
            if (!filename || !writeSeparate(run, *document, *filename)) return false;
            recordWritten(run, *filename, r, reportProgress);
        }
    }
    return true;
}

// The combined file's name: the fixed one for a whole merge, numbered for a share of one.
std::string combinedFileName(const QVShard& shard) {
    if (shard.count <= 1) return QVCombinedFileName;
    const int width = std::max<int>(3, static_cast<int>(std::to_string(shard.count).size()));
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "merge-gecombineerd-%0*llu-van-%0*llu.pdf", width,
                  static_cast<unsigned long long>(shard.index), width, static_cast<unsigned long long>(shard.count));
    return buffer;
}

}  // namespace

namespace {

// The whole run. With `checkOnly` it stops after the combined file's check, before anything
// is built or created, and tells in `planned` how many files the run would write. `plan`
// receives what the run does with the template's fields once it knows.
bool mergeRun(const QVMergeSettings& settings, uint64_t* count, std::vector<std::string>* outputs, QVError* error,
              bool checkOnly, uint64_t* planned, QVFieldPlan* plan = nullptr) {
    const QVOutputMode mode = settings.mode;
    const std::optional<std::string>& watermarkColumn = settings.watermarkColumn;
    const std::optional<std::string>& watermarkPattern = settings.watermarkPattern;
    const QVFieldMapping* mapping = settings.mapping ? &*settings.mapping : nullptr;
    const bool allFields = settings.fieldPolicy == QVFieldPolicy::Broad;

    // Phase A: the settings, before anything is read.
    if (count) *count = 0;
    if (watermarkColumn && watermarkPattern)
        return QVFail(error, QVText("Kies een watermerkkolom of een watermerkpatroon, niet beide."));
    if (mode != QVOutputModeSeparate && mode != QVOutputModeCombined)
        return QVFail(error, QVText("Onbekende uitvoermodus."));
    if (mode == QVOutputModeCombined && !QVCombinedOutputIsPossible())
        return QVFail(error, QVText("Gecombineerde uitvoer vereist macOS 13 of nieuwer."));
    // The system would stop reading the path at the NUL and use a different, shorter one.
    if (settings.outputFolder.native().find('\0') != std::string::npos)
        return QVFail(error, QVText("De uitvoermap is geen geldig pad: het bevat een nulteken."));
    const QVShard& shard = settings.shard;
    if (shard.count == 0 || shard.index == 0 || shard.index > shard.count)
        return QVFail(error, QVFormat(QVText("Ongeldig deel %lu van %lu."), {static_cast<unsigned long>(shard.index),
                                                                            static_cast<unsigned long>(shard.count)}));
    const bool wantsWatermark = watermarkColumn || watermarkPattern;

    // Phase B: the data and the template.
    std::optional<QVRecordTable> table = QVParseDelimitedTextInPlace(settings.dataText, settings.separator, error);
    if (!table) return false;
    std::shared_ptr<qvpdf::PDFDocument> templateDocument = templateDocumentOf(settings, error);
    if (!templateDocument) return false;

    Run run{settings.templateBytes, settings.outputFolder, mode, settings.filenamePattern, mapping, allFields,
            *table, table->header(), std::nullopt, {}, count, outputs, error};
    // Contiguous ranges, so that the shares of a combined merge join in record order.
    const uint64_t records = table->rowCount() - 1;
    run.first = records * (shard.index - 1) / shard.count + 1;
    run.last = records * shard.index / shard.count;
    run.jobs = std::max(1u, settings.jobs);
    std::vector<std::string> kept;
    std::optional<std::vector<QVField>> templateFields = templateFieldsOf(run, templateDocument.get(), &kept, error);
    if (!templateFields) return false;
    if (plan) *plan = planOf(*templateFields, std::move(kept));

    if (watermarkColumn) {
        run.watermarkSource.column = headerIndex(run.header, *watermarkColumn);
        if (!run.watermarkSource.column) return QVFail(error, QVText("De gekozen watermerkkolom bestaat niet."));
    }
    run.watermarkSource.pattern = watermarkPattern;
    if (wantsWatermark) {
        run.watermark = QVPrepareWatermark(settings.style, *templateDocument, error);
        if (!run.watermark) return false;
    }

    // Phase C: every record is checked before any file exists.
    if (!firstPass(run, *templateFields)) return false;
    templateFields.reset();
    templateDocument.reset();

    // Phase D: the combined file must not exist yet. A share without records makes none.
    const uint64_t ownRecords = run.last + 1 - run.first;
    const std::string combinedName = combinedFileName(shard);
    std::shared_ptr<QVCombinedOutput> combined;
    if (mode == QVOutputModeCombined && ownRecords > 0) {
        combined = QVBeginCombined(settings.outputFolder, error, combinedName);
        if (!combined) return false;
    }

    if (checkOnly) {
        if (planned) *planned = combined ? 1 : mode == QVOutputModeCombined ? 0 : ownRecords;
        return true;
    }

    // Phase E: build and write.
    if (!secondPass(run, combined.get())) return false;

    // Phase F: the combined file.
    if (combined) {
        QVReportMergeStage(QVMergeStage::WritingCombinedFile);
        if (!QVWriteCombined(*combined, settings.outputFolder, error)) return false;
        if (outputs) outputs->push_back(combinedName);
        if (count) *count = 1;
    }
    return true;
}

}  // namespace

bool QVMergeCollect(const QVMergeSettings& settings, uint64_t* count, std::vector<std::string>* outputs,
                    QVError* error, QVFieldPlan* plan) {
    return mergeRun(settings, count, outputs, error, false, nullptr, plan);
}

bool QVMergeCheck(const QVMergeSettings& settings, uint64_t* planned, QVError* error) {
    if (planned) *planned = 0;
    return mergeRun(settings, nullptr, nullptr, error, true, planned);
}

bool QVMergeWithSettings(const QVMergeSettings& settings, uint64_t* count, QVError* error,
                         std::vector<std::string>* outputs) {
    if (settings.logURL) return QVMergeLoggedRun(settings, count, outputs, error);
    return QVMergeCollect(settings, count, outputs, error);
}

bool QVCheckMergeSettings(const QVMergeSettings& settings, uint64_t* planned, QVError* error) {
    return QVMergeCheck(settings, planned, error);
}

std::optional<QVFieldPlan> QVPlanFields(const QVMergeSettings& settings, QVError* error) {
    std::optional<QVRecordTable> table = QVParseDelimitedTextInPlace(settings.dataText, settings.separator, error);
    if (!table) return std::nullopt;
    std::shared_ptr<qvpdf::PDFDocument> document = templateDocumentOf(settings, error);
    if (!document) return std::nullopt;
    const std::vector<std::string_view> header = table->header();
    const std::span<const std::string_view> columns(header);
    const QVFieldMapping* mapping = settings.mapping ? &*settings.mapping : nullptr;
    std::vector<std::string> kept;
    std::optional<std::vector<QVField>> fields =
        settings.fieldPolicy == QVFieldPolicy::Broad
            ? QVFieldsForAllFields(document.get(), columns, mapping, &kept, error)
            : QVFields(document.get(), columns, mapping, error);
    if (!fields) return std::nullopt;
    return planOf(*fields, std::move(kept));
}
