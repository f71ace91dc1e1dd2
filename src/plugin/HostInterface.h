#pragma once
// The binary interface between a host application and its plug-ins: version numbers, the
// records exchanged while loading, the shape of host function tables and the signatures of
// the host operations the plug-in calls. Both sides include this header; the byte offsets of
// the records are fixed, so every field the plug-in touches is pinned by a static_assert.

#include <cstddef>
#include <cstdint>

// Versions: major in the high 16 bits, minor in the low 16 bits (6.0 is 0x00060000).
using QVVersion = uint32_t;
constexpr QVVersion QVMakeVersion(uint16_t major, uint16_t minor) {
    return (static_cast<QVVersion>(major) << 16) | minor;
}
constexpr QVVersion kQVHandshakeVersion = QVMakeVersion(2, 0);
// A bound version that says "no table bound yet".
constexpr QVVersion kQVNoVersion = 0xFFFFFFFFu;

using QVAtom = uint16_t;     // a host-wide number for a string
using QVHostBool = uint16_t; // booleans answered to the host are 16 bits wide

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
    QVVersion handshakeVersion;    // byte 0
    void* extensionID;             // byte 8
    QVHFT coreHFT;                 // byte 16
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
    QVAtom extensionName;              // byte 6
    QVHostCallback exportCallback;     // byte 8
    QVHostCallback importCallback;     // byte 16: import, replace and register
    QVHostCallback initCallback;       // byte 24
    QVHostCallback unloadCallback;     // byte 32
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
using QVLifecycleProc = QVHostBool (*)();             // export, import, init, unload
using QVMenuExecuteProc = void (*)(void* clientData);
using QVMenuEnabledProc = QVHostBool (*)(void* clientData);
// Called by the host when an error is raised inside an exception frame.
using QVExceptionHandler = void (*)(void* frame, int32_t error);

// The name under which the entry point is exported.
constexpr const char* kQVPluginMainName = "AcroPluginMain";

// ----- host operations: entry numbers and signatures ----------------------------------------

namespace qvhft {

// "Core"
constexpr unsigned kPushExceptionFrame = 2;
constexpr unsigned kPopExceptionFrame = 3;
constexpr unsigned kAtomFromString = 5;
constexpr unsigned kCallbackCreate = 8;
constexpr unsigned kGetHFT = 10;
constexpr unsigned kCoreEntries = 11;
using PushExceptionFrameProc = void (*)(void* frame, QVExceptionHandler handler);
using PopExceptionFrameProc = void (*)();
using AtomFromStringProc = QVAtom (*)(const char* text);
using CallbackCreateProc = QVHostCallback (*)(void* extensionID, QVHFTEntry routine);
using GetHFTProc = QVHFT (*)(QVAtom name, QVVersion version);

// "AcroSupport"
constexpr unsigned kVersionOfHFT = 102;
constexpr unsigned kAcroSupportEntries = 103;
using VersionOfHFTProc = QVVersion (*)(QVHFT table);

// "AcroView"
constexpr unsigned kGetMenubar = 16;
constexpr unsigned kMenubarAddMenu = 77;
constexpr unsigned kMenuNew = 78;
constexpr unsigned kMenuRelease = 80;
constexpr unsigned kMenuAddMenuItem = 89;
constexpr unsigned kMenuItemNew = 90;
constexpr unsigned kMenuItemRemove = 93;
constexpr unsigned kMenuItemSetTitle = 96;
constexpr unsigned kMenuItemSetExecuteProc = 99;
constexpr unsigned kMenuItemSetComputeEnabledProc = 100;
constexpr unsigned kAcroViewEntries = 101;
// Position that puts a menu or an item after all others.
constexpr int32_t kAppendPosition = 9999;
using GetMenubarProc = QVHostMenubar (*)();
using MenubarAddMenuProc = void (*)(QVHostMenubar bar, QVHostMenu menu, int32_t position);
using MenuNewProc = QVHostMenu (*)(const char* title, const char* name, void* owner);
using MenuReleaseProc = void (*)(QVHostMenu menu);
using MenuAddMenuItemProc = void (*)(QVHostMenu menu, QVHostMenuItem item, int32_t position);
using MenuItemNewProc = QVHostMenuItem (*)(const char* title, const char* name, QVHostMenu submenu,
                                           QVHostBool longOnly, char shortcut, uint8_t shortcutFlags,
                                           void* icon, void* owner);
using MenuItemRemoveProc = void (*)(QVHostMenuItem item);
using MenuItemSetTitleProc = void (*)(QVHostMenuItem item, const char* title);
using MenuItemSetProcProc = void (*)(QVHostMenuItem item, QVHostCallback callback, void* clientData);

// The entry `index` of `table` as a routine of type Proc.
template <typename Proc>
Proc entry(QVHFT table, unsigned index) {
    return reinterpret_cast<Proc>(table[index]);
}

}  // namespace qvhft
