#pragma once
// The binary interface between a host application and its plug-ins: version numbers, the
// records exchanged while loading, the shape of host function tables and the signatures of
// the host operations the plug-in calls. Both sides include this header; the byte offsets of
// the records are fixed, so every field the plug-in touches is pinned by a static_assert.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "plugin/HostTable.def"

// Versions: major in the high 16 bits, minor in the low 16 bits (6.0 is 0x00060000).
using QVVersion = uint32_t;
constexpr QVVersion QVMakeVersion(uint16_t major, uint16_t minor) {
    return (static_cast<QVVersion>(major) << 16) | minor;
}
constexpr QVVersion kQVHandshakeVersion = QVMakeVersion(2, 0);
// A bound version that says "no table bound yet".
constexpr QVVersion kQVNoVersion = 0xFFFFFFFFu;

using QVAtom = uint16_t;      // a host-wide number for a string
using QVHostBool = uint16_t;  // booleans answered to the host are 16 bits wide

// A host function table: an array of routines indexed by entry number. The caller casts an
// entry to the routine type that the entry's number promises.
using QVHFTEntry = void (*)();
using QVHFT = QVHFTEntry*;

// An opaque host callback, made by the host from a plug-in routine.
struct QVHostCallbackRec;
using QVHostCallback = QVHostCallbackRec*;

// Opaque host objects handed to the plug-in.
struct QVHostMenubarRec;
struct QVHostMenuRec;
struct QVHostMenuItemRec;
using QVHostMenubar = QVHostMenubarRec*;
using QVHostMenu = QVHostMenuRec*;
using QVHostMenuItem = QVHostMenuItemRec*;

// A bundle reference as the host hands it out: the plug-in retains the ones it keeps, and a
// retained reference is never released by the host while the process lives.
struct QVBundleRef {
    uint32_t retainCount;
    const char* path;  // the bundle folder, UTF-8
};
inline QVBundleRef* QVBundleRetain(QVBundleRef* bundle) {
    if (bundle) ++bundle->retainCount;
    return bundle;
}

// ----- records -----------------------------------------------------------------------------

// Given to the entry point.
struct QVBundleRecord {
    uint32_t size;
    QVBundleRef* pluginBundle;  // byte 8
    QVBundleRef* appBundle;     // byte 16
};
static_assert(offsetof(QVBundleRecord, pluginBundle) == 8);
static_assert(offsetof(QVBundleRecord, appBundle) == 16);

// Given to the setup routine.
struct QVSetupRecord {
    QVVersion handshakeVersion;        // byte 0
    void* extensionID;                 // byte 8
    QVHFT coreHFT;                     // byte 16
    QVHostCallback handshakeCallback;  // byte 24, written by the plug-in
};
static_assert(offsetof(QVSetupRecord, handshakeVersion) == 0);
static_assert(sizeof(QVVersion) == 4);
static_assert(offsetof(QVSetupRecord, extensionID) == 8);
static_assert(offsetof(QVSetupRecord, coreHFT) == 16);
static_assert(offsetof(QVSetupRecord, handshakeCallback) == 24);

// Given to the handshake routine; the plug-in writes its name and its four callbacks.
struct QVHandshakeRecord {
    uint32_t size;
    uint16_t reserved;
    QVAtom extensionName;           // byte 6
    QVHostCallback exportCallback;  // byte 8
    QVHostCallback importCallback;  // byte 16: import, replace and register
    QVHostCallback initCallback;    // byte 24
    QVHostCallback unloadCallback;  // byte 32
};
static_assert(offsetof(QVHandshakeRecord, extensionName) == 6);
static_assert(sizeof(QVAtom) == 2);
static_assert(offsetof(QVHandshakeRecord, exportCallback) == 8);
static_assert(offsetof(QVHandshakeRecord, importCallback) == 16);
static_assert(offsetof(QVHandshakeRecord, initCallback) == 24);
static_assert(offsetof(QVHandshakeRecord, unloadCallback) == 32);

// ----- plug-in routines the host calls ---------------------------------------------------------

using QVSetupProc = QVHostBool (*)(QVVersion handshakeVersion, void* setupRecord);
using QVHandshakeProc = QVHostBool (*)(QVVersion handshakeVersion, void* handshakeRecord);
using QVPluginMainProc = QVHostBool (*)(QVVersion appHandshakeVersion, QVVersion* handshakeVersion,
                                        QVSetupProc* setupProc, void* bundleRecord);
using QVLifecycleProc = QVHostBool (*)();  // export, import, init, unload
using QVMenuExecuteProc = void (*)(void* clientData);
using QVMenuEnabledProc = QVHostBool (*)(void* clientData);
// Called by the host when an error is raised inside an exception frame.
using QVExceptionHandler = void (*)(void* frame, int32_t error);

// The name under which the entry point is exported.
constexpr const char* kQVPluginMainName = "AcroPluginMain";

// ----- host operations: entry numbers and signatures ----------------------------------------

namespace qvhft {

// Per entry of HostTable.def: its number kName, its routine type NameProc, and a descriptor
// Name that carries both with the name of its table.
#define QV_HOST_ENTRY_DECLARE(Table, Name, number, Return, Params) \
    constexpr unsigned k##Name = number;                           \
    using Name##Proc = Return(*) Params;                           \
    struct Name {                                                  \
        static constexpr const char* table = #Table;               \
        static constexpr unsigned index = number;                  \
        using Proc = Name##Proc;                                   \
    };
QV_HOST_ENTRIES(QV_HOST_ENTRY_DECLARE)
#undef QV_HOST_ENTRY_DECLARE

// The number of entries of table `name` that the list covers (its highest entry number plus
// one), or 0 for a table none of whose entries is called.
constexpr unsigned entryCount(std::string_view name) {
    unsigned count = 0;
#define QV_HOST_ENTRY_COUNT(Table, Name, number, Return, Params) \
    if (name == #Table && number + 1 > count) count = number + 1;
    QV_HOST_ENTRIES(QV_HOST_ENTRY_COUNT)
#undef QV_HOST_ENTRY_COUNT
    return count;
}
// True when no two entries of one table share a number.
constexpr bool entryNumbersAreUnique() {
    struct Numbered {
        std::string_view table;
        unsigned number;
    };
#define QV_HOST_ENTRY_NUMBERED(Table, Name, number, Return, Params) Numbered{#Table, number},
    constexpr Numbered all[] = {QV_HOST_ENTRIES(QV_HOST_ENTRY_NUMBERED)};
#undef QV_HOST_ENTRY_NUMBERED
    for (const Numbered& a : all)
        for (const Numbered& b : all)
            if (&a != &b && a.table == b.table && a.number == b.number) return false;
    return true;
}
static_assert(entryNumbersAreUnique(), "two entries of HostTable.def share a table and number");

constexpr unsigned kCoreEntries = entryCount("Core");
constexpr unsigned kAcroSupportEntries = entryCount("AcroSupport");
constexpr unsigned kAcroViewEntries = entryCount("AcroView");

// Position that puts a menu or an item after all others.
constexpr int32_t kAppendPosition = 9999;

// The entry `index` of `table` as a routine of type Proc.
template <typename Proc>
Proc entry(QVHFT table, unsigned index) {
    return reinterpret_cast<Proc>(table[index]);
}

// The entry that descriptor `Entry` names, as its own routine type: the number and the type
// cannot be mismatched.
template <typename Entry>
typename Entry::Proc entry(QVHFT table) {
    return entry<typename Entry::Proc>(table, Entry::index);
}

}  // namespace qvhft
