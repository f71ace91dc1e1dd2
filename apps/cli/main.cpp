// quorvel: the command line front end to the engine. One subcommand per task; each lives in
// its own file with an "add" function that declares its options and a "run" function.
#include <iostream>
#include <optional>

#include <CLI/CLI.hpp>

#include "Fields.h"
#include "Language.h"
#include "MergeCommand.h"
#include "PreviewCommand.h"
#include "Suggest.h"
#include "Usage.h"
#include "localization/Text.h"

int main(int argc, char** argv) {
    // The help's texts, and what parsing says, in one language found once; the commands
    // themselves speak the language in force when they run (`language` changes it).
    std::optional<QVTextBatch> texts(std::in_place);
    CLI::App app{QVText("Vult PDF-formulieren met de gegevens uit een CSV-bestand."), "quorvel"};
    app.require_subcommand(1);

    QVMergeOptions merge;
    CLI::App* mergeCommand = QVAddMergeCommand(app, merge);
    QVFieldsOptions fields;
    CLI::App* fieldsCommand = QVAddFieldsCommand(app, fields);
    QVPreviewOptions preview;
    CLI::App* previewCommand = QVAddPreviewCommand(app, preview);
    QVLanguageOptions language;
    CLI::App* languageCommand = QVAddLanguageCommand(app, language);
    QVSpeakTheLanguageInForce(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version requests exit 0; every real usage error exits 2, with the name that
        // was probably meant when a command or option was mistyped.
        if (app.exit(e) == 0) return 0;
        const std::string hint = QVTypoHint(app, argc, argv);
        if (!hint.empty()) std::cerr << hint << '\n';
        return kUsageErrorStatus;
    }
    texts.reset();

    if (mergeCommand->parsed()) return QVRunMerge(merge, std::cout, std::cerr);
    if (fieldsCommand->parsed()) return QVRunFields(fields, std::cout, std::cerr);
    if (previewCommand->parsed()) return QVRunPreview(preview, std::cout, std::cerr);
    if (languageCommand->parsed()) return QVRunLanguage(language, std::cout, std::cerr);
    return kUsageErrorStatus;
}
