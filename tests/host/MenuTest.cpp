// The plug-in's menu, its callbacks and the About box, through the stand-in host's menu bar.
#include "PluginHarness.h"

#include <sys/utsname.h>

#include "localization/Text.h"
#include "platform/Format.h"
#include "platform/System.h"
#include "platform/UserDefaults.h"
#include "plugin/About.h"
#include "plugin/Lifecycle.h"

using namespace qvtest;
using qvhostapp::HostCallId;
using qvhostapp::HostConfig;

namespace {

using Menus = PluginHarness;

const std::vector<std::string> kDutchTitles = {"CSV samenvoegen...", "Taal...", "About Quorvel\u2026"};

HostConfig errorIn(unsigned entry, unsigned occurrence = 1) {
    HostConfig config;
    config.raiseErrorIn = HostCallId{"AcroView", entry};
    config.occurrence = occurrence;
    return config;
}

}  // namespace

TEST_F(Menus, InitAddsTheMenuWithThreeEnabledItemsAndReleasesItsReference) {
    ASSERT_TRUE(start()) << why.message;
    QVHostMenuRec* menu = quorvelMenu();
    ASSERT_TRUE(menu);
    EXPECT_EQ(host->menubar()->menus.back(), menu);
    EXPECT_EQ(menu->title, "Quorvel");
    EXPECT_EQ(menu->references, 1) << "only the menu bar's reference is left";
    EXPECT_EQ(itemTitles(), kDutchTitles);
    std::vector<std::string> names;
    for (QVHostMenuItemRec* item : menu->items) {
        names.push_back(item->name);
        EXPECT_EQ(item->owner, gExtensionID);
        EXPECT_TRUE(host->isEnabled(item)) << "enabled with no document open";
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Quorvel:Merge", "Quorvel:Language", "Quorvel:About"}));
    EXPECT_EQ(qvhost::menuItem, menu->items[0]);
    EXPECT_EQ(qvhost::aboutItem, menu->items[2]);
    EXPECT_EQ(host->exceptionFrameDepth(), 0u);

    // Unload removes the items but keeps the handles.
    host->unloadPlugins();
    EXPECT_TRUE(menu->items.empty());
    EXPECT_TRUE(qvhost::menuItem && qvhost::languageItem && qvhost::aboutItem);
}

TEST_F(Menus, MenuTitleIsNeverTranslatedButItemsFollowTheLanguage) {
    IsolatedLanguage german("de");
    ASSERT_TRUE(start()) << why.message;
    EXPECT_EQ(quorvelMenu()->title, "Quorvel");
    std::vector<std::string> titles = itemTitles();
    ASSERT_EQ(titles.size(), 3u);
    EXPECT_EQ(titles[0], QVText("CSV samenvoegen..."));
    EXPECT_NE(titles[0], kDutchTitles[0]);
}

TEST_F(Menus, WithoutMenubarInitFailsAndCreatesNothing) {
    HostConfig config;
    config.hasMenubar = false;
    ASSERT_TRUE(load(config)) << why.message;
    EXPECT_FALSE(QVInit());
    EXPECT_TRUE(host->allMenus().empty());
    EXPECT_EQ(qvhost::menuItem, nullptr);
    EXPECT_TRUE(QVUnload());
}

TEST_F(Menus, HostErrorWhileAddingTheSecondItemKeepsTheFirstAndReleasesTheMenu) {
    ASSERT_TRUE(load(errorIn(qvhft::kMenuItemNew, 2))) << why.message;
    EXPECT_FALSE(QVInit());
    EXPECT_EQ(host->exceptionFrameDepth(), 0u);
    QVHostMenuRec* menu = quorvelMenu();
    ASSERT_TRUE(menu) << "the menu stays in the bar";
    EXPECT_EQ(menu->references, 1) << "the plug-in's reference is released on the error path too";
    EXPECT_EQ(itemTitles(), std::vector<std::string>{"CSV merge..."}) << "not retitled: the error came first";
    EXPECT_TRUE(qvhost::menuItem);
    EXPECT_EQ(qvhost::languageItem, nullptr);
    EXPECT_EQ(qvhost::aboutItem, nullptr);

    // Retitling later skips the items that were never made; unload removes the one that was.
    QVUpdateMenuTitles();
    EXPECT_EQ(itemTitles(), std::vector<std::string>{"CSV samenvoegen..."});
    EXPECT_TRUE(QVUnload());
    EXPECT_TRUE(menu->items.empty());
}

TEST_F(Menus, HostErrorInTheReleaseItselfReleasesOnceOnTheWayOut) {
    ASSERT_TRUE(load(errorIn(qvhft::kMenuRelease))) << why.message;
    EXPECT_FALSE(QVInit());
    EXPECT_EQ(itemTitles(), kDutchTitles);
    EXPECT_EQ(quorvelMenu()->references, 1);
    EXPECT_EQ(host->exceptionFrameDepth(), 0u);
}

TEST_F(Menus, HostErrorBeforeTheMenuExistsReleasesNothing) {
    ASSERT_TRUE(load(errorIn(qvhft::kMenuNew))) << why.message;
    EXPECT_FALSE(QVInit());
    EXPECT_TRUE(host->allMenus().empty());
    for (const auto& call : host->calls()) EXPECT_FALSE(call == (HostCallId{"AcroView", qvhft::kMenuRelease}));
}

TEST_F(Menus, LanguageCommandRetitlesTheItemsAtOnce) {
    ASSERT_TRUE(start()) << why.message;
    ScriptedDialogs dialogs(R"([{"button": "Bewaren", "popups": [2]}, {"button": 2, "popups": [4]}])");
    ASSERT_TRUE(host->execute(host->findItem("Quorvel:Language")));
    EXPECT_EQ(itemTitles(), (std::vector<std::string>{"Merge CSV...", "Language...", "About Quorvel\u2026"}));
    EXPECT_EQ(quorvelMenu()->title, "Quorvel");

    // Cancelled: neither the setting nor the titles change.
    ASSERT_TRUE(host->execute(host->findItem("Quorvel:Language")));
    dialogs.expectScriptUsedUp();
    EXPECT_EQ(itemTitles()[1], "Language...");
    EXPECT_EQ(QVUserDefaults::standardUserDefaults().stringForKey("org.quorvel.language"), "en");
}

TEST_F(Menus, AboutShowsTheFallbackVersionWithoutABundle) {
    ASSERT_TRUE(start()) << why.message;
    ScriptedDialogs dialogs(R"([{}])");
    ASSERT_TRUE(host->execute(host->findItem("Quorvel:About")));
    dialogs.expectScriptUsedUp();
    auto alert = dialogs.lines().at(0);
    EXPECT_EQ(alert["message"], "Quorvel");
    EXPECT_EQ(alert["buttons"], nlohmann::json::array({"OK"}));
    std::string text = alert["informative"];
    // The description lines name the system the test runs on, not another.
    utsname system{};
    ASSERT_EQ(uname(&system), 0);
    EXPECT_TRUE(text.starts_with("Version 0.12\nPDF-formulieren samenvoegen met CSV-gegevens op ")) << text;
    EXPECT_NE(text.find("\n\nCSV \u2192 ingevulde PDF's. Processor: " + std::string(system.machine) + ".\n"),
              std::string::npos)
        << text;
    for (const char* elsewhere : {"Mac", "Apple", "Intel"}) EXPECT_EQ(text.find(elsewhere), std::string::npos) << text;
    std::string osRelease = readFile(fs::exists("/etc/os-release") ? "/etc/os-release" : "/usr/lib/os-release");
    size_t pretty = osRelease.find("PRETTY_NAME=\"");
    if (pretty != std::string::npos) {
        size_t start = pretty + 13;
        std::string name = osRelease.substr(start, osRelease.find('"', start) - start);
        EXPECT_NE(text.find(" op " + name + ".\n"), std::string::npos) << text;
    }
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
}

TEST_F(Menus, AboutReadsTheVersionOfTheBundleAtItsUsualPlace) {
    fs::path bundle = language.home / "Library/Application Support/Adobe/Acrobat/DC/Plug-ins/Quorvel.acroplugin";
    fs::create_directories(bundle);
    writeFile(bundle / "Info.json", R"({"CFBundleShortVersionString": "7.3"})");
    IsolatedLanguage french("fr");  // a fresh home without the bundle would not find it
    ScopedEnv home("HOME", language.home.path().string());

    ScriptedDialogs dialogs(R"([{}])");
    QVShowAbout();
    std::string text = dialogs.lines().at(0)["informative"];
    EXPECT_TRUE(text.starts_with(QVFormat(QVText("Version %@"), {"7.3"}) + "\n")) << text;
    EXPECT_NE(text.find(QVFormat(QVText("CSV \u2192 ingevulde PDF's. Processor: %@."), {QVMachineArchitecture()})),
              std::string::npos);
    EXPECT_EQ(dialogs.lines().at(0)["buttons"][0], QVText("OK"));
}
