#include "output/WriteFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <utility>

#include "localization/Text.h"
#include "output/PosixIO.h"
#include "platform/Error.h"
#include "platform/Format.h"
#include "platform/System.h"

namespace {

// `format` is already translated.
bool failRemoved(const std::string& format, int cause, QVError* error) {
    std::string causeText = QVStrError(cause);
    return QVFail(error, QVFormat(format, {causeText.c_str()}));
}

bool failNotRemoved(const std::string& format, int cause, const std::string& name, int removal, QVError* error) {
    std::string causeText = QVStrError(cause);
    std::string removalText = QVStrError(removal);
    return QVFail(error, QVFormat(format, {causeText.c_str(), name, removalText.c_str()}));
}

// Nameless files are linked into place through /proc; without it they cannot get a name.
bool canNameAnonymousFiles() {
    static const bool available = ::access("/proc/self/fd", X_OK) == 0;
    return available;
}

bool failCreation(const std::string& name, int number, QVError* error) {
    // The system's text is taken before the message is looked up, which may touch errno.
    std::string text = QVStrError(number);
    return QVFail(error, QVFormat(QVText("Bestand '%@' aanmaken mislukt: %s"), {name, text.c_str()}));
}

// Why nothing can be created as `name` in `folder` before trying: 0 when it can be tried.
int refusalOf(const QVOutputFolder& folder, const std::string& name) {
    if (folder.openError()) return folder.openError();
    // Anything but one plain entry would be looked up beyond the folder, or (a NUL) cut short.
    return QVIsSingleName(name) ? 0 : EINVAL;
}

enum class Stage { writing, closing };

bool failWhile(Stage stage, int cause, QVError* error) {
    if (stage == Stage::closing) return failRemoved(QVText("PDF sluiten mislukt: %s"), cause, error);
    return failRemoved(QVText("PDF schrijven mislukt: %s"), cause, error);
}

// Removes the named file after a failed write or close and says what happened.
bool failAndRemove(QVPosixIO& io, const QVOutputFolder& folder, const std::string& name, Stage stage, int cause,
                   QVError* error) {
    if (io.unlinkat(folder.descriptor(), name.c_str(), 0) == 0) return failWhile(stage, cause, error);
    int removal = errno;
    if (stage == Stage::closing) {
        return failNotRemoved(
            QVText("PDF sluiten mislukt: %s. Het onvolledige bestand '%@' kon niet worden verwijderd: %s"), cause, name,
            removal, error);
    }
    return failNotRemoved(
        QVText("PDF schrijven mislukt: %s. Het onvolledige bestand '%@' kon niet worden verwijderd: %s"), cause, name,
        removal, error);
}

}  // namespace

QVNewPDFFile::~QVNewPDFFile() {
    if (!fd_.valid()) return;
    (void)fd_.reset();
    // A nameless file vanishes with its descriptor; a named one is removed.
    if (!nameless_) QVCurrentPosixIO().unlinkat(folder_->descriptor(), name_.c_str(), 0);
}

std::unique_ptr<QVNewPDFFile> QVNewPDFFile::createNameless(const QVOutputFolder& folder, const std::string& name,
                                                           QVError* error, bool* unsupported) {
    *unsupported = false;
    if (int refusal = refusalOf(folder, name)) {
        failCreation(name, refusal, error);
        return nullptr;
    }
    if (canNameAnonymousFiles()) {
        std::unique_ptr<QVNewPDFFile> file(new QVNewPDFFile(folder, name));
        file->fd_ = QVOwnedDescriptor(
            QVCurrentPosixIO().openat(folder.descriptor(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
        if (file->fd_.valid()) {
            file->nameless_ = true;
            return file;
        }
        const int number = errno;
        // Older kernels and some file systems (network, FUSE) have no nameless files.
        if (number != EOPNOTSUPP && number != EISDIR && number != EINVAL) {
            failCreation(name, number, error);
            return nullptr;
        }
    }
    *unsupported = true;
    return nullptr;
}

std::unique_ptr<QVNewPDFFile> QVNewPDFFile::create(const QVOutputFolder& folder, const std::string& name,
                                                   QVError* error) {
    bool unsupported = false;
    std::unique_ptr<QVNewPDFFile> file = createNameless(folder, name, error, &unsupported);
    if (file || !unsupported) return file;
    // Without nameless files the file is made under its name.
    file.reset(new QVNewPDFFile(folder, name));
    file->fd_ = QVOwnedDescriptor(
        QVCurrentPosixIO().openat(folder.descriptor(), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!file->fd_.valid()) {
        failCreation(name, errno, error);
        return nullptr;
    }
    return file;
}

bool QVNewPDFFile::write(std::string_view bytes, QVError* error) {
    if (!fd_.valid()) return failWhile(Stage::writing, EBADF, error);
    if (int writeError = QVWriteAll(fd_.get(), bytes))
        return abandon(static_cast<int>(Stage::writing), writeError, error);
    written_ += bytes.size();
    return true;
}

bool QVNewPDFFile::readBack(uint64_t offset, size_t length, char* into) const {
    if (!fd_.valid() || offset + length > written_) return false;
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::pread(fd_.get(), into + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool QVNewPDFFile::commit(QVError* error) {
    if (!fd_.valid()) return failWhile(Stage::writing, EBADF, error);
    QVPosixIO& io = QVCurrentPosixIO();
    if (nameless_) {
        // Linking never replaces: a name taken in the meantime fails with EEXIST. The magic link
        // leads to the open file itself, and the name is made in the folder held open.
        std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
        if (io.linkat(AT_FDCWD, self.c_str(), folder_->descriptor(), name_.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            const int number = errno;
            (void)fd_.reset();  // the nameless file vanishes with it
            return failCreation(name_, number, error);
        }
    }
    // From here on the file has its name: a failing close removes it again.
    if (!fd_.reset()) {
        const int closeError = errno;
        return failAndRemove(io, *folder_, name_, Stage::closing, closeError, error);
    }
    return true;
}

bool QVNewPDFFile::abandon(int stage, int cause, QVError* error) {
    // The close's own outcome plays no part: the write's error is the one to report.
    (void)fd_.reset();
    // Until it is linked, the file vanishes with its descriptor: nothing to remove.
    if (nameless_) return failWhile(static_cast<Stage>(stage), cause, error);
    return failAndRemove(QVCurrentPosixIO(), *folder_, name_, static_cast<Stage>(stage), cause, error);
}

bool QVWriteNewPDF(std::string_view bytes, const QVOutputFolder& folder, const std::string& name, QVError* error) {
    std::unique_ptr<QVNewPDFFile> file = QVNewPDFFile::create(folder, name, error);
    return file && file->write(bytes, error) && file->commit(error);
}

std::optional<QVPreparedPDF> QVPrepareNewPDF(std::string_view bytes, const QVOutputFolder& folder,
                                             const std::string& name, QVError* error) {
    QVPreparedPDF prepared(folder);
    prepared.name_ = name;
    bool unsupported = false;
    prepared.file_ = QVNewPDFFile::createNameless(folder, name, error, &unsupported);
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
    return QVWriteNewPDF(file.bytes_, *file.folder_, file.name_, error);
}
