#pragma once
// The POSIX calls through which output files are created, written and removed. Everything
// goes through the process-wide instance so that a test can stand in for the operating
// system (interrupted calls, short writes, a full disk, a failing close or unlink) without
// having to provoke each failure for real. Each call answers exactly as its POSIX namesake,
// errno included.

#include <sys/types.h>

#include <string_view>

class QVPosixIO {
public:
    virtual ~QVPosixIO() = default;
    virtual int open(const char* path, int flags, mode_t mode);
    virtual ssize_t write(int fd, const void* buffer, size_t count);
    virtual int close(int fd);
    virtual int unlink(const char* path);
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

// Writes all of `bytes` to `fd` through the instance in force: a short write is continued,
// an interrupted one repeated. Answers 0, or the error number of the write that failed; a
// write that accepts nothing without an error counts as EIO (the file system takes no more).
int QVWriteAll(int fd, std::string_view bytes);
