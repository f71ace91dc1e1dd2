// quorvel-host: the stand-in host application. Loads the plug-in bundles of its plug-ins
// folders, gives them their host function tables and a menu bar, and lets a person (or a
// script) choose menu items, in a window or on the terminal; at exit every plug-in is unloaded.
#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

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
#include "qt/HostWindow.h"
#include "qtui/DisplayProbe.h"
#include "qtui/QtBackend.h"
#include "qtui/QtText.h"

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
            if (warnMissing) std::cerr << QVFormat(QVHostText("Geen map met plug-ins: %@"), {folder.string()}) << '\n';
            continue;
        }
        std::vector<fs::path> bundles;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->path().extension() == ".acroplugin" && it->is_directory(ec)) bundles.push_back(it->path());
        }
        std::sort(bundles.begin(), bundles.end());
        for (const fs::path& bundle : bundles) {
            QVError why;
            if (!host.loadBundle(bundle, &why))
                std::cerr << QVFormat(QVHostText("Plug-in %@ niet geladen: %@"), {bundle.string(), why.message})
                          << '\n';
        }
    }
}

// The interface the options ask for; without --ui, the window when Qt can open a display.
HostUi chooseUi(HostUi asked) {
    if (asked != HostUi::automatic) return asked;
    return qvui::displayNamed() && qvui::qtCanOpenDisplay() ? HostUi::qt : HostUi::terminal;
}

// Saves what the window shows, with the first plug-in menu opened over it where the display
// lets us read its pixels back, as a new PNG file.
bool saveScreenshot(HostWindow& window, const fs::path& path, std::string& error) {
    QPixmap picture;
    QMenu* open = nullptr;
    for (QAction* action : window.menuBar()->actions()) {
        if (action->menu() && action->menu()->isVisible()) open = action->menu();
    }
    if (open && window.screen()) {
        QRect area = window.frameGeometry().united(open->geometry());
        picture = window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    }
    if (picture.isNull()) picture = window.grab();
    QFile file(qvui::toQString(path.string()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || !picture.save(&file, "PNG")) {
        error = qvui::fromQString(file.errorString());
        if (file.isOpen()) file.remove();
        return false;
    }
    return true;
}

// Shows the main window until it is closed; with a screenshot path, only until it is saved.
int runWindow(QApplication& app, Host& host, const std::optional<fs::path>& screenshot) {
    HostWindow window(host);
    window.show();
    if (!screenshot) return app.exec() == 0 ? 0 : kFailure;

    int status = 0;
    QTimer::singleShot(300, &window, [&] {
        if (QMenu* menu = window.pluginMenu("Quorvel:Menu")) window.menuBar()->setActiveAction(menu->menuAction());
    });
    QTimer::singleShot(900, &window, [&] {
        std::string why;
        if (!saveScreenshot(window, *screenshot, why)) {
            std::cerr << QVFormat(QVHostText("Schermafbeelding niet bewaard: %@"), {why}) << '\n';
            status = kFailure;
        }
        app.closeAllWindows();
        app.quit();
    });
    app.exec();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    qvui::setDialogTextProvider(QVHostText);

    QVError error;
    std::optional<HostOptions> options = parseHostOptions(std::vector<std::string>(argv + 1, argv + argc), &error);
    if (!options) {
        std::cerr << error.message << '\n' << hostUsage();
        return kUsageError;
    }
    if (options->help) {
        std::cout << hostUsage();
        return 0;
    }

    HostUi ui = chooseUi(options->ui);
    if (ui == HostUi::qt && options->ui == HostUi::qt && !qvui::qtCanOpenDisplay()) {
        std::cerr << QVHostText("Het beeldscherm kan niet geopend worden; gebruik --ui terminal.") << '\n';
        return kUsageError;
    }
    if (options->screenshot && (ui != HostUi::qt || options->invoke)) {
        std::cerr << QVHostText("--screenshot werkt alleen met het venster (--ui qt).") << '\n';
        return kUsageError;
    }
    // Made before the first window and destroyed after the last, and after the backend is gone.
    std::unique_ptr<QApplication> application;
    if (ui == HostUi::qt) {
        application = std::make_unique<QApplication>(argc, argv);
        QApplication::setApplicationName(QStringLiteral("quorvel-host"));
        QApplication::setApplicationDisplayName(QStringLiteral("Quorvel"));
        QGuiApplication::setDesktopFileName(QStringLiteral("quorvel-host"));
        // The installed icon, where the desktop's icon theme and Qt's image formats can draw it.
        QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("quorvel-host")));
    }

    std::shared_ptr<qvui::ScriptedBackend> script;
    if (ui == HostUi::qt) {
        qvui::setDialogBackend(std::make_shared<qvui::QtBackend>());
    } else if (options->script) {
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
    loadPlugins(
        host, chosenFolders ? options->pluginFolders : defaultPluginFolders(programFolder(), QV_HOST_INSTALLED_PLUGINS),
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
    } else if (application) {
        status = runWindow(*application, host, options->screenshot);
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
