#pragma once
// A file descriptor that is closed when its owner ends.

#include <unistd.h>

class QVFileDescriptor {
public:
    explicit QVFileDescriptor(int fd = -1) : fd_(fd) {}
    ~QVFileDescriptor() { reset(); }
    QVFileDescriptor(const QVFileDescriptor&) = delete;
    QVFileDescriptor& operator=(const QVFileDescriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Gives up ownership: the caller closes it.
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes now and tells whether the close went well (it may report a late write error).
    bool reset() {
        if (fd_ < 0) return true;
        int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0;
    }

private:
    int fd_;
};
