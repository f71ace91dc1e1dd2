// `quorvel merge --jobs` and `--shard` run as a program: threads and shares change nothing in
// what is written, GNU parallel's shares add up to the whole merge, job schedulers' variables
// choose the share, and a share that makes no sense is a usage error.

#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/CustomerMerge.h"
#include "support/FormFixtures.h"
#include "support/TestSupport.h"

using qvtest::CommandResult;
using qvtest::ScopedEnv;
namespace fs = std::filesystem;

namespace {

class CliShard : public qvtest::CustomerMergeTest {
protected:
    std::string form_ = file("formulier.pdf", qvfixture::textForm({"Naam", "Plaats"}));
    std::string data_ = file("klanten.csv", records(40));

    std::vector<std::string> merge(const fs::path& out, std::vector<std::string> more = {}) {
        more.insert(more.begin(), {"--watermark-pattern", "Kopie voor {Naam}"});
        return qvtest::quorvelMerge(form_, data_, out, more);
    }
    CommandResult run(const fs::path& out, std::vector<std::string> more = {}) {
        return qvtest::runCommand(merge(out, std::move(more)));
    }
    // The log of a run without what differs between any two runs: the times and the folder.
    static nlohmann::json logOf(const fs::path& folder) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().extension() != ".json") continue;
            nlohmann::json log = nlohmann::json::parse(qvtest::readFile(entry.path()));
            for (const char* key : {"started_at", "finished_at", "output_directory"}) log.erase(key);
            return log;
        }
        return nullptr;
    }
};

}  // namespace

TEST_F(CliShard, ThreadsWriteTheSameFilesAndLogAsOne) {
    for (const char* mode : {"separate", "combined"}) {
        SCOPED_TRACE(mode);
        qvtest::TempDir one, three;
        CommandResult single = run(one.path(), {"--mode", mode, "--jobs", "1", "--log"});
        CommandResult threaded = run(three.path(), {"--mode", mode, "--jobs", "3", "--log"});
        ASSERT_EQ(single.status, 0) << single.errors;
        EXPECT_EQ(threaded.status, 0) << threaded.errors;
        EXPECT_EQ(pdfs(three.path()), pdfs(one.path()));
        EXPECT_EQ(logOf(three.path()), logOf(one.path()));
        EXPECT_FALSE(logOf(one.path()).is_null());
    }

    // A failure in the middle of the first pass: the same lines whatever the threads.
    qvfixture::FormBuilder short_;
    const int page = short_.addPage();
    qvfixture::FieldSpec naam{std::string("Naam")};
    naam.maxLength = 8;
    short_.addWidget(page, short_.addField(naam));
    form_ = file("kort.pdf", short_.build());
    std::string names = "Naam\n";
    for (int i = 1; i <= 26; ++i) names += (i == 21 ? "Ruim acht tekens" : "K" + std::to_string(i)) + "\n";
    data_ = file("lang.csv", names);
    qvtest::TempDir a, b;
    CommandResult single = qvtest::runCommand(merge(a.path(), {"--jobs", "1"}));
    CommandResult threaded = qvtest::runCommand(merge(b.path(), {"--jobs", "3"}));
    EXPECT_EQ(single.status, 1);
    EXPECT_EQ(threaded.status, single.status);
    EXPECT_EQ(threaded.errors, single.errors);
    EXPECT_NE(single.errors.find("record 22"), std::string::npos) << single.errors;
}

TEST_F(CliShard, GnuParallelSharesAddUpToTheWholeMerge) {
    qvtest::TempDir whole, shared, combined;
    ASSERT_EQ(run(whole.path(), {"--jobs", "1"}).status, 0);

    // Four shares at once, all into one folder that they make together, as on four machines
    // sharing a disk.
    const fs::path folder = shared.path() / "uit";
    std::vector<std::string> command = {"parallel", "--quote", "--halt", "now,fail=1", "--jobs", "4"};
    for (const std::string& argument : merge(folder, {"--jobs", "2", "--quiet", "--shard", "{}/4"}))
        command.push_back(argument);
    for (const char* k : {":::", "1", "2", "3", "4"}) command.push_back(k);
    CommandResult result = qvtest::runCommand(command);
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(pdfs(folder), pdfs(whole.path()));
    EXPECT_EQ(pdfs(folder).size(), 40u);

    // Combined shares join, in the order their names sort, into the whole merge's pages.
    command = {"parallel", "--quote", "--halt", "now,fail=1"};
    for (const std::string& argument : merge(combined.path(), {"--mode", "combined", "--quiet", "--shard", "{}/3"}))
        command.push_back(argument);
    for (const char* k : {":::", "1", "2", "3"}) command.push_back(k);
    result = qvtest::runCommand(command);
    ASSERT_EQ(result.status, 0) << result.errors;
    std::vector<std::string> names;
    for (const auto& [name, bytes] : pdfs(combined.path())) names.push_back(name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"merge-gecombineerd-001-van-003.pdf", "merge-gecombineerd-002-van-003.pdf",
                                        "merge-gecombineerd-003-van-003.pdf"}));
    ASSERT_EQ(run(whole.path(), {"--mode", "combined"}).status, 0);
    std::vector<std::string> join = {"qpdf", "--empty", "--pages"};
    for (const std::string& name : names) join.push_back((combined.path() / name).string());
    join.insert(join.end(), {"--", (combined.path() / "alles.pdf").string()});
    ASSERT_EQ(qvtest::runCommand(join).status, 0);
    auto text = [](const fs::path& pdf) { return qvtest::runCommand({"pdftotext", pdf.string(), "-"}).output; };
    EXPECT_EQ(text(combined.path() / "alles.pdf"), text(whole.path() / "merge-gecombineerd.pdf"));
}

TEST_F(CliShard, AutoReadsTheJobSchedulersVariables) {
    auto namesAfter = [this](std::vector<std::pair<std::string, std::string>> variables) {
        std::vector<std::unique_ptr<ScopedEnv>> set;
        for (const char* name : {"SLURM_ARRAY_TASK_ID", "SLURM_ARRAY_TASK_COUNT", "SLURM_ARRAY_TASK_MIN",
                                 "SLURM_ARRAY_TASK_STEP", "JOB_COMPLETION_INDEX", "QV_SHARD_COUNT"})
            set.push_back(std::make_unique<ScopedEnv>(name, std::nullopt));
        for (auto& [name, value] : variables) set.push_back(std::make_unique<ScopedEnv>(name, value));
        qvtest::TempDir out;
        CommandResult result = run(out.path(), {"--shard", "auto", "--pattern", "{Naam}"});
        std::vector<std::string> names;
        for (const auto& [name, bytes] : pdfs(out.path())) names.push_back(name);
        return std::make_pair(result, names);
    };
    // --array=4-12:4 makes tasks 4, 8 and 12; task 8 is the second of three (records 14 to 26).
    auto [slurm, slurmNames] = namesAfter({{"SLURM_ARRAY_TASK_ID", "8"},
                                           {"SLURM_ARRAY_TASK_COUNT", "3"},
                                           {"SLURM_ARRAY_TASK_MIN", "4"},
                                           {"SLURM_ARRAY_TASK_STEP", "4"}});
    EXPECT_EQ(slurm.status, 0) << slurm.errors;
    ASSERT_EQ(slurmNames.size(), 13u);
    EXPECT_EQ(slurmNames.front(), "Klant 14.pdf");
    EXPECT_EQ(slurmNames.back(), "Klant 26.pdf");

    // A Kubernetes Indexed Job counts from 0; the manifest gives the count.
    auto [k8s, k8sNames] = namesAfter({{"JOB_COMPLETION_INDEX", "4"}, {"QV_SHARD_COUNT", "5"}});
    EXPECT_EQ(k8s.status, 0) << k8s.errors;
    ASSERT_EQ(k8sNames.size(), 8u);
    EXPECT_EQ(k8sNames.front(), "Klant 33.pdf");

    auto [noCount, none] = namesAfter({{"JOB_COMPLETION_INDEX", "0"}});
    EXPECT_EQ(noCount.status, 2);
    EXPECT_NE(noCount.errors.find("QV_SHARD_COUNT"), std::string::npos) << noCount.errors;
    EXPECT_TRUE(none.empty());
    auto [nothing, alsoNone] = namesAfter({});
    EXPECT_EQ(nothing.status, 2);
    EXPECT_EQ(nothing.errors,
              "--shard auto vindt geen deel in de omgeving: verwacht SLURM_ARRAY_TASK_ID en "
              "SLURM_ARRAY_TASK_COUNT, of JOB_COMPLETION_INDEX en QV_SHARD_COUNT.\n");
    auto [beyond, beyondNames] = namesAfter({{"JOB_COMPLETION_INDEX", "5"}, {"QV_SHARD_COUNT", "5"}});
    EXPECT_EQ(beyond.status, 2);
    EXPECT_NE(beyond.errors.find("6/5"), std::string::npos) << beyond.errors;
}

TEST_F(CliShard, ASharesOrThreadsThatMakeNoSenseAreUsageErrors) {
    for (const char* bad : {"0/3", "4/3", "1/0", "3", "a/b", "1/3/5", " 1/3", "1/1000001"}) {
        qvtest::TempDir out;
        CommandResult result = run(out.path(), {"--shard", bad});
        EXPECT_EQ(result.status, 2) << bad;
        EXPECT_EQ(result.errors, "Ongeldig deel " + std::string(bad) +
                                     ": gebruik K/N met K van 1 tot N en N van 1 tot 1000000, bijvoorbeeld 3/16.\n")
            << bad;
        EXPECT_TRUE(pdfs(out.path()).empty());
    }
    for (const char* bad : {"0", "1025", "x", "2.5"}) {
        qvtest::TempDir out;
        CommandResult result = run(out.path(), {"--jobs", bad});
        EXPECT_EQ(result.status, 2) << bad;
        EXPECT_NE(result.errors.find("Een geheel getal van 1 tot 1024, bijvoorbeeld 4."), std::string::npos)
            << result.errors;
    }
}
