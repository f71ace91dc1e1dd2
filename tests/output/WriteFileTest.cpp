#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "DutchTexts.h"
#include "output/PosixIO.h"
#include "output/WriteFile.h"
#include "platform/System.h"

namespace {

namespace fs = std::filesystem;
using qvtest::readFile;
using qvtest::writeFile;

std::string sys(int number) { return QVStrError(number); }

// Some bytes of every value, NULs included, larger than one pipe or page.
std::string sampleBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    return bytes;
}

class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : old_(::umask(mask)) {}
    ~ScopedUmask() { ::umask(old_); }

private:
    mode_t old_;
};

class WriteNewPDF : public qvtest::DutchTexts {
protected:
    qvtest::TempDir dir_;
    fs::path target_ = dir_ / "merge-000001.pdf";

    // Writes `url`'s last component into its folder, opened for this one file.
    std::string write(std::string_view bytes, const fs::path& url) {
        return writeNamed(bytes, QVOutputFolder::open(url.parent_path()), url.filename().string());
    }
    std::string writeNamed(std::string_view bytes, const QVOutputFolder& folder, const std::string& name) {
        QVError error;
        if (QVWriteNewPDF(bytes, folder, name, &error)) return "OK";
        return error.message;
    }
};

TEST_F(WriteNewPDF, WritesTheWholeBufferIntoANewPrivateFile) {
    const std::string bytes = sampleBytes(3 * 1024 * 1024 + 17);
    {
        ScopedUmask open(0);
        EXPECT_EQ(write(bytes, target_), "OK");
    }
    EXPECT_EQ(readFile(target_), bytes);
    struct stat info {};
    ASSERT_EQ(::stat(target_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    ScopedUmask strict(0277);
    EXPECT_EQ(write("", dir_ / "leeg.pdf"), "OK");
    EXPECT_EQ(readFile(dir_ / "leeg.pdf"), "");
    ASSERT_EQ(::stat((dir_ / "leeg.pdf").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0400u);
}

TEST_F(WriteNewPDF, NeverReplacesWhatIsThere) {
    // An existing file, byte for byte.
    writeFile(target_, "oud\0bestand");
    EXPECT_EQ(write("nieuw", target_), "Bestand 'merge-000001.pdf' aanmaken mislukt: " + sys(EEXIST));
    EXPECT_EQ(readFile(target_), std::string("oud\0bestand"));

    // A dangling symbolic link is not followed: neither the link nor its target changes.
    fs::path link = dir_ / "link.pdf";
    fs::path pointee = dir_ / "elders.pdf";
    fs::create_symlink(pointee, link);
    EXPECT_EQ(write("nieuw", link), "Bestand 'link.pdf' aanmaken mislukt: " + sys(EEXIST));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
    EXPECT_EQ(fs::read_symlink(link), pointee);
    EXPECT_FALSE(fs::exists(fs::symlink_status(pointee)));

    // A folder keeps its contents.
    fs::path folder = dir_ / "map.pdf";
    fs::create_directory(folder);
    writeFile(folder / "binnen", "x");
    EXPECT_EQ(write("nieuw", folder), "Bestand 'map.pdf' aanmaken mislukt: " + sys(EEXIST));
    EXPECT_EQ(readFile(folder / "binnen"), "x");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(WriteNewPDF, MessagesFollowTheLanguageInForce) {
    qvtest::ScopedEnv english("LANGUAGE", "en");
    qvtest::ScopedEnv all("LC_ALL", "en_GB.UTF-8");
    writeFile(target_, "oud");
    std::string message = write("nieuw", target_);
    EXPECT_EQ(message.find("aanmaken mislukt"), std::string::npos) << message;
    EXPECT_NE(message.find("'merge-000001.pdf'"), std::string::npos) << message;
    EXPECT_NE(message.find(sys(EEXIST)), std::string::npos) << message;
}

TEST_F(WriteNewPDF, CreationFailuresNameOnlyTheFile) {
    fs::path missing = dir_ / "bestaat-niet" / "a.pdf";
    EXPECT_EQ(write("x", missing), "Bestand 'a.pdf' aanmaken mislukt: " + sys(ENOENT));
    EXPECT_FALSE(fs::exists(dir_ / "bestaat-niet"));

    // Only one plain name is made inside the folder: anything else is refused before the system
    // sees it, and the message names what was asked for.
    const QVOutputFolder folder = QVOutputFolder::open(dir_.path());
    EXPECT_EQ(writeNamed("x", folder, "b.pdf/"), "Bestand 'b.pdf/' aanmaken mislukt: " + sys(EINVAL));
    EXPECT_EQ(writeNamed("x", folder, "../b.pdf"), "Bestand '../b.pdf' aanmaken mislukt: " + sys(EINVAL));
    EXPECT_EQ(writeNamed("x", folder, ".."), "Bestand '..' aanmaken mislukt: " + sys(EINVAL));
    EXPECT_EQ(writeNamed("x", folder, ""), "Bestand '' aanmaken mislukt: " + sys(EINVAL));
    EXPECT_TRUE(fs::is_empty(dir_.path()));
    EXPECT_FALSE(fs::exists(dir_.path().parent_path() / "b.pdf"));

    // A NUL would make the system create the shorter name "c"; nothing is created instead.
    fs::path withNul = dir_ / std::string("c\0d.pdf", 7);
    EXPECT_EQ(write("x", withNul).substr(0, 9), "Bestand '");
    EXPECT_TRUE(fs::is_empty(dir_.path()));
}

// Stands in for the system: each write, close and unlink may be scripted; what is not
// scripted goes to the real call, so the file on disk shows what really happened.
class ScriptedIO : public QVPosixIO {
public:
    using WriteStep = std::function<ssize_t(int, const void*, size_t)>;
    std::deque<WriteStep> writes;
    int openError = 0;
    int closeError = 0;
    int unlinkError = 0;
    int linkError = 0;
    bool noNamelessFiles = false;  // as on a file system without O_TMPFILE
    int errnoAfterClose = 0;       // what a close leaves in errno although its result is ignored
    std::vector<std::string> calls;
    std::vector<size_t> writeCounts;

    int openat(int folder, const char* path, int flags, mode_t mode) override {
        calls.push_back("open");
        if (openError) return fail(openError);
        if (noNamelessFiles && (flags & O_TMPFILE) == O_TMPFILE) return fail(EOPNOTSUPP);
        return QVPosixIO::openat(folder, path, flags, mode);
    }
    ssize_t write(int fd, const void* buffer, size_t count) override {
        calls.push_back("write");
        writeCounts.push_back(count);
        if (writes.empty()) return QVPosixIO::write(fd, buffer, count);
        WriteStep step = std::move(writes.front());
        writes.pop_front();
        return step(fd, buffer, count);
    }
    int close(int fd) override {
        calls.push_back("close");
        // The descriptor is gone whatever close reports, as on Linux.
        int rc = QVPosixIO::close(fd);
        if (errnoAfterClose) errno = errnoAfterClose;
        if (closeError) return fail(closeError);
        return rc;
    }
    int unlinkat(int folder, const char* path, int flags) override {
        calls.push_back("unlink");
        if (unlinkError) return fail(unlinkError);
        return QVPosixIO::unlinkat(folder, path, flags);
    }
    int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) override {
        calls.push_back("linkat");
        if (linkError) return fail(linkError);
        return QVPosixIO::linkat(fromFolder, from, toFolder, to, flags);
    }

    static int fail(int number) {
        errno = number;
        return -1;
    }
    static WriteStep failWith(int number) {
        return [number](int, const void*, size_t) -> ssize_t { return fail(number); };
    }
    static WriteStep atMost(size_t limit) {
        return
            [limit](int fd, const void* buffer, size_t count) { return ::write(fd, buffer, std::min(count, limit)); };
    }
    static WriteStep nothing() {
        return [](int, const void*, size_t) -> ssize_t { return 0; };
    }
};

class WriteNewPDFFaults : public WriteNewPDF {
protected:
    const QVOutputFolder folder_ = QVOutputFolder::open(dir_.path());
    ScriptedIO io_;
    QVScopedPosixIO guard_{io_};
    const std::string bytes_ = sampleBytes(100);
};

TEST_F(WriteNewPDFFaults, InterruptedAndShortWritesContinueWithTheRest) {
    io_.writes = {ScriptedIO::failWith(EINTR), ScriptedIO::atMost(1), ScriptedIO::failWith(EINTR),
                  ScriptedIO::atMost(30)};
    EXPECT_EQ(write(bytes_, target_), "OK");
    EXPECT_EQ(readFile(target_), bytes_);
    // Each call offers everything that is still left.
    EXPECT_EQ(io_.writeCounts, (std::vector<size_t>{100, 100, 99, 99, 69}));
    EXPECT_EQ(io_.calls.back(), "close");
}

TEST_F(WriteNewPDFFaults, AnIncompleteFileNeverGetsItsName) {
    io_.writes = {ScriptedIO::atMost(40), ScriptedIO::failWith(ENOSPC)};
    // Neither close's errno nor anything after it may replace the write's own error.
    io_.errnoAfterClose = EBADF;
    EXPECT_EQ(write(bytes_, target_), "PDF schrijven mislukt: " + sys(ENOSPC));
    EXPECT_TRUE(fs::is_empty(dir_.path()));
    EXPECT_EQ(io_.calls, (std::vector<std::string>{"open", "write", "write", "close"}));

    io_.calls.clear();
    io_.writes = {ScriptedIO::atMost(10), ScriptedIO::nothing()};
    EXPECT_EQ(write(bytes_, target_), "PDF schrijven mislukt: " + sys(EIO));
    EXPECT_TRUE(fs::is_empty(dir_.path()));
}

TEST_F(WriteNewPDFFaults, TheNameIsGivenOnlyToACompleteFileAndOnlyIfStillFree) {
    EXPECT_EQ(write(bytes_, target_), "OK");
    EXPECT_EQ(io_.calls, (std::vector<std::string>{"open", "write", "linkat", "close"}));
    EXPECT_EQ(readFile(target_), bytes_);

    // Taken between the first pass and now: the existing file stays, the new bytes go.
    io_.linkError = EEXIST;
    EXPECT_EQ(write(bytes_, dir_ / "b.pdf"), "Bestand 'b.pdf' aanmaken mislukt: " + sys(EEXIST));
    EXPECT_FALSE(fs::exists(dir_ / "b.pdf"));
    io_.linkError = 0;
    writeFile(dir_ / "c.pdf", "van iemand anders");
    EXPECT_EQ(write(bytes_, dir_ / "c.pdf"), "Bestand 'c.pdf' aanmaken mislukt: " + sys(EEXIST));
    EXPECT_EQ(readFile(dir_ / "c.pdf"), "van iemand anders");
}

// Written first and named later, as files built on several threads are: nothing has a name
// before it is given one, a file never named leaves nothing, and naming keeps every guarantee.
TEST_F(WriteNewPDFFaults, APreparedFileHasNoNameUntilItIsGivenOne) {
    for (bool nameless : {true, false}) {
        SCOPED_TRACE(nameless ? "nameless" : "in place");
        io_.noNamelessFiles = !nameless;
        QVError error;
        std::optional<QVPreparedPDF> first = QVPrepareNewPDF(bytes_, folder_, "a.pdf", &error);
        std::optional<QVPreparedPDF> dropped = QVPrepareNewPDF(bytes_, folder_, "b.pdf", &error);
        std::optional<QVPreparedPDF> taken = QVPrepareNewPDF(bytes_, folder_, "c.pdf", &error);
        ASSERT_TRUE(first && dropped && taken) << error.message;
        EXPECT_TRUE(fs::is_empty(dir_.path()));

        ASSERT_TRUE(QVNameNewPDF(*first, &error)) << error.message;
        EXPECT_EQ(readFile(dir_ / "a.pdf"), bytes_);
        dropped.reset();
        writeFile(dir_ / "c.pdf", "van iemand anders");
        EXPECT_FALSE(QVNameNewPDF(*taken, &error));
        EXPECT_EQ(error.message, "Bestand 'c.pdf' aanmaken mislukt: " + sys(EEXIST));
        EXPECT_EQ(readFile(dir_ / "c.pdf"), "van iemand anders");
        taken.reset();
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_.path())) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"a.pdf", "c.pdf"}));
        fs::remove(dir_ / "a.pdf");
        fs::remove(dir_ / "c.pdf");
    }

    // A failed write is reported when the file is prepared, and leaves nothing.
    io_.noNamelessFiles = false;
    io_.writes = {ScriptedIO::atMost(40), ScriptedIO::failWith(ENOSPC)};
    QVError error;
    EXPECT_FALSE(QVPrepareNewPDF(bytes_, folder_, target_.filename(), &error));
    EXPECT_EQ(error.message, "PDF schrijven mislukt: " + sys(ENOSPC));
    EXPECT_TRUE(fs::is_empty(dir_.path()));
}

TEST_F(WriteNewPDFFaults, CloseFailureRemovesTheNamedFileOrSaysItCouldNot) {
    for (bool nameless : {true, false}) {
        SCOPED_TRACE(nameless ? "nameless" : "in place");
        io_.noNamelessFiles = !nameless;
        io_.closeError = EIO;
        io_.unlinkError = 0;
        EXPECT_EQ(write(bytes_, target_), "PDF sluiten mislukt: " + sys(EIO));
        EXPECT_TRUE(fs::is_empty(dir_.path()));

        io_.closeError = EDQUOT;
        io_.unlinkError = EROFS;
        EXPECT_EQ(write(bytes_, target_),
                  "PDF sluiten mislukt: " + sys(EDQUOT) +
                      ". Het onvolledige bestand 'merge-000001.pdf' kon niet worden verwijderd: " + sys(EROFS));
        EXPECT_EQ(readFile(target_), bytes_);
        fs::remove(target_);
    }
}

// Where the file system has no nameless files, the file is written under its name and
// removed again when the write fails.
TEST_F(WriteNewPDFFaults, WithoutNamelessFilesAFailedWriteIsRemoved) {
    io_.noNamelessFiles = true;
    io_.writes = {ScriptedIO::atMost(40), ScriptedIO::failWith(ENOSPC)};
    io_.errnoAfterClose = EBADF;
    EXPECT_EQ(write(bytes_, target_), "PDF schrijven mislukt: " + sys(ENOSPC));
    EXPECT_FALSE(fs::exists(target_));
    EXPECT_EQ(io_.calls, (std::vector<std::string>{"open", "open", "write", "write", "close", "unlink"}));

    io_.writes = {ScriptedIO::atMost(40), ScriptedIO::failWith(ENOSPC)};
    io_.closeError = EIO;  // plays no part
    io_.unlinkError = EACCES;
    EXPECT_EQ(write(bytes_, target_),
              "PDF schrijven mislukt: " + sys(ENOSPC) +
                  ". Het onvolledige bestand 'merge-000001.pdf' kon niet worden verwijderd: " + sys(EACCES));
    EXPECT_EQ(readFile(target_), bytes_.substr(0, 40));

    // The in-place route refuses existing names just the same.
    io_.closeError = 0;
    io_.unlinkError = 0;
    EXPECT_EQ(write(bytes_, target_), "Bestand 'merge-000001.pdf' aanmaken mislukt: " + sys(EEXIST));
    EXPECT_EQ(readFile(target_), bytes_.substr(0, 40));
}

TEST_F(WriteNewPDFFaults, CreationFailureTouchesNothingElse) {
    io_.openError = EACCES;
    EXPECT_EQ(write(bytes_, target_), "Bestand 'merge-000001.pdf' aanmaken mislukt: " + sys(EACCES));
    EXPECT_EQ(io_.calls, std::vector<std::string>{"open"});
}

// Runs `body` in a child process, so that limits and mounts die with it. The child answers
// with its exit status: 0 passed, 77 could not set up, anything else failed with the text it
// wrote to the pipe.
struct ChildResult {
    int status = -1;
    std::string report;
};
ChildResult inChild(const std::function<int(std::string&)>& body) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string report;
        int status = body(report);
        (void)!::write(fds[1], report.data(), report.size());
        ::_exit(status);
    }
    ::close(fds[1]);
    ChildResult result;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) result.report.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    return result;
}

// Checks a real write failure from the child: the incomplete file is gone and the message is
// the one for `expected`.
int expectWriteFailure(const fs::path& target, size_t size, int expected, std::string& report) {
    QVError error;
    bool ok = QVWriteNewPDF(sampleBytes(size), QVOutputFolder::open(target.parent_path()), target.filename(), &error);
    std::error_code ec;
    bool left = fs::exists(fs::symlink_status(target, ec));
    report = ok ? "write succeeded" : error.message;
    if (left) report += " (file left behind)";
    return !ok && !left && error.message == "PDF schrijven mislukt: " + sys(expected) ? 0 : 1;
}

TEST_F(WriteNewPDF, UnwritableFolderFailsAtCreation) {
    // Root may write anywhere, so the child gives up its rights first.
    fs::path folder = dir_ / "alleen-lezen";
    fs::create_directory(folder);
    fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::others_exec);
    fs::permissions(folder,
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec);
    ChildResult result = inChild([&](std::string& report) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 77;
        QVError error;
        bool ok = QVWriteNewPDF("x", QVOutputFolder::open(folder), "a.pdf", &error);
        report = ok ? "write succeeded" : error.message;
        return !ok && error.message == "Bestand 'a.pdf' aanmaken mislukt: " + sys(EACCES) ? 0 : 1;
    });
    if (result.status == 77) GTEST_SKIP() << "cannot drop privileges";
    EXPECT_EQ(result.status, 0) << result.report;
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(WriteNewPDF, FileSizeLimitMakesARealWriteFail) {
    ChildResult result = inChild([&](std::string& report) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {
            64 * 1024, 64 * 1024
        };
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 77;
        return expectWriteFailure(target_, 1024 * 1024, EFBIG, report);
    });
    if (result.status == 77) GTEST_SKIP() << "cannot lower the file size limit";
    EXPECT_EQ(result.status, 0) << result.report;
}

TEST_F(WriteNewPDF, FullDiskMakesARealWriteFail) {
    // A tiny file system of its own, in a mount namespace that dies with the child.
    fs::path mountPoint = dir_ / "klein";
    fs::create_directory(mountPoint);
    ChildResult result = inChild([&](std::string& report) {
        if (::unshare(CLONE_NEWNS) != 0) return 77;
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 77;
        if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) return 77;
        return expectWriteFailure(mountPoint / "vol.pdf", 1024 * 1024, ENOSPC, report);
    });
    if (result.status == 77) GTEST_SKIP() << "no permission to mount a small file system";
    EXPECT_EQ(result.status, 0) << result.report;
}

}  // namespace

TEST_F(WriteNewPDFFaults, AFileWrittenInPiecesIsNamedOnlyWhenCommittedAndReadsBackWhatItTook) {
    for (bool nameless : {true, false}) {
        SCOPED_TRACE(nameless);
        io_.noNamelessFiles = !nameless;
        QVError error;
        {
            std::unique_ptr<QVNewPDFFile> file = QVNewPDFFile::create(folder_, target_.filename(), &error);
            ASSERT_TRUE(file) << error.message;
            ASSERT_TRUE(file->write(bytes_.substr(0, 60), &error));
            ASSERT_TRUE(file->write(bytes_.substr(60), &error));
            char back[30];
            ASSERT_TRUE(file->readBack(50, sizeof back, back));
            EXPECT_EQ(std::string(back, sizeof back), bytes_.substr(50, 30));
            EXPECT_FALSE(file->readBack(90, 11, back));  // beyond what was written
            EXPECT_EQ(fs::exists(target_), !nameless);
        }
        // Given up before its commit: nothing under the name.
        EXPECT_FALSE(fs::exists(fs::symlink_status(target_)));

        std::unique_ptr<QVNewPDFFile> file = QVNewPDFFile::create(folder_, target_.filename(), &error);
        ASSERT_TRUE(file && file->write(bytes_, &error) && file->commit(&error)) << error.message;
        file.reset();
        EXPECT_EQ(readFile(target_), bytes_);
        // A second file of the same name is refused at its commit (nameless) or creation.
        std::unique_ptr<QVNewPDFFile> second = QVNewPDFFile::create(folder_, target_.filename(), &error);
        EXPECT_FALSE(second && second->write("x", &error) && second->commit(&error));
        second.reset();
        EXPECT_EQ(readFile(target_), bytes_);
        fs::remove(target_);
    }
}
