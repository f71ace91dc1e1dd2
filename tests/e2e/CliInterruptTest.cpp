// `quorvel merge` stopped with real signals, finished with --skip-existing, and limited to
// chosen records with --records: exit statuses, messages, logs and the files themselves.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "support/CustomerMerge.h"
#include "support/FormFixtures.h"
#include "support/TestSupport.h"

extern char** environ;

using qvtest::CommandResult;
namespace fs = std::filesystem;

namespace {

// A merge started in the background, its output going to files.
class Running {
public:
    Running(const std::vector<std::string>& argv, const fs::path& outputs)
        : out_(outputs / "stdout"), err_(outputs / "stderr") {
        std::vector<char*> pointers;
        for (const std::string& a : argv) pointers.push_back(const_cast<char*>(a.c_str()));
        pointers.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (posix_spawn(&pid_, pointers[0], &actions, nullptr, pointers.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Running() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool started() const { return pid_ > 0; }
    bool running() {
        if (pid_ <= 0) return false;
        if (::waitpid(pid_, &status_, WNOHANG) == 0) return true;
        pid_ = -1;
        return false;
    }
    void signal(int number) const {
        if (pid_ > 0) ::kill(pid_, number);
    }
    // The raw wait status once the program has ended.
    int wait() {
        if (pid_ > 0) ::waitpid(pid_, &status_, 0);
        pid_ = -1;
        return status_;
    }
    std::string output() const { return qvtest::readFile(out_); }
    std::string errors() const { return qvtest::readFile(err_); }

private:
    fs::path out_, err_;
    pid_t pid_ = -1;
    int status_ = 0;
};

class CliInterrupt : public qvtest::CustomerMergeTest {
protected:
    static constexpr int kRecords = 2500;
    std::string form_ = file("formulier.pdf", qvfixture::textForm({"Naam", "Plaats"}));
    std::string data_ = file("klanten.csv", records(kRecords));

    std::vector<std::string> merge(const fs::path& out, std::vector<std::string> more = {}) const {
        return qvtest::quorvelMerge(form_, data_, out, more);
    }
    static std::vector<fs::path> logs(const fs::path& folder) {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().extension() == ".json") found.push_back(entry.path());
        std::sort(found.begin(), found.end());
        return found;
    }
    // Waits (at most a minute) until `ready` holds while the program still runs.
    static bool waitFor(Running& program, const std::function<bool()>& ready) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (std::chrono::steady_clock::now() < end) {
            if (ready()) return true;
            if (!program.running()) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    static bool anyPdf(const fs::path& folder) {
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().extension() == ".pdf") return true;
        return false;
    }
};

}  // namespace

TEST_F(CliInterrupt, CtrlCStopsAfterTheCurrentFileAndSkipExistingFinishesTheRun) {
    qvtest::TempDir whole, out;
    CommandResult reference = qvtest::runCommand(merge(whole.path(), {"--quiet"}));
    ASSERT_EQ(reference.status, 0) << reference.errors;

    Running program(merge(out.path(), {"--log", "--jobs", "2"}), dir_.path());
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitFor(program, [&] { return anyPdf(out.path()); })) << "the merge ended before its first file";
    program.signal(SIGINT);
    const int status = program.wait();
    ASSERT_TRUE(WIFEXITED(status)) << "one Ctrl-C ends the merge by itself";
    EXPECT_EQ(WEXITSTATUS(status), 130) << program.errors();

    // Only complete files, exactly those of a whole run, and the log names each of them.
    const std::map<std::string, std::string> left = pdfs(out.path());
    ASSERT_GT(left.size(), 0u);
    ASSERT_LT(left.size(), static_cast<size_t>(kRecords)) << "the merge was not interrupted";
    const std::map<std::string, std::string> all = pdfs(whole.path());
    for (const auto& [name, bytes] : left) ASSERT_TRUE(all.count(name) && all.at(name) == bytes) << name;
    EXPECT_EQ(qvtest::runCommand({"qpdf", "--check", (out.path() / left.rbegin()->first).string()}).status, 0);
    // Counts take the singular for one, as the program says them.
    auto files = [](size_t n, const std::string& one, const std::string& more) {
        return std::to_string(n) + " " + (n == 1 ? one : more);
    };
    const std::string message = "Onderbroken na " + files(left.size(), "bestand.", "bestanden.");
    EXPECT_EQ(program.errors().rfind(message + "\nLogboeklocatie: ", 0), 0u) << program.errors();
    EXPECT_EQ(program.output(), "");
    ASSERT_EQ(logs(out.path()).size(), 1u);
    nlohmann::json log = nlohmann::json::parse(qvtest::readFile(logs(out.path())[0]));
    EXPECT_EQ(log["interrupted"], true);
    EXPECT_EQ(log["status"], "failed");
    EXPECT_EQ(log["error"], message);
    std::vector<std::string> names;
    for (const auto& [name, bytes] : left) names.push_back(name);
    EXPECT_EQ(log["output_files"].get<std::vector<std::string>>(), names) << "in record order, which sorts";

    // The same command again fails on the first file present; with --skip-existing it ends the job.
    CommandResult again = qvtest::runCommand(merge(out.path(), {"--quiet"}));
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.errors.find("Uitvoerbestand bestaat al: merge-000001.pdf"), std::string::npos) << again.errors;
    CommandResult rest = qvtest::runCommand(merge(out.path(), {"--skip-existing", "--log"}));
    ASSERT_EQ(rest.status, 0) << rest.errors;
    EXPECT_EQ(rest.output.rfind(
                  files(kRecords - left.size(), "PDF-bestand gemaakt.\n", "PDF-bestanden gemaakt.\n") +
                      files(left.size(), "bestaand bestand overgeslagen.\n", "bestaande bestanden overgeslagen.\n"),
                  0),
              0u)
        << rest.output;
    EXPECT_TRUE(pdfs(out.path()) == all) << "the two runs together wrote the whole run, byte for byte";
    ASSERT_EQ(logs(out.path()).size(), 2u);
    for (const fs::path& path : logs(out.path())) {
        nlohmann::json second = nlohmann::json::parse(qvtest::readFile(path));
        if (second.contains("interrupted")) continue;
        EXPECT_EQ(second["skipped"].get<std::vector<std::string>>(), names);
        EXPECT_EQ(second["skipped_count"], left.size());
        EXPECT_EQ(second["output_files"].size(), kRecords - left.size());
    }
}

TEST_F(CliInterrupt, SigtermStopsACombinedMergeWithoutItsFileAndASecondSignalKills) {
    qvtest::TempDir out;
    {
        Running program(merge(out.path(), {"--mode", "combined", "--log", "--quiet"}), dir_.path());
        // The log exists from the start of the merge, when the handlers are in place already.
        ASSERT_TRUE(waitFor(program, [&] { return !logs(out.path()).empty(); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        program.signal(SIGTERM);
        const int status = program.wait();
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 130);
        EXPECT_EQ(
            program.errors().rfind("Onderbroken; het gecombineerde bestand is niet gemaakt.\nLogboeklocatie: ", 0), 0u)
            << program.errors();
        EXPECT_TRUE(pdfs(out.path()).empty());
        nlohmann::json log = nlohmann::json::parse(qvtest::readFile(logs(out.path()).at(0)));
        EXPECT_EQ(log["interrupted"], true);
        EXPECT_TRUE(log["output_files"].empty());
    }
    {
        // Two signals at once on one thread: the first one's handler gives the second its
        // default action, so the process ends by the signal, leaving only complete files.
        qvtest::TempDir second;
        Running program(merge(second.path(), {"--jobs", "1", "--quiet"}), dir_.path());
        ASSERT_TRUE(waitFor(program, [&] { return anyPdf(second.path()); }));
        program.signal(SIGINT);
        program.signal(SIGTERM);
        const int status = program.wait();
        EXPECT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
        for (const auto& [name, bytes] : pdfs(second.path()))
            ASSERT_EQ(qvtest::runCommand({"qpdf", "--check", (second.path() / name).string()}).status, 0) << name;
    }
}

TEST_F(CliInterrupt, RecordsChooseWhatIsWrittenAndBadListsAreUsageErrors) {
    data_ = file("veertig.csv", records(40));
    qvtest::TempDir out, shared, combined;
    CommandResult chosen = qvtest::runCommand(merge(out.path(), {"--records", "12, 3-5", "--log"}));
    ASSERT_EQ(chosen.status, 0) << chosen.errors;
    const std::vector<std::string> expected = {"merge-000003.pdf", "merge-000004.pdf", "merge-000005.pdf",
                                               "merge-000012.pdf"};
    std::vector<std::string> names;
    for (const auto& [name, bytes] : pdfs(out.path())) names.push_back(name);
    EXPECT_EQ(names, expected);
    nlohmann::json log = nlohmann::json::parse(qvtest::readFile(logs(out.path()).at(0)));
    EXPECT_EQ(log["output_files"].get<std::vector<std::string>>(), expected);
    EXPECT_EQ(log["settings"]["records"], "3-5,12");
    EXPECT_EQ(
        qvtest::runCommand({"pdftotext", (out.path() / "merge-000012.pdf").string(), "-"}).output.find("Klant 12"), 0u);

    // With --shard, the chosen records of the share: share 1 of 2 holds records 1 to 20.
    CommandResult share = qvtest::runCommand(merge(shared.path(), {"--records", "3-5,12,30-31", "--shard", "1/2"}));
    ASSERT_EQ(share.status, 0) << share.errors;
    EXPECT_EQ(pdfs(shared.path()).size(), 4u);

    CommandResult joined = qvtest::runCommand(merge(combined.path(), {"--records", "3-5,12", "--mode", "combined"}));
    ASSERT_EQ(joined.status, 0) << joined.errors;
    const fs::path file = combined.path() / "merge-gecombineerd.pdf";
    EXPECT_EQ(qvtest::runCommand({"qpdf", "--check", file.string()}).status, 0);
    EXPECT_EQ(qvtest::runCommand({"qpdf", "--show-npages", file.string()}).output, "4\n");

    for (const char* bad : {"3-", "drie", "5-3", "1,,2", ""}) {
        qvtest::TempDir none;
        CommandResult refused = qvtest::runCommand(merge(none.path(), {"--records", bad}));
        EXPECT_EQ(refused.status, 2) << bad;
        EXPECT_EQ(refused.errors, "Ongeldige recordlijst '" + std::string(bad) +
                                      "': gebruik recordnummers en reeksen, gescheiden door komma's, bijvoorbeeld "
                                      "3-5,12.\n");
        EXPECT_TRUE(pdfs(none.path()).empty());
    }
    for (const auto& [list, record] : std::vector<std::pair<std::string, std::string>>{{"0-3", "0"}, {"39-41", "41"}}) {
        CommandResult refused = qvtest::runCommand(merge(dir_ / "niets", {"--records", list}));
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.errors, "Record " + record + " bestaat niet: het gegevensbestand heeft records 1 tot 40.\n");
    }
    EXPECT_FALSE(fs::exists(dir_ / "niets"));
    CommandResult combinedSkip = qvtest::runCommand(merge(combined.path(), {"--mode", "combined", "--skip-existing"}));
    EXPECT_EQ(combinedSkip.status, 2);
    EXPECT_NE(combinedSkip.errors.find("--skip-existing werkt alleen met --mode separate"), std::string::npos);
}
