// The output folder is looked up once, when the merge starts. Renaming it while the merge runs
// and putting a symbolic link to another folder in its place sends no file to that other
// folder: every file of the run lands in the folder the merge started with.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "engine/Engine.h"
#include "support/FormFixtures.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using qvtest::TempDir;

std::string records(int count) {
    std::string data = "Stad\n";
    for (int i = 1; i <= count; ++i) data += "Stad " + std::to_string(i) + "\n";
    return data;
}

// A merge whose output folder `uit` is renamed to `uit-weg` after `swapAfter` records and
// replaced by a link to `elders`, done from the progress handler so it happens at the same point
// every time.
class OutputFolderSwap : public ::testing::Test {
protected:
    TempDir root_;
    const fs::path out_ = root_ / "uit";
    const fs::path moved_ = root_ / "uit-weg";
    const fs::path elsewhere_ = root_ / "elders";
    const std::string form_ = qvfixture::textForm({"Stad"});

    void SetUp() override {
        fs::create_directory(out_);
        fs::create_directory(elsewhere_);
    }
    void TearDown() override { QVSetMergeProgressHandler({}); }

    void swapAfter(uint64_t records) {
        QVSetMergeProgressHandler([this, records](uint64_t done, uint64_t) {
            if (done != records) return;
            fs::rename(out_, moved_);
            fs::create_directory_symlink(elsewhere_, out_);
        });
    }

    QVMergeSettings settings(int recordCount) {
        data_ = records(recordCount);
        QVMergeSettings s;
        s.templateBytes = form_;
        s.dataText = data_;
        s.outputFolder = out_;
        s.filenamePattern = "{#}";
        return s;
    }

    std::string data_;
};

TEST_F(OutputFolderSwap, EveryFileLandsInTheFolderTheMergeStartedWith) {
    for (unsigned jobs : {1u, 3u}) {
        SCOPED_TRACE(jobs);
        fs::create_directory(out_);
        QVMergeSettings s = settings(60);
        s.jobs = jobs;
        swapAfter(10);
        uint64_t count = 0;
        QVError error;
        std::vector<std::string> outputs;
        ASSERT_TRUE(QVMergeWithSettings(s, &count, &error, &outputs)) << error.message;
        ASSERT_TRUE(fs::is_symlink(out_)) << "the swap did not happen";
        EXPECT_EQ(count, 60u);
        EXPECT_TRUE(fs::is_empty(elsewhere_)) << qvtest::folderEntries(elsewhere_).size() << " files went elsewhere";
        EXPECT_EQ(qvtest::folderEntries(moved_), std::set<std::string>(outputs.begin(), outputs.end()));
        EXPECT_EQ(qvtest::folderEntries(moved_).size(), 60u);
        fs::remove(out_);
        fs::remove_all(moved_);
    }
}

TEST_F(OutputFolderSwap, TheCombinedFileAndTheLogStayWithTheFolderToo) {
    QVMergeSettings s = settings(30);
    s.mode = QVOutputModeCombined;
    s.logURL = out_ / "quorvel-log.json";
    swapAfter(5);
    QVError error;
    ASSERT_TRUE(QVMergeWithSettings(s, nullptr, &error)) << error.message;
    ASSERT_TRUE(fs::is_symlink(out_));
    EXPECT_TRUE(fs::is_empty(elsewhere_));
    EXPECT_EQ(qvtest::folderEntries(moved_), (std::set<std::string>{"merge-gecombineerd.pdf", "quorvel-log.json"}));
    EXPECT_NE(qvtest::readFile(moved_ / "quorvel-log.json").find("\"success\""), std::string::npos);
}

TEST_F(OutputFolderSwap, AFolderGivenAsALinkIsFollowedOnceAtTheStart) {
    // `uit` itself is a link to `elders` from the start: the files go where it leads then, and
    // stay there when the link is pointed elsewhere while the merge runs.
    fs::remove(out_);
    fs::create_directory_symlink(elsewhere_, out_);
    const fs::path third = root_ / "derde";
    fs::create_directory(third);
    QVSetMergeProgressHandler([&](uint64_t done, uint64_t) {
        if (done != 3) return;
        fs::remove(out_);
        fs::create_directory_symlink(third, out_);
    });
    QVMergeSettings s = settings(12);
    QVError error;
    ASSERT_TRUE(QVMergeWithSettings(s, nullptr, &error)) << error.message;
    EXPECT_EQ(qvtest::folderEntries(elsewhere_).size(), 12u);
    EXPECT_TRUE(fs::is_empty(third));
}

// The real program, swapped from outside: a tiny merge is too quick to race with, so the data
// holds enough records that the folder is swapped while files are still being written. Whatever
// the moment, nothing may reach the other folder and every file must be in the original one.
TEST(OutputFolderSwapCommandLine, NothingReachesTheOtherFolder) {
    TempDir root;
    const fs::path out = root / "uit";
    const fs::path moved = root / "uit-weg";
    const fs::path elsewhere = root / "elders";
    fs::create_directory(out);
    fs::create_directory(elsewhere);
    qvtest::writeFile(root / "sjabloon.pdf", qvfixture::textForm({"Stad"}));
    qvtest::writeFile(root / "data.csv", records(2000));

    // The program runs in the background; the shell swaps the folder as soon as the first file
    // exists (or gives up when the program has ended), so the swap falls inside the run.
    const std::string script = "'" + (qvtest::binDir() / "quorvel").string() + "' merge --template '" +
                               (root / "sjabloon.pdf").string() + "' --data '" + (root / "data.csv").string() +
                               "' --output '" + out.string() +
                               "' --pattern '{#}' --quiet & q=$!; "
                               "until [ -n \"$(ls -A '" +
                               out.string() +
                               "')\" ] || ! kill -0 $q 2>/dev/null; do sleep 0.001; done; "
                               "mv '" +
                               out.string() + "' '" + moved.string() + "' && ln -s '" + elsewhere.string() + "' '" +
                               out.string() + "'; wait $q";
    qvtest::CommandResult result = qvtest::runCommand({"/bin/sh", "-c", script});
    ASSERT_EQ(result.status, 0) << result.errors;
    ASSERT_TRUE(fs::is_symlink(out)) << "the swap did not happen";
    EXPECT_TRUE(fs::is_empty(elsewhere)) << qvtest::folderEntries(elsewhere).size() << " files went elsewhere";
    EXPECT_EQ(qvtest::folderEntries(moved).size(), 2000u);
}

}  // namespace
