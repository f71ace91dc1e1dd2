// quorvel-host: the stand-in host application. Loads the plug-in bundles of its plug-ins
// folders, gives them their host function tables and a menu bar, and lets a person (or a
// script) choose menu items; at exit every plug-in is unloaded.
#include <algorithm>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Host.h"
#include "HostText.h"
#include "MenuBarTerminal.h"
#include "Options.h"
#include "platform/Format.h"
#include "platform/dialogs/Backend.h"
#include "platform/dialogs/ScriptedBackend.h"
#include "platform/dialogs/TerminalBackend.h"
#include "platform/dialogs/Transcript.h"

#ifndef QV_HOST_INSTALLED_PLUGINS
#define QV_HOST_INSTALLED_PLUGINS ""
#endif

namespace fs = std::filesystem;
using namespace qvhostapp;

namespace {

constexpr int kFailure = 1;
constexpr int kUsageError = 2;

fs::path programFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path(ec) : exe.parent_path();
}

// Loads every *.acroplugin folder of `folders`, each folder's bundles in name order.
void loadPlugins(Host& host, const std::vector<fs::path>& folders, bool warnMissing) {
    std::set<fs::path> seen;
    for (const fs::path& folder : folders) {
        std::error_code ec;
        fs::path canonical = fs::weakly_canonical(folder, ec);
        if (ec || !seen.insert(canonical).second) continue;
        if (!fs::is_directory(folder, ec)) {
            if (warnMissing)
                std::cerr << QVFormat(QVHostText("Geen map met plug-ins: %@"), {folder.string()}) << '\n';
            continue;
        }
        std::vector<fs::path> bundles;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->path().extension() == ".acroplugin" && it->is_directory(ec)) bundles.push_back(it->path());
        }
        std::sort(bundles.begin(), bundles.end());
        for (const fs::path& bundle : bundles) {
            std::string why;
            if (!host.loadBundle(bundle, &why))
                std::cerr << QVFormat(QVHostText("Plug-in %@ niet geladen: %@"), {bundle.string(), why}) << '\n';
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    qvui::setDialogTextProvider(QVHostText);

    std::string error;
    std::optional<HostOptions> options = parseHostOptions(std::vector<std::string>(argv + 1, argv + argc), &error);
    if (!options) {
        std::cerr << error << '\n' << hostUsage();
        return kUsageError;
    }
    if (options->help) {
        std::cout << hostUsage();
        return 0;
    }

    std::shared_ptr<qvui::ScriptedBackend> script;
    if (options->script) {
        QVError scriptError;
        script = qvui::ScriptedBackend::fromFile(*options->script, &scriptError);
        if (!script) {
            std::cerr << scriptError.message << '\n';
            return kUsageError;
        }
        qvui::setDialogBackend(script);
    } else {
        qvui::setDialogBackend(std::make_shared<qvui::TerminalBackend>());
    }
    std::shared_ptr<qvui::DialogTranscript> transcript;
    if (options->transcript) {
        QVError transcriptError;
        transcript = qvui::DialogTranscript::createFile(*options->transcript, &transcriptError);
        if (!transcript) {
            std::cerr << transcriptError.message << '\n';
            return kUsageError;
        }
        qvui::setDialogTranscript(transcript);
    }

    Host host;
    bool chosenFolders = !options->pluginFolders.empty();
    loadPlugins(host, chosenFolders ? options->pluginFolders
                                    : defaultPluginFolders(programFolder(), QV_HOST_INSTALLED_PLUGINS),
                chosenFolders);
    if (host.plugins().empty()) std::cerr << QVHostText("Er is geen plug-in geladen.") << '\n';
    host.startPlugins();
    recordMenubarInTranscript(host);

    int status = 0;
    if (options->invoke) {
        QVHostMenuItem item = host.findItem(*options->invoke);
        if (!item) {
            std::cerr << QVFormat(QVHostText("Geen menu-onderdeel met de naam %@."), {*options->invoke}) << '\n';
            status = kFailure;
        } else if (!host.isEnabled(item)) {
            std::cerr << QVFormat(QVHostText("Menu-onderdeel %@ is niet beschikbaar."), {*options->invoke}) << '\n';
            status = kFailure;
        } else {
            host.execute(item);
            recordMenubarInTranscript(host);
        }
    } else {
        MenuBarTerminal(host, std::cin, std::cout).run();
    }
    host.unloadPlugins();

    // A replay that did not fit its dialogs is a failed replay.
    if (script) {
        for (const std::string& problem : script->problems()) std::cerr << problem << '\n';
        if (!script->problems().empty()) status = kFailure;
        if (script->answersLeft() > 0) {
            std::cerr << QVFormat(QVHostText("Het script heeft nog %lu ongebruikte antwoorden."),
                                  {static_cast<unsigned long>(script->answersLeft())})
                      << '\n';
            status = kFailure;
        }
    }
    if (transcript && transcript->writeFailed()) {
        std::cerr << transcript->writeError() << '\n';
        status = kFailure;
    }
    qvui::setDialogTranscript(nullptr);
    qvui::setDialogBackend(nullptr);
    return status;
}
