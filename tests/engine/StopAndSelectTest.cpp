// Merges stopped between two records, finished later by skipping the files that exist, and
// merges of chosen records only: what stays on disk, what the run says and what its log holds.

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <nlohmann/json.hpp>

#include "engine/MergeHarness.h"
#include "engine/MergeRun.h"

using namespace qvtest;

namespace {

std::string name(int r) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "merge-%06d.pdf", r);
    return buffer;
}

class StopAndSelect : public MergeTest {
protected:
    std::atomic<bool> stop_{false};

    void TearDown() override { QVSetMergeProgressHandler({}); }

    MergeArgs args(int records = 20) const {
        MergeArgs a;
        a.templateBytes = qvfixture::textForm({"naam", "plaats"});
        std::vector<std::string> lines{"naam,plaats"};
        for (int i = 1; i <= records; ++i)
            lines.push_back("Klant " + std::to_string(i) + ",Plaats " + std::to_string(i));
        a.data = csv(lines);
        a.watermarkPattern = "Kopie {#}";
        return a;
    }

    struct Outcome : MergeOutcome {
        QVMergeReport report;
    };

    Outcome run(const fs::path& folder, const MergeArgs& a, unsigned jobs = 1,
                std::function<void(QVMergeSettings&)> adjust = {}) {
        QVMergeSettings settings = settingsFor(a, folder);
        settings.jobs = jobs;
        settings.stopRequested = &stop_;
        if (adjust) adjust(settings);
        Outcome o;
        QVError error;
        o.ok = QVMergeWithSettings(settings, &o.count, &error, &o.outputs, &o.report);
        o.message = o.ok ? "OK" : error.message;
        return o;
    }

    // Raises the stop as record `k` of the second pass is done, as Ctrl-C would at that moment.
    void stopAfter(uint64_t k) {
        stop_ = false;
        QVSetMergeProgressHandler([this, k](uint64_t done, uint64_t) {
            if (done == k) stop_ = true;
        });
    }
};

}  // namespace

TEST_F(StopAndSelect, AStopEndsSeparateOutputAfterTheFileBeingWrittenAndSkippingFinishesIt) {
    MergeArgs a = args();
    TempDir whole;
    ASSERT_TRUE(run(whole.path(), a).ok);
    for (const unsigned jobs : {1u, 3u}) {
        SCOPED_TRACE(jobs);
        TempDir out;
        stopAfter(7);
        Outcome stopped = run(out.path(), a, jobs);
        EXPECT_FALSE(stopped.ok);
        EXPECT_TRUE(stopped.report.interrupted);
        EXPECT_EQ(stopped.message, "Onderbroken na 7 bestanden.");
        EXPECT_EQ(stopped.count, 7u);
        ASSERT_EQ(stopped.outputs.size(), 7u);
        EXPECT_EQ(stopped.outputs.back(), name(7));
        // Nothing else, not even a file prepared on a building thread for a later record.
        EXPECT_EQ(filesIn(out.path()), stopped.outputs);
        for (const std::string& file : stopped.outputs) EXPECT_EQ(readFile(out / file), readFile(whole / file));

        // Without --skip-existing the files present stop the merge as before.
        QVSetMergeProgressHandler({});
        stop_ = false;
        EXPECT_EQ(run(out.path(), a, jobs).message, "Uitvoerbestand bestaat al: " + name(1));
        Outcome rest = run(out.path(), a, jobs, [](QVMergeSettings& s) { s.skipExisting = true; });
        ASSERT_TRUE(rest.ok) << rest.message;
        EXPECT_EQ(rest.count, 13u);
        EXPECT_EQ(rest.report.skipped, std::vector<std::string>(stopped.outputs.begin(), stopped.outputs.end()));
        EXPECT_EQ(rest.outputs.front(), name(8));
        EXPECT_EQ(folderContents(out.path(), ".pdf"), folderContents(whole.path(), ".pdf"));
    }
}

TEST_F(StopAndSelect, AStopBeforeTheFirstFileOrInTheChecksWritesNothing) {
    TempDir out;
    stop_ = true;
    Outcome o = run(out.path(), args());
    EXPECT_TRUE(o.report.interrupted);
    EXPECT_EQ(o.message, "Onderbroken na 0 bestanden.");
    EXPECT_EQ(o.count, 0u);
    EXPECT_TRUE(filesIn(out.path()).empty());
    // The singular, for one file.
    stopAfter(1);
    EXPECT_EQ(run(out.path(), args()).message, "Onderbroken na 1 bestand.");
}

TEST_F(StopAndSelect, AStoppedCombinedMergeLeavesNoCombinedFile) {
    MergeArgs a = args();
    a.mode = QVOutputModeCombined;
    for (const uint64_t k : {1u, 19u, 20u}) {
        SCOPED_TRACE(k);
        TempDir out;
        stopAfter(k);  // 20: after the last record, before the file gets its name
        Outcome o = run(out.path(), a, 2);
        EXPECT_TRUE(o.report.interrupted);
        EXPECT_EQ(o.message, "Onderbroken; het gecombineerde bestand is niet gemaakt.");
        EXPECT_EQ(o.count, 0u);
        EXPECT_TRUE(o.outputs.empty());
        EXPECT_TRUE(filesIn(out.path()).empty());
    }
    QVSetMergeProgressHandler({});
    stop_ = false;
    TempDir out;
    Outcome refused = run(out.path(), a, 1, [](QVMergeSettings& s) { s.skipExisting = true; });
    EXPECT_EQ(refused.message, "Bestaande bestanden overslaan kan alleen bij losse uitvoer.");
}

TEST_F(StopAndSelect, TheLogOfAStoppedRunListsTheFilesOnDiskAndThenTheSkippedOnes) {
    MergeArgs a = args();
    TempDir out;
    auto logged = [&](const std::string& logName, bool skip) {
        return run(out.path(), a, 2, [&](QVMergeSettings& s) {
            s.logURL = out / logName;
            s.templateURL = "/t.pdf";
            s.dataURL = "/d.csv";
            s.skipExisting = skip;
        });
    };
    stopAfter(5);
    Outcome stopped = logged("eerste.json", false);
    ASSERT_TRUE(stopped.report.interrupted);
    nlohmann::json log = nlohmann::json::parse(readFile(out / "eerste.json"));
    EXPECT_EQ(log["interrupted"], true);
    EXPECT_EQ(log["status"], "failed");
    EXPECT_EQ(log["error"], "Onderbroken na 5 bestanden.");
    EXPECT_EQ(log["output_files"].get<std::vector<std::string>>(), stopped.outputs);
    EXPECT_EQ(folderContents(out.path(), ".pdf").size(), 5u);
    EXPECT_FALSE(log.contains("skipped")) << "members beyond the plain log only when asked for";
    EXPECT_FALSE(log["settings"].contains("skip_existing"));

    QVSetMergeProgressHandler({});
    stop_ = false;
    Outcome rest = logged("tweede.json", true);
    ASSERT_TRUE(rest.ok) << rest.message;
    log = nlohmann::json::parse(readFile(out / "tweede.json"));
    EXPECT_FALSE(log.contains("interrupted"));
    EXPECT_EQ(log["status"], "success");
    EXPECT_EQ(log["skipped"].get<std::vector<std::string>>(), stopped.outputs);
    EXPECT_EQ(log["skipped_count"], 5);
    EXPECT_EQ(log["output_files"].size(), 15u);
    EXPECT_EQ(log["settings"]["skip_existing"], true);
}

TEST_F(StopAndSelect, ChosenRecordsAloneAreWrittenWithTheirWholeRunNames) {
    MergeArgs a = args();
    const std::vector<QVRecordRange> chosen = {{12, 12}, {3, 5}, {4, 6}};  // out of order, overlapping
    auto choose = [&chosen](QVMergeSettings& s) { s.records = chosen; };
    TempDir whole;
    ASSERT_TRUE(run(whole.path(), a).ok);
    const std::vector<std::string> expected = {name(3), name(4), name(5), name(6), name(12)};
    for (const unsigned jobs : {1u, 3u}) {
        TempDir out;
        // A file of a record that is not chosen is no obstacle.
        writeFile(out / name(1), "anders");
        Outcome o = run(out.path(), a, jobs, choose);
        ASSERT_TRUE(o.ok) << o.message;
        EXPECT_EQ(o.outputs, expected);
        for (const std::string& file : expected) EXPECT_EQ(readFile(out / file), readFile(whole / file));
        EXPECT_EQ(readFile(out / name(1)), "anders");
    }

    // Within shares: each takes the chosen records of its own range.
    TempDir shared;
    std::vector<std::string> names;
    for (uint64_t k = 1; k <= 4; ++k) {
        Outcome o = run(shared.path(), a, 2, [&](QVMergeSettings& s) {
            choose(s);
            s.shard = {k, 4};
        });
        ASSERT_TRUE(o.ok) << o.message;
        names.insert(names.end(), o.outputs.begin(), o.outputs.end());
    }
    EXPECT_EQ(names, expected);

    // Combined: the chosen records' pages in record order.
    a.mode = QVOutputModeCombined;
    TempDir combined;
    ASSERT_TRUE(run(combined.path(), a, 1, choose).ok);
    const std::string text = pdfText(combined / "merge-gecombineerd.pdf");
    EXPECT_TRUE(qpdfChecks(combined / "merge-gecombineerd.pdf"));
    size_t at = 0;
    for (const char* copy : {"Kopie 000003", "Kopie 000004", "Kopie 000005", "Kopie 000006", "Kopie 000012"}) {
        at = text.find(copy, at);
        ASSERT_NE(at, std::string::npos) << copy;
    }
    EXPECT_EQ(text.find("Kopie 000007"), std::string::npos);
    EXPECT_EQ(text.find("Kopie 000001"), std::string::npos);
}

TEST_F(StopAndSelect, EveryRecordIsStillCheckedAndChoicesBeyondTheDataFail) {
    MergeArgs a = args();
    a.pattern = "{plaats}";
    a.data += "Klant 21,Plaats 2\n";  // not chosen, yet it repeats record 2's name
    TempDir out;
    Outcome o = run(out.path(), a, 1, [](QVMergeSettings& s) { s.records = std::vector<QVRecordRange>{{1, 3}}; });
    EXPECT_EQ(o.message, "Dubbele bestandsnaam 'Plaats 2.pdf' bij record 21. Voeg bijvoorbeeld {#} toe.");
    EXPECT_TRUE(filesIn(out.path()).empty());

    for (const QVRecordRange bad : {QVRecordRange{0, 2}, QVRecordRange{5, 21}, QVRecordRange{6, 5}}) {
        Outcome refused =
            run(out.path(), args(), 1, [bad](QVMergeSettings& s) { s.records = std::vector<QVRecordRange>{bad}; });
        EXPECT_EQ(refused.message, "Ongeldige recordselectie " + std::to_string(bad.first) + "-" +
                                       std::to_string(bad.last) + ": het gegevensbestand heeft records 1 tot 20.");
    }
    EXPECT_EQ(QVRecordRangesText(QVNormalizeRecordRanges({{9, 9}, {3, 5}, {6, 7}, {12, 14}, {13, 13}})), "3-7,9,12-14");
}
