// The output folder held open: files are made where the folder was when it was opened, even
// after its path has come to lead somewhere else.

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "DutchTexts.h"
#include "output/OutputFolder.h"
#include "output/PosixIO.h"
#include "output/ProcessingLog.h"
#include "output/WriteFile.h"
#include "platform/System.h"

namespace {

namespace fs = std::filesystem;
using qvtest::readFile;

// Refuses nameless files, as a file system without them does.
class NoNamelessFiles : public QVPosixIO {
public:
    int openat(int folder, const char* path, int flags, mode_t mode) override {
        if ((flags & O_TMPFILE) == O_TMPFILE) {
            errno = EOPNOTSUPP;
            return -1;
        }
        return QVPosixIO::openat(folder, path, flags, mode);
    }
};

class OutputFolder : public qvtest::DutchTexts {
protected:
    qvtest::TempDir root_;
    const fs::path out_ = root_ / "uit";
    const fs::path moved_ = root_ / "uit-weg";
    const fs::path elsewhere_ = root_ / "elders";

    void SetUp() override {
        fs::create_directory(out_);
        fs::create_directory(elsewhere_);
    }
    // The folder's path comes to lead to another folder.
    void swap() {
        fs::rename(out_, moved_);
        fs::create_directory_symlink(elsewhere_, out_);
    }
};

TEST_F(OutputFolder, EveryWayOfMakingAFileUsesTheFolderAsItWasOpened) {
    for (bool nameless : {true, false}) {
        SCOPED_TRACE(nameless ? "nameless" : "in place");
        NoNamelessFiles refusing;
        QVPosixIO system;
        QVScopedPosixIO guard(nameless ? system : refusing);
        const QVOutputFolder folder = QVOutputFolder::open(out_);
        ASSERT_EQ(folder.openError(), 0);
        qvtest::writeFile(out_ / "oud.pdf", "oud");
        swap();

        QVError error;
        EXPECT_TRUE(folder.contains("oud.pdf"));
        qvtest::writeFile(elsewhere_ / "elders.pdf", "x");
        EXPECT_FALSE(folder.contains("elders.pdf")) << "looked up through the new path";
        fs::remove(elsewhere_ / "elders.pdf");

        ASSERT_TRUE(QVWriteNewPDF("a", folder, "a.pdf", &error)) << error.message;
        std::unique_ptr<QVNewPDFFile> pieces = QVNewPDFFile::create(folder, "b.pdf", &error);
        ASSERT_TRUE(pieces && pieces->write("b", &error) && pieces->commit(&error)) << error.message;
        std::optional<QVPreparedPDF> prepared = QVPrepareNewPDF("c", folder, "c.pdf", &error);
        ASSERT_TRUE(prepared && QVNameNewPDF(*prepared, &error)) << error.message;
        std::optional<QVLogFile> log = QVCreateLogFile(folder, "log.json", &error);
        ASSERT_TRUE(log) << error.message;
        // A file given up before its name leaves nothing, also where it was made under its name.
        std::unique_ptr<QVNewPDFFile> dropped = QVNewPDFFile::create(folder, "d.pdf", &error);
        ASSERT_TRUE(dropped && dropped->write("d", &error));
        dropped.reset();
        // Never over what is there, looked up in the same folder.
        EXPECT_FALSE(QVWriteNewPDF("nieuw", folder, "oud.pdf", &error));
        EXPECT_EQ(error.message, "Bestand 'oud.pdf' aanmaken mislukt: " + QVStrError(EEXIST));

        EXPECT_TRUE(fs::is_empty(elsewhere_));
        EXPECT_EQ(readFile(moved_ / "a.pdf"), "a");
        EXPECT_EQ(readFile(moved_ / "b.pdf"), "b");
        EXPECT_EQ(readFile(moved_ / "c.pdf"), "c");
        EXPECT_EQ(readFile(moved_ / "oud.pdf"), "oud");
        EXPECT_TRUE(fs::exists(moved_ / "log.json"));
        EXPECT_FALSE(fs::exists(moved_ / "d.pdf"));
        fs::remove(out_);
        fs::remove_all(moved_);
        fs::create_directory(out_);
    }
}

TEST_F(OutputFolder, ALinkGivenAsTheFolderIsFollowedWhenOpened) {
    fs::remove(out_);
    fs::create_directory_symlink(elsewhere_, out_);
    const QVOutputFolder folder = QVOutputFolder::open(out_);
    fs::remove(out_);
    fs::create_directory(out_);
    QVError error;
    ASSERT_TRUE(QVWriteNewPDF("a", folder, "a.pdf", &error)) << error.message;
    EXPECT_EQ(readFile(elsewhere_ / "a.pdf"), "a");
    EXPECT_TRUE(fs::is_empty(out_));
    EXPECT_EQ(folder.path(), out_) << "messages and the log keep the path as given";
}

TEST_F(OutputFolder, AFolderThatCannotBeOpenedFailsEachFileAsCreatingItByPathWould) {
    QVError error;
    for (const auto& [path, number] : {std::pair{root_ / "bestaat-niet", ENOENT}, std::pair{root_ / "bestand", ENOTDIR},
                                       std::pair{root_ / std::string("u\0it", 4), EINVAL}}) {
        if (path.filename() == "bestand") qvtest::writeFile(path, "geen map");
        const QVOutputFolder folder = QVOutputFolder::open(path);
        EXPECT_EQ(folder.openError(), number);
        EXPECT_FALSE(folder.contains("a.pdf"));
        EXPECT_FALSE(QVWriteNewPDF("a", folder, "a.pdf", &error));
        EXPECT_EQ(error.message, "Bestand 'a.pdf' aanmaken mislukt: " + QVStrError(number));
        EXPECT_FALSE(QVCreateLogFile(folder, "log.json", &error));
        EXPECT_EQ(error.message, "Logboek aanmaken mislukt: " + QVStrError(number));
    }
    EXPECT_FALSE(fs::exists(root_ / "bestaat-niet"));
}

TEST_F(OutputFolder, ADanglingLinkCountsAsPresentAndIsNeverFollowed) {
    const QVOutputFolder folder = QVOutputFolder::open(out_);
    fs::create_symlink(elsewhere_ / "doel.pdf", out_ / "link.pdf");
    EXPECT_TRUE(folder.contains("link.pdf"));
    EXPECT_FALSE(folder.contains("ander.pdf"));
    EXPECT_FALSE(folder.contains("../uit")) << "only names inside the folder are looked up";
    QVError error;
    EXPECT_FALSE(QVCreateLogFile(folder, "link.pdf", &error));
    EXPECT_FALSE(fs::exists(elsewhere_ / "doel.pdf"));
}

TEST_F(OutputFolder, IsKnownEmptyOnlyWhileTheFolderAsOpenedHoldsNothing) {
    const QVOutputFolder folder = QVOutputFolder::open(out_);
    EXPECT_TRUE(folder.isKnownEmpty());
    swap();
    qvtest::writeFile(out_ / "a.pdf", "a");
    EXPECT_TRUE(folder.isKnownEmpty()) << "the path's new folder is not the one held open";
    fs::create_symlink(elsewhere_ / "doel.pdf", moved_ / "link.pdf");
    EXPECT_FALSE(folder.isKnownEmpty()) << "a dangling link takes a name too";
    EXPECT_FALSE(QVOutputFolder::open(root_ / "bestaat-niet").isKnownEmpty());
}

TEST(OutputFolderHolds, JudgesByThePathsAsWritten) {
    const QVOutputFolder folder = QVOutputFolder::open("/tmp/uit/");
    EXPECT_TRUE(folder.holds("/tmp/uit/log.json"));
    EXPECT_TRUE(folder.holds("/tmp/./uit/../uit/log.json"));
    EXPECT_FALSE(folder.holds("/tmp/uit/sub/log.json"));
    EXPECT_FALSE(folder.holds("/tmp/log.json"));
    EXPECT_FALSE(folder.holds("/tmp/uit/"));
    const QVOutputFolder current = QVOutputFolder::open("");
    EXPECT_TRUE(current.holds("log.json"));
    EXPECT_TRUE(current.holds("./log.json"));
    EXPECT_FALSE(current.holds("uit/log.json"));
    EXPECT_TRUE(QVOutputFolder::open("uit").holds("uit/log.json"));
}

}  // namespace
