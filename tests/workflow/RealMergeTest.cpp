// Whole merges through the command with the real engine: the files on disk are what counts.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>

#include "localization/Text.h"
#include "platform/dialogs/TerminalBackend.h"
#include "workflow/Command.h"
#include "WorkflowFixture.h"

using nlohmann::json;
using namespace qvtest;

namespace {

std::vector<std::string> folderNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string pdfText(const fs::path& pdf) { return runCommand({"pdftotext", "-layout", pdf.string(), "-"}).output; }
bool qpdfChecks(const fs::path& pdf) { return runCommand({"qpdf", "--check", pdf.string()}).status == 0; }
bool contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

// Runs the merge command in a child process whose terminal is a pseudo-terminal, types
// `typed` into it and answers everything the child showed.
std::string runInTerminal(const std::string& typed) {
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) return "forkpty failed";
    if (pid == 0) {
        qvui::setDialogBackend(std::make_shared<qvui::TerminalBackend>());
        qvui::setDialogTextProvider(QVText);
        QVCommand(nullptr);
        std::cout.flush();
        _exit(0);
    }
    // Typed ahead, as a fast typist would: the terminal keeps the lines until they are read.
    ssize_t written = write(master, typed.data(), typed.size());
    EXPECT_EQ(written, static_cast<ssize_t>(typed.size()));

    std::string shown;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        pollfd p{master, POLLIN, 0};
        int ready = poll(&p, 1, 1000);
        if (ready > 0) {
            char buffer[4096];
            ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) break;  // the child closed the terminal
            shown.append(buffer, static_cast<size_t>(n));
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "the command did not finish; it showed:\n" << shown;
            kill(pid, SIGKILL);
            break;
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
    return shown;
}

}  // namespace

TEST(RealMerge, SeparateFilesWithWatermarkAndLog) {
    WorkflowFiles files("Text Box 1,Text Box 2\nAmsterdam,Jansen\nUtrecht,de Vries\n");
    json script = completeRun(files);
    script[7] = {{"popups", {2}}};                                        // watermark from Text Box 2
    script.insert(script.begin() + 8, json{{"popups", {2, 0, 0}}});      // at the top
    script[9] = {{"button", "Met logboek"}};
    script.push_back(json::object());
    ScriptedDialogs dialogs(script.dump());
    QVCommand(nullptr);
    dialogs.expectScriptUsedUp();

    auto names = folderNames(files.out);
    ASSERT_EQ(names.size(), 3u) << json(names).dump();
    EXPECT_EQ(names[0], "Brief-000001.pdf");
    EXPECT_EQ(names[1], "Brief-000002.pdf");
    EXPECT_TRUE(names[2].starts_with("quorvel-log-") && names[2].ends_with(".json"));
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(qpdfChecks(files.out / names[i])) << names[i];
    std::string first = pdfText(files.out / names[0]);
    EXPECT_TRUE(contains(first, "Amsterdam")) << first;
    EXPECT_TRUE(contains(first, "Jansen")) << first;
    EXPECT_TRUE(contains(pdfText(files.out / names[1]), "Utrecht"));

    json log = json::parse(readFile(files.out / names[2]));
    EXPECT_FALSE(log.empty());
    auto report = dialogs.lines().back();
    EXPECT_EQ(report["message"], "Samenvoegen voltooid");
    EXPECT_EQ(report["informative"], "2 PDF-bestanden gemaakt.\nLogboeklocatie: " + (files.out / names[2]).string());
}

TEST(RealMerge, CombinedFileHoldsEveryRecord) {
    WorkflowFiles files("Text Box 1,Text Box 2\nAmsterdam,Jansen\nUtrecht,de Vries\n");
    json script = completeRun(files);
    script[5] = {{"button", "Eén PDF"}};
    script.erase(script.begin() + 6);
    script.push_back(json::object());
    ScriptedDialogs dialogs(script.dump());
    QVCommand(nullptr);
    dialogs.expectScriptUsedUp();

    EXPECT_EQ(folderNames(files.out), std::vector<std::string>{"merge-gecombineerd.pdf"});
    std::string text = pdfText(files.out / "merge-gecombineerd.pdf");
    EXPECT_TRUE(contains(text, "Amsterdam") && contains(text, "Utrecht")) << text;
    EXPECT_EQ(dialogs.lines().back()["informative"], "1 PDF-bestanden gemaakt.");
}

TEST(RealMerge, AFailedMergeReportsTheEngineMessageCountAndLog) {
    WorkflowFiles files;
    json script = completeRun(files);
    script[6]["fields"] = {"{Onbekend}-{#}"};  // a column the data file does not have
    script[8] = {{"button", "Met logboek"}};
    script.push_back(json::object());
    ScriptedDialogs dialogs(script.dump());
    QVCommand(nullptr);
    dialogs.expectScriptUsedUp();

    auto names = folderNames(files.out);
    ASSERT_EQ(names.size(), 1u);  // only the log: nothing was written
    auto report = dialogs.lines().back();
    EXPECT_EQ(report["message"], "Samenvoegen mislukt");
    std::string informative = report["informative"];
    EXPECT_TRUE(informative.ends_with("\n0 PDF-bestanden zijn al gemaakt.\nLogboeklocatie: " +
                                      (files.out / names[0]).string()))
        << informative;
    EXPECT_GT(informative.find('\n'), 0u);  // the engine's own message comes first
}

TEST(RealMerge, APersonCanMergeInATerminal) {
    WorkflowFiles files("Text Box 1,Text Box 2\nAmsterdam,Jansen\nUtrecht,de Vries\n");
    std::string typed = files.form.string() + "\n" +  // template
                        files.csv.string() + "\n" +   // data file
                        "\n1\n" +                     // separator: keep the comma, Verder
                        "1\n" +                       // preview: Verder
                        "\n\n1\n" +                   // mapping: keep both proposals, Verder
                        "1\n" +                       // separate files
                        "Klant-{Text Box 2}\n1\n" +   // file name pattern
                        "\n1\n" +                     // no watermark
                        "1\n" +                       // no log
                        files.out.string() + "\n" +   // output folder
                        "\n";                         // report
    std::string shown = runInTerminal(typed);

    EXPECT_TRUE(contains(shown, "Kies het scheidingsteken")) << shown;
    EXPECT_TRUE(contains(shown, "Record 1")) << shown;
    EXPECT_TRUE(contains(shown, "Samenvoegen voltooid")) << shown;
    EXPECT_TRUE(contains(shown, "2 PDF-bestanden gemaakt.")) << shown;
    EXPECT_EQ(folderNames(files.out), (std::vector<std::string>{"Klant-Jansen.pdf", "Klant-de Vries.pdf"}));
    EXPECT_TRUE(contains(pdfText(files.out / "Klant-de Vries.pdf"), "Utrecht"));
}
