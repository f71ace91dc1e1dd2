// quorvel: the command line front end to the engine. One subcommand per task; each lives in
// its own file with an "add" function that declares its options and a "run" function.
#include <iostream>

#include <CLI/CLI.hpp>

#include "Preview.h"
#include "localization/Text.h"

namespace {

constexpr int kUsageError = 2;

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{QVText("Vult PDF-formulieren met de gegevens uit een CSV-bestand."), "quorvel"};
    app.require_subcommand(1);

    QVPreviewOptions preview;
    CLI::App* previewCommand = QVAddPreviewCommand(app, preview);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version requests exit 0; every real usage error exits 2.
        return app.exit(e) == 0 ? 0 : kUsageError;
    }

    if (previewCommand->parsed()) return QVRunPreview(preview, std::cout, std::cerr);
    return kUsageError;
}
