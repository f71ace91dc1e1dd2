#include "output/WriteFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <utility>

#include "input/Fail.h"
#include "input/ReadFile.h"
#include "localization/Text.h"
#include "output/PosixIO.h"
#include "platform/Format.h"
#include "platform/System.h"

namespace {

// `format` is already translated.
bool failRemoved(const std::string& format, int cause, QVError* error) {
    std::string causeText = QVStrError(cause);
    return QVFail(error, QVFormat(format, {causeText.c_str()}));
}

bool failNotRemoved(const std::string& format, int cause, const std::filesystem::path& url, int removal,
                    QVError* error) {
    std::string causeText = QVStrError(cause);
    std::string removalText = QVStrError(removal);
    return QVFail(error, QVFormat(format, {causeText.c_str(), QVFileDisplayName(url), removalText.c_str()}));
}

// Nameless files are linked into place through /proc; without it they cannot get a name.
bool canNameAnonymousFiles() {
    static const bool available = ::access("/proc/self/fd", X_OK) == 0;
    return available;
}

bool failCreation(const std::filesystem::path& url, int number, QVError* error) {
    // The system's text is taken before the message is looked up, which may touch errno.
    std::string text = QVStrError(number);
    return QVFail(error, QVFormat(QVText("Bestand '%@' aanmaken mislukt: %s"), {QVFileDisplayName(url), text.c_str()}));
}

enum class Stage { writing, closing };

bool failWhile(Stage stage, int cause, QVError* error) {
    if (stage == Stage::closing) return failRemoved(QVText("PDF sluiten mislukt: %s"), cause, error);
    return failRemoved(QVText("PDF schrijven mislukt: %s"), cause, error);
}

// Removes the named file after a failed write or close and says what happened.
bool failAndRemove(QVPosixIO& io, const std::filesystem::path& url, Stage stage, int cause, QVError* error) {
    if (io.unlink(url.c_str()) == 0) return failWhile(stage, cause, error);
    int removal = errno;
    if (stage == Stage::closing) {
        return failNotRemoved(
            QVText("PDF sluiten mislukt: %s. Het onvolledige bestand '%@' kon niet worden verwijderd: %s"), cause,
            url, removal, error);
    }
    return failNotRemoved(
        QVText("PDF schrijven mislukt: %s. Het onvolledige bestand '%@' kon niet worden verwijderd: %s"), cause, url,
        removal, error);
}

}  // namespace

QVNewPDFFile::~QVNewPDFFile() {
    if (fd_ < 0) return;
    QVPosixIO& io = QVCurrentPosixIO();
    io.close(fd_);
    // A nameless file vanishes with its descriptor; a named one is removed.
    if (!nameless_) io.unlink(url_.c_str());
}

std::unique_ptr<QVNewPDFFile> QVNewPDFFile::createNameless(const std::filesystem::path& url, QVError* error,
                                                           bool* unsupported) {
    QVPosixIO& io = QVCurrentPosixIO();
    *unsupported = false;
    // A NUL inside the path would make the system create a different, shorter name.
    if (url.native().find('\0') != std::string::npos) {
        failCreation(url, EINVAL, error);
        return nullptr;
    }
    if (url.has_filename() && canNameAnonymousFiles()) {
        std::filesystem::path folder = url.parent_path();
        if (folder.empty()) folder = ".";
        std::unique_ptr<QVNewPDFFile> file(new QVNewPDFFile(url));
        file->fd_ = io.open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (file->fd_ >= 0) {
            file->nameless_ = true;
            return file;
        }
        const int number = errno;
        // Older kernels and some file systems (network, FUSE) have no nameless files.
        if (number != EOPNOTSUPP && number != EISDIR && number != EINVAL) {
            failCreation(url, number, error);
            return nullptr;
        }
    }
    *unsupported = true;
    return nullptr;
}

std::unique_ptr<QVNewPDFFile> QVNewPDFFile::create(const std::filesystem::path& url, QVError* error) {
    bool unsupported = false;
    std::unique_ptr<QVNewPDFFile> file = createNameless(url, error, &unsupported);
    if (file || !unsupported) return file;
    // Without nameless files the file is made under its name.
    file.reset(new QVNewPDFFile(url));
    file->fd_ = QVCurrentPosixIO().open(url.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (file->fd_ < 0) {
        failCreation(url, errno, error);
        return nullptr;
    }
    return file;
}

bool QVNewPDFFile::write(std::string_view bytes, QVError* error) {
    if (fd_ < 0) return failWhile(Stage::writing, EBADF, error);
    if (int writeError = QVWriteAll(fd_, bytes)) return abandon(static_cast<int>(Stage::writing), writeError, error);
    written_ += bytes.size();
    return true;
}

bool QVNewPDFFile::readBack(uint64_t offset, size_t length, char* into) const {
    if (fd_ < 0 || offset + length > written_) return false;
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::pread(fd_, into + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool QVNewPDFFile::commit(QVError* error) {
    if (fd_ < 0) return failWhile(Stage::writing, EBADF, error);
    QVPosixIO& io = QVCurrentPosixIO();
    if (nameless_) {
        // Linking never replaces: a name taken in the meantime fails with EEXIST.
        std::string self = "/proc/self/fd/" + std::to_string(fd_);
        if (io.linkat(AT_FDCWD, self.c_str(), AT_FDCWD, url_.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            const int number = errno;
            io.close(std::exchange(fd_, -1));
            return failCreation(url_, number, error);
        }
    }
    // From here on the file has its name: a failing close removes it again.
    if (io.close(std::exchange(fd_, -1)) != 0) {
        const int closeError = errno;
        return failAndRemove(io, url_, Stage::closing, closeError, error);
    }
    return true;
}

bool QVNewPDFFile::abandon(int stage, int cause, QVError* error) {
    QVPosixIO& io = QVCurrentPosixIO();
    io.close(std::exchange(fd_, -1));
    // Until it is linked, the file vanishes with its descriptor: nothing to remove.
    if (nameless_) return failWhile(static_cast<Stage>(stage), cause, error);
    return failAndRemove(io, url_, static_cast<Stage>(stage), cause, error);
}

bool QVWriteNewPDF(std::string_view bytes, const std::filesystem::path& url, QVError* error) {
    std::unique_ptr<QVNewPDFFile> file = QVNewPDFFile::create(url, error);
    return file && file->write(bytes, error) && file->commit(error);
}

std::optional<QVPreparedPDF> QVPrepareNewPDF(std::string_view bytes, const std::filesystem::path& url,
                                             QVError* error) {
    QVPreparedPDF prepared;
    prepared.url_ = url;
    bool unsupported = false;
    prepared.file_ = QVNewPDFFile::createNameless(url, error, &unsupported);
    if (!prepared.file_) {
        if (!unsupported) return std::nullopt;
        // Nothing may carry the name before its turn: the bytes wait.
        prepared.bytes_.assign(bytes);
        return prepared;
    }
    if (!prepared.file_->write(bytes, error)) return std::nullopt;
    return prepared;
}

bool QVNameNewPDF(QVPreparedPDF& file, QVError* error) {
    if (std::unique_ptr<QVNewPDFFile> nameless = std::move(file.file_)) return nameless->commit(error);
    return QVWriteNewPDF(file.bytes_, file.url_, error);
}
