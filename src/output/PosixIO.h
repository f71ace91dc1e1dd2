#pragma once
// The POSIX calls through which output files are created, written and removed. Everything
// goes through the process-wide instance so that a test can stand in for the operating
// system (interrupted calls, short writes, a full disk, a failing close or unlink) without
// having to provoke each failure for real. Each call answers exactly as its POSIX namesake,
// errno included.

#include <sys/types.h>

#include <string_view>

#include "platform/FileDescriptor.h"

class QVPosixIO {
public:
    virtual ~QVPosixIO() = default;
    // `folder` is a folder's descriptor, or AT_FDCWD for a path taken as it is.
    virtual int openat(int folder, const char* path, int flags, mode_t mode);
    virtual ssize_t write(int fd, const void* buffer, size_t count);
    virtual int close(int fd);
    virtual int unlinkat(int folder, const char* path, int flags);
    virtual int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags);
};

// The instance in force: the operating system's, unless a test installed its own.
QVPosixIO& QVCurrentPosixIO();

// Installs `io` for the lifetime of the guard and restores the previous instance after it.
// Guards nest; they must end in the reverse order of their creation.
class QVScopedPosixIO {
public:
    explicit QVScopedPosixIO(QVPosixIO& io);
    ~QVScopedPosixIO();
    QVScopedPosixIO(const QVScopedPosixIO&) = delete;
    QVScopedPosixIO& operator=(const QVScopedPosixIO&) = delete;

private:
    QVPosixIO* previous_;
};

// Closes `fd` through the instance in force: how every descriptor that output code owns ends.
int QVPosixClose(int fd);

// Takes `fd` (or -1) into an owner that closes it through the instance in force.
inline QVFileDescriptor QVOwnedDescriptor(int fd) { return QVFileDescriptor(fd, QVPosixClose); }

// Writes all of `bytes` to `fd` through the instance in force: a short write is continued,
// an interrupted one repeated. Answers 0, or the error number of the write that failed; a
// write that accepts nothing without an error counts as EIO (the file system takes no more).
[[nodiscard]] int QVWriteAll(int fd, std::string_view bytes);
