#include "workflow/Command.h"

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/MappingDialog.h"
#include "dialogs/Preview.h"
#include "dialogs/WatermarkStyle.h"
#include "engine/Engine.h"
#include "localization/Text.h"
#include "output/Pattern.h"
#include "platform/Format.h"
#include "platform/System.h"
#include "platform/dialogs/Alert.h"
#include "platform/dialogs/Backend.h"
#include "platform/dialogs/Controls.h"
#include "workflow/ChooseFile.h"
#include "workflow/MergeEntryPoints.h"
#include "workflow/MergeReport.h"

namespace fs = std::filesystem;

namespace {

constexpr std::array<uint16_t, 3> kSeparators = {QVSeparatorComma, QVSeparatorSemicolon, QVSeparatorTab};
constexpr const char* kDefaultPattern = "merge-{#}";

// A fresh alert with only a message, an optional informative text and the default button.
void showError(const std::string& message, const std::string& informative = {}) {
    qvui::Alert alert;
    alert.setMessageText(message);
    alert.setInformativeText(informative);
    alert.runModal();
}

std::vector<std::string> columnNames(const QVRecordTable& table) {
    std::vector<std::string> names;
    for (std::string_view name : table.header()) names.emplace_back(name);
    return names;
}

struct DataChoice {
    uint16_t separator = QVSeparatorComma;
    QVRecordTable table;  // views into the data text, which outlives it
};

// Asks for the separator until the text parses and the user accepts the result. The dialog is
// built once, so each new showing keeps the item chosen last.
std::optional<DataChoice> chooseSeparator(const std::string& dataText) {
    qvui::Alert dialog;
    dialog.setMessageText(QVText("Kies het scheidingsteken"));
    dialog.setInformativeText(QVText("Kies het teken dat de kolommen in je gegevensbestand scheidt."));
    auto popup = std::make_shared<qvui::PopUpButton>(qvui::Rect{0, 0, 240, 26}, false);
    popup->addItemsWithTitles({QVText("Komma (,)"), QVText("Puntkomma (;)"), QVText("Tab")});
    popup->selectItemAtIndex(0);
    dialog.setAccessoryView(popup);
    dialog.addButtonWithTitle(QVText("Verder"));
    dialog.addButtonWithTitle(QVText("Annuleren"));

    for (;;) {
        if (dialog.runModal() != qvui::kAlertFirstButtonReturn) return std::nullopt;
        int index = popup->indexOfSelectedItem();
        if (index < 0 || index > 2) {
            showError(QVText("Ongeldig scheidingsteken."));
            return std::nullopt;
        }
        uint16_t separator = kSeparators[static_cast<size_t>(index)];

        QVError error;
        std::optional<QVRecordTable> table = QVParseDelimitedTextInPlace(dataText, separator, &error);
        if (!table) {
            qvui::Alert failed;
            failed.setMessageText(QVText("Gegevens inlezen mislukt"));
            failed.setInformativeText(error.localizedDescription());
            failed.addButtonWithTitle(QVText("Ander scheidingsteken"));
            failed.addButtonWithTitle(QVText("Annuleren"));
            if (failed.runModal() == qvui::kAlertFirstButtonReturn) continue;
            return std::nullopt;
        }
        if (table->columnCount() == 1 && QVHasAlternativeMultiColumnParse(dataText, separator)) {
            qvui::Alert warning;
            warning.setAlertStyle(qvui::AlertStyle::warning);
            warning.setMessageText(QVText("Mogelijk verkeerd scheidingsteken"));
            warning.setInformativeText(
                QVText("Met de gekozen instelling is één kolom gevonden, maar een ander scheidingsteken levert "
                       "meerdere kolommen op. Controleer het bestand: één kolom kan ook juist zijn."));
            warning.addButtonWithTitle(QVText("Ander scheidingsteken"));
            warning.addButtonWithTitle(QVText("Toch doorgaan"));
            warning.addButtonWithTitle(QVText("Annuleren"));
            int answer = warning.runModal();
            if (answer == qvui::kAlertFirstButtonReturn) continue;
            if (answer != qvui::kAlertSecondButtonReturn) return std::nullopt;
        }
        return DataChoice{separator, std::move(*table)};
    }
}

std::optional<QVOutputMode> chooseOutputMode() {
    qvui::Alert alert;
    alert.setMessageText(QVText("Hoe wil je de PDF's opslaan?"));
    alert.setInformativeText(
        QVText("De gecombineerde PDF maakt alle annotaties en formuliervelden definitief en niet meer bewerkbaar."));
    alert.addButtonWithTitle(QVText("Losse PDF's"));
    alert.addButtonWithTitle(QVText("Eén PDF"));
    alert.addButtonWithTitle(QVText("Annuleren"));
    switch (alert.runModal()) {
    case qvui::kAlertFirstButtonReturn: return QVOutputModeSeparate;
    case qvui::kAlertSecondButtonReturn: return QVOutputModeCombined;
    default: return std::nullopt;
    }
}

// An alert with one editable field of `width`; the field's text exactly as typed, or nothing.
std::optional<std::string> askText(const std::string& message, const std::string& informative, double width,
                                   const std::string& initial) {
    qvui::Alert alert;
    alert.setMessageText(message);
    alert.setInformativeText(informative);
    auto field = std::make_shared<qvui::TextField>(qvui::Rect{0, 0, width, 24});
    field->setStringValue(initial);
    alert.setAccessoryView(field);
    alert.addButtonWithTitle(QVText("Verder"));
    alert.addButtonWithTitle(QVText("Annuleren"));
    if (alert.runModal() != qvui::kAlertFirstButtonReturn) return std::nullopt;
    return field->stringValue();
}

// The file-name pattern, asked until it names only columns the data has. The check is the
// merge's own expansion, tried on the first record: a pattern it refuses would stop every
// merge, so it is said at once, with the columns there are, and the same dialog comes back
// with the text as typed. Problems that depend on a record's values are left to the merge.
std::optional<std::string> choosePattern(const QVRecordTable& table) {
    qvui::Alert alert;
    alert.setMessageText(QVText("Kies het patroon voor bestandsnamen"));
    alert.setInformativeText(
        QVText("Gebruik {#} voor het volgnummer of een CSV-kolom tussen accolades, bijvoorbeeld "
               "Factuur-{Klant}-{#}. De extensie .pdf wordt automatisch toegevoegd."));
    auto field = std::make_shared<qvui::TextField>(qvui::Rect{0, 0, 350, 24});
    field->setStringValue(kDefaultPattern);
    alert.setAccessoryView(field);
    alert.addButtonWithTitle(QVText("Verder"));
    alert.addButtonWithTitle(QVText("Annuleren"));

    std::vector<std::string_view> header = table.header();
    std::vector<std::string_view> first = table.row(1);
    for (;;) {
        if (alert.runModal() != qvui::kAlertFirstButtonReturn) return std::nullopt;
        std::string pattern = field->stringValue();
        QVError error;
        if (QVExpandPattern(pattern, header, first, 1, 0, &error)) return pattern;
        std::string columns;
        for (std::string_view name : header) columns += (columns.empty() ? "" : ", ") + std::string(name);
        showError(error.localizedDescription(), QVFormat(QVText("Kolommen in het gegevensbestand: %@"), {columns}));
    }
}

struct WatermarkChoice {
    std::optional<std::string> column;
    std::optional<std::string> pattern;
};

std::optional<WatermarkChoice> chooseWatermark(const std::vector<std::string>& columns) {
    qvui::Alert alert;
    alert.setMessageText(QVText("Optioneel watermerk"));
    alert.setInformativeText(
        QVText("Kies een CSV-kolom of eigen tekst voor onderaan elke pagina. Bij losse PDF's "
               "blijft dit een verwijderbare annotatie."));
    auto popup = std::make_shared<qvui::PopUpButton>(qvui::Rect{0, 0, 360, 26}, false);
    // Separate items: a column named like one of the fixed entries keeps its own place.
    popup->menu().addItem(qvui::MenuItem(QVText("Geen watermerk"), ""));
    for (const std::string& column : columns) popup->menu().addItem(qvui::MenuItem(column, ""));
    popup->menu().addItem(qvui::MenuItem(QVText("Eigen tekst..."), ""));
    popup->selectItemAtIndex(0);
    alert.setAccessoryView(popup);
    alert.addButtonWithTitle(QVText("Verder"));
    alert.addButtonWithTitle(QVText("Annuleren"));
    if (alert.runModal() != qvui::kAlertFirstButtonReturn) return std::nullopt;

    long n = static_cast<long>(columns.size());
    long i = popup->indexOfSelectedItem();
    if (i < 0 || i > n + 1) {
        showError(QVText("De gekozen watermerkkolom bestaat niet."));
        return std::nullopt;
    }
    if (i == 0) return WatermarkChoice{};
    if (i <= n) return WatermarkChoice{columns[static_cast<size_t>(i - 1)], std::nullopt};

    auto pattern = askText(QVText("Tekst voor watermerk"),
                           QVText("Typ tekst en gebruik eventueel {Kolomnaam} voor CSV-waarden en {#} voor het "
                                  "volgnummer."),
                           360, "");
    if (!pattern) return std::nullopt;
    return WatermarkChoice{std::nullopt, std::move(pattern)};
}

// Whether to keep a processing log; nothing when the user stops.
std::optional<bool> chooseLog() {
    qvui::Alert alert;
    alert.setMessageText(QVText("Verwerkingslogboek bewaren?"));
    alert.setInformativeText(
        QVText("Het logboek bevat bestandspaden, uitvoernamen, instellingen en eventuele "
               "foutmeldingen. Deze kunnen persoonlijke gegevens bevatten."));
    alert.addButtonWithTitle(QVText("Zonder logboek"));
    alert.addButtonWithTitle(QVText("Met logboek"));
    alert.addButtonWithTitle(QVText("Annuleren"));
    switch (alert.runModal()) {
    case qvui::kAlertFirstButtonReturn: return false;
    case qvui::kAlertSecondButtonReturn: return true;
    default: return std::nullopt;
    }
}

void runCommand() {
    std::optional<fs::path> templateURL =
        chooseFile(QVText("Kies een PDF-formulier"), std::vector<std::string>{"pdf"}, false);
    if (!templateURL) return;
    std::optional<fs::path> dataURL =
        chooseFile(QVText("Kies een UTF-8 CSV- of tekstbestand"), std::vector<std::string>{"csv", "tsv", "txt"}, false);
    if (!dataURL) return;

    QVError error;
    std::optional<std::string> dataText = QVReadDataFile(*dataURL, &error);
    if (!dataText) return showError(QVText("Samenvoegen mislukt"), error.localizedDescription());

    std::optional<DataChoice> data = chooseSeparator(*dataText);
    if (!data) return;
    if (!showPreview(data->table)) return;

    // Read only now, so that a broken PDF is reported after the data steps.
    error = QVError{};
    std::optional<std::string> templateBytes = QVReadTemplate(*templateURL, &error);
    std::optional<std::vector<std::string>> fields;
    if (templateBytes) fields = QVTemplateFieldNames(*templateBytes, &error);
    if (!fields) return showError(QVText("Samenvoegen mislukt"), error.localizedDescription());

    std::vector<std::string> columns = columnNames(data->table);
    std::optional<QVFieldMapping> mapping = chooseMapping(*fields, columns);
    if (!mapping) return;

    std::optional<QVOutputMode> mode = chooseOutputMode();
    if (!mode) return;

    std::string pattern = kDefaultPattern;
    if (*mode == QVOutputModeSeparate) {
        auto typed = choosePattern(data->table);
        if (!typed) return;
        pattern = std::move(*typed);
    }

    std::optional<WatermarkChoice> watermark = chooseWatermark(columns);
    if (!watermark) return;
    QVWatermarkStyle style = QVDefaultWatermarkStyle;
    if ((watermark->column || watermark->pattern) && !chooseWatermarkStyle(style)) return;

    std::optional<bool> keepLog = chooseLog();
    if (!keepLog) return;
    std::optional<fs::path> outputFolder = chooseFile(QVText("Kies een uitvoermap"), std::nullopt, true);
    if (!outputFolder) return;
    std::optional<fs::path> logURL;
    if (*keepLog) logURL = *outputFolder / QVFormat("quorvel-log-%@.json", {QVNewUUIDString()});

    uint64_t written = 0;
    error = QVError{};
    const qvworkflow::MergeEntryPoints& engine = qvworkflow::mergeEntryPoints();
    // The merge runs here, on the dialogs' thread; the backend shows how far it has come (and
    // a desktop keeps its windows drawn) until the report.
    bool succeeded = false;
    {
        qvui::ProgressDisplay progress(QVText("PDF-bestanden maken..."));
        QVSetMergeProgressHandler([&progress](uint64_t done, uint64_t total) { progress.update(done, total); });
        succeeded = logURL ? engine.loggedWithPattern(*templateBytes, *dataText, *templateURL, *dataURL, *outputFolder,
                                                      *logURL, *mode, pattern, data->separator, *mapping,
                                                      watermark->column, watermark->pattern, style, &written, &error)
                           : engine.withWatermarkPattern(*templateBytes, *dataText, *outputFolder, *mode, pattern,
                                                         data->separator, &*mapping, watermark->column,
                                                         watermark->pattern, style, &written, &error);
        QVSetMergeProgressHandler({});
    }
    showMergeReport(succeeded, written, error, logURL);
}

}  // namespace

void QVCommand(void* /*clientData*/) { runCommand(); }
