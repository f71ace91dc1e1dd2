// The real quorvel-host, loading the real plug-in bundle with dlopen: whole sessions replayed
// from scripts or typed at its terminal.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <vector>

#include "Options.h"
#include "support/FormFixtures.h"
#include "support/TestSupport.h"

using nlohmann::json;
using namespace qvtest;

namespace {

class HostApp : public ::testing::Test {
protected:
    TempDir dir;
    ScopedEnv home{"HOME", dir.path().string()};
    ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").string()};
    ScopedEnv data{"XDG_DATA_HOME", (dir / "data").string()};
    ScopedEnv languageEnv{"LANGUAGE", "nl"};
    ScopedEnv all{"LC_ALL", std::nullopt};
    ScopedEnv messages{"LC_MESSAGES", std::nullopt};
    ScopedEnv lang{"LANG", std::nullopt};

    CommandResult host(std::vector<std::string> arguments, const std::string& input = "") {
        arguments.insert(arguments.begin(), (binDir() / "quorvel-host").string());
        return runCommand(arguments, input);
    }
    std::vector<json> transcript(const fs::path& path) {
        std::vector<json> lines;
        std::string text = readFile(path);
        for (size_t start = 0, end; start < text.size(); start = end + 1) {
            end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            lines.push_back(json::parse(text.substr(start, end - start)));
        }
        return lines;
    }
};

std::vector<std::string> names(const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

TEST_F(HostApp, ReplaysAWholeMergeFromTheMenu) {
    writeFile(dir / "formulier.pdf", qvfixture::textForm({"Naam", "Plaats"}));
    writeFile(dir / "klanten.csv", "Naam,Plaats\nAnna Jansen,Utrecht\nBram Visser,Gouda\n");
    fs::create_directories(dir / "uit");
    json script = json::array({
        {{"path", (dir / "formulier.pdf").string()}},
        {{"path", (dir / "klanten.csv").string()}},
        {{"button", "Verder"}},  // separator
        {{"button", "Verder"}},  // preview
        {{"button", "Verder"}},  // mapping
        {{"button", "Losse PDF's"}},
        {{"button", "Verder"}, {"fields", {"Brief-{Naam}"}}},  // pattern
        {{"button", "Verder"}},                                // no watermark
        {{"button", "Zonder logboek"}},
        {{"path", (dir / "uit").string()}},
        json::object(),  // the report
    });
    writeFile(dir / "script.json", script.dump());

    CommandResult result = host({"--invoke", "Quorvel:Merge", "--ui", "scripted:" + (dir / "script.json").string(),
                                 "--transcript", (dir / "transcript.jsonl").string()});
    ASSERT_EQ(result.status, 0) << result.errors;

    EXPECT_EQ(names(dir / "uit"), (std::vector<std::string>{"Brief-Anna Jansen.pdf", "Brief-Bram Visser.pdf"}));
    std::string text = runCommand({"pdftotext", (dir / "uit" / "Brief-Bram Visser.pdf").string(), "-"}).output;
    EXPECT_NE(text.find("Gouda"), std::string::npos) << text;

    std::vector<json> lines = transcript(dir / "transcript.jsonl");
    ASSERT_EQ(lines.size(), 13u);
    json menu = {
        {"kind", "menu"}, {"title", "Quorvel"}, {"items", {"CSV samenvoegen...", "Taal...", "About Quorvel\u2026"}}};
    EXPECT_EQ(lines.front(), menu);
    EXPECT_EQ(lines[1]["kind"], "open-panel");
    EXPECT_EQ(lines[1]["title"], "Kies een PDF-formulier");
    EXPECT_EQ(lines[11]["message"], "Samenvoegen voltooid");
    EXPECT_EQ(lines[11]["informative"], "2 PDF-bestanden gemaakt.");
    EXPECT_EQ(lines.back(), menu);
}

TEST_F(HostApp, AboutFindsTheLoadedBundleByItsIdentifier) {
    writeFile(dir / "script.json", "[{}]");
    CommandResult result = host({"--invoke", "Quorvel:About", "--ui", "scripted:" + (dir / "script.json").string(),
                                 "--transcript", (dir / "t.jsonl").string()});
    ASSERT_EQ(result.status, 0) << result.errors;
    std::string info = transcript(dir / "t.jsonl").at(1)["informative"];
    std::string version =
        json::parse(readFile(binDir() / "plugins/Quorvel.acroplugin/Info.json"))["CFBundleShortVersionString"];
    EXPECT_TRUE(info.starts_with("Version " + version + "\n")) << info;
}

TEST_F(HostApp, TerminalSessionChangesTheLanguageAndShowsTheNewTitles) {
    // Quorvel, "Taal...", item 3 (English), first button ("Bewaren"), then the menu again.
    CommandResult result = host({"--ui", "terminal"}, "1\n2\n3\n1\n1\n\nq\n");
    ASSERT_EQ(result.status, 0) << result.errors;
    size_t before = result.output.find("1. CSV samenvoegen...");
    size_t after = result.output.find("1. Merge CSV...");
    ASSERT_NE(before, std::string::npos) << result.output;
    ASSERT_NE(after, std::string::npos) << result.output;
    EXPECT_LT(before, after);
}

TEST_F(HostApp, RefusesUnknownItemsBadOptionsAndUnfittingScripts) {
    CommandResult unknown = host({"--invoke", "Quorvel:Nothing", "--ui", "scripted:/dev/null"});
    EXPECT_EQ(unknown.status, 2) << "an empty file is not a script";

    writeFile(dir / "empty.json", "[]");
    unknown = host({"--invoke", "Quorvel:Nothing", "--ui", "scripted:" + (dir / "empty.json").string()});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.errors.find("Quorvel:Nothing"), std::string::npos) << unknown.errors;

    EXPECT_EQ(host({"--ui", "window"}).status, 2);
    EXPECT_EQ(host({"--plugins"}).status, 2);

    // A script whose answers are not all used is a failed replay.
    writeFile(dir / "long.json", R"([{}, {"cancel": true}])");
    CommandResult leftover = host({"--invoke", "Quorvel:About", "--ui", "scripted:" + (dir / "long.json").string()});
    EXPECT_EQ(leftover.status, 1);

    // An existing transcript is never overwritten.
    writeFile(dir / "t.jsonl", "keep");
    EXPECT_EQ(host({"--invoke", "Quorvel:About", "--ui", "scripted:" + (dir / "empty.json").string(), "--transcript",
                    (dir / "t.jsonl").string()})
                  .status,
              2);
    EXPECT_EQ(readFile(dir / "t.jsonl"), "keep");
}

TEST_F(HostApp, PluginFoldersSkipBundlesThatCannotLoad) {
    fs::create_directories(dir / "plugins/Broken.acroplugin");
    writeFile(dir / "plugins/Broken.acroplugin/Info.json", R"({"CFBundleExecutable": "../../etc/passwd"})");
    fs::create_directories(dir / "plugins/Empty.acroplugin");
    writeFile(dir / "empty.json", "[]");
    CommandResult result = host({"--plugins", (dir / "plugins").string(), "--invoke", "Quorvel:About", "--ui",
                                 "scripted:" + (dir / "empty.json").string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.errors.find("Broken.acroplugin"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("Empty.acroplugin"), std::string::npos) << result.errors;

    // The real bundle beside a broken one still loads.
    fs::create_symlink(binDir() / "plugins/Quorvel.acroplugin", dir / "plugins/Quorvel.acroplugin");
    writeFile(dir / "about.json", "[{}]");
    result = host({"--plugins", (dir / "plugins").string(), "--invoke", "Quorvel:About", "--ui",
                   "scripted:" + (dir / "about.json").string()});
    EXPECT_EQ(result.status, 0) << result.errors;
}

TEST(HostOptions, ParsesEveryOptionInBothForms) {
    QVError error;
    auto options = qvhostapp::parseHostOptions(
        {"--plugins", "/a", "--plugins=/b", "--invoke=Quorvel:Merge", "--ui", "scripted:s.json", "--transcript", "t"},
        &error);
    ASSERT_TRUE(options) << error.message;
    EXPECT_EQ(options->pluginFolders, (std::vector<fs::path>{"/a", "/b"}));
    EXPECT_EQ(options->invoke, "Quorvel:Merge");
    EXPECT_EQ(options->script, fs::path("s.json"));
    EXPECT_EQ(options->transcript, fs::path("t"));
    EXPECT_EQ(options->ui, qvhostapp::HostUi::scripted);

    // Without --ui the host decides by the display; the last --ui given wins.
    EXPECT_EQ(qvhostapp::parseHostOptions({}, &error)->ui, qvhostapp::HostUi::automatic);
    options = qvhostapp::parseHostOptions({"--ui", "scripted:s.json", "--ui=qt", "--screenshot", "w.png"}, &error);
    ASSERT_TRUE(options) << error.message;
    EXPECT_EQ(options->ui, qvhostapp::HostUi::qt);
    EXPECT_FALSE(options->script);
    EXPECT_EQ(options->screenshot, fs::path("w.png"));
    EXPECT_EQ(qvhostapp::parseHostOptions({"--ui", "terminal"}, &error)->ui, qvhostapp::HostUi::terminal);

    EXPECT_FALSE(qvhostapp::parseHostOptions({"--ui", "window"}, &error));
    EXPECT_NE(error.message.find("qt, terminal"), std::string::npos) << error.message;
    EXPECT_FALSE(qvhostapp::parseHostOptions({"--ui", "scripted:"}, &error));
    EXPECT_FALSE(qvhostapp::parseHostOptions({"--invoke="}, &error));
    EXPECT_FALSE(qvhostapp::parseHostOptions({"stray"}, &error));
}
