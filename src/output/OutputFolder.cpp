#include "output/OutputFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace {

// A folder's path as written, without "." steps, "x/.." pairs or a trailing slash.
std::filesystem::path comparable(const std::filesystem::path& path) {
    std::filesystem::path normal = path.lexically_normal();
    if (!normal.has_filename() && normal.has_relative_path()) normal = normal.parent_path();
    if (normal.empty()) normal = ".";
    return normal;
}

}  // namespace

QVOutputFolder QVOutputFolder::open(const std::filesystem::path& path) {
    const std::string& native = path.native();
    // The system would stop at a NUL and open a different, shorter path.
    if (native.find('\0') != std::string::npos) return QVOutputFolder(path, QVFileDescriptor(), EINVAL);
    const char* where = native.empty() ? "." : native.c_str();
    // Not one of the output files' own calls (output/PosixIO.h): a stand-in for the system sees
    // only those.
    QVFileDescriptor fd(::open(where, O_PATH | O_DIRECTORY | O_CLOEXEC));
    const int number = fd.valid() ? 0 : errno;
    return QVOutputFolder(path, std::move(fd), number);
}

bool QVOutputFolder::contains(const std::string& name) const {
    if (!fd_.valid() || !QVIsSingleName(name)) return false;
    struct stat info {};
    return ::fstatat(fd_.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

bool QVOutputFolder::isKnownEmpty() const {
    if (!fd_.valid()) return false;
    // Held open for lookups only; listing needs a descriptor that may read the folder.
    const int listing = ::openat(fd_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0) return false;
    DIR* dir = ::fdopendir(listing);
    if (!dir) {
        ::close(listing);
        return false;
    }
    bool empty = true;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            empty = false;
            break;
        }
    }
    // A listing cut short by an error proves nothing.
    if (errno != 0) empty = false;
    ::closedir(dir);
    return empty;
}

bool QVOutputFolder::holds(const std::filesystem::path& url) const {
    if (!url.has_filename()) return false;
    return comparable(url.parent_path()) == comparable(path_);
}

bool QVIsSingleName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}
