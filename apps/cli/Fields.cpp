#include "Fields.h"

#include <CLI/CLI.hpp>

#include <ostream>

#include "FieldKinds.h"
#include "Hints.h"
#include "engine/Engine.h"
#include "localization/Text.h"
#include "platform/Unicode.h"

CLI::App* QVAddFieldsCommand(CLI::App& app, QVFieldsOptions& options) {
    CLI::App* command = app.add_subcommand(
        "fields", QVText("Toont de invulbare tekstvelden van een PDF-formulier, één naam per regel."));
    command->add_option("TEMPLATE", options.templatePath, QVText("Het PDF-formulier, bijvoorbeeld factuur.pdf"))
        ->required();
    command->add_flag("--all-fields", options.allFields,
                      QVText("Toont de velden die merge --all-fields invult: ook selectievakjes, keuzerondjes en "
                             "keuzelijsten"));
    command->add_flag("--details", options.details,
                      QVText("Eén regel per veldwidget: pagina, soort, naam, vlaggen, maximale lengte, uitlijning, "
                             "keuzes en of merge --all-fields het invult"));
    command->footer(QVText("Voorbeeld: quorvel fields factuur.pdf"));
    return command;
}

namespace {

bool flushed(std::ostream& out, std::ostream& err) {
    out.flush();
    if (out) return true;
    err << QVText("Schrijven naar de standaarduitvoer mislukt.") << '\n';
    return false;
}

}  // namespace

int QVRunFields(const QVFieldsOptions& options, std::ostream& out, std::ostream& err) {
    QVError error;
    std::optional<std::string> bytes = QVReadTemplate(options.templatePath, &error);
    if (bytes && options.details) {
        std::optional<std::vector<QVWidgetDescription>> widgets = QVDescribeWidgets(*bytes, &error);
        if (widgets) {
            for (const QVWidgetDescription& widget : *widgets) out << QVWidgetDetailLine(widget) << '\n';
            return flushed(out, err) ? 0 : 1;
        }
    }
    std::optional<std::vector<std::string>> names;
    if (bytes && !options.details)
        names =
            options.allFields ? QVTemplateFieldNamesForAllFields(*bytes, &error) : QVTemplateFieldNames(*bytes, &error);
    if (!names) {
        err << QVEscapeLinesForTerminal(error.message) << '\n';
        if (bytes) {
            for (const std::string& hint :
                 {QVTemplateProblemHint(*bytes),
                  options.allFields || options.details ? std::string() : QVTextRuleHint(*bytes)})
                if (!hint.empty()) err << QVEscapeForTerminal(hint) << '\n';
        }
        return 1;
    }
    // A name may hold anything a PDF can; a terminal must not take it as a command.
    for (const std::string& name : *names) out << QVEscapeForTerminal(name) << '\n';
    return flushed(out, err) ? 0 : 1;
}
