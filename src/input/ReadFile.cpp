#include "input/ReadFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <stdexcept>

#include "localization/Text.h"
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

std::optional<std::string> QVReadWholeFile(const fs::path& path, uint64_t maxBytes, std::string* reason) {
    const std::string name = QVFileDisplayName(path);
    auto fail = [&](std::string text) -> std::optional<std::string> {
        if (reason) *reason = std::move(text);
        return std::nullopt;
    };
    auto notReadable = [&](int code) {
        return fail(QVFormat(QVText("Het bestand '%@' kon niet worden gelezen: %s"), {name, QVStrError(code).c_str()}));
    };
    auto folder = [&] { return fail(QVFormat(QVText("'%@' is een map, geen bestand."), {name})); };
    auto tooLarge = [&] {
        return fail(QVFormat(QVText("Het bestand '%@' is groter dan %lu MiB."),
                             {name, static_cast<unsigned long>(maxBytes >> 20)}));
    };

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
    if (static_cast<uint64_t>(st.st_size) > maxBytes) return tooLarge();
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return notReadable(errno);

    std::string bytes;
    const size_t limit = static_cast<size_t>(std::min<uint64_t>(maxBytes, SIZE_MAX - 1));
    if (int code = readAll(fd.get(), static_cast<size_t>(st.st_size), limit, bytes)) return notReadable(code);
    if (bytes.size() > limit) return tooLarge();
    return bytes;
}
