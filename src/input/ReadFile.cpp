#include "input/ReadFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <stdexcept>
#include <utility>

#include "localization/Text.h"
#include "platform/Error.h"
#include "platform/FileDescriptor.h"
#include "platform/Format.h"
#include "platform/System.h"

namespace fs = std::filesystem;

namespace {

bool isFolder(const fs::path& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Reads to the end, but never more than `limit` + 1 bytes (a file that grows while it is read
// is caught by that extra byte); answers 0 or the errno of the call that failed. Memory
// exhaustion is a failure like any other, not a crash.
int readAll(int fd, size_t sizeHint, size_t limit, std::string& out) {
    try {
        // One byte more than the expected size, so a file read in one go ends with a 0 read.
        out.resize(std::min(std::max<size_t>(sizeHint + 1, 64 * 1024), limit + 1));
        size_t used = 0;
        for (;;) {
            if (used == out.size()) {
                if (used > limit) break;
                out.resize(std::min(out.size() * 2, limit + 1));
            }
            ssize_t n = ::read(fd, out.data() + used, out.size() - used);
            if (n < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            if (n == 0) break;
            used += static_cast<size_t>(n);
        }
        out.resize(used);
        out.shrink_to_fit();
    } catch (const std::bad_alloc&) {
        out.clear();
        return ENOMEM;
    } catch (const std::length_error&) {
        out.clear();
        return ENOMEM;
    }
    return 0;
}

}  // namespace

std::string QVFileDisplayName(const fs::path& path) {
    fs::path p = path;
    while (p.has_relative_path() && p.filename().empty()) p = p.parent_path();
    return p.filename().string();
}

namespace {

std::string notReadableText(const fs::path& path, int code) {
    return QVFormat(QVText("Het bestand '%@' kon niet worden gelezen: %s"),
                    {QVFileDisplayName(path), QVStrError(code).c_str()});
}

std::string tooLargeText(const fs::path& path, uint64_t maxBytes) {
    return QVFormat(QVText("Het bestand '%@' is groter dan %lu MiB."),
                    {QVFileDisplayName(path), static_cast<unsigned long>(maxBytes >> 20)});
}

}  // namespace

namespace {

// Opens `path` for reading once it is known to be a regular file of at most `maxBytes`; gives
// the descriptor (blocking again) and its size, or -1 with `error` filled.
int openRegularFile(const fs::path& path, uint64_t maxBytes, QVError* error, uint64_t& size) {
    const std::string name = QVFileDisplayName(path);
    auto fail = [&](std::string text) {
        QVFail(error, std::move(text));
        return -1;
    };
    auto notReadable = [&](int code) {
        return fail(QVFormat(QVText("Het bestand '%@' kon niet worden gelezen: %s"), {name, QVStrError(code).c_str()}));
    };
    auto folder = [&] { return fail(QVFormat(QVText("'%@' is een map, geen bestand."), {name})); };

    // The system would stop reading the path at the NUL and open a different, shorter one.
    if (path.native().find('\0') != std::string::npos)
        return fail(QVText("Het pad is ongeldig: het bevat een nulteken."));

    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come; what is opened
    // is checked to be a regular file before anything is read.
    QVFileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        const int code = errno;
        if (code == ENOENT || code == ENOTDIR) return fail(QVFormat(QVText("Het bestand '%@' bestaat niet."), {name}));
        if (isFolder(path)) return folder();
        return notReadable(code);
    }
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) return notReadable(errno);
    if (S_ISDIR(st.st_mode)) return folder();
    if (!S_ISREG(st.st_mode)) return fail(QVFormat(QVText("'%@' is geen gewoon bestand."), {name}));
    if (static_cast<uint64_t>(st.st_size) > maxBytes) return fail(tooLargeText(path, maxBytes));
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return notReadable(errno);
    size = static_cast<uint64_t>(st.st_size);
    return fd.release();
}

}  // namespace

std::optional<std::string> QVReadWholeFile(const fs::path& path, uint64_t maxBytes, QVError* error) {
    uint64_t size = 0;
    QVFileDescriptor fd(openRegularFile(path, maxBytes, error, size));
    if (fd.get() < 0) return std::nullopt;

    std::string bytes;
    const size_t limit = static_cast<size_t>(std::min<uint64_t>(maxBytes, SIZE_MAX - 1));
    if (int code = readAll(fd.get(), static_cast<size_t>(size), limit, bytes)) {
        QVFail(error, notReadableText(path, code));
        return std::nullopt;
    }
    if (bytes.size() > limit) {
        QVFail(error, tooLargeText(path, maxBytes));
        return std::nullopt;
    }
    return bytes;
}

QVMappedFile& QVMappedFile::operator=(QVMappedFile&& other) noexcept {
    if (this != &other) {
        if (address_) ::munmap(address_, size_);
        address_ = std::exchange(other.address_, nullptr);
        size_ = std::exchange(other.size_, 0);
        copy_ = std::move(other.copy_);
    }
    return *this;
}

QVMappedFile::~QVMappedFile() {
    if (address_) ::munmap(address_, size_);
}

std::optional<QVMappedFile> QVMapWholeFile(const fs::path& path, uint64_t maxBytes, QVError* error) {
    uint64_t size = 0;
    QVFileDescriptor fd(openRegularFile(path, maxBytes, error, size));
    if (fd.get() < 0) return std::nullopt;
    QVMappedFile file;
    if (size == 0) {
        // Empty, or a file whose size is only known by reading it.
        std::optional<std::string> bytes = QVReadWholeFile(path, maxBytes, error);
        if (!bytes) return std::nullopt;
        file.copy_ = std::move(*bytes);
        return file;
    }
    void* address = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (address == MAP_FAILED) {
        QVFail(error, notReadableText(path, errno));
        return std::nullopt;
    }
    // Read front to back, once: the kernel may read ahead generously.
    ::madvise(address, static_cast<size_t>(size), MADV_SEQUENTIAL);
    file.address_ = address;
    file.size_ = static_cast<size_t>(size);
    return file;
}
