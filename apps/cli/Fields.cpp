#include "Fields.h"

#include <ostream>

#include "TerminalText.h"
#include "engine/Engine.h"
#include "localization/Text.h"

CLI::App* QVAddFieldsCommand(CLI::App& app, QVFieldsOptions& options) {
    CLI::App* command = app.add_subcommand(
        "fields", QVText("Toont de invulbare tekstvelden van een PDF-formulier, één naam per regel."));
    command->add_option("TEMPLATE", options.templatePath, QVText("Het PDF-formulier, bijvoorbeeld factuur.pdf"))
        ->required();
    command->footer(QVText("Voorbeeld: quorvel fields factuur.pdf"));
    return command;
}

int QVRunFields(const QVFieldsOptions& options, std::ostream& out, std::ostream& err) {
    QVError error;
    std::optional<std::string> bytes = QVReadTemplate(options.templatePath, &error);
    std::optional<std::vector<std::string>> names = bytes ? QVTemplateFieldNames(*bytes, &error) : std::nullopt;
    if (!names) {
        err << QVEscapeForTerminal(error.message) << '\n';
        return 1;
    }
    // A name may hold anything a PDF can; a terminal must not take it as a command.
    for (const std::string& name : *names) out << QVEscapeForTerminal(name) << '\n';
    out.flush();
    if (!out) {
        err << QVText("Schrijven naar de standaarduitvoer mislukt.") << '\n';
        return 1;
    }
    return 0;
}
