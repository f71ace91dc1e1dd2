#include "Usage.h"

#include <CLI/CLI.hpp>

#include <regex>

#include "localization/Text.h"
#include "platform/Format.h"

namespace {

void translateOptions(CLI::App& app) {
    if (CLI::Option* help = app.get_help_ptr()) help->description(QVText("Toont deze hulp en stopt"));
    app.get_formatter()->label("Usage", QVText("Gebruik"));
    app.get_formatter()->label("OPTIONS", QVText("OPTIES"));
    app.get_formatter()->label("SUBCOMMAND", QVText("OPDRACHT"));
    app.get_formatter()->label("SUBCOMMANDS", QVText("OPDRACHTEN"));
    app.get_formatter()->label("REQUIRED", QVText("VERPLICHT"));
    app.get_formatter()->label("Positionals", QVText("Argumenten"));
    app.get_formatter()->label("Excludes", QVText("Sluit uit"));
    app.get_formatter()->label("Needs", QVText("Vereist"));
    for (CLI::Option* option : app.get_options()) {
        if (option->get_group() == "Options") option->group(QVText("Opties"));
        // The type word before any validator's description ("TEXT:{a,b}").
        const std::string type = option->get_type_name();
        const std::string word = type.substr(0, type.find(':'));
        if (word == "TEXT") option->type_name(QVText("TEKST"));
        if (word == "FLOAT" || word == "INT" || word == "UINT") option->type_name(QVText("GETAL"));
    }
    for (CLI::App* command : app.get_subcommands({})) {
        if (command->get_group() == "Subcommands") command->group(QVText("Opdrachten"));
        translateOptions(*command);
    }
}

// CLI11's English reports and the texts that stand for them, with the parts they quote.
std::string translated(const std::string& what) {
    struct Form {
        std::regex english;
        std::string format;  // %@ for each group the pattern captures
    };
    static const std::vector<Form> forms = [] {
        std::vector<Form> out;
        auto add = [&out](const char* english, std::string format) {
            out.push_back({std::regex(english), std::move(format)});
        };
        add("The following arguments? (?:was|were) not expected: (.*)", QVText("Niet verwacht: %@"));
        add("A subcommand is required", QVText("Kies een opdracht."));
        add("(.*) is required", QVText("%@ is verplicht."));
        add("(.*): [0-9]+ required .* missing", QVText("%@ verwacht een waarde."));
        add("(.*) excludes (.*)", QVText("%@ gaat niet samen met %@."));
        add("(.*) requires (.*)", QVText("%@ werkt alleen samen met %@."));
        add("Could not convert: (.*) = (.*)", QVText("%@: '%@' is geen geldige waarde."));
        add("(.*): (.*) not in \\{(.*)\\}", QVText("%@: '%@' is niet een van %@."));
        add("(.*): Should be true/false or a number", QVText("%@ neemt geen waarde."));
        add("(.*): too many inputs for a flag", QVText("%@ neemt geen waarde."));
        return out;
    }();
    std::smatch match;
    for (const Form& form : forms) {
        if (!std::regex_match(what, match, form.english)) continue;
        const std::string a = match.size() > 1 ? match[1].str() : "", b = match.size() > 2 ? match[2].str() : "",
                          c = match.size() > 3 ? match[3].str() : "";
        return QVFormat(form.format, {a, b, c});
    }
    return what;
}

}  // namespace

void QVSpeakTheLanguageInForce(CLI::App& app) {
    translateOptions(app);
    app.failure_message(QVUsageErrorMessage);
}

std::string QVUsageErrorMessage(const CLI::App* app, const CLI::Error& error) {
    std::string message = translated(error.what()) + "\n";
    if (const CLI::Option* help = app->get_help_ptr())
        message += QVFormat(QVText("Meer uitleg met %@."), {help->get_name()}) + "\n";
    return message;
}
