#include "platform/Bundle.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/StringsTable.h"

namespace fs = std::filesystem;

namespace {

constexpr off_t kMaxInfoSize = 1024 * 1024;

// ----- strings tables, parsed once per version of the file ------------------------------------

// What tells one version of a file from another without reading it. The change time moves on
// every write, so an edit that keeps size and modification time is still noticed.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    bool operator==(const FileIdentity& o) const {
        return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
               changed.tv_nsec == o.changed.tv_nsec;
    }
};

std::optional<FileIdentity> identityOf(const fs::path& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return FileIdentity{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

// File times come from a coarse clock: two writes a few milliseconds apart can leave the same
// size and times behind. A file changed in the last moments is therefore read again at every
// lookup until it has been quiet long enough for its identity to tell versions apart.
bool settled(const FileIdentity& identity) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const time_t quiet = 2;
    return identity.changed.tv_sec + quiet < now.tv_sec && identity.modified.tv_sec + quiet < now.tv_sec;
}

struct CachedTable {
    FileIdentity identity;
    std::shared_ptr<const QVStringsTable> table;  // empty for a damaged table
};

class TableCache {
public:
    std::shared_ptr<const QVStringsTable> table(const fs::path& path) {
        // Identity first, contents second: if the file changes in between, the stored identity
        // is already stale and the next lookup reads the file again.
        std::optional<FileIdentity> identity = identityOf(path);
        std::lock_guard<std::mutex> hold(mutex_);
        if (!identity) {
            entries_.erase(path.string());
            return nullptr;
        }
        auto it = entries_.find(path.string());
        if (it != entries_.end() && it->second.identity == *identity) return it->second.table;
        std::shared_ptr<const QVStringsTable> table;
        if (std::optional<QVStringsTable> loaded = QVLoadStringsTable(path))
            table = std::make_shared<const QVStringsTable>(std::move(*loaded));
        if (!settled(*identity)) {
            entries_.erase(path.string());
            return table;
        }
        // A handful of languages is all there is; anything beyond that is stale.
        if (entries_.size() >= 32) entries_.clear();
        entries_[path.string()] = CachedTable{*identity, table};
        return table;
    }

private:
    std::mutex mutex_;
    std::unordered_map<std::string, CachedTable> entries_;
};

TableCache& tableCache() {
    static TableCache* cache = new TableCache();  // lives to the end of the process, never torn down
    return *cache;
}

// ----- the registry of loaded bundles ---------------------------------------------------------

struct Registered {
    QVBundle bundle;
    std::optional<std::string> identifier;
};

std::mutex& registryMutex() {
    static std::mutex* mutex = new std::mutex();
    return *mutex;
}

std::vector<Registered>& registry() {
    static std::vector<Registered>* list = new std::vector<Registered>();
    return *list;
}

// ----- helpers --------------------------------------------------------------------------------

bool isPlainName(const std::string& part) {
    return part.find('/') == std::string::npos && part.find('\0') == std::string::npos;
}

std::optional<std::string> readSmallFile(const fs::path& path, off_t limit) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> result;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= limit) {
        std::string text;
        char buffer[8192];
        for (;;) {
            ssize_t got = read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                if (got == 0) result = std::move(text);
                break;
            }
            text.append(buffer, static_cast<size_t>(got));
            if (text.size() > static_cast<size_t>(limit)) break;
        }
    }
    close(fd);
    return result;
}

// The file of the binary that holds `address`. The C library names the main program by its
// argv[0], which may be relative or a bare name found on PATH, so the kernel is asked instead.
std::optional<fs::path> binaryHolding(const void* address) {
    Dl_info info{};
    link_map* map = nullptr;
    if (dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0) return std::nullopt;
    std::error_code ec;
    if (!map || !map->l_name || map->l_name[0] == '\0') {
        fs::path self = fs::read_symlink("/proc/self/exe", ec);
        if (ec) return std::nullopt;
        return self;
    }
    fs::path file = fs::weakly_canonical(fs::path(map->l_name), ec);
    if (ec) return std::nullopt;
    return file;
}

}  // namespace

std::optional<QVBundle> QVBundle::bundleForAddress(const void* address) {
    std::optional<fs::path> binary = binaryHolding(address);
    if (!binary) return std::nullopt;
    return bundleWithPath(binary->parent_path());
}

std::optional<QVBundle> QVBundle::bundleWithPath(const fs::path& path) {
    if (path.empty() || path.native().find('\0') != std::string::npos) return std::nullopt;
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec || !fs::is_directory(absolute, ec)) return std::nullopt;
    absolute = absolute.lexically_normal();
    // "folder/" and "folder" are one bundle.
    if (absolute.has_parent_path() && !absolute.has_filename() && absolute != absolute.root_path())
        absolute = absolute.parent_path();
    return QVBundle(absolute);
}

std::optional<QVBundle> QVBundle::bundleWithIdentifier(const std::string& identifier) {
    std::lock_guard<std::mutex> hold(registryMutex());
    for (const Registered& entry : registry())
        if (entry.identifier && *entry.identifier == identifier) return entry.bundle;
    return std::nullopt;
}

void QVBundle::registerLoadedBundle(const QVBundle& bundle) {
    std::optional<std::string> identifier = bundle.bundleIdentifier();
    std::lock_guard<std::mutex> hold(registryMutex());
    for (const Registered& entry : registry())
        if (entry.bundle.bundlePath() == bundle.bundlePath()) return;
    registry().push_back(Registered{bundle, std::move(identifier)});
}

std::optional<fs::path> QVBundle::pathForResource(const std::string& name, const std::string& type) const {
    if (name.empty() || !isPlainName(name) || !isPlainName(type)) return std::nullopt;
    std::string file = type.empty() ? name : name + "." + type;
    const fs::path candidates[] = {
        path_ / "Resources" / file,
        (path_ / ".." / "share" / "quorvel" / "Resources" / file).lexically_normal(),
    };
    for (const fs::path& candidate : candidates) {
        std::error_code ec;
        if (fs::exists(candidate, ec)) return candidate;
    }
    return std::nullopt;
}

std::shared_ptr<const QVStringsTable> QVBundle::localizedStrings() const {
    fs::path table = path_ / "Localizable.po";
    std::error_code ec;
    if (!fs::is_regular_file(table, ec)) {
        std::optional<fs::path> resource = pathForResource("Localizable", "po");
        if (!resource) return nullptr;
        table = *resource;
    }
    return tableCache().table(table);
}

std::string QVBundle::localizedString(const std::string& key, const std::string& value) const {
    const std::string& fallback = value.empty() ? key : value;
    std::shared_ptr<const QVStringsTable> entries = localizedStrings();
    if (!entries) return fallback;
    auto it = entries->find(key);
    return it == entries->end() ? fallback : it->second;
}

std::optional<std::string> QVBundle::objectForInfoDictionaryKey(const std::string& key) const {
    std::optional<std::string> text = readSmallFile(path_ / "Info.json", kMaxInfoSize);
    if (!text) return std::nullopt;
    nlohmann::json info = nlohmann::json::parse(*text, nullptr, false);
    if (info.is_discarded() || !info.is_object()) return std::nullopt;
    auto it = info.find(key);
    if (it == info.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}
