#include "Merge.h"

#include <optional>
#include <ostream>
#include <set>
#include <string_view>

#include "Choices.h"
#include "DryRun.h"
#include "Progress.h"
#include "TerminalText.h"
#include "engine/Engine.h"
#include "localization/Text.h"
#include "platform/Format.h"
#include "platform/System.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsageError = 2;

// Messages may quote values from the data file; each line is made safe for a terminal, the
// line breaks of the message itself stay.
std::string terminalLines(std::string_view text) {
    std::string out;
    size_t start = 0;
    while (true) {
        size_t end = text.find('\n', start);
        out += QVEscapeForTerminal(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) break;
        out += '\n';
        start = end + 1;
    }
    return out;
}

std::string logLine(const std::optional<std::filesystem::path>& logURL) {
    if (!logURL) return "";
    return QVFormat("\n%@", {QVFormat(QVText("Logboeklocatie: %@"), {logURL->string()})});
}

int reportFailure(std::ostream& err, const std::string& message, uint64_t count,
                  const std::optional<std::filesystem::path>& logURL = std::nullopt) {
    err << terminalLines(QVFormat(QVText("%@\n%lu PDF-bestanden zijn al gemaakt."),
                                  {message, static_cast<unsigned long>(count)}) +
                         logLine(logURL))
        << '\n';
    return kFailed;
}

int usageError(std::ostream& err, const std::string& message) {
    err << QVEscapeForTerminal(message) << '\n';
    return kUsageError;
}

// The field names of --map entries, each split at its first "=".
struct MapEntry {
    std::string field;
    std::string column;
};

std::optional<MapEntry> splitMapEntry(const std::string& entry) {
    size_t equals = entry.find('=');
    if (equals == std::string::npos || equals == 0) return std::nullopt;
    return MapEntry{entry.substr(0, equals), entry.substr(equals + 1)};
}

// Every field reads the column of its own name unless a --map entry says otherwise. Answers
// the usage error's message when an entry names no field of the template or a field twice.
std::optional<std::string> buildMapping(const std::vector<std::string>& fieldNames,
                                        const std::vector<std::string>& entries, QVFieldMapping& mapping) {
    for (const std::string& name : fieldNames) mapping[name] = name;
    std::set<std::string> mapped;
    for (const std::string& text : entries) {
        MapEntry entry = *splitMapEntry(text);  // the option's own check refused malformed entries
        if (!mapping.count(entry.field))
            return QVFormat(QVText("Het PDF-formulier heeft geen veld '%@'."), {entry.field});
        if (!mapped.insert(entry.field).second)
            return QVFormat(QVText("Veld '%@' is meer dan één keer gekoppeld."), {entry.field});
        mapping[entry.field] = entry.column;
    }
    return std::nullopt;
}

// The log records where things are; a path relative to some earlier working folder says little.
std::filesystem::path absolutePath(const std::string& path) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? std::filesystem::path(path) : absolute;
}

int runDry(const QVMergeRequest& request, std::ostream& out, std::ostream& err) {
    std::error_code ec;
    // The run itself would only fail at the first file; a check should say so at once.
    if (!std::filesystem::is_directory(request.outputFolder, ec)) {
        return reportFailure(err, QVFormat(QVText("De uitvoermap '%@' bestaat niet of is geen map."),
                                           {request.outputFolder.string()}),
                             0);
    }
    QVError error;
    std::optional<uint64_t> planned = QVCheckMerge(request, &error);
    if (!planned) return reportFailure(err, error.message, 0);
    out << QVFormat(QVText("Controle geslaagd: %lu PDF-bestanden zouden worden gemaakt. Er is niets geschreven."),
                    {static_cast<unsigned long>(*planned)})
        << '\n';
    return 0;
}

}  // namespace

CLI::App* QVAddMergeCommand(CLI::App& app, QVMergeOptions& options) {
    CLI::App* command = app.add_subcommand(
        "merge", QVText("Vult het PDF-formulier voor elk record van het gegevensbestand en schrijft nieuwe "
                        "PDF-bestanden."));
    command->add_option("--template", options.templatePath, QVText("Het PDF-formulier, bijvoorbeeld factuur.pdf"))
        ->required();
    command
        ->add_option("--data", options.dataPath,
                     QVText("Het gegevensbestand (UTF-8-tekst met een kopregel), bijvoorbeeld klanten.csv"))
        ->required();
    command
        ->add_option("--output", options.outputPath,
                     QVText("De bestaande map voor de nieuwe bestanden, bijvoorbeeld uitvoer"))
        ->required();
    command
        ->add_option("--mode", options.mode,
                     QVText("separate: één PDF per record; combined: één PDF 'merge-gecombineerd.pdf' met alle "
                            "records, niet meer bewerkbaar. Bijvoorbeeld combined"))
        ->check(CLI::IsMember(QVChoiceNames(QVOutputModesByName())))
        ->capture_default_str();
    command
        ->add_option("--pattern", options.pattern,
                     QVText("Patroon voor de bestandsnamen van losse PDF's: {#} is het volgnummer, {Kolom} een "
                            "CSV-waarde; .pdf wordt toegevoegd. Bijvoorbeeld Factuur-{Klant}-{#}"))
        ->capture_default_str();
    command
        ->add_option("--separator", options.separator,
                     QVText("Het scheidingsteken tussen de kolommen, bijvoorbeeld semicolon"))
        ->check(CLI::IsMember(QVChoiceNames(QVSeparatorsByName())))
        ->capture_default_str();
    command
        ->add_option("--map", options.maps,
                     QVText("Vult een PDF-veld uit een CSV-kolom, bijvoorbeeld Naam=Klantnaam; herhaalbaar. Zonder "
                            "koppeling leest elk veld de kolom met zijn eigen naam."))
        ->check(
            [](const std::string& entry) -> std::string {
                if (splitMapEntry(entry)) return "";
                return QVFormat(QVText("Ongeldige koppeling '%@'. Gebruik VELD=KOLOM."), {QVEscapeForTerminal(entry)});
            },
            "VELD=KOLOM");
    CLI::Option* column = command->add_option_function<std::string>(
        "--watermark-column", [&options](const std::string& value) { options.watermarkColumn = value; },
        QVText("Watermerk met de waarde uit deze CSV-kolom, bijvoorbeeld Klant"));
    CLI::Option* pattern = command->add_option_function<std::string>(
        "--watermark-pattern", [&options](const std::string& value) { options.watermarkPattern = value; },
        QVText("Watermerk uit dit patroon, bijvoorbeeld 'Kopie voor {Naam}'"));
    column->excludes(pattern);
    command
        ->add_option("--watermark-position", options.watermarkPosition,
                     QVText("Plaats van het watermerk op elke pagina, bijvoorbeeld top"))
        ->check(CLI::IsMember(QVChoiceNames(QVWatermarkPositionsByName())))
        ->capture_default_str();
    command
        ->add_option("--watermark-size", options.watermarkSize,
                     QVText("Tekstgrootte van het watermerk in punten, van 8 tot 48, bijvoorbeeld 14"))
        ->capture_default_str();
    command
        ->add_option("--watermark-gray", options.watermarkGray,
                     QVText("Grijswaarde van het watermerk, van 0 (zwart) tot 1 (wit), bijvoorbeeld 0.5"))
        ->capture_default_str();
    command->add_flag("--log", options.log,
                      QVText("Bewaart een verwerkingslogboek (JSON) in de uitvoermap en toont waar. Het logboek kan "
                             "persoonlijke gegevens bevatten."));
    command->add_flag("--dry-run", options.dryRun,
                      QVText("Controleert alle records, bestandsnamen en bestaande bestanden zonder iets te "
                             "schrijven"));
    command->add_flag("--quiet", options.quiet, QVText("Toont geen voortgangsbalk"));
    command->footer(QVText("Voorbeeld:\n  quorvel merge --template factuur.pdf --data klanten.csv --output uitvoer "
                           "--pattern 'Factuur-{Klant}-{#}' --map Naam=Klantnaam --watermark-column Klant --log"));
    return command;
}

int QVRunMerge(const QVMergeOptions& options, std::ostream& out, std::ostream& err) {
    const auto separator = QVSeparatorsByName().find(options.separator);
    if (separator == QVSeparatorsByName().end()) return usageError(err, QVText("Ongeldig scheidingsteken."));
    const auto mode = QVOutputModesByName().find(options.mode);
    if (mode == QVOutputModesByName().end()) return usageError(err, QVText("Onbekende uitvoermodus."));
    const auto position = QVWatermarkPositionsByName().find(options.watermarkPosition);
    if (position == QVWatermarkPositionsByName().end())
        return usageError(err, QVText("Ongeldige positie voor het watermerk."));

    // The data file first, then the template: the order in which the engine reads them too.
    QVError error;
    std::optional<std::string> text = QVReadDataFile(options.dataPath, &error);
    if (!text) return reportFailure(err, error.message, 0);
    std::optional<std::string> bytes = QVReadTemplate(options.templatePath, &error);
    if (!bytes) return reportFailure(err, error.message, 0);
    std::optional<std::vector<std::string>> fieldNames = QVTemplateFieldNames(*bytes, &error);
    if (!fieldNames) return reportFailure(err, error.message, 0);

    QVFieldMapping mapping;
    if (std::optional<std::string> problem = buildMapping(*fieldNames, options.maps, mapping))
        return usageError(err, *problem);

    QVMergeRequest request;
    request.templateBytes = *bytes;
    request.dataText = *text;
    request.outputFolder = absolutePath(options.outputPath);
    request.mode = static_cast<QVOutputMode>(mode->second);
    request.filenamePattern = options.pattern;
    request.separator = separator->second;
    request.mapping = &mapping;
    request.watermarkColumn = options.watermarkColumn;
    request.watermarkPattern = options.watermarkPattern;
    request.style = {position->second, options.watermarkSize, options.watermarkGray};
    if (options.dryRun) return runDry(request, out, err);

    std::optional<std::filesystem::path> logURL;
    if (options.log) logURL = request.outputFolder / QVFormat("quorvel-log-%@.json", {QVNewUUIDString()});

    uint64_t count = 0;
    bool merged = false;
    {
        std::optional<QVProgressBar> progress;
        if (!options.quiet && QVStandardErrorIsTerminal()) progress.emplace(err);
        if (logURL) {
            merged = QVMergeLoggedWithPattern(request.templateBytes, request.dataText,
                                              absolutePath(options.templatePath), absolutePath(options.dataPath), request.outputFolder, *logURL, request.mode,
                                              request.filenamePattern, request.separator, mapping,
                                              request.watermarkColumn, request.watermarkPattern, request.style,
                                              &count, &error);
        } else {
            merged = QVMergeWithWatermarkPattern(request.templateBytes, request.dataText, request.outputFolder,
                                                 request.mode, request.filenamePattern, request.separator, &mapping,
                                                 request.watermarkColumn, request.watermarkPattern, request.style,
                                                 &count, &error);
        }
    }
    if (!merged) return reportFailure(err, error.message, count, logURL);

    out << terminalLines(QVFormat(QVText("%lu PDF-bestanden gemaakt."), {static_cast<unsigned long>(count)}) +
                         logLine(logURL))
        << '\n';
    out.flush();
    if (!out) {
        err << QVText("Schrijven naar de standaarduitvoer mislukt.") << '\n';
        return kFailed;
    }
    return 0;
}
