// The host's desktop window: its menu bar follows the plug-in's menu live, and quorvel-host
// opens it exactly when a display can be opened.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

#include <chrono>

#include "Host.h"
#include "ModalDriver.h"
#include "QtSession.h"
#include "localization/MenuTitles.h"
#include "platform/dialogs/Transcript.h"
#include "plugin/Load.h"
#include "plugin/PluginState.h"
#include "qt/HostWindow.h"

using namespace qvtest;

namespace {

// Lets queued commands and their dialogs run until `done` holds.
template <typename Condition>
bool processUntil(Condition done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

std::vector<std::string> titles(QMenu* menu) {
    std::vector<std::string> found;
    for (QAction* action : menu->actions()) found.push_back(action->text().toStdString());
    return found;
}

class HostWindowTest : public ::testing::Test {
protected:
    ~HostWindowTest() override {
        host.unloadPlugins();
        QVSetMenuTitlesUpdater({});
        qvhost::resetPluginStateForTesting();
    }
    QtSession qt;
    qvhostapp::Host host;
};

// Runs `command` in an environment changed by `env` ("NAME=value" sets, "-NAME" removes).
CommandResult runWith(const std::vector<std::string>& env, const std::vector<std::string>& command,
                      const std::string& input = "") {
    std::vector<std::string> argv = {"/usr/bin/env"};
    for (const std::string& e : env)
        if (e.starts_with("-")) argv.insert(argv.end(), {"-u", e.substr(1)});
    for (const std::string& e : env)
        if (!e.starts_with("-")) argv.push_back(e);
    argv.insert(argv.end(), command.begin(), command.end());
    return runCommand(argv, input);
}

CommandResult hostWith(const std::vector<std::string>& env, std::vector<std::string> arguments,
                       const std::string& input = "") {
    arguments.insert(arguments.begin(), (binDir() / "quorvel-host").string());
    return runWith(env, arguments, input);
}

}  // namespace

TEST_F(HostWindowTest, MenuTitlesFollowTheLanguageCommandAtOnce) {
    ASSERT_TRUE(host.loadPlugin(AcroPluginMain, "/nonexistent/Quorvel.acroplugin"));
    host.startPlugins();
    qvhostapp::HostWindow window(host);

    QMenu* menu = window.pluginMenu("Quorvel:Menu");
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->title().toStdString(), "Quorvel");
    EXPECT_EQ(titles(menu), (std::vector<std::string>{"CSV samenvoegen...", "Taal...", "About Quorvel…"}));
    EXPECT_EQ(window.menuBar()->actions().size(), 2) << "the host's own menu, then the plug-in's";
    EXPECT_EQ(window.quitAction()->text().toStdString(), "Afsluiten");
    auto* welcome = window.findChild<QLabel*>(QStringLiteral("welcome"));
    ASSERT_TRUE(welcome);
    EXPECT_EQ(welcome->text().toStdString(),
              "Kies in de menubalk Quorvel › CSV samenvoegen om een samenvoeging te starten.");

    QAction* language = window.actionForItem("Quorvel:Language");
    ASSERT_TRUE(language);
    ModalDriver driver;
    driver.then([](QWidget* w) {
        EXPECT_EQ(messageOf(w), "Kies een taal");
        popUps(w).at(0)->setCurrentIndex(2);  // English
        press(w, "Bewaren");
    });
    language->trigger();
    ASSERT_TRUE(processUntil([&] { return driver.stepsLeft() == 0 && !QApplication::activeModalWidget(); }));
    ASSERT_TRUE(processUntil([&] { return menu->actions().value(0) && menu->actions()[0]->text() == "Merge CSV..."; }));

    // The same actions, retitled: nothing had to be rebuilt or reopened.
    EXPECT_EQ(window.actionForItem("Quorvel:Language"), language);
    EXPECT_EQ(titles(menu), (std::vector<std::string>{"Merge CSV...", "Language...", "About Quorvel…"}));
    EXPECT_EQ(menu->title().toStdString(), "Quorvel");
    EXPECT_EQ(window.quitAction()->text().toStdString(), "Quit");
    EXPECT_EQ(welcome->text().toStdString(), "Choose Quorvel › Merge CSV in the menu bar to start a merge.");
    // The transcript sees the new titles too.
    auto last = qt.session.lines().back();
    EXPECT_EQ(last["kind"], "menu");
    EXPECT_EQ(last["items"][0], "Merge CSV...");

    window.show();
    window.quitAction()->trigger();
    EXPECT_FALSE(window.isVisible());
}

TEST_F(HostWindowTest, WithoutPluginTheWindowSaysSo) {
    qvhostapp::HostWindow window(host);
    EXPECT_EQ(window.menuBar()->actions().size(), 1);
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("welcome"))->text().toStdString(),
              "Er is geen plug-in geladen.");
}

TEST(HostUi, TerminalWithoutDisplayAndAClearRefusalWhenTheWindowCannotOpen) {
    IsolatedLanguage language("nl");
    // No display named: the terminal, whatever Qt would say.
    CommandResult plain = hostWith({"-DISPLAY", "-WAYLAND_DISPLAY", "-QT_QPA_PLATFORM"}, {}, "q\n");
    EXPECT_EQ(plain.status, 0) << plain.errors;
    EXPECT_NE(plain.output.find("Menubalk"), std::string::npos) << plain.output;

    // A display that cannot be opened: still the terminal, and no crash on the way.
    CommandResult bogus = hostWith({"DISPLAY=:9876", "-WAYLAND_DISPLAY", "-QT_QPA_PLATFORM"}, {}, "q\n");
    EXPECT_EQ(bogus.status, 0) << bogus.errors;
    EXPECT_NE(bogus.output.find("Menubalk"), std::string::npos) << bogus.output;

    // Asked for the window that cannot open: a message and the usage status.
    CommandResult forced = hostWith({"DISPLAY=:9876", "-WAYLAND_DISPLAY", "-QT_QPA_PLATFORM"}, {"--ui", "qt"});
    EXPECT_EQ(forced.status, 2);
    EXPECT_NE(forced.errors.find("Het beeldscherm kan niet geopend worden"), std::string::npos) << forced.errors;

    // A picture of the window needs the window, and one that stays open.
    std::string picture = (language.home / "x.png").string();
    EXPECT_EQ(hostWith({}, {"--ui", "terminal", "--screenshot", picture}).status, 2);
    EXPECT_EQ(
        hostWith({"QT_QPA_PLATFORM=offscreen"}, {"--ui", "qt", "--invoke", "Quorvel:About", "--screenshot", picture})
            .status,
        2);
    EXPECT_FALSE(fs::exists(picture));
}

TEST(HostUi, RealHostWindowUnderXvfb) {
    if (runCommand({"/bin/sh", "-c", "command -v xvfb-run"}).status != 0) GTEST_SKIP() << "xvfb-run is not installed";
    IsolatedLanguage language("nl");
    fs::path picture = language.home / "venster.png";
    CommandResult run =
        runWith({"-QT_QPA_PLATFORM", "-WAYLAND_DISPLAY"},
                {"xvfb-run", "-a", (binDir() / "quorvel-host").string(), "--screenshot", picture.string()});
    ASSERT_EQ(run.status, 0) << run.errors;
    QImage image(QString::fromStdString(picture.string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_GE(image.width(), 640);
    EXPECT_GE(image.height(), 400);
    // Something was drawn: text is darker than the window's background.
    int dark = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) dark += qGray(image.pixel(x, y)) < 96;
    EXPECT_GT(dark, 200);
    // Saving never overwrites.
    CommandResult again =
        runWith({"-QT_QPA_PLATFORM", "-WAYLAND_DISPLAY"},
                {"xvfb-run", "-a", (binDir() / "quorvel-host").string(), "--screenshot", picture.string()});
    EXPECT_EQ(again.status, 1);
}
