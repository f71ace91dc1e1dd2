// What a merge may do to the disk: create new files directly inside the output folder, for
// the user alone, never through a symbolic link and never over anything that is already there
// (even when it appears while the merge runs).

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "localization/Text.h"
#include "output/PosixIO.h"
#include "platform/Format.h"
#include "support/FormFixtures.h"
#include "support/MergeRun.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using qvtest::TempDir;

// Every entry below `root`, as paths relative to it, without following links.
std::set<std::string> tree(const fs::path& root) {
    std::set<std::string> out;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
        out.insert(fs::relative(it->path(), root).string());
    return out;
}

class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : old_(umask(mask)) {}
    ~ScopedUmask() { umask(old_); }

private:
    mode_t old_;
};

mode_t permissions(const fs::path& path) {
    struct stat info {};
    lstat(path.c_str(), &info);
    return info.st_mode & 07777;
}

const std::string kForm = qvfixture::textForm({"Stad"});

bool merge(const fs::path& folder, const std::string& data, const std::string& pattern, QVError* error,
           QVOutputMode mode = QVOutputModeSeparate, uint64_t* count = nullptr) {
    QVMergeSettings settings = qvtest::mergeSettings(kForm, data, folder);
    settings.mode = mode;
    settings.filenamePattern = pattern;
    return QVMergeWithSettings(settings, count, error);
}

TEST(OutputSafety, NoRecordValueReachesOutsideTheOutputFolder) {
    // Hostile values, one record each, used as the whole name and inside a longer name.
    const std::vector<std::string> values = {"..",
                                             ".",
                                             "../buiten",
                                             "../../buiten",
                                             "a/../../buiten",
                                             "/tmp/buiten",
                                             "a\\..\\..\\buiten",
                                             "\\buiten",
                                             std::string("a\0/../b", 7),
                                             "..\xE2\x88\x95..\xE2\x88\x95"
                                             "buiten",
                                             "\xEF\xBC\x8F"
                                             "buiten",
                                             "\xE2\x81\x84"
                                             "buiten",
                                             "\xE2\xA7\xB8..",
                                             "a:b",
                                             ".verborgen",
                                             " ..",
                                             "..\t",
                                             "\xC0\xAF"
                                             "buiten"};
    for (const std::string& pattern : {std::string("{Naam}"), std::string("x{Naam}"), std::string("{Naam}y{#}")}) {
        for (const std::string& value : values) {
            TempDir root;
            const fs::path out = root / "uit";
            fs::create_directory(out);
            std::string data = "Naam,Stad\n\"" + value + "\",Delft\n";
            QVError error;
            const bool ok = merge(out, data, pattern, &error);
            // The only entries anywhere are the output folder and plain files right inside it.
            for (const std::string& entry : tree(root.path())) {
                if (entry == "uit") continue;
                const fs::path path = root.path() / entry;
                EXPECT_EQ(path.parent_path(), out) << "value '" << value << "' created " << entry;
                EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path))) << entry;
            }
            EXPECT_EQ(tree(root.path()).size(), ok ? 2u : 1u) << value << ": " << error.message;
        }
    }
}

TEST(OutputSafety, SlashLookAlikesAreOrdinaryCharactersOfOneName) {
    TempDir root;
    QVError error;
    ASSERT_TRUE(
        merge(root.path(), "Naam,Stad\n\"a\xE2\x88\x95..\xE2\x88\x95x\xEF\xBC\x8Fy\",Delft\n", "{Naam}", &error))
        << error.message;
    EXPECT_EQ(tree(root.path()), std::set<std::string>{"a\xE2\x88\x95..\xE2\x88\x95x\xEF\xBC\x8Fy.pdf"});
}

TEST(OutputSafety, FilesAreForTheUserAloneWhateverTheUmask) {
    for (mode_t mask : {mode_t{0}, mode_t{022}, mode_t{077}}) {
        ScopedUmask scoped(mask);
        for (QVOutputMode mode : {QVOutputModeSeparate, QVOutputModeCombined}) {
            TempDir root;
            QVError error;
            ASSERT_TRUE(QVMergeLogged(kForm, "Stad\nDelft\nGouda\n", "sjabloon.pdf", "data.csv", root.path(),
                                      root / "log.json", mode, "{#}", QVSeparatorComma, {{"Stad", "Stad"}},
                                      std::nullopt, nullptr, &error))
                << error.message;
            const std::set<std::string> files = tree(root.path());
            EXPECT_EQ(files.size(), mode == QVOutputModeSeparate ? 3u : 2u);
            for (const std::string& file : files) EXPECT_EQ(permissions(root / file), 0600u) << file;
        }
    }
}

TEST(OutputSafety, SymbolicLinksAtOutputNamesAreNeverFollowed) {
    for (QVOutputMode mode : {QVOutputModeSeparate, QVOutputModeCombined}) {
        const std::string name = mode == QVOutputModeSeparate ? "000001.pdf" : "merge-gecombineerd.pdf";
        for (bool dangling : {true, false}) {
            TempDir root;
            const fs::path out = root / "uit";
            fs::create_directory(out);
            const fs::path target = root / "doel";
            if (!dangling) qvtest::writeFile(target, "van iemand anders");
            fs::create_symlink(target, out / name);
            QVError error;
            uint64_t count = 9;
            EXPECT_FALSE(merge(out, "Stad\nDelft\n", "{#}", &error, mode, &count));
            EXPECT_EQ(error.message, QVFormat(QVText("Uitvoerbestand bestaat al: %@"), {name}));
            EXPECT_EQ(count, 0u);
            EXPECT_EQ(fs::exists(target), !dangling);
            if (!dangling) {
                EXPECT_EQ(qvtest::readFile(target), "van iemand anders");
            }
            EXPECT_TRUE(fs::is_symlink(out / name));
        }
    }
}

TEST(OutputSafety, ASymbolicLinkAtTheLogNameIsNeverFollowed) {
    TempDir root;
    const fs::path out = root / "uit";
    fs::create_directory(out);
    fs::create_symlink(root / "doel.json", root / "log.json");
    QVError error;
    EXPECT_FALSE(QVMergeLogged(kForm, "Stad\nDelft\n", "sjabloon.pdf", "data.csv", out, root / "log.json",
                               QVOutputModeSeparate, "{#}", QVSeparatorComma, {{"Stad", "Stad"}}, std::nullopt, nullptr,
                               &error));
    EXPECT_FALSE(error.message.empty());
    EXPECT_FALSE(fs::exists(root / "doel.json"));
    EXPECT_TRUE(tree(out).empty()) << "the merge ran without its log";
}

// Plants a file at a chosen name just before the merge creates it: as if another program
// made it after the first pass had found the name free.
class PlantingIO : public QVPosixIO {
public:
    explicit PlantingIO(fs::path victim) : victim_(std::move(victim)) {}
    int openat(int folder, const char* path, int flags, mode_t mode) override {
        plantAt(path);
        return QVPosixIO::openat(folder, path, flags, mode);
    }
    // A complete file receives its name last; the other program may get there first.
    int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) override {
        plantAt(to);
        return QVPosixIO::linkat(fromFolder, from, toFolder, to, flags);
    }
    bool planted() const { return planted_; }

private:
    void plantAt(const char* path) {
        // Names are made relative to the output folder held open.
        if (fs::path(path) != victim_.filename() || planted_) return;
        qvtest::writeFile(victim_, "er eerst");
        planted_ = true;
    }

    fs::path victim_;
    bool planted_ = false;
};

TEST(OutputSafety, AFileThatAppearsDuringTheMergeIsNeverOverwritten) {
    for (QVOutputMode mode : {QVOutputModeSeparate, QVOutputModeCombined}) {
        TempDir root;
        const std::string name = mode == QVOutputModeSeparate ? "000002.pdf" : "merge-gecombineerd.pdf";
        PlantingIO io(root / name);
        QVScopedPosixIO scoped(io);
        QVError error;
        uint64_t count = 0;
        EXPECT_FALSE(merge(root.path(), "Stad\nDelft\nGouda\nEde\n", "{#}", &error, mode, &count));
        ASSERT_TRUE(io.planted());
        EXPECT_EQ(qvtest::readFile(root / name), "er eerst");
        EXPECT_NE(error.message.find(name), std::string::npos) << error.message;
        // Separate output stops at the record whose name was taken; the file before it stays.
        if (mode == QVOutputModeSeparate) {
            EXPECT_EQ(count, 1u);
            EXPECT_EQ(tree(root.path()), (std::set<std::string>{"000001.pdf", "000002.pdf"}));
        } else {
            EXPECT_EQ(count, 0u);
            EXPECT_EQ(tree(root.path()), std::set<std::string>{name});
        }
    }
}

TEST(OutputSafety, AFileMadeFromTheProgressHookIsNeverOverwritten) {
    TempDir root;
    QVSetMergeProgressHandler([&](uint64_t done, uint64_t) {
        if (done == 1) qvtest::writeFile(root / "000003.pdf", "tussendoor");
    });
    QVError error;
    uint64_t count = 0;
    EXPECT_FALSE(merge(root.path(), "Stad\nDelft\nGouda\nEde\n", "{#}", &error, QVOutputModeSeparate, &count));
    QVSetMergeProgressHandler({});
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(qvtest::readFile(root / "000003.pdf"), "tussendoor");
}

}  // namespace
