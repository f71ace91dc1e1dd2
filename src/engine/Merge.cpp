// The merge run: settings, data and template, a first pass that checks every record without
// writing anything, then a second pass that fills a fresh copy of the template per record and
// writes it (separate output) or flattens it into the combined document (combined output).

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "engine/Combined.h"
#include "engine/Engine.h"
#include "engine/MergeRun.h"
#include "engine/NameKeys.h"
#include "engine/Ordered.h"
#include "engine/PDFContexts.h"
#include "engine/Progress.h"
#include "engine/Watermark.h"
#include "input/FieldValues.h"
#include "input/TemplateFields.h"
#include "localization/Text.h"
#include "output/Pattern.h"
#include "output/WriteFile.h"
#include "platform/Error.h"
#include "platform/Format.h"
#include "platform/Unicode.h"

namespace {

// Names that differ only in letter case or in Unicode composition name the same file on the
// file systems our users write to.
std::string nameKey(std::string_view filename) {
    // ASCII is composed already and lower-cases letter by letter: most names need no conversion.
    if (std::all_of(filename.begin(), filename.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        std::string key(filename);
        for (char& c : key)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return key;
    }
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
    const QVOutputFolder& outputFolder;
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
    // This run's share of the records (all of them unless the merge is shared out among
    // several runs), and the records of that share that are chosen, as ascending ranges.
    uint64_t first = 1;
    uint64_t last = 0;
    std::vector<QVRecordRange> chosen = {};
    unsigned jobs = 1;
    const std::atomic<bool>* stop = nullptr;
    bool skipExisting = false;
    // The output folder held nothing when the first pass began: no file of ours can be there.
    bool folderWasEmpty = false;
    // Chosen records whose file exists already (skipExisting), ascending, and their names.
    std::vector<uint64_t> skipped = {};
    std::vector<std::string> skippedNames = {};
    // What the second pass makes: the chosen records less the skipped ones, as ascending
    // ranges, and how many records come before each range.
    std::vector<QVRecordRange> work = {};
    std::vector<uint64_t> before = {};
    uint64_t workCount = 0;
    uint64_t written = 0;
    bool interrupted = false;
    // An encrypted template's combined file is encrypted as a whole, on one thread.
    bool encryptedTemplate = false;
    // Where each thread opens the template and its records.
    QVPDFContexts* contexts = nullptr;

    bool ownsRecord(uint64_t r) const { return inRanges(chosen, r); }

    static bool inRanges(const std::vector<QVRecordRange>& ranges, uint64_t r) {
        auto after = std::upper_bound(ranges.begin(), ranges.end(), r,
                                      [](uint64_t n, const QVRecordRange& range) { return n < range.first; });
        return after != ranges.begin() && r <= std::prev(after)->last;
    }

    // The record at `position` (0 up to workCount - 1) of the second pass.
    uint64_t recordAt(uint64_t position) const {
        const size_t i =
            static_cast<size_t>(std::upper_bound(before.begin(), before.end(), position) - before.begin()) - 1;
        return work[i].first + (position - before[i]);
    }

    bool stopRaised() {
        if (!stop || !stop->load(std::memory_order_relaxed)) return false;
        interrupted = true;
        return true;
    }
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
        return QVFail(run.error,
                      QVFormat(QVText("Dubbele bestandsnaam '%@' bij record %lu. Voeg bijvoorbeeld {#} toe."),
                               {*filename, static_cast<unsigned long>(r)}));
    }
    // Another run of a shared-out merge may have written its own records' files already.
    if (run.ownsRecord(r) && !run.folderWasEmpty && run.outputFolder.contains(*filename)) {
        if (run.skipExisting) {
            run.skipped.push_back(r);
            run.skippedNames.push_back(std::move(*filename));
            return true;
        }
        return QVFail(run.error, QVFormat(QVText("Uitvoerbestand bestaat al: %@"), {*filename}));
    }
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
    // One listing instead of a lookup per record (several microseconds each) when the folder is
    // new; a file that appears meanwhile is found when its name is linked, which never replaces.
    run.folderWasEmpty = run.mode == QVOutputModeSeparate && run.outputFolder.isKnownEmpty();
    for (uint64_t r = 1; r <= records; ++r) {
        if (run.stopRaised()) return false;
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
std::shared_ptr<qvpdf::PDFDocument> templateDocumentOf(const QVMergeSettings& settings, qvpdf::PDFContext& context,
                                                       QVError* error) {
    if (settings.fieldPolicy == QVFieldPolicy::Broad)
        return QVDocumentForAllFields(settings.templateBytes, context, error);
    return QVDocument(settings.templateBytes, context, error);
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
std::shared_ptr<qvpdf::PDFDocument> buildRecord(const Run& run, qvpdf::PDFContext& context,
                                                std::span<const std::string_view> row, uint64_t r, QVError* error) {
    // No check of its own: bytes that will not open give a document without pages, and the
    // field list then refuses it with its own message.
    std::shared_ptr<qvpdf::PDFDocument> document = qvpdf::PDFDocument::initWithData(run.templateBytes, context);
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

// Counts a written file and reports the progress of the run's own records; `position` counts
// the records of the second pass from 0.
void recordWritten(Run& run, const std::string& filename, uint64_t position, bool reportProgress) {
    if (run.outputs) run.outputs->push_back(filename);
    if (run.count) ++*run.count;
    ++run.written;
    if (reportProgress) QVReportMergeProgress(position + 1, run.workCount);
}

bool writeSeparate(Run& run, qvpdf::PDFDocument& document, const std::string& filename) {
    std::optional<std::string> data = document.dataRepresentation();
    if (!data) return QVFail(run.error, QVText("PDF genereren mislukt."));
    return QVWriteNewPDF(*data, run.outputFolder, filename, run.error);
}

// A record's file, complete but without its name yet.
struct PreparedRecord {
    std::string filename;
    QVPreparedPDF file;
};

// Separate output on several threads, this one among them: each builds records and writes
// them into nameless files; this thread names them in record order (building one more
// whenever the next is not ready), so a failure at record r leaves the files of the records
// before r and nothing after, as on one thread.
bool secondPassInParallel(Run& run) {
    const bool reportProgress = QVHasMergeProgressHandler();
    // The ordered work runs over positions 1 to workCount of the second pass.
    std::function<std::optional<PreparedRecord>(uint64_t, QVError*)> produce =
        [&run](uint64_t position, QVError* error) -> std::optional<PreparedRecord> {
        const uint64_t r = run.recordAt(position - 1);
        const std::vector<std::string_view> row = run.table.row(r);
        std::shared_ptr<qvpdf::PDFDocument> document = buildRecord(run, run.contexts->ofThisThread(), row, r, error);
        if (!document) return std::nullopt;
        std::optional<std::string> filename = filenameOf(run, row, r, error);
        if (!filename) return std::nullopt;
        std::optional<std::string> data = document->dataRepresentation();
        if (!data) {
            QVFail(error, QVText("PDF genereren mislukt."));
            return std::nullopt;
        }
        std::optional<QVPreparedPDF> file = QVPrepareNewPDF(*data, run.outputFolder, *filename, error);
        if (!file) return std::nullopt;
        return PreparedRecord{std::move(*filename), std::move(*file)};
    };
    std::function<bool(uint64_t, PreparedRecord&, QVError*)> consume =
        [&run, reportProgress](uint64_t position, PreparedRecord& record, QVError* error) {
            if (!QVNameNewPDF(record.file, error)) return false;
            recordWritten(run, record.filename, position - 1, reportProgress);
            return true;
        };
    // A few records ahead per thread keep every thread busy while names wait their turn; each
    // holds an open file, so never more than a quarter of the usual limit of 1024.
    const size_t window = std::min<size_t>(4 * size_t{run.jobs}, 256);
    // Naming is quick: this thread builds records too, as one of the `jobs`.
    const unsigned threads =
        static_cast<unsigned>(std::min<uint64_t>(run.jobs, std::max<uint64_t>(run.workCount, 1)) - 1);
    return QVProduceInOrder<PreparedRecord>(1, run.workCount, threads, QVCallerRole::BuildsToo, window, produce,
                                            consume, run.error, run.stop, &run.interrupted);
}

// Combined output on several threads: each builds, flattens and encodes records; this thread
// appends their pages to the file in record order, so the file and a failure's message are
// those of one thread.
bool combinedInParallel(Run& run, QVCombinedOutput& combined) {
    if (!QVStartStreamedCombined(combined, run.error)) return false;
    const bool reportProgress = QVHasMergeProgressHandler();
    const QVCombinedOutput& shared = combined;
    // The ordered work runs over positions 1 to workCount of the second pass.
    std::function<std::optional<qvpdf::PDFEncodedPages>(uint64_t, QVError*)> produce =
        [&run, &shared](uint64_t position, QVError* error) -> std::optional<qvpdf::PDFEncodedPages> {
        const uint64_t r = run.recordAt(position - 1);
        const std::vector<std::string_view> row = run.table.row(r);
        qvpdf::PDFContext& context = run.contexts->ofThisThread();
        std::shared_ptr<qvpdf::PDFDocument> document = buildRecord(run, context, row, r, error);
        if (!document) return std::nullopt;
        return QVEncodeFlattened(shared, *document, context, r, error);
    };
    std::function<bool(uint64_t, qvpdf::PDFEncodedPages&, QVError*)> consume =
        [&run, &combined, reportProgress](uint64_t position, qvpdf::PDFEncodedPages& pages, QVError* error) {
            if (!QVAppendEncoded(combined, pages, error)) return false;
            if (reportProgress) QVReportMergeProgress(position, run.workCount);
            return true;
        };
    // Encoded records hold their compressed objects (tens of KB for a page of fields).
    const size_t window = std::min<size_t>(4 * size_t{run.jobs}, 256);
    const unsigned threads = static_cast<unsigned>(std::min<uint64_t>(run.jobs, run.workCount));
    return QVProduceInOrder<qvpdf::PDFEncodedPages>(1, run.workCount, threads, QVCallerRole::HandsOn, window, produce,
                                                    consume, run.error, run.stop, &run.interrupted);
}

bool secondPass(Run& run, QVCombinedOutput* combined) {
    if (!combined && run.jobs > 1) return secondPassInParallel(run);
    if (combined && run.jobs > 1 && !run.encryptedTemplate) return combinedInParallel(run, *combined);
    const bool reportProgress = QVHasMergeProgressHandler();
    qvpdf::PDFContext& context = run.contexts->ofThisThread();
    uint64_t position = 0;
    for (const QVRecordRange& range : run.work) {
        for (uint64_t r = range.first; r <= range.last; ++r, ++position) {
            // Between two records only: a file is always finished once begun.
            if (run.stopRaised()) return false;
            // The record's document lives only for this iteration.
            const std::vector<std::string_view> row = run.table.row(r);
            std::shared_ptr<qvpdf::PDFDocument> document = buildRecord(run, context, row, r, run.error);
            if (!document) return false;
            if (combined) {
                if (!QVAppendFlattened(*combined, *document, context, r, run.error)) return false;
                if (reportProgress) QVReportMergeProgress(position + 1, run.workCount);
            } else {
                std::optional<std::string> filename = filenameOf(run, row, r, run.error);
                if (!filename || !writeSeparate(run, *document, *filename)) return false;
                recordWritten(run, *filename, position, reportProgress);
            }
        }
    }
    return true;
}

// The chosen records of the share less the skipped ones, laid out for the second pass.
void planWork(Run& run) {
    auto skipped = run.skipped.begin();
    for (const QVRecordRange& range : run.chosen) {
        uint64_t from = range.first;
        for (; skipped != run.skipped.end() && *skipped <= range.last; ++skipped) {
            if (*skipped > from) run.work.push_back({from, *skipped - 1});
            from = *skipped + 1;
        }
        if (from <= range.last) run.work.push_back({from, range.last});
    }
    for (const QVRecordRange& range : run.work) {
        run.before.push_back(run.workCount);
        run.workCount += range.last - range.first + 1;
    }
}

// The message of a run that a stop request ended.
bool failInterrupted(const Run& run, QVError* error) {
    if (run.mode == QVOutputModeCombined)
        return QVFail(error, QVText("Onderbroken; het gecombineerde bestand is niet gemaakt."));
    const unsigned long n = static_cast<unsigned long>(run.written);
    return QVFail(error, QVIsSingularCount(run.written) ? QVFormat(QVText("Onderbroken na %lu bestand."), {n})
                                                        : QVFormat(QVText("Onderbroken na %lu bestanden."), {n}));
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
// receives what the run does with the template's fields once it knows. `folder` is the output
// folder held open, or null for the run to open it itself.
bool mergeRun(const QVMergeSettings& settings, const QVOutputFolder* folder, uint64_t* count,
              std::vector<std::string>* outputs, QVError* error, bool checkOnly, uint64_t* planned,
              QVFieldPlan* plan = nullptr, QVMergeReport* report = nullptr) {
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
    // The combined file is all or nothing; there is no file of a record to find and keep.
    if (settings.skipExisting && mode == QVOutputModeCombined)
        return QVFail(error, QVText("Bestaande bestanden overslaan kan alleen bij losse uitvoer."));
    const bool wantsWatermark = watermarkColumn || watermarkPattern;
    // The folder's path is followed now, once: every check and file below goes through it.
    std::optional<QVOutputFolder> ownFolder;
    if (!folder) folder = &ownFolder.emplace(QVOutputFolder::open(settings.outputFolder));

    // Phase B: the data and the template.
    std::optional<QVRecordTable> table = QVParseDelimitedTextInPlace(settings.dataText, settings.separator, error);
    if (!table) return false;
    // Every document of the run is opened through these, and they end with it.
    QVPDFContexts contexts;
    std::shared_ptr<qvpdf::PDFDocument> templateDocument = templateDocumentOf(settings, contexts.ofThisThread(), error);
    if (!templateDocument) return false;

    Run run{settings.templateBytes,
            *folder,
            mode,
            settings.filenamePattern,
            mapping,
            allFields,
            *table,
            table->header(),
            std::nullopt,
            {},
            count,
            outputs,
            error};
    // Contiguous ranges, so that the shares of a combined merge join in record order.
    const uint64_t records = table->rowCount() - 1;
    run.first = records * (shard.index - 1) / shard.count + 1;
    run.last = records * shard.index / shard.count;
    if (settings.records) {
        for (const QVRecordRange& range : *settings.records) {
            if (range.first < 1 || range.first > range.last || range.last > records)
                return QVFail(error,
                              QVFormat(QVText("Ongeldige recordselectie %lu-%lu: het gegevensbestand heeft "
                                              "records 1 tot %lu."),
                                       {static_cast<unsigned long>(range.first), static_cast<unsigned long>(range.last),
                                        static_cast<unsigned long>(records)}));
        }
        for (const QVRecordRange& range : QVNormalizeRecordRanges(*settings.records)) {
            const uint64_t from = std::max(range.first, run.first), to = std::min(range.last, run.last);
            if (from <= to) run.chosen.push_back({from, to});
        }
    } else if (run.first <= run.last) {
        run.chosen.push_back({run.first, run.last});
    }
    run.jobs = std::max(1u, settings.jobs);
    run.stop = settings.stopRequested;
    run.skipExisting = settings.skipExisting;
    run.contexts = &contexts;
    std::vector<std::string> kept;
    std::optional<std::vector<QVField>> templateFields = templateFieldsOf(run, templateDocument.get(), &kept, error);
    if (!templateFields) return false;
    if (plan) *plan = planOf(*templateFields, std::move(kept));
    run.encryptedTemplate = templateDocument->isEncrypted();

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
    const bool checked = firstPass(run, *templateFields);
    if (report) report->skipped = run.skippedNames;
    if (!checked && run.interrupted && report) report->interrupted = true;
    if (!checked) return run.interrupted ? failInterrupted(run, error) : false;
    templateFields.reset();
    templateDocument.reset();
    planWork(run);

    // Phase D: the combined file must not exist yet. A share without records makes none.
    const std::string combinedName = combinedFileName(shard);
    std::shared_ptr<QVCombinedOutput> combined;
    if (mode == QVOutputModeCombined && run.workCount > 0) {
        combined = QVBeginCombined(*folder, error, combinedName);
        if (!combined) return false;
    }

    if (checkOnly) {
        if (planned) *planned = combined ? 1 : mode == QVOutputModeCombined ? 0 : run.workCount;
        return true;
    }

    // Phase E: build and write. A stop leaves what is named and drops the rest, the combined
    // file with it.
    const bool built = secondPass(run, combined.get());
    if (run.interrupted || (built && combined && run.stopRaised())) {
        if (report) report->interrupted = true;
        return failInterrupted(run, error);
    }
    if (!built) return false;

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

bool QVMergeCollect(const QVMergeSettings& settings, uint64_t* count, std::vector<std::string>* outputs, QVError* error,
                    QVFieldPlan* plan, QVMergeReport* report) {
    if (report) *report = QVMergeReport{};
    return mergeRun(settings, nullptr, count, outputs, error, false, nullptr, plan, report);
}

bool QVMergeCollect(const QVMergeSettings& settings, const QVOutputFolder& folder, uint64_t* count,
                    std::vector<std::string>* outputs, QVError* error, QVFieldPlan* plan, QVMergeReport* report) {
    if (report) *report = QVMergeReport{};
    return mergeRun(settings, &folder, count, outputs, error, false, nullptr, plan, report);
}

bool QVMergeCheck(const QVMergeSettings& settings, uint64_t* planned, QVError* error) {
    if (planned) *planned = 0;
    return mergeRun(settings, nullptr, nullptr, nullptr, error, true, planned);
}

bool QVMergeWithSettings(const QVMergeSettings& settings, uint64_t* count, QVError* error,
                         std::vector<std::string>* outputs, QVMergeReport* report) {
    if (settings.logURL) return QVMergeLoggedRun(settings, count, outputs, error, report);
    return QVMergeCollect(settings, count, outputs, error, nullptr, report);
}

std::vector<QVRecordRange> QVNormalizeRecordRanges(std::vector<QVRecordRange> ranges) {
    std::sort(ranges.begin(), ranges.end(),
              [](const QVRecordRange& a, const QVRecordRange& b) { return a.first < b.first; });
    std::vector<QVRecordRange> joined;
    for (const QVRecordRange& range : ranges) {
        if (range.first > range.last) continue;
        if (!joined.empty() && range.first <= joined.back().last + 1)
            joined.back().last = std::max(joined.back().last, range.last);
        else
            joined.push_back(range);
    }
    return joined;
}

std::string QVRecordRangesText(const std::vector<QVRecordRange>& ranges) {
    std::string text;
    for (const QVRecordRange& range : ranges) {
        if (!text.empty()) text += ',';
        text += std::to_string(range.first);
        if (range.last != range.first) text += '-' + std::to_string(range.last);
    }
    return text;
}

bool QVCheckMergeSettings(const QVMergeSettings& settings, uint64_t* planned, QVError* error) {
    return QVMergeCheck(settings, planned, error);
}

std::optional<QVFieldPlan> QVPlanFields(const QVMergeSettings& settings, QVError* error) {
    std::optional<QVRecordTable> table = QVParseDelimitedTextInPlace(settings.dataText, settings.separator, error);
    if (!table) return std::nullopt;
    // Its own context: what it parses ends with the plan.
    qvpdf::PDFContext context;
    std::shared_ptr<qvpdf::PDFDocument> document = templateDocumentOf(settings, context, error);
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
