#include "Language.h"

#include <CLI/CLI.hpp>

#include <array>
#include <optional>
#include <ostream>
#include <string_view>
#include <utility>

#include "localization/Text.h"
#include "platform/Format.h"
#include "platform/Unicode.h"
#include "platform/UserDefaults.h"

namespace {

const char* const kLanguageKey = "org.quorvel.language";

// Each language is named in its own language; only the automatic choice is translated.
const std::array<std::pair<std::string_view, std::string_view>, 5> kLanguageNames = {
    {{"nl", "Nederlands"}, {"en", "English"}, {"fr", "Français"}, {"de", "Deutsch"}, {"es", "Español"}}};

std::optional<std::string_view> languageName(std::string_view code) {
    for (const auto& [c, name] : kLanguageNames)
        if (c == code) return name;
    return std::nullopt;
}

// A stored value that is not one of the five codes counts as automatic, as for the lookup.
std::string choiceText(const std::optional<std::string>& stored) {
    if (!stored) return QVText("Automatisch");
    std::optional<std::string_view> name = languageName(*stored);
    if (!name) return QVText("Automatisch");
    return QVFormat("%@ (%@)", {*name, *stored});
}

}  // namespace

CLI::App* QVAddLanguageCommand(CLI::App& app, QVLanguageOptions& options) {
    CLI::App* command = app.add_subcommand(
        "language", QVText("Toont de taal in gebruik en de bewaarde keuze, of bewaart een nieuwe keuze."));
    command
        ->add_option("CHOICE", options.choice,
                     QVText("auto (de voorkeurstalen van het systeem volgen), nl, en, fr, de of es; bijvoorbeeld en"))
        ->check(CLI::IsMember({"auto", "nl", "en", "fr", "de", "es"}));
    command->footer(QVText("Voorbeeld: quorvel language fr"));
    return command;
}

int QVRunLanguage(const QVLanguageOptions& options, std::ostream& out, std::ostream& err) {
    if (!options.choice.empty()) {
        // Whether it was stored is read back below, from the file itself.
        (void)QVSetLanguage(options.choice);
        // Storing is quiet by design; a command line user must still learn that it failed.
        std::optional<std::string> stored = QVUserDefaults::standardUserDefaults().stringForKey(kLanguageKey);
        const bool kept = options.choice == "auto" ? !stored : stored == options.choice;
        if (!kept) {
            const std::string where = QVUserDefaultsPath() ? QVUserDefaultsPath()->string() : std::string("?");
            err << QVEscapeForTerminal(QVFormat(QVText("Taalkeuze bewaren mislukt in %@."), {where})) << '\n';
            return 1;
        }
    }
    const std::string inForce = QVLanguage();
    out << QVFormat(QVText("Taal in gebruik: %@"), {QVFormat("%@ (%@)", {*languageName(inForce), inForce})}) << '\n'
        << QVFormat(QVText("Bewaarde keuze: %@"),
                    {choiceText(QVUserDefaults::standardUserDefaults().stringForKey(kLanguageKey))})
        << '\n';
    out.flush();
    if (!out) {
        err << QVText("Schrijven naar de standaarduitvoer mislukt.") << '\n';
        return 1;
    }
    return 0;
}
