#include "platform/UserDefaults.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/System.h"

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

namespace {

// A settings file is a few hundred bytes; anything near this size is not ours.
constexpr off_t kMaxDefaultsSize = 16 * 1024 * 1024;
// Writing the file back recurses once per level; a file nested deeper is not ours either.
constexpr int kMaxDefaultsDepth = 256;

std::optional<fs::path> absoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    fs::path path(value);
    if (!path.is_absolute()) return std::nullopt;
    return path;
}

std::optional<fs::path> homeFolder() {
    if (auto home = absoluteFromEnvironment("HOME")) return home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return std::nullopt;
    if (!found->pw_dir || found->pw_dir[0] != '/') return std::nullopt;
    return fs::path(found->pw_dir);
}

enum class FileState { Missing, Good, Damaged };

struct Contents {
    FileState state = FileState::Missing;
    Json object = Json::object();
};

Contents load(const fs::path& file) {
    Contents result;
    QVFileDescriptor fd(open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        // Only a file that is there but cannot be read counts as damaged; a missing file (or a
        // missing folder on the way to it) is simply empty.
        if (errno != ENOENT && errno != ENOTDIR) result.state = FileState::Damaged;
        return result;
    }
    result.state = FileState::Damaged;
    struct stat info {};
    if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxDefaultsSize) return result;
    std::string text;
    char buffer[8192];
    for (;;) {
        ssize_t got = read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return result;
        if (got == 0) break;
        text.append(buffer, static_cast<size_t>(got));
        if (text.size() > static_cast<size_t>(kMaxDefaultsSize)) return result;
    }
    // The parser checks UTF-8 as well as syntax; it never throws with exceptions turned off.
    bool tooDeep = false;
    auto depthCheck = [&](int depth, nlohmann::json::parse_event_t, Json&) {
        if (depth > kMaxDefaultsDepth) tooDeep = true;
        return true;
    };
    Json parsed = Json::parse(text, depthCheck, false);
    if (tooDeep || parsed.is_discarded() || !parsed.is_object()) return result;
    result.state = FileState::Good;
    result.object = std::move(parsed);
    return result;
}

// Creates the folder (and any missing parent) for the user alone.
bool makeFolder(const fs::path& folder) {
    struct stat info {};
    if (stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    if (errno != ENOENT) return false;
    fs::path parent = folder.parent_path();
    if (parent != folder && !parent.empty() && !makeFolder(parent)) return false;
    return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

// Renames without ever replacing an existing entry at `to`.
bool renameNoReplace(const fs::path& from, const fs::path& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // Some file systems cannot rename without replacing; a hard link fails on an existing name.
    if (link(from.c_str(), to.c_str()) != 0) return false;
    unlink(from.c_str());
    return true;
}

bool setAside(const fs::path& file) {
    std::string base = file.string() + ".corrupt-" + QVISO8601Now();
    for (int attempt = 1; attempt <= 100; ++attempt) {
        fs::path target = attempt == 1 ? fs::path(base) : fs::path(base + "-" + std::to_string(attempt));
        if (renameNoReplace(file, target)) return true;
        if (errno != EEXIST) return false;
    }
    return false;
}

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

// Replaces `file` with `bytes` in one step: readers see the old file or the new one, never a
// half-written one, also after a crash or power loss.
bool replaceAtomically(const fs::path& file, const std::string& bytes) {
    fs::path folder = file.parent_path();
    std::string temp = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    QVFileDescriptor fd(mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.valid()) return false;
    bool ok = fchmod(fd.get(), 0600) == 0 && writeAll(fd.get(), bytes) && fsync(fd.get()) == 0;
    ok = fd.reset() && ok;
    if (ok) ok = rename(temp.c_str(), file.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    QVFileDescriptor dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) fsync(dir.get());
    return true;
}

// Where a write lands: `file` itself, or, when `file` is a symbolic link, the regular file it
// leads to, so that a settings file kept elsewhere (with the user's other dotfiles, say) is
// updated where it lives and the link stays a link. Nothing for a link that leads nowhere or to
// something other than a file: that is not ours to create or replace.
std::optional<fs::path> writeTarget(const fs::path& file) {
    struct stat info {};
    if (lstat(file.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return file;
    char* resolved = realpath(file.c_str(), nullptr);
    if (!resolved) return std::nullopt;
    fs::path target(resolved);
    std::free(resolved);
    if (stat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return target;
}

// Reads, changes and writes the file while holding a lock, so that two processes changing
// different keys at the same time do not lose one of the changes. `change` answers whether
// there is anything to write.
bool update(const fs::path& name, const std::function<bool(Json&)>& change) {
    if (!makeFolder(name.parent_path())) return false;
    fs::path lockPath = name;
    lockPath += ".lock";
    // The lock is never followed: a link planted there would make us create its target. Without
    // the lock the write still happens, only unserialised.
    QVFileDescriptor lock(open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (lock.valid()) {
        while (flock(lock.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    std::optional<fs::path> target = writeTarget(name);
    if (!target) return false;
    const fs::path& file = *target;
    Contents contents = load(file);
    bool changed = change(contents.object);
    if (!changed && contents.state != FileState::Damaged) return true;
    std::string bytes;
    try {
        bytes = contents.object.dump(2) + "\n";
    } catch (const nlohmann::json::exception&) {
        return false;  // a value that is not valid UTF-8
    }
    if (contents.state == FileState::Damaged && !setAside(file)) return false;
    return replaceAtomically(file, bytes);
}

}  // namespace

std::optional<fs::path> QVUserDefaultsPath() {
    std::optional<fs::path> config = absoluteFromEnvironment("XDG_CONFIG_HOME");
    if (!config) {
        std::optional<fs::path> home = homeFolder();
        if (!home) return std::nullopt;
        config = *home / ".config";
    }
    return *config / "quorvel" / "defaults.json";
}

QVUserDefaults QVUserDefaults::standardUserDefaults() { return QVUserDefaults(QVUserDefaultsPath()); }

std::optional<std::string> QVUserDefaults::stringForKey(const std::string& key) const {
    if (!file_) return std::nullopt;
    Contents contents = load(*file_);
    auto it = contents.object.find(key);
    if (it == contents.object.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

bool QVUserDefaults::setStringForKey(const std::string& value, const std::string& key) {
    if (!file_) return false;
    return update(*file_, [&](Json& object) {
        object[key] = value;
        return true;
    });
}

bool QVUserDefaults::removeObjectForKey(const std::string& key) {
    if (!file_) return false;
    // Nothing to remove from a file that is not there: leave the disk alone.
    if (load(*file_).state == FileState::Missing) return true;
    return update(*file_, [&](Json& object) { return object.erase(key) > 0; });
}
