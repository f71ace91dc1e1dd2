// Merges on several threads and merges shared out over several runs: the same files, counts,
// names and messages as one run on one thread, also when a record fails halfway.

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "engine/Combined.h"
#include "engine/MergeHarness.h"
#include "engine/Ordered.h"
#include "engine/Threads.h"
#include "input/Template.h"
#include "output/OutputFolder.h"
#include "output/PosixIO.h"
#include "platform/System.h"

using namespace qvtest;

namespace {

class Parallel : public MergeTest {
protected:
    // Twenty-five records: more than a few windows of three threads.
    MergeArgs args() const {
        MergeArgs a;
        a.templateBytes = qvfixture::textForm({"naam", "plaats"});
        std::vector<std::string> lines{"naam,plaats"};
        for (int i = 1; i <= 25; ++i) lines.push_back("Klant " + std::to_string(i) + ",Plaats " + std::to_string(i));
        a.data = csv(lines);
        a.watermarkPattern = "Kopie {#} voor {naam}";
        return a;
    }

    MergeOutcome run(const fs::path& folder, const MergeArgs& a, unsigned jobs, QVShard shard = {}) {
        QVMergeSettings settings = settingsFor(a, folder);
        settings.jobs = jobs;
        settings.shard = shard;
        return runMerge(settings);
    }
};

// Refuses to give the file of one record its name, as a name taken in the meantime would.
class NameTaken : public QVPosixIO {
public:
    explicit NameTaken(std::string name) : name_(std::move(name)) {}
    int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) override {
        if (fs::path(to).filename() == name_) {
            errno = EEXIST;
            return -1;
        }
        return QVPosixIO::linkat(fromFolder, from, toFolder, to, flags);
    }

private:
    std::string name_;
};

// A full disk for the one file whose bytes hold `marker`; called from every building thread.
class FullForMarker : public QVPosixIO {
public:
    explicit FullForMarker(std::string marker) : marker_(std::move(marker)) {}
    ssize_t write(int fd, const void* buffer, size_t count) override {
        std::string_view bytes(static_cast<const char*>(buffer), count);
        if (bytes.find(marker_) != std::string_view::npos) {
            errno = ENOSPC;
            return -1;
        }
        return QVPosixIO::write(fd, buffer, count);
    }

private:
    std::string marker_;
};

// A disk that is full after `allowed` writes.
class FullAfterWrites : public QVPosixIO {
public:
    explicit FullAfterWrites(int allowed) : allowed_(allowed) {}
    ssize_t write(int fd, const void* buffer, size_t count) override {
        if (writes_.fetch_add(1) >= allowed_) {
            errno = ENOSPC;
            return -1;
        }
        return QVPosixIO::write(fd, buffer, count);
    }

private:
    const int allowed_;
    std::atomic<int> writes_{0};
};

}  // namespace

TEST_F(Parallel, ThreeThreadsWriteExactlyWhatOneThreadWrites) {
    TempDir one, three;
    MergeArgs a = args();
    MergeOutcome single = run(one.path(), a, 1);
    std::vector<uint64_t> progress;
    QVSetMergeProgressHandler([&progress](uint64_t done, uint64_t total) {
        EXPECT_EQ(total, 25u);
        progress.push_back(done);
    });
    MergeOutcome threaded = run(three.path(), a, 3);
    QVSetMergeProgressHandler({});
    ASSERT_EQ(progress.size(), 25u);
    for (size_t i = 0; i < progress.size(); ++i) EXPECT_EQ(progress[i], i + 1) << "progress only goes up";
    ASSERT_TRUE(single.ok) << single.message;
    EXPECT_EQ(threaded.message, "OK");
    EXPECT_EQ(threaded.count, 25u);
    EXPECT_EQ(threaded.outputs, single.outputs) << "names are appended in record order";
    EXPECT_EQ(folderContents(three.path()), folderContents(one.path()));

    // The broad rule takes the same path.
    TempDir broadOne, broadThree;
    a.fieldPolicy = QVFieldPolicy::Broad;
    EXPECT_EQ(run(broadThree.path(), a, 3).count, 25u);
    run(broadOne.path(), a, 1);
    EXPECT_EQ(folderContents(broadThree.path()), folderContents(broadOne.path()));
}

TEST_F(Parallel, AFailureHalfwayEndsAsOnOneThread) {
    MergeArgs a = args();
    for (const unsigned jobs : {1u, 3u}) {
        SCOPED_TRACE(jobs);
        {
            // The failure comes when the file is named, on the run's own thread.
            TempDir folder;
            const std::string taken = run(folder.path(), a, 1).outputs.at(6);
            TempDir out;
            NameTaken io(taken);
            QVScopedPosixIO scope(io);
            MergeOutcome o = run(out.path(), a, jobs);
            EXPECT_FALSE(o.ok);
            EXPECT_EQ(o.message, "Bestand '" + taken + "' aanmaken mislukt: " + QVStrError(EEXIST));
            EXPECT_EQ(o.count, 6u);
            EXPECT_EQ(o.outputs.size(), 6u);
            EXPECT_EQ(filesIn(out.path()).size(), 6u) << "nothing of record 7 or later stays";
        }
        {
            // The failure comes while record 7 is built, on a building thread; later records
            // may be built already and must vanish.
            TempDir out;
            FullForMarker io("Klant 7)");
            QVScopedPosixIO scope(io);
            MergeOutcome o = run(out.path(), a, jobs);
            EXPECT_FALSE(o.ok);
            EXPECT_EQ(o.message, std::string("PDF schrijven mislukt: ") + QVStrError(ENOSPC));
            EXPECT_EQ(o.count, 6u);
            EXPECT_EQ(filesIn(out.path()).size(), 6u);
        }
    }
}

TEST_F(Parallel, SharesTogetherWriteTheWholeMerge) {
    MergeArgs a = args();
    TempDir whole, shared;
    ASSERT_TRUE(run(whole.path(), a, 1).ok);
    uint64_t total = 0;
    std::vector<std::string> names;
    for (uint64_t k = 1; k <= 4; ++k) {
        MergeOutcome o = run(shared.path(), a, 2, QVShard{k, 4});
        ASSERT_TRUE(o.ok) << k << ": " << o.message;
        EXPECT_EQ(o.count, k == 1 ? 6u : k == 2 ? 6u : k == 3 ? 6u : 7u) << "contiguous ranges of nearly equal size";
        total += o.count;
        names.insert(names.end(), o.outputs.begin(), o.outputs.end());
    }
    EXPECT_EQ(total, 25u);
    EXPECT_EQ(names, run(TempDir().path(), a, 1).outputs) << "shares follow each other in record order";
    EXPECT_EQ(folderContents(shared.path()), folderContents(whole.path()));

    // Running a share again finds its own files; the others' files never stop it.
    MergeOutcome again = run(shared.path(), a, 1, QVShard{2, 4});
    EXPECT_EQ(again.message, "Uitvoerbestand bestaat al: " + names.at(6));
    TempDir partial;
    writeFile(partial / names.at(0), "van een ander deel");
    EXPECT_TRUE(run(partial.path(), a, 1, QVShard{2, 4}).ok);
}

TEST_F(Parallel, EveryShareReachesTheSameVerdictOnTheData) {
    MergeArgs a = args();
    a.pattern = "{plaats}";
    a.data += "Klant 26,Plaats 1\n";  // the last share's record repeats the first's name
    for (uint64_t k = 1; k <= 3; ++k) {
        TempDir out;
        MergeOutcome o = run(out.path(), a, 2, QVShard{k, 3});
        EXPECT_EQ(o.message, "Dubbele bestandsnaam 'Plaats 1.pdf' bij record 26. Voeg bijvoorbeeld {#} toe.") << k;
        EXPECT_TRUE(filesIn(out.path()).empty());
    }
    QVMergeSettings settings = settingsFor(args(), out_.path());
    for (QVShard bad : {QVShard{0, 3}, QVShard{4, 3}, QVShard{1, 0}}) {
        settings.shard = bad;
        QVError error;
        EXPECT_FALSE(QVMergeWithSettings(settings, nullptr, &error));
        EXPECT_EQ(error.message.rfind("Ongeldig deel ", 0), 0u) << error.message;
    }
}

TEST_F(Parallel, CombinedSharesHaveNamesThatSortInRecordOrder) {
    MergeArgs a = args();
    a.mode = QVOutputModeCombined;
    TempDir out;
    for (uint64_t k = 1; k <= 3; ++k) {
        MergeOutcome o = run(out.path(), a, 2, QVShard{k, 3});
        ASSERT_TRUE(o.ok) << o.message;
        EXPECT_EQ(o.count, 1u);
    }
    EXPECT_EQ(filesIn(out.path()),
              (std::vector<std::string>{"merge-gecombineerd-001-van-003.pdf", "merge-gecombineerd-002-van-003.pdf",
                                        "merge-gecombineerd-003-van-003.pdf"}));
    const std::string last = pdfText(out / "merge-gecombineerd-003-van-003.pdf");
    EXPECT_NE(last.find("Klant 17"), std::string::npos);
    EXPECT_NE(last.find("Klant 25"), std::string::npos);
    EXPECT_EQ(last.find("Klant 9"), std::string::npos);

    // More shares than records: the empty ones write nothing and succeed; wide counts widen.
    TempDir many;
    MergeOutcome empty = run(many.path(), a, 1, QVShard{2, 1000});
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.count, 0u);
    EXPECT_TRUE(run(many.path(), a, 1, QVShard{40, 1000}).ok);
    EXPECT_EQ(filesIn(many.path()), std::vector<std::string>{"merge-gecombineerd-0040-van-1000.pdf"});
}

namespace {

// The shared benchmark forms beside the repository, when they are there.
fs::path benchDir() { return fs::path(QV_SOURCE_DIR) / ".." / "shared" / "bench"; }

// The header and the first `records` records of a data file.
std::string firstRecords(const std::string& data, size_t records) {
    size_t end = 0;
    for (size_t line = 0; line <= records && end != std::string::npos; ++line) {
        end = data.find('\n', end);
        if (end != std::string::npos) ++end;
    }
    return end == std::string::npos ? data : data.substr(0, end);
}

std::string csvQuoted(const std::string& cell) {
    std::string out = "\"";
    for (char c : cell) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// Every widget the broad rule fills, a value each that differs per record; empty where a
// record has no value that the widget takes.
std::string recordsForEveryField(const std::string& bytes, int records) {
    std::optional<std::vector<QVWidgetDescription>> widgets = QVDescribeWidgets(bytes);
    if (!widgets) return "";
    std::vector<const QVWidgetDescription*> fillable;
    std::vector<std::string> seen;
    for (const QVWidgetDescription& w : *widgets) {
        if (w.use != QVWidgetUse::Fillable || std::find(seen.begin(), seen.end(), w.name) != seen.end()) continue;
        seen.push_back(w.name);
        fillable.push_back(&w);
    }
    std::string data;
    for (size_t i = 0; i < fillable.size(); ++i) {
        if (i) data += ',';
        data += csvQuoted(fillable[i]->name);
    }
    data += "\n";
    for (int r = 1; r <= records; ++r) {
        for (size_t i = 0; i < fillable.size(); ++i) {
            const QVWidgetDescription& w = *fillable[i];
            std::string cell;
            if (w.kind == QVWidgetKind::Text) {
                cell = w.maximumLength > 0 ? std::to_string(r % 10) : "Waarde " + std::to_string(r);
            } else if (!w.choices.empty() && r % 3) {
                const std::string& choice = w.choices[static_cast<size_t>(r) % w.choices.size()];
                cell = choice.substr(0, choice.find(" = "));
            }
            if (i) data += ',';
            data += csvQuoted(cell);
        }
        data += "\n";
    }
    return data;
}

}  // namespace

// Combined output built on three threads: the same file, byte for byte, the same count and
// progress as on one thread.
TEST_F(Parallel, CombinedOnThreeThreadsIsTheFileOfOneThread) {
    struct Case {
        std::string name;
        MergeArgs args;
    };
    std::vector<Case> cases;
    MergeArgs fixture = args();
    fixture.mode = QVOutputModeCombined;
    cases.push_back({"fixture with watermark", fixture});
    fixture.watermarkPattern.reset();
    cases.push_back({"fixture", fixture});
    if (fs::exists(benchDir() / "large.pdf")) {
        for (const auto& [form, records] : {std::pair<const char*, size_t>{"small", 60}, {"large", 9}}) {
            MergeArgs bench;
            bench.templateBytes = readFile(benchDir() / (std::string(form) + ".pdf"));
            bench.data = firstRecords(readFile(benchDir() / (std::string(form) + ".csv")), records);
            bench.mode = QVOutputModeCombined;
            cases.push_back({form, bench});
            bench.watermarkPattern = "Kopie {#}";
            cases.push_back({std::string(form) + " with watermark", bench});
        }
    } else {
        ADD_FAILURE() << "no benchmark forms at " << benchDir() << "; only the fixture is compared";
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir one, three;
        MergeOutcome single = run(one.path(), c.args, 1);
        ASSERT_EQ(single.message, "OK");
        std::vector<uint64_t> progress;
        QVSetMergeProgressHandler([&progress](uint64_t done, uint64_t) { progress.push_back(done); });
        MergeOutcome threaded = run(three.path(), c.args, 3);
        QVSetMergeProgressHandler({});
        ASSERT_EQ(threaded.message, "OK");
        EXPECT_EQ(threaded.count, 1u);
        EXPECT_EQ(threaded.outputs, single.outputs);
        for (size_t i = 0; i < progress.size(); ++i) EXPECT_EQ(progress[i], i + 1) << "records are appended in order";
        const fs::path file = three / QVCombinedFileName;
        EXPECT_TRUE(readFile(file) == readFile(one / QVCombinedFileName)) << "byte for byte";
        EXPECT_TRUE(qpdfChecks(file));
    }
}

// Every real form that merges, with every kind of field filled: the broad rule's pages on
// three threads are those of one, and a form that fails fails alike.
TEST_F(Parallel, CombinedRealFormsWithEveryFieldOnThreeThreads) {
    size_t compared = 0;
    for (const auto& entry : fs::directory_iterator(formsDir())) {
        if (entry.path().extension() != ".pdf") continue;
        SCOPED_TRACE(entry.path().filename().string());
        MergeArgs a;
        a.templateBytes = readFile(entry.path());
        a.data = recordsForEveryField(a.templateBytes, 7);
        a.fieldPolicy = QVFieldPolicy::Broad;
        a.mode = QVOutputModeCombined;
        TempDir one, three;
        MergeOutcome single = run(one.path(), a, 1);
        MergeOutcome threaded = run(three.path(), a, 3);
        EXPECT_EQ(threaded.message, single.message);
        EXPECT_EQ(folderContents(three.path()), folderContents(one.path()));
        if (single.ok) ++compared;
    }
    EXPECT_GE(compared, 10u);
}

// A record that fails while the file is being written: the run ends at that record with its
// message, and the combined file is not there at all, however many records the other threads
// built ahead.
TEST_F(Parallel, CombinedFailureHalfwayLeavesNothingAsOnOneThread) {
    if (!fs::exists(benchDir() / "large.pdf")) GTEST_SKIP() << "no benchmark forms at " << benchDir();
    MergeArgs a;
    a.templateBytes = readFile(benchDir() / "large.pdf");
    // Enough records for the file to go to disk in pieces before the end.
    a.data = firstRecords(readFile(benchDir() / "large.csv"), 60);
    a.mode = QVOutputModeCombined;
    std::vector<uint64_t> progress[2];
    for (const unsigned jobs : {1u, 3u}) {
        SCOPED_TRACE(jobs);
        TempDir out;
        FullAfterWrites io(0);
        QVScopedPosixIO scope(io);
        std::vector<uint64_t>& done = progress[jobs == 1 ? 0 : 1];
        QVSetMergeProgressHandler([&done](uint64_t d, uint64_t) { done.push_back(d); });
        MergeOutcome o = run(out.path(), a, jobs);
        QVSetMergeProgressHandler({});
        EXPECT_FALSE(o.ok);
        EXPECT_EQ(o.message, "PDF schrijven mislukt: " + QVStrError(ENOSPC));
        EXPECT_EQ(o.count, 0u);
        EXPECT_TRUE(filesIn(out.path()).empty());
    }
    EXPECT_LT(progress[0].size(), 59u) << "the failure comes before the last record";
    EXPECT_EQ(progress[1], progress[0]) << "and at the same record";
}

// Records flattened on other threads: a record that cannot be flattened gives its own message
// there, and pages encoded out of their thread's order are refused rather than written broken.
TEST_F(Parallel, CombinedRecordsEncodedOnOtherThreads) {
    auto encrypted = qvpdf::PDFDocument::initWithData(readFile(formsDir() / "encrypted-aes128-text.pdf"));
    auto plain = qvpdf::PDFDocument::initWithData(qvfixture::textForm({"naam"}));
    ASSERT_TRUE(encrypted && plain);
    auto mixed = qvpdf::PDFDocument::init();
    ASSERT_TRUE(mixed->insertPage(plain->pageAtIndex(0)->copy(), 0));
    ASSERT_TRUE(mixed->insertPage(encrypted->pageAtIndex(0)->copy(), 1));

    QVError error;
    const QVOutputFolder folder = QVOutputFolder::open(out_.path());
    std::shared_ptr<QVCombinedOutput> combined = QVBeginCombined(folder, &error);
    ASSERT_TRUE(combined && QVStartStreamedCombined(*combined, &error));
    std::optional<qvpdf::PDFEncodedPages> refused;
    std::thread([&] {
        qvpdf::PDFContext context;
        refused = QVEncodeFlattened(*combined, *mixed, context, 4, &error);
    }).join();
    EXPECT_FALSE(refused);
    EXPECT_EQ(error.message, "Vlak maken van record 5 mislukt.");

    // The second record refers to the template's objects the first carried: appended first, it
    // has nothing to refer to.
    std::optional<qvpdf::PDFEncodedPages> first, second;
    std::thread([&] {
        qvpdf::PDFContext context;
        auto a = qvpdf::PDFDocument::initWithData(qvfixture::textForm({"naam"}), context);
        auto b = qvpdf::PDFDocument::initWithData(qvfixture::textForm({"naam"}), context);
        first = QVEncodeFlattened(*combined, *a, context, 0, nullptr);
        second = QVEncodeFlattened(*combined, *b, context, 1, nullptr);
    }).join();
    ASSERT_TRUE(first && second);
    EXPECT_FALSE(QVAppendEncoded(*combined, *second, &error));
    EXPECT_FALSE(QVWriteCombined(*combined, out_.path(), &error));
    combined.reset();
    EXPECT_TRUE(files().empty());
}

// The ordering itself, with threads that finish in any order.
TEST(ProduceInOrder, ConsumesInOrderAndStopsAtTheFirstFailureInThatOrder) {
    for (const auto& [threads, role] : {std::pair{0u, QVCallerRole::HandsOn}, std::pair{1u, QVCallerRole::HandsOn},
                                        std::pair{4u, QVCallerRole::HandsOn}, std::pair{1u, QVCallerRole::BuildsToo},
                                        std::pair{3u, QVCallerRole::BuildsToo}}) {
        SCOPED_TRACE(std::to_string(threads) + (role == QVCallerRole::BuildsToo ? " and the caller" : ""));
        std::vector<uint64_t> consumed;
        std::atomic<uint64_t> beyond{0};
        std::function<std::optional<uint64_t>(uint64_t, QVError*)> produce = [&](uint64_t r, QVError* error) {
            std::this_thread::sleep_for(std::chrono::microseconds((r * 7919) % 300));
            if (r > 37) ++beyond;
            if (r == 37 || r == 60) {
                error->message = "record " + std::to_string(r);
                return std::optional<uint64_t>();
            }
            return std::optional<uint64_t>(r * 10);
        };
        std::function<bool(uint64_t, uint64_t&, QVError*)> consume = [&](uint64_t r, uint64_t& item, QVError*) {
            EXPECT_EQ(item, r * 10);
            consumed.push_back(r);
            return true;
        };
        QVError error;
        EXPECT_FALSE(QVProduceInOrder<uint64_t>(1, 100, threads, role, 8, produce, consume, &error));
        EXPECT_EQ(error.message, "record 37");
        ASSERT_EQ(consumed.size(), 36u);
        for (uint64_t i = 0; i < consumed.size(); ++i) EXPECT_EQ(consumed[i], i + 1);
        EXPECT_LE(beyond.load(), 8u) << "no more than a window is built past the failure";

        consumed.clear();
        consume = [&](uint64_t r, uint64_t&, QVError* error) {
            consumed.push_back(r);
            if (r == 20) error->message = "consumed 20";
            return r != 20;
        };
        EXPECT_FALSE(QVProduceInOrder<uint64_t>(5, 100, threads, role, 8, produce, consume, &error));
        EXPECT_EQ(error.message, "consumed 20");
        EXPECT_EQ(consumed.front(), 5u);
        EXPECT_EQ(consumed.back(), 20u);
    }
}

namespace {

cpu_set_t affinityOfThisThread() {
    cpu_set_t set;
    CPU_ZERO(&set);
    EXPECT_EQ(pthread_getaffinity_np(pthread_self(), sizeof set, &set), 0);
    return set;
}

}  // namespace

TEST(StartThreadElsewhere, RunsTheBodyAwayFromTheCallerThenWhereverTheCallerMay) {
    const cpu_set_t callers = affinityOfThisThread();
    for (int round = 0; round < 20; ++round) {
        std::atomic<bool> ran{false};
        cpu_set_t seen;
        CPU_ZERO(&seen);
        std::thread thread = QVStartThreadElsewhere([&] {
            seen = affinityOfThisThread();
            ran = true;
        });
        thread.join();
        EXPECT_TRUE(ran);
        // Never left narrowed, however the two threads happened to run.
        EXPECT_TRUE(CPU_EQUAL(&seen, &callers)) << "round " << round;
    }
}

TEST(StartThreadElsewhere, ACallerBoundToOneProcessorStartsThreadsThere) {
    const cpu_set_t callers = affinityOfThisThread();
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    ASSERT_EQ(pthread_setaffinity_np(pthread_self(), sizeof one, &one), 0);
    cpu_set_t seen;
    CPU_ZERO(&seen);
    std::thread thread = QVStartThreadElsewhere([&] { seen = affinityOfThisThread(); });
    thread.join();
    ASSERT_EQ(pthread_setaffinity_np(pthread_self(), sizeof callers, &callers), 0);
    EXPECT_TRUE(CPU_EQUAL(&seen, &one));
}
