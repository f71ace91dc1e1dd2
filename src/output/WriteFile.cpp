#include "output/WriteFile.h"

#include <fcntl.h>

#include <cerrno>
#include <string>

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

}  // namespace

bool QVWriteNewPDF(std::string_view bytes, const std::filesystem::path& url, QVError* error) {
    QVPosixIO& io = QVCurrentPosixIO();
    const std::string& path = url.native();

    // A NUL inside the path would make the system create a different, shorter name.
    if (path.find('\0') != std::string::npos) {
        std::string text = QVStrError(EINVAL);
        return QVFail(error, QVFormat(QVText("Bestand '%@' aanmaken mislukt: %s"), {displayName(url), text.c_str()}));
    }

    int fd = io.open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        int number = errno;
        std::string text = QVStrError(number);
        return QVFail(error, QVFormat(QVText("Bestand '%@' aanmaken mislukt: %s"), {displayName(url), text.c_str()}));
    }

    if (int writeError = QVWriteAll(fd, bytes)) {
        io.close(fd);
        if (io.unlink(path.c_str()) == 0) return failRemoved(QVText("PDF schrijven mislukt: %s"), writeError, error);
        int removal = errno;
        return failNotRemoved(
            QVText("PDF schrijven mislukt: %s. Het onvolledige bestand '%@' kon niet worden verwijderd: %s"),
            writeError, url, removal, error);
    }

    if (io.close(fd) != 0) {
        int closeError = errno;
        if (io.unlink(path.c_str()) == 0) return failRemoved(QVText("PDF sluiten mislukt: %s"), closeError, error);
        int removal = errno;
        return failNotRemoved(
            QVText("PDF sluiten mislukt: %s. Het onvolledige bestand '%@' kon niet worden verwijderd: %s"),
            closeError, url, removal, error);
    }
    return true;
}
