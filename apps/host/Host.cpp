#include "Host.h"

#include <dlfcn.h>

#include <algorithm>
#include <type_traits>

#include "HostText.h"
#include "platform/Bundle.h"
#include "platform/Error.h"
#include "platform/Format.h"

namespace fs = std::filesystem;

namespace qvhostapp {

namespace {

Host* gCurrent = nullptr;

// Host errors of the stand-in host; the plug-in never sees the number.
constexpr int32_t kErrorChosen = 1;
constexpr int32_t kErrorBadArgument = 2;

Host& host() { return *Host::current(); }

// A routine as a table entry; it must have exactly the type its entry promises.
template <typename Proc>
QVHFTEntry asEntry(std::type_identity_t<Proc> routine) {
    return reinterpret_cast<QVHFTEntry>(routine);
}

// Inserts at `position`, or at the end for any position past it (9999 by convention).
template <typename T>
void insertAt(std::vector<T*>& list, T* element, int32_t position) {
    size_t at = position < 0 ? 0 : std::min(list.size(), static_cast<size_t>(position));
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), element);
}

// The host's routine for each entry of host/HostTable.def, under the entry's own name.
namespace routines {

// Records a call of `Entry` (see Host::enter).
template <typename Entry>
bool enter() {
    return host().enter(Entry::table, Entry::index);
}

// ---- "Core" ----

void PushExceptionFrame(void* frame, QVExceptionHandler handler) {
    if (enter<qvhft::PushExceptionFrame>()) return;
    host().pushFrame(frame, handler);
}

void PopExceptionFrame() {
    // The frame goes first, so an error raised by this call reaches the frame outside it.
    host().popFrame();
    enter<qvhft::PopExceptionFrame>();
}

QVAtom AtomFromString(const char* text) {
    if (enter<qvhft::AtomFromString>()) return 0;
    return host().atomFromString(text);
}

QVHostCallback CallbackCreate(void* extensionID, QVHFTEntry routine) {
    if (enter<qvhft::CallbackCreate>()) return nullptr;
    return host().createCallback(extensionID, routine);
}

QVHFT GetHFT(QVAtom name, QVVersion version) {
    if (enter<qvhft::GetHFT>()) return nullptr;
    return host().table(name, version);
}

// ---- "AcroSupport" ----

QVVersion VersionOfHFT(QVHFT table) {
    if (enter<qvhft::VersionOfHFT>()) return 0;
    std::optional<QVVersion> version = host().versionOf(table);
    if (!version) host().raise(kErrorBadArgument);
    return version.value_or(0);
}

// ---- "AcroView" ----

QVHostMenubar GetMenubar() {
    if (enter<qvhft::GetMenubar>()) return nullptr;
    return host().menubar();
}

void MenubarAddMenu(QVHostMenubar bar, QVHostMenu menu, int32_t position) {
    if (enter<qvhft::MenubarAddMenu>()) return;
    if (!bar || !menu || std::count(bar->menus.begin(), bar->menus.end(), menu)) return host().raise(kErrorBadArgument);
    insertAt(bar->menus, menu, position);
    ++menu->references;
}

QVHostMenu MenuNew(const char* title, const char* name, void* owner) {
    if (enter<qvhft::MenuNew>()) return nullptr;
    if (!title || !name) {
        host().raise(kErrorBadArgument);
        return nullptr;
    }
    return host().newMenu(title, name, owner);
}

void MenuRelease(QVHostMenu menu) {
    if (enter<qvhft::MenuRelease>()) return;
    if (!menu || menu->references <= 0) return host().raise(kErrorBadArgument);
    --menu->references;
}

void MenuAddMenuItem(QVHostMenu menu, QVHostMenuItem item, int32_t position) {
    if (enter<qvhft::MenuAddMenuItem>()) return;
    if (!menu || !item || item->menu) return host().raise(kErrorBadArgument);
    insertAt(menu->items, item, position);
    item->menu = menu;
}

QVHostMenuItem MenuItemNew(const char* title, const char* name, QVHostMenu /*submenu*/, QVHostBool /*longOnly*/,
                           char /*shortcut*/, uint8_t /*shortcutFlags*/, void* /*icon*/, void* owner) {
    if (enter<qvhft::MenuItemNew>()) return nullptr;
    if (!title || !name) {
        host().raise(kErrorBadArgument);
        return nullptr;
    }
    return host().newItem(title, name, owner);
}

void MenuItemRemove(QVHostMenuItem item) {
    if (enter<qvhft::MenuItemRemove>()) return;
    if (!item) return host().raise(kErrorBadArgument);
    if (!item->menu) return;
    auto& items = item->menu->items;
    items.erase(std::remove(items.begin(), items.end(), item), items.end());
    item->menu = nullptr;
}

void MenuItemSetTitle(QVHostMenuItem item, const char* title) {
    if (enter<qvhft::MenuItemSetTitle>()) return;
    if (!item || !title) return host().raise(kErrorBadArgument);
    item->title = title;
}

void MenuItemSetExecuteProc(QVHostMenuItem item, QVHostCallback callback, void* clientData) {
    if (enter<qvhft::MenuItemSetExecuteProc>()) return;
    if (!item) return host().raise(kErrorBadArgument);
    item->execute = callback;
    item->executeData = clientData;
}

void MenuItemSetComputeEnabledProc(QVHostMenuItem item, QVHostCallback callback, void* clientData) {
    if (enter<qvhft::MenuItemSetComputeEnabledProc>()) return;
    if (!item) return host().raise(kErrorBadArgument);
    item->computeEnabled = callback;
    item->computeEnabledData = clientData;
}

}  // namespace routines

// The entries of each table by name; tables the plug-ins bind but never call get one null
// entry, and an entry the host does not provide is null.
std::vector<QVHFTEntry> entriesOf(const std::string& name) {
    std::vector<QVHFTEntry> entries(std::max(1u, qvhft::entryCount(name)), nullptr);
#define QV_HOST_ENTRY_FILL(Table, Name, number, Return, Params) \
    if (name == #Table) entries[qvhft::k##Name] = asEntry<qvhft::Name##Proc>(routines::Name);
    QV_HOST_ENTRIES(QV_HOST_ENTRY_FILL)
#undef QV_HOST_ENTRY_FILL
    return entries;
}

// Calls a plug-in routine; an exception escaping a plug-in must not take the host down.
template <typename Call>
bool callPlugin(Call call) {
    try {
        return call();
    } catch (...) {
        return false;
    }
}

fs::path applicationFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path(ec) : exe.parent_path();
}

}  // namespace

std::map<std::string, std::vector<QVVersion>> HostConfig::standardTables() {
    std::map<std::string, std::vector<QVVersion>> tables = {
        {"Core", {QVMakeVersion(2, 0), QVMakeVersion(5, 0)}},
        {"AcroSupport", {QVMakeVersion(6, 0), QVMakeVersion(8, 0)}},
        {"PDSysFont", {QVMakeVersion(4, 0)}},
        {"Macintosh", {QVMakeVersion(2, 2)}},
    };
    for (const char* name : {"Cos", "PDModel", "PDFEditWrite", "PDFEditRead", "PagePDEContent", "AcroView", "PDSWrite",
                             "PDSRead", "ASExtra", "PDMetadata", "AcroColorHFT"})
        tables[name] = {QVMakeVersion(6, 0)};
    return tables;
}

Host::Host(HostConfig config) : config_(std::move(config)), previous_(gCurrent) {
    // The setup record always carries a "Core" table, offered by name or not.
    tables_.push_back({"Core", QVMakeVersion(2, 0), entriesOf("Core")});
    for (const auto& [name, versions] : config_.tables) {
        for (QVVersion version : versions) tables_.push_back({name, version, entriesOf(name)});
    }
    gCurrent = this;
}

Host::~Host() {
    // Plug-in libraries stay loaded: their code may still be registered with the process
    // (atexit handlers, statics), and unloading them buys nothing at exit.
    if (gCurrent == this) gCurrent = previous_;
}

Host* Host::current() { return gCurrent; }

bool Host::enter(const char* table, unsigned entry) {
    HostCallId id{table, entry};
    calls_.push_back(id);
    unsigned count = ++callCounts_[id.table + "#" + std::to_string(entry)];
    if (!config_.raiseErrorIn || !(*config_.raiseErrorIn == id) || count != config_.occurrence) return false;
    raise(kErrorChosen);
    return true;
}

void Host::raise(int32_t error) {
    ++errorsRaised_;
    if (frames_.empty()) return;
    Frame frame = frames_.back();
    frame.handler(frame.frame, error);
}

QVAtom Host::atomFromString(const char* text) {
    if (!text) return 0;
    auto found = std::find(atoms_.begin(), atoms_.end(), text);
    if (found != atoms_.end()) return static_cast<QVAtom>(found - atoms_.begin() + 1);
    if (atoms_.size() >= 0xFFFF) {
        raise(kErrorBadArgument);
        return 0;
    }
    atoms_.emplace_back(text);
    return static_cast<QVAtom>(atoms_.size());
}

std::string Host::atomText(QVAtom atom) const {
    if (atom == 0 || atom > atoms_.size()) return {};
    return atoms_[atom - 1];
}

QVHostCallback Host::createCallback(void* extensionID, QVHFTEntry routine) {
    if (!routine) {
        raise(kErrorBadArgument);
        return nullptr;
    }
    callbacks_.push_back({extensionID, routine});
    return &callbacks_.back();
}

QVHFT Host::table(QVAtom name, QVVersion version) {
    std::string text = atomText(name);
    TableRequest request{text, version, false};
    QVHFT found = nullptr;
    // The setup's own "Core" (first in the list) is not offered unless the configuration says so.
    auto offered = config_.tables.find(text);
    bool listed =
        offered != config_.tables.end() && std::count(offered->second.begin(), offered->second.end(), version) > 0;
    if (listed) {
        for (auto it = tables_.begin() + 1; it != tables_.end(); ++it) {
            if (it->name == text && it->version == version) {
                found = it->entries.data();
                break;
            }
        }
    }
    request.granted = found != nullptr;
    requests_.push_back(request);
    return found;
}

std::optional<QVVersion> Host::versionOf(QVHFT table) const {
    for (const Table& t : tables_)
        if (t.entries.data() == table) return t.version;
    return std::nullopt;
}

void Host::pushFrame(void* frame, QVExceptionHandler handler) {
    if (!handler) return raise(kErrorBadArgument);
    frames_.push_back({frame, handler});
}

void Host::popFrame() {
    if (!frames_.empty()) frames_.pop_back();
}

QVHostMenu Host::newMenu(const char* title, const char* name, void* owner) {
    menus_.push_back(QVHostMenuRec{title, name, owner, 1, {}});
    return &menus_.back();
}

QVHostMenuItem Host::newItem(const char* title, const char* name, void* owner) {
    QVHostMenuItemRec item;
    item.title = title;
    item.name = name;
    item.owner = owner;
    items_.push_back(std::move(item));
    return &items_.back();
}

QVHostMenuItem Host::findItem(const std::string& name) {
    if (!config_.hasMenubar) return nullptr;
    for (QVHostMenuRec* menu : menubar_.menus)
        for (QVHostMenuItemRec* item : menu->items)
            if (item->name == name) return item;
    return nullptr;
}

bool Host::isEnabled(QVHostMenuItem item) {
    if (!item || !item->computeEnabled) return item != nullptr;
    auto enabled = reinterpret_cast<QVMenuEnabledProc>(item->computeEnabled->routine);
    void* data = item->computeEnabledData;
    return callPlugin([&] { return enabled(data) != 0; });
}

bool Host::execute(QVHostMenuItem item) {
    if (!item || !item->execute) return false;
    auto run = reinterpret_cast<QVMenuExecuteProc>(item->execute->routine);
    void* data = item->executeData;
    return callPlugin([&] {
        run(data);
        return true;
    });
}

QVBundleRef* Host::bundleRef(const fs::path& path) {
    bundlePaths_.push_back(path.string());
    bundleRefs_.push_back({1, bundlePaths_.back().c_str()});
    return &bundleRefs_.back();
}

LoadedPlugin* Host::loadPlugin(QVPluginMainProc entryPoint, const fs::path& bundlePath, QVError* error) {
    auto refuse = [&](std::string step) -> LoadedPlugin* {
        QVFail(error, std::move(step));
        return nullptr;
    };
    auto plugin = std::make_unique<LoadedPlugin>();
    plugin->bundlePath = bundlePath;

    QVBundleRecord bundles{sizeof(QVBundleRecord), bundleRef(bundlePath), bundleRef(applicationFolder())};
    QVVersion agreed = 0;
    QVSetupProc setup = nullptr;
    if (!callPlugin([&] { return entryPoint(config_.handshakeVersion, &agreed, &setup, &bundles) != 0; }) || !setup)
        return refuse(QVHostText("het startpunt weigerde"));

    QVSetupRecord setupRecord{};
    setupRecord.handshakeVersion = config_.setupRecordVersion.value_or(agreed);
    setupRecord.extensionID = plugin.get();
    setupRecord.coreHFT = tables_.front().entries.data();
    if (!callPlugin([&] { return setup(agreed, &setupRecord) != 0; }) || !setupRecord.handshakeCallback)
        return refuse(QVHostText("de installatie weigerde"));

    auto handshake = reinterpret_cast<QVHandshakeProc>(setupRecord.handshakeCallback->routine);
    QVHandshakeRecord handshakeRecord{};
    handshakeRecord.size = sizeof(QVHandshakeRecord);
    if (!callPlugin([&] { return handshake(agreed, &handshakeRecord) != 0; }))
        return refuse(QVHostText("de handdruk weigerde"));

    plugin->name = atomText(handshakeRecord.extensionName);
    plugin->exportCallback = handshakeRecord.exportCallback;
    plugin->importCallback = handshakeRecord.importCallback;
    plugin->initCallback = handshakeRecord.initCallback;
    plugin->unloadCallback = handshakeRecord.unloadCallback;
    plugins_.push_back(std::move(plugin));
    return plugins_.back().get();
}

LoadedPlugin* Host::loadBundle(const fs::path& bundlePath, QVError* error) {
    auto refuse = [&](std::string reason) -> LoadedPlugin* {
        QVFail(error, std::move(reason));
        return nullptr;
    };
    std::optional<QVBundle> bundle = QVBundle::bundleWithPath(bundlePath);
    if (!bundle) return refuse(QVHostText("geen map"));
    std::optional<std::string> identifier = bundle->bundleIdentifier();
    if (identifier) {
        std::optional<QVBundle> loaded = QVBundle::bundleWithIdentifier(*identifier);
        if (loaded && loaded->bundlePath() != bundle->bundlePath())
            return refuse(QVFormat(QVHostText("al geladen uit %@"), {loaded->bundlePath().string()}));
    }
    // The library sits in the bundle folder itself; a name with a path in it could point
    // anywhere, so it is refused.
    std::string executable =
        bundle->objectForInfoDictionaryKey("CFBundleExecutable").value_or(bundle->bundlePath().stem().string() + ".so");
    if (executable.empty() || executable.find('/') != std::string::npos || executable == "." || executable == "..")
        return refuse(QVFormat(QVHostText("ongeldige CFBundleExecutable: %@"), {executable}));

    fs::path library = bundle->bundlePath() / executable;
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        return refuse(reason ? std::string(reason) : library.string());
    }
    auto entryPoint = reinterpret_cast<QVPluginMainProc>(dlsym(handle, kQVPluginMainName));
    if (!entryPoint) {
        dlclose(handle);
        return refuse(QVFormat(QVHostText("geen %s in %@"), {kQVPluginMainName, library.string()}));
    }
    libraries_.push_back(handle);
    QVBundle::registerLoadedBundle(*bundle);
    return loadPlugin(entryPoint, bundle->bundlePath(), error);
}

void Host::startPlugins() {
    auto run = [](QVHostCallback callback) {
        if (!callback) return false;
        auto routine = reinterpret_cast<QVLifecycleProc>(callback->routine);
        return callPlugin([&] { return routine() != 0; });
    };
    for (auto& plugin : plugins_) run(plugin->exportCallback);
    for (auto& plugin : plugins_) run(plugin->importCallback);
    for (auto& plugin : plugins_) {
        if (plugin->initialised) continue;
        // Unload is owed even when init failed half-way: the items made so far exist.
        run(plugin->initCallback);
        plugin->initialised = true;
    }
}

void Host::unloadPlugins() {
    for (auto& plugin : plugins_) {
        if (!plugin->initialised || !plugin->unloadCallback) continue;
        auto routine = reinterpret_cast<QVLifecycleProc>(plugin->unloadCallback->routine);
        callPlugin([&] { return routine() != 0; });
        plugin->initialised = false;
    }
}

}  // namespace qvhostapp
