#pragma once
// The stand-in host application's core: host function tables offered by name and version,
// atoms, callbacks, exception frames and a menu bar, plus the load sequence that binds plug-ins
// to them. Host operations are plain routines without a context argument, so one Host at a
// time is the process's current host.
//
// Everything a test needs to provoke a plug-in is configurable: which tables are offered at
// which versions, the handshake versions, whether there is a menu bar, and one host call that
// raises a host error.

#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "plugin/HostInterface.h"

struct QVHostCallbackRec {
    void* extensionID;
    QVHFTEntry routine;
};

struct QVHostMenuItemRec {
    std::string title;
    std::string name;  // language-independent
    void* owner = nullptr;
    QVHostCallback execute = nullptr;
    void* executeData = nullptr;
    QVHostCallback computeEnabled = nullptr;
    void* computeEnabledData = nullptr;
    QVHostMenuRec* menu = nullptr;  // the menu that shows it; none once removed
};

struct QVHostMenuRec {
    std::string title;
    std::string name;
    void* owner = nullptr;
    int references = 1;  // the creator's; the menu bar holds one more while it shows the menu
    std::vector<QVHostMenuItemRec*> items;
};

struct QVHostMenubarRec {
    std::vector<QVHostMenuRec*> menus;
};

namespace qvhostapp {

// One host call: a table name and an entry number.
struct HostCallId {
    std::string table;
    unsigned entry = 0;
    bool operator==(const HostCallId&) const = default;
};

struct HostConfig {
    // Tables offered, by name, at exactly these versions.
    std::map<std::string, std::vector<QVVersion>> tables = standardTables();
    QVVersion handshakeVersion = kQVHandshakeVersion;  // offered to the entry point
    std::optional<QVVersion> setupRecordVersion;       // the setup record's own field; default: agreed
    bool hasMenubar = true;
    // Raise a host error in the `occurrence`-th call (1-based) of this entry.
    std::optional<HostCallId> raiseErrorIn;
    unsigned occurrence = 1;

    // Every table the plug-in binds, at the version it asks for, and "AcroSupport" at 6.0 too.
    static std::map<std::string, std::vector<QVVersion>> standardTables();
};

struct TableRequest {
    std::string name;
    QVVersion version = 0;
    bool granted = false;
};

// A plug-in as the host knows it after loading.
struct LoadedPlugin {
    std::filesystem::path bundlePath;
    std::string name;  // the name atom's text, e.g. "Quorvel:Plugin"
    QVHostCallback exportCallback = nullptr;
    QVHostCallback importCallback = nullptr;
    QVHostCallback initCallback = nullptr;
    QVHostCallback unloadCallback = nullptr;
    bool initialised = false;
};

class Host {
public:
    explicit Host(HostConfig config = {});
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The host whose operations the tables run; the latest one made.
    static Host* current();

    // Runs the load sequence with `entryPoint`: entry point, setup, handshake. The plug-in is
    // kept only when every step answered true; otherwise `error` says which step refused.
    [[nodiscard]] LoadedPlugin* loadPlugin(QVPluginMainProc entryPoint, const std::filesystem::path& bundlePath,
                                           QVError* error = nullptr);
    // Opens the bundle folder's library, registers the bundle and loads it as above.
    [[nodiscard]] LoadedPlugin* loadBundle(const std::filesystem::path& bundlePath, QVError* error = nullptr);

    // Calls export, then import, then init of every loaded plug-in, each round over all of them.
    void startPlugins();
    // Calls unload of every initialised plug-in (once).
    void unloadPlugins();

    const std::vector<std::unique_ptr<LoadedPlugin>>& plugins() const { return plugins_; }
    QVHostMenubar menubar() { return config_.hasMenubar ? &menubar_ : nullptr; }
    QVHostMenuItem findItem(const std::string& name);
    // The item's compute-enabled callback answers (an item without one is enabled).
    bool isEnabled(QVHostMenuItem item);
    // Runs the item's execute callback; false when it has none.
    bool execute(QVHostMenuItem item);

    // Records of what the plug-ins asked for.
    const std::vector<TableRequest>& tableRequests() const { return requests_; }
    const std::vector<HostCallId>& calls() const { return calls_; }
    size_t exceptionFrameDepth() const { return frames_.size(); }
    unsigned errorsRaised() const { return errorsRaised_; }
    const std::deque<QVHostMenuRec>& allMenus() const { return menus_; }
    std::string atomText(QVAtom atom) const;

    // ---- the host operations behind the tables ----
    // Records the call and, when it is the chosen one, raises a host error: the innermost
    // frame's handler is called (and usually does not return). True when the call must then
    // fail without doing anything.
    [[nodiscard]] bool enter(const char* table, unsigned entry);
    // Raises a host error: calls the innermost frame's handler; without a frame the error is
    // only counted and the call fails quietly.
    void raise(int32_t error);

    QVAtom atomFromString(const char* text);
    QVHostCallback createCallback(void* extensionID, QVHFTEntry routine);
    QVHFT table(QVAtom name, QVVersion version);
    [[nodiscard]] std::optional<QVVersion> versionOf(QVHFT table) const;
    void pushFrame(void* frame, QVExceptionHandler handler);
    void popFrame();
    QVHostMenu newMenu(const char* title, const char* name, void* owner);
    QVHostMenuItem newItem(const char* title, const char* name, void* owner);

private:
    struct Table {
        std::string name;
        QVVersion version;
        std::vector<QVHFTEntry> entries;
    };
    struct Frame {
        void* frame;
        QVExceptionHandler handler;
    };

    HostConfig config_;
    std::deque<Table> tables_;
    std::vector<std::string> atoms_;  // atom n is atoms_[n - 1]
    std::deque<QVHostCallbackRec> callbacks_;
    std::vector<Frame> frames_;
    QVHostMenubarRec menubar_;
    std::deque<QVHostMenuRec> menus_;
    std::deque<QVHostMenuItemRec> items_;
    std::deque<QVBundleRef> bundleRefs_;
    std::deque<std::string> bundlePaths_;
    std::vector<std::unique_ptr<LoadedPlugin>> plugins_;
    std::vector<TableRequest> requests_;
    std::vector<HostCallId> calls_;
    std::map<std::string, unsigned> callCounts_;
    unsigned errorsRaised_ = 0;
    std::vector<void*> libraries_;
    Host* previous_ = nullptr;

    [[nodiscard]] QVBundleRef* bundleRef(const std::filesystem::path& path);
};

}  // namespace qvhostapp
