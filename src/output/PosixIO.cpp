#include "output/PosixIO.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

QVPosixIO gSystemIO;
std::atomic<QVPosixIO*> gCurrentIO{&gSystemIO};

}  // namespace

int QVPosixIO::openat(int folder, const char* path, int flags, mode_t mode) {
    return ::openat(folder, path, flags, mode);
}

ssize_t QVPosixIO::write(int fd, const void* buffer, size_t count) { return ::write(fd, buffer, count); }

int QVPosixIO::close(int fd) { return ::close(fd); }

int QVPosixIO::unlinkat(int folder, const char* path, int flags) { return ::unlinkat(folder, path, flags); }

int QVPosixIO::linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
    return ::linkat(fromFolder, from, toFolder, to, flags);
}

QVPosixIO& QVCurrentPosixIO() { return *gCurrentIO.load(); }

int QVPosixClose(int fd) { return QVCurrentPosixIO().close(fd); }

QVScopedPosixIO::QVScopedPosixIO(QVPosixIO& io) : previous_(gCurrentIO.exchange(&io)) {}

QVScopedPosixIO::~QVScopedPosixIO() { gCurrentIO.store(previous_); }

int QVWriteAll(int fd, std::string_view bytes) {
    QVPosixIO& io = QVCurrentPosixIO();
    size_t offset = 0;
    while (offset < bytes.size()) {
        ssize_t written = io.write(fd, bytes.data() + offset, bytes.size() - offset);
        if (written < 0) {
            int number = errno;
            if (number == EINTR) continue;
            return number;
        }
        if (written == 0) return EIO;
        offset += static_cast<size_t>(written);
    }
    return 0;
}
