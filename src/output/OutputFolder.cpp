#include "output/OutputFolder.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

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

bool QVOutputFolder::holds(const std::filesystem::path& url) const {
    if (!url.has_filename()) return false;
    return comparable(url.parent_path()) == comparable(path_);
}

bool QVIsSingleName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}
