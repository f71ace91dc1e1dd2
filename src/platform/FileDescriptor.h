#pragma once
// A file descriptor that is closed when its owner ends.

#include <unistd.h>

#include <utility>

class QVFileDescriptor {
public:
    // How the descriptor is closed: the system's close unless the owner's layer routes its
    // calls elsewhere (output code closes through its stand-in for the system, output/PosixIO.h).
    using Closer = int (*)(int);

    explicit QVFileDescriptor(int fd = -1, Closer closer = ::close) : fd_(fd), closer_(closer) {}
    ~QVFileDescriptor() { (void)reset(); }
    QVFileDescriptor(const QVFileDescriptor&) = delete;
    QVFileDescriptor& operator=(const QVFileDescriptor&) = delete;
    QVFileDescriptor(QVFileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)), closer_(other.closer_) {}
    QVFileDescriptor& operator=(QVFileDescriptor&& other) noexcept {
        if (this != &other) {
            (void)reset();
            fd_ = std::exchange(other.fd_, -1);
            closer_ = other.closer_;
        }
        return *this;
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Gives up ownership: the caller closes it.
    int release() { return std::exchange(fd_, -1); }
    // Closes now and tells whether the close went well (it may report a late write error); on
    // failure errno holds the close's error number. The descriptor is gone either way.
    [[nodiscard]] bool reset() {
        if (fd_ < 0) return true;
        int rc = closer_(std::exchange(fd_, -1));
        return rc == 0;
    }

private:
    int fd_;
    Closer closer_;
};
