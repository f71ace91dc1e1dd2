#include "MergeCommand.h"

#include <CLI/CLI.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <string_view>
#include <vector>

#include "Choices.h"
#include "DryRun.h"
#include "FieldKinds.h"
#include "Hints.h"
#include "InputFiles.h"
#include "Interrupt.h"
#include "ProgressBar.h"
#include "Records.h"
#include "Shard.h"
#include "Suggest.h"
#include "Usage.h"
#include "engine/Engine.h"
#include "localization/Text.h"
#include "platform/Format.h"
#include "platform/System.h"
#include "platform/Unicode.h"

namespace {

constexpr int kFailed = 1;
// What a shell reports for a process that Ctrl-C ended; a stop by SIGTERM exits the same way,
// so that scripts see one status for a merge stopped on request.
constexpr int kInterrupted = 130;

std::string logLine(const std::optional<std::filesystem::path>& logURL) {
    // A log that could not even be created has no location to show.
    std::error_code ec;
    if (!logURL || !std::filesystem::exists(std::filesystem::symlink_status(*logURL, ec))) return "";
    return QVFormat("\n%@", {QVFormat(QVText("Logboeklocatie: %@"), {logURL->string()})});
}

// Counts of files in the grammatical number the language in force wants for them.
std::string filesMade(uint64_t count) {
    const unsigned long n = static_cast<unsigned long>(count);
    if (QVIsSingularCount(count)) return QVFormat(QVText("%lu PDF-bestand gemaakt."), {n});
    return QVFormat(QVText("%lu PDF-bestanden gemaakt."), {n});
}

std::string filesSkipped(uint64_t count) {
    const unsigned long n = static_cast<unsigned long>(count);
    if (QVIsSingularCount(count)) return QVFormat(QVText("%lu bestaand bestand overgeslagen."), {n});
    return QVFormat(QVText("%lu bestaande bestanden overgeslagen."), {n});
}

int reportFailure(std::ostream& err, const std::string& message, uint64_t count,
                  const std::optional<std::filesystem::path>& logURL = std::nullopt) {
    const unsigned long n = static_cast<unsigned long>(count);
    const std::string made = QVIsSingularCount(count)
                                 ? QVFormat(QVText("%@\n%lu PDF-bestand is al gemaakt."), {message, n})
                                 : QVFormat(QVText("%@\n%lu PDF-bestanden zijn al gemaakt."), {message, n});
    err << QVEscapeLinesForTerminal(made + logLine(logURL)) << '\n';
    return kFailed;
}

int usageError(std::ostream& err, const std::string& message) {
    err << QVEscapeForTerminal(message) << '\n';
    return kUsageErrorStatus;
}

// A check of a number option against its range, so that a value out of range is a usage error
// that names the range, whether or not the option plays a part in this merge.
CLI::Validator inRange(double low, double high, std::string message) {
    return CLI::Validator(
        [low, high, message](std::string& text) -> std::string {
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            if (end == text.c_str() || *end != '\0' || !(value >= low && value <= high)) return message;
            return "";
        },
        "");
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

// With --all-fields, only the user's own --map entries: a field without one reads the column of
// its name when there is one and keeps the template's value otherwise.
std::optional<std::string> buildExplicitMapping(const std::vector<std::string>& fieldNames,
                                                const std::vector<std::string>& entries, QVFieldMapping& mapping) {
    QVFieldMapping all;
    if (std::optional<std::string> problem = buildMapping(fieldNames, entries, all)) return problem;
    for (const std::string& text : entries) {
        MapEntry entry = *splitMapEntry(text);
        mapping[entry.field] = entry.column;
    }
    return std::nullopt;
}

// Before a merge of every kind of field: how many fields it fills and how many keep the
// template's value, and with --verbose which.
bool tellFieldPlan(const QVMergeSettings& settings, const QVMergeOptions& options, std::ostream& err, QVError* error) {
    std::optional<QVFieldPlan> plan = QVPlanFields(settings, error);
    if (!plan) return false;
    if (options.quiet) return true;
    err << QVFormat(QVText("%lu velden worden ingevuld, %lu houden de waarde uit het sjabloon."),
                    {static_cast<unsigned long>(plan->filled.size()), static_cast<unsigned long>(plan->kept.size())})
        << '\n';
    if (options.verbose) {
        for (const std::string& name : plan->kept)
            err << QVEscapeForTerminal(QVFormat(QVText("Houdt de waarde uit het sjabloon: %@"), {name})) << '\n';
    }
    return true;
}

// The output folder as the merge finds it: there already (a link to a folder counts), or
// missing with a folder above it where it can be made. Makes it when `make` is set; a dry run
// only checks that it could. The message says what stands in the way.
enum class FolderState { Present, Made, WouldBeMade };

std::optional<FolderState> prepareOutputFolder(const std::filesystem::path& folder, bool make, QVError* error) {
    const std::string shown = folder.string();
    struct stat info {};
    if (lstat(folder.c_str(), &info) == 0) {
        if (S_ISLNK(info.st_mode) && stat(folder.c_str(), &info) != 0) {
            QVFail(error,
                   QVFormat(QVText("De uitvoermap '%@' is een verwijzing naar iets dat niet bestaat."), {shown}));
            return std::nullopt;
        }
        if (S_ISDIR(info.st_mode)) return FolderState::Present;
        QVFail(error, QVFormat(QVText("De uitvoermap '%@' bestaat niet of is geen map."), {shown}));
        return std::nullopt;
    }
    int number = errno;
    if (number == ENOENT) {
        // Only the folder itself, never the folders above it: a typo in a parent should show.
        if (make) {
            if (mkdir(folder.c_str(), 0777) == 0) return FolderState::Made;
            number = errno;
            // Shares of one merge started at once make the folder together; one of them wins.
            struct stat made {};
            if (number == EEXIST && stat(folder.c_str(), &made) == 0 && S_ISDIR(made.st_mode))
                return FolderState::Present;
        } else {
            const std::filesystem::path parent = folder.parent_path();
            struct stat above {};
            if (stat(parent.c_str(), &above) != 0)
                number = errno;
            else if (!S_ISDIR(above.st_mode))
                number = ENOTDIR;
            else if (access(parent.c_str(), W_OK | X_OK) != 0)
                number = errno;
            else
                return FolderState::WouldBeMade;
        }
    }
    const std::string reason = QVStrError(number);
    QVFail(error, QVFormat(QVText("De uitvoermap '%@' aanmaken mislukt: %s"), {shown, reason.c_str()}));
    return std::nullopt;
}

// `fail` reports a failure with the lines that help with it.
int runDry(const QVMergeSettings& settings, std::ostream& out, const std::function<int(const std::string&)>& fail) {
    // The run itself would only fail at the first file; a check should say so at once.
    if (QVError problem; !prepareOutputFolder(settings.outputFolder, false, &problem)) return fail(problem.message);
    QVError error;
    std::optional<uint64_t> planned = QVCheckMerge(settings, &error);
    if (!planned) return fail(error.message);
    // A folder that is there must also take new files; one still to be made was checked above.
    std::error_code ec;
    if (*planned > 0 && std::filesystem::is_directory(settings.outputFolder, ec) &&
        !QVCheckFolderWritable(settings, &error))
        return fail(error.message);
    const unsigned long n = static_cast<unsigned long>(*planned);
    out << (QVIsSingularCount(*planned)
                ? QVFormat(QVText("Controle geslaagd: %lu PDF-bestand zou worden gemaakt. Er is niets geschreven."),
                           {n})
                : QVFormat(
                      QVText("Controle geslaagd: %lu PDF-bestanden zouden worden gemaakt. Er is niets geschreven."),
                      {n}))
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
                     QVText("De map voor de nieuwe bestanden, bijvoorbeeld uitvoer; een map die nog niet bestaat wordt "
                            "aangemaakt (de mappen erboven niet)"))
        ->required()
        ->check(
            [](const std::string& folder) -> std::string {
                // An empty name would quietly mean the current folder.
                return folder.empty() ? QVText("Geef een map op; een lege naam is geen map.") : std::string();
            },
            "");
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
    QVAddSeparatorOption(*command, options.separator);
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
    command->add_option("--map-file", options.mapFile,
                        QVText("Leest koppelingen uit een bestand: regels VELD=KOLOM, of een CSV met de kolommen veld "
                               "en kolom. Bijvoorbeeld koppeling.txt"));
    QVAddEncodingOption(*command, options.encoding);
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
        ->check(inRange(8, 48, QVText("Een getal van 8 tot 48 (punten), bijvoorbeeld 14.")))
        ->capture_default_str();
    command
        ->add_option("--watermark-gray", options.watermarkGray,
                     QVText("Grijswaarde van het watermerk, van 0 (zwart) tot 1 (wit), bijvoorbeeld 0.5"))
        ->check(inRange(0, 1, QVText("Een getal van 0 (zwart) tot 1 (wit), bijvoorbeeld 0.5.")))
        ->capture_default_str();
    command->add_flag("--log", options.log,
                      QVText("Bewaart een verwerkingslogboek (JSON) in de uitvoermap en toont waar. Het logboek kan "
                             "persoonlijke gegevens bevatten."));
    command->add_flag("--dry-run", options.dryRun,
                      QVText("Controleert alle records, bestandsnamen en bestaande bestanden zonder iets te "
                             "schrijven"));
    command->add_flag("--quiet", options.quiet,
                      QVText("Toont niets als het lukt: geen voortgangsbalk en geen samenvatting"));
    command->add_flag("--all-fields", options.allFields,
                      QVText("Vult ook selectievakjes, keuzerondjes en keuzelijsten, laat knoppen, handtekeningen en "
                             "alleen-lezen velden zoals ze zijn, laat velden zonder CSV-kolom hun waarde uit het "
                             "sjabloon houden en accepteert sjablonen die zonder wachtwoord openen"));
    command->add_flag("--verbose", options.verbose,
                      QVText("Met --all-fields: noemt ook de velden die hun waarde uit het sjabloon houden"));
    command
        ->add_option("--jobs", options.jobs,
                     QVText("Aantal threads dat de losse PDF's maakt; standaard zoveel als er processors zijn. De "
                            "uitvoer is dezelfde als met 1. Bijvoorbeeld 4"))
        ->check(
            [](const std::string& text) -> std::string {
                const std::string problem = QVText("Een geheel getal van 1 tot 1024, bijvoorbeeld 4.");
                if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
                    return problem;
                const unsigned long value = std::strtoul(text.c_str(), nullptr, 10);
                return value >= 1 && value <= 1024 ? std::string() : problem;
            },
            "N");
    command->add_option_function<std::string>(
        "--shard", [&options](const std::string& value) { options.shard = value; },
        QVText("Verwerkt alleen deel K van N van de records (aaneengesloten, in volgorde), voor een merge over "
               "meerdere machines; auto leest het deel uit SLURM_ARRAY_TASK_ID/SLURM_ARRAY_TASK_COUNT of "
               "JOB_COMPLETION_INDEX/QV_SHARD_COUNT. Bijvoorbeeld 3/16"));
    command->add_option_function<std::string>(
        "--records", [&options](const std::string& value) { options.records = value; },
        QVText("Maakt alleen de bestanden van deze records (vanaf 1, zonder de kopregel); alle records worden wel "
               "gecontroleerd. Bijvoorbeeld 3-5,12"));
    command->add_flag("--skip-existing", options.skipExisting,
                      QVText("Slaat records over waarvan het bestand al bestaat (alleen bij losse PDF's), om een "
                             "onderbroken merge af te maken: herhaal dezelfde opdracht met --skip-existing"));
    command->footer(
        QVText("Voorbeeld:\n  quorvel merge --template factuur.pdf --data klanten.csv --output uitvoer "
               "--pattern 'Factuur-{Klant}-{#}' --map Naam=Klantnaam --watermark-column Klant --log"));
    return command;
}

int QVRunMerge(const QVMergeOptions& options, std::ostream& out, std::ostream& err) {
    if (!QVSeparatorFor(options.separator, {})) return usageError(err, QVText("Ongeldig scheidingsteken."));
    const auto mode = QVOutputModesByName().find(options.mode);
    if (mode == QVOutputModesByName().end()) return usageError(err, QVText("Onbekende uitvoermodus."));
    const auto position = QVWatermarkPositionsByName().find(options.watermarkPosition);
    if (position == QVWatermarkPositionsByName().end())
        return usageError(err, QVText("Ongeldige positie voor het watermerk."));
    QVShard shard;
    if (options.shard) {
        QVError problem;
        std::optional<QVShard> chosen = QVShardFromArgument(
            *options.shard, [](const char* name) { return std::getenv(name); }, &problem);
        if (!chosen) return usageError(err, problem.message);
        shard = *chosen;
    }
    std::optional<std::vector<QVRecordRange>> records;
    if (options.records) {
        QVError problem;
        records = QVRecordsFromArgument(*options.records, &problem);
        if (!records) return usageError(err, problem.message);
    }
    if (options.skipExisting && mode->second == QVOutputModeCombined)
        return usageError(err, QVText("--skip-existing werkt alleen met --mode separate: het gecombineerde bestand "
                                      "ontstaat in zijn geheel of niet."));

    // The data file first, then the template: the order in which the engine reads them too.
    QVError error;
    // Mapped, not copied: a large file then costs its size once, however it is used.
    std::optional<QVDataFileText> data = QVReadDataFileIn(options.dataPath, options.encoding, &error);
    if (!data) return reportFailure(err, error.message, 0);
    const std::string_view text = data->text();
    bool guessed = false;
    const uint16_t separator = *QVSeparatorFor(options.separator, text, &guessed);
    if (guessed && separator != QVSeparatorComma && !options.quiet)
        err << QVFormat(QVText("Gekozen scheidingsteken: %@ (kies zelf met --separator)."),
                        {QVSeparatorName(separator)})
            << '\n';
    if (records) {
        // Numbers beyond the data are a mistake in the arguments; data that does not parse is
        // left to the merge, which says why.
        if (std::optional<QVRecordTable> table = QVParseDelimitedTextInPlace(text, separator)) {
            if (QVError problem; !QVRecordsExist(*records, table->rowCount() - 1, &problem))
                return usageError(err, problem.message);
        }
    }
    // A failure of a file whose separator looks wrong says which one would read it.
    const std::vector<std::string>* knownFields = nullptr;
    const QVFieldMapping* knownMapping = nullptr;
    const std::string* knownTemplate = nullptr;
    auto failed = [&](const std::string& message, uint64_t count,
                      const std::optional<std::filesystem::path>& logURL = std::nullopt) {
        std::string lines = message;
        for (const std::string& hint :
             {knownFields ? QVMissingColumnHint(message, *knownFields, *knownMapping, text, separator) : std::string(),
              knownFields ? QVTooLongHint(message, *knownFields, *knownMapping, text, separator, *knownTemplate)
                          : std::string(),
              QVFileNameHint(message, options.pattern, text, separator), QVDataLineHint(message, text, separator),
              QVSeparatorHint(text, separator)})
            if (!hint.empty()) lines += "\n" + hint;
        return reportFailure(err, lines, count, logURL);
    };
    std::optional<std::string> bytes = QVReadTemplate(options.templatePath, &error);
    if (!bytes) return reportFailure(err, error.message, 0);
    std::optional<std::vector<std::string>> fieldNames =
        options.allFields ? QVTemplateFieldNamesForAllFields(*bytes, &error) : QVTemplateFieldNames(*bytes, &error);
    if (!fieldNames) {
        std::string message = error.message;
        for (const std::string& hint :
             {QVTemplateProblemHint(*bytes), options.allFields ? std::string() : QVTextRuleHint(*bytes)})
            if (!hint.empty()) message += "\n" + hint;
        return reportFailure(err, message, 0);
    }

    std::vector<std::string> entries;
    if (!options.mapFile.empty()) {
        std::optional<std::vector<std::string>> fromFile = QVReadMappingFile(options.mapFile, &error);
        if (!fromFile) return usageError(err, error.message);
        // A --map entry for the same field replaces the file's.
        std::set<std::string> given;
        for (const std::string& entry : options.maps) given.insert(splitMapEntry(entry)->field);
        for (std::string& entry : *fromFile)
            if (!given.count(splitMapEntry(entry)->field)) entries.push_back(std::move(entry));
    }
    entries.insert(entries.end(), options.maps.begin(), options.maps.end());
    QVMergeSettings settings;
    QVFieldMapping mapping;
    std::optional<std::string> problem = options.allFields ? buildExplicitMapping(*fieldNames, entries, mapping)
                                                           : buildMapping(*fieldNames, entries, mapping);
    if (problem) return usageError(err, *problem);

    settings.templateBytes = *bytes;
    settings.dataText = text;
    settings.templateURL = absolutePath(options.templatePath);
    settings.dataURL = absolutePath(options.dataPath);
    settings.outputFolder = absolutePath(options.outputPath);
    settings.mode = static_cast<QVOutputMode>(mode->second);
    settings.filenamePattern = options.pattern;
    settings.separator = separator;
    settings.mapping = std::move(mapping);
    knownFields = &*fieldNames;
    knownMapping = &*settings.mapping;
    knownTemplate = &*bytes;
    settings.watermarkColumn = options.watermarkColumn;
    settings.watermarkPattern = options.watermarkPattern;
    settings.style = {position->second, options.watermarkSize, options.watermarkGray};
    settings.fieldPolicy = options.allFields ? QVFieldPolicy::Broad : QVFieldPolicy::Strict;
    settings.jobs = options.jobs ? options.jobs : QVUsableProcessors();
    settings.shard = shard;
    settings.records = records;
    settings.skipExisting = options.skipExisting;
    if (options.allFields && !tellFieldPlan(settings, options, err, &error)) return failed(error.message, 0);
    if (options.dryRun)
        return runDry(settings, out, [&failed](const std::string& message) { return failed(message, 0); });

    QVError folderProblem;
    const std::optional<FolderState> folder = prepareOutputFolder(settings.outputFolder, true, &folderProblem);
    if (!folder) return failed(folderProblem.message, 0);

    if (options.log) settings.logURL = settings.outputFolder / QVFormat("quorvel-log-%@.json", {QVNewUUIDString()});
    const std::optional<std::filesystem::path>& logURL = settings.logURL;

    uint64_t count = 0;
    bool merged = false;
    QVMergeReport report;
    {
        // Ctrl-C stops the merge between two files, only while it runs.
        QVStopOnSignals stop;
        settings.stopRequested = QVStopOnSignals::requested();
        std::optional<QVProgressBar> progress;
        if (!options.quiet && QVStandardErrorIsTerminal()) progress.emplace(err);
        merged = QVMergeWithSettings(settings, &count, &error, nullptr, &report);
    }
    const std::string skipped = options.skipExisting ? "\n" + filesSkipped(report.skipped.size()) : std::string();
    if (report.interrupted) {
        if (*folder == FolderState::Made && count == 0) rmdir(settings.outputFolder.c_str());
        err << QVEscapeLinesForTerminal(error.message + skipped + logLine(logURL)) << '\n';
        return kInterrupted;
    }
    if (!merged) {
        // A folder made for a merge that wrote nothing goes again; one holding anything stays.
        if (*folder == FolderState::Made && count == 0) rmdir(settings.outputFolder.c_str());
        return failed(error.message, count, logURL);
    }

    // Quiet means quiet: the exit status says it went well.
    if (!options.quiet) out << QVEscapeLinesForTerminal(filesMade(count) + skipped + logLine(logURL)) << '\n';
    out.flush();
    if (!out) {
        err << QVText("Schrijven naar de standaarduitvoer mislukt.") << '\n';
        return kFailed;
    }
    return 0;
}
