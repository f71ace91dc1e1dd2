#include "output/WriteFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <utility>

#include "input/Fail.h"
#include "localization/Text.h"
#include "output/PosixIO.h"
#include "platform/Format.h"
#include "platform/System.h"

namespace {

// The last path component, as the user knows the file; a trailing slash does not hide it.
std::string displayName(const std::filesystem::path& url) {
    if (url.has_filename()) return url.filename().string();
    return url.parent_path().filename().string();
}

// `format` is already translated.
bool failRemoved(const std::string& format, int cause, QVError* error) {
    std::string causeText = QVStrError(cause);
    return QVFail(error, QVFormat(format, {causeText.c_str()}));
}

bool failNotRemoved(const std::string& format, int cause, const std::filesystem::path& url, int removal,
                    QVError* error) {
    std::string causeText = QVStrError(cause);
    std::string removalText = QVStrError(removal);
    return QVFail(error, QVFormat(format, {causeText.c_str(), displayName(url), removalText.c_str()}));
}

// Nameless files are linked into place through /proc; without it they cannot get a name.
bool canNameAnonymousFiles() {
    static const bool available = ::access("/proc/self/fd", X_OK) == 0;
    return available;
}

bool failCreation(const std::filesystem::path& url, int number, QVError* error) {
    // The system's text is taken before the message is looked up, which may touch errno.
    std::string text = QVStrError(number);
    return QVFail(error, QVFormat(QVText("Bestand '%@' aanmaken mislukt: %s"), {displayName(url), text.c_str()}));
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

// Writes into a nameless file in the target's folder, still without its name. Answers none
// when the file system has no nameless files, so that the caller writes in place; otherwise
// the descriptor, or -1 after a failure (the message is filled).
std::optional<int> writeAnonymously(QVPosixIO& io, std::string_view bytes, const std::filesystem::path& url,
                                    QVError* error) {
    if (!url.has_filename() || !canNameAnonymousFiles()) return std::nullopt;
    std::filesystem::path folder = url.parent_path();
    if (folder.empty()) folder = ".";
    int fd = io.open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
        int number = errno;
        // Older kernels and some file systems (network, FUSE) have no nameless files.
        if (number == EOPNOTSUPP || number == EISDIR || number == EINVAL) return std::nullopt;
        failCreation(url, number, error);
        return -1;
    }

    // Until it is linked, the file vanishes with its descriptor: nothing to remove.
    if (int writeError = QVWriteAll(fd, bytes)) {
        io.close(fd);
        failWhile(Stage::writing, writeError, error);
        return -1;
    }
    return fd;
}

// Names a complete nameless file and closes it.
bool nameAnonymous(QVPosixIO& io, int fd, const std::filesystem::path& url, QVError* error) {
    // Linking never replaces: a name taken in the meantime fails with EEXIST.
    std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (io.linkat(AT_FDCWD, self.c_str(), AT_FDCWD, url.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        int number = errno;
        io.close(fd);
        return failCreation(url, number, error);
    }

    if (io.close(fd) != 0) {
        int closeError = errno;
        return failAndRemove(io, url, Stage::closing, closeError, error);
    }
    return true;
}

// Creates the file under its name (fail-if-exists) and writes it there.
bool writeInPlace(QVPosixIO& io, std::string_view bytes, const std::filesystem::path& url, QVError* error) {
    int fd = io.open(url.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return failCreation(url, errno, error);

    if (int writeError = QVWriteAll(fd, bytes)) {
        io.close(fd);
        return failAndRemove(io, url, Stage::writing, writeError, error);
    }

    if (io.close(fd) != 0) {
        int closeError = errno;
        return failAndRemove(io, url, Stage::closing, closeError, error);
    }
    return true;
}

}  // namespace

bool QVWriteNewPDF(std::string_view bytes, const std::filesystem::path& url, QVError* error) {
    QVPosixIO& io = QVCurrentPosixIO();
    const std::string& path = url.native();

    // A NUL inside the path would make the system create a different, shorter name.
    if (path.find('\0') != std::string::npos) return failCreation(url, EINVAL, error);

    if (std::optional<int> fd = writeAnonymously(io, bytes, url, error))
        return *fd >= 0 && nameAnonymous(io, *fd, url, error);
    return writeInPlace(io, bytes, url, error);
}

QVPreparedPDF::QVPreparedPDF(QVPreparedPDF&& other) noexcept
    : url_(std::move(other.url_)), fd_(std::exchange(other.fd_, -1)), bytes_(std::move(other.bytes_)) {}

QVPreparedPDF& QVPreparedPDF::operator=(QVPreparedPDF&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) QVCurrentPosixIO().close(fd_);
        url_ = std::move(other.url_);
        fd_ = std::exchange(other.fd_, -1);
        bytes_ = std::move(other.bytes_);
    }
    return *this;
}

QVPreparedPDF::~QVPreparedPDF() {
    if (fd_ >= 0) QVCurrentPosixIO().close(fd_);
}

std::optional<QVPreparedPDF> QVPrepareNewPDF(std::string_view bytes, const std::filesystem::path& url,
                                             QVError* error) {
    QVPosixIO& io = QVCurrentPosixIO();
    if (url.native().find('\0') != std::string::npos) {
        failCreation(url, EINVAL, error);
        return std::nullopt;
    }
    QVPreparedPDF file;
    file.url_ = url;
    if (std::optional<int> fd = writeAnonymously(io, bytes, url, error)) {
        if (*fd < 0) return std::nullopt;
        file.fd_ = *fd;
    } else {
        file.bytes_.assign(bytes);
    }
    return file;
}

bool QVNameNewPDF(QVPreparedPDF& file, QVError* error) {
    QVPosixIO& io = QVCurrentPosixIO();
    if (file.fd_ < 0) return writeInPlace(io, file.bytes_, file.url_, error);
    return nameAnonymous(io, std::exchange(file.fd_, -1), file.url_, error);
}
