#include "PreviewCommand.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <map>
#include <ostream>

#include "Choices.h"
#include "Hints.h"
#include "InputFiles.h"
#include "input/DelimitedText.h"
#include "input/PreviewText.h"
#include "localization/Text.h"
#include "platform/Format.h"
#include "platform/Unicode.h"

namespace {

int failWith(std::ostream& err, const std::string& message) {
    err << QVEscapeLinesForTerminal(message) << '\n';
    return 1;
}

}  // namespace

CLI::App* QVAddPreviewCommand(CLI::App& app, QVPreviewOptions& options) {
    CLI::App* command = app.add_subcommand(
        "preview", QVText("Toont hoe een gegevensbestand wordt ingelezen: het aantal records en de eerste vijf."));
    command->add_option("DATA", options.data, QVText("Het gegevensbestand (UTF-8-tekst met een kopregel)"))->required();
    QVAddSeparatorOption(*command, options.separator);
    QVAddEncodingOption(*command, options.encoding);
    return command;
}

int QVRunPreview(const QVPreviewOptions& options, std::ostream& out, std::ostream& err) {
    if (!QVSeparatorFor(options.separator, {})) return failWith(err, QVText("Ongeldig scheidingsteken."));

    QVError error;
    std::optional<QVDataFileText> data = QVReadDataFileIn(options.data, options.encoding, &error);
    if (!data) return failWith(err, error.message);
    const std::string_view text = data->text();
    bool guessed = false;
    const uint16_t separator = *QVSeparatorFor(options.separator, text, &guessed);
    if (guessed && separator != QVSeparatorComma)
        err << QVFormat(QVText("Gekozen scheidingsteken: %@ (kies zelf met --separator)."),
                        {QVSeparatorName(separator)})
            << '\n';
    std::optional<QVRecordTable> table = QVParseDelimitedTextInPlace(text, separator, &error);
    if (!table) {
        std::string message = error.message;
        for (const std::string& hint :
             {QVDataLineHint(error.message, text, separator), QVSeparatorHint(text, separator)})
            if (!hint.empty()) message += "\n" + hint;
        return failWith(err, message);
    }

    // The merge workflow warns here; so do we, without stopping.
    if (table->columnCount() == 1 && QVHasAlternativeMultiColumnParse(text, separator)) {
        err << QVText("Mogelijk verkeerd scheidingsteken") << '\n'
            << QVText(
                   "Met de gekozen instelling is één kolom gevonden, maar een ander scheidingsteken levert "
                   "meerdere kolommen op. Controleer het bestand: één kolom kan ook juist zijn.")
            << '\n';
    }

    const size_t records = table->rowCount() - 1;
    const size_t shown = std::min(records, kQVPreviewRecordLimit);
    // Unlike the dialog's, names and values are escaped: this goes to a terminal.
    out << QVPreviewTitle() << '\n'
        << QVPreviewSummary(records, shown) << "\n\n"
        << QVPreviewText(*table, shown, QVEscapeForTerminal);
    out.flush();
    if (!out) return failWith(err, QVText("Schrijven naar de standaarduitvoer mislukt."));
    return 0;
}
