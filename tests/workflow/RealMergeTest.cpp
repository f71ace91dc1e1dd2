// Whole merges through the command with the real engine: the files on disk are what counts.
#include <gtest/gtest.h>

#include <algorithm>

#include "WorkflowFixture.h"
#include "workflow/Command.h"

using nlohmann::json;
using namespace qvtest;

namespace {

bool qpdfChecks(const fs::path& pdf) { return runCommand({"qpdf", "--check", pdf.string()}).status == 0; }

}  // namespace

TEST(RealMerge, SeparateFilesWithWatermarkAndLog) {
    WorkflowFiles files("Text Box 1,Text Box 2\nAmsterdam,Jansen\nUtrecht,de Vries\n");
    json script = completeRun(files);
    script[7] = {{"popups", {2}}};                                   // watermark from Text Box 2
    script.insert(script.begin() + 8, json{{"popups", {2, 0, 0}}});  // at the top
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
    script[6]["fields"] = {"Brief"};  // the same name for both records
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
    EXPECT_TRUE(
        informative.ends_with("\n0 PDF-bestanden zijn al gemaakt.\nLogboeklocatie: " + (files.out / names[0]).string()))
        << informative;
    EXPECT_GT(informative.find('\n'), 0u);  // the engine's own message comes first
}

TEST(RealMerge, APersonCanMergeInATerminal) {
    WorkflowFiles files("Text Box 1,Text Box 2\nAmsterdam,Jansen\nUtrecht,de Vries\n");
    std::string typed = files.form.string() + "\n" +  // template
                        files.csv.string() + "\n" +   // data file
                        "\n1\n" +                     // separator: keep the comma, Verder
                        "1\n" +                       // preview: Verder
                        "\n1\n" +                     // mapping: the overview is right, Verder
                        "1\n" +                       // separate files
                        "Klant-{Text Box 2}\n1\n" +   // file name pattern
                        "\n1\n" +                     // no watermark
                        "1\n" +                       // no log
                        files.out.string() + "\n" +   // output folder
                        "\n";                         // report
    std::string shown = runCommandInTerminal(typed);

    EXPECT_TRUE(contains(shown, "Kies het scheidingsteken")) << shown;
    EXPECT_TRUE(contains(shown, "Record 1")) << shown;
    EXPECT_TRUE(contains(shown, "Samenvoegen voltooid")) << shown;
    EXPECT_TRUE(contains(shown, "2 PDF-bestanden gemaakt.")) << shown;
    EXPECT_EQ(folderNames(files.out), (std::vector<std::string>{"Klant-Jansen.pdf", "Klant-de Vries.pdf"}));
    EXPECT_TRUE(contains(pdfText(files.out / "Klant-de Vries.pdf"), "Utrecht"));
}

namespace {

// Answers dialogs from a script and keeps every progress report the backend receives.
class ProgressSpy : public qvui::DialogBackend {
public:
    explicit ProgressSpy(std::shared_ptr<qvui::ScriptedBackend> script) : script_(std::move(script)) {}
    qvui::AlertAnswer runAlert(qvui::Alert& alert) override {
        events.push_back("alert " + alert.messageText());
        return script_->runAlert(alert);
    }
    qvui::PanelAnswer runOpenPanel(const qvui::OpenPanel& panel) override { return script_->runOpenPanel(panel); }
    void beginProgress(const std::string& message) override { events.push_back("begin " + message); }
    void updateProgress(uint64_t done, uint64_t total) override {
        events.push_back(std::to_string(done) + "/" + std::to_string(total));
    }
    void endProgress() override { events.push_back("end"); }

    std::vector<std::string> events;

private:
    std::shared_ptr<qvui::ScriptedBackend> script_;
};

}  // namespace

TEST(RealMerge, TheMergeReportsItsProgressToTheDialogs) {
    WorkflowFiles files("Text Box 1,Text Box 2\nAmsterdam,Jansen\nUtrecht,de Vries\nGouda,Visser\n");
    json script = completeRun(files);
    script.push_back(json::object());
    auto answers = scriptFrom(script.dump());
    auto spy = std::make_shared<ProgressSpy>(answers);
    DialogSession session(spy);
    QVCommand(nullptr);
    EXPECT_EQ(answers->answersLeft(), 0u);

    // From the log question on: the records done, one by one, between the last dialog and the report.
    auto from = std::find(spy->events.begin(), spy->events.end(), "alert Verwerkingslogboek bewaren?");
    ASSERT_NE(from, spy->events.end());
    EXPECT_EQ(std::vector<std::string>(from + 1, spy->events.end()),
              (std::vector<std::string>{"begin PDF-bestanden maken...", "1/3", "2/3", "3/3", "end",
                                        "alert Samenvoegen voltooid"}));
}
