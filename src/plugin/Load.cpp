#include "plugin/Load.h"

#include "plugin/Lifecycle.h"
#include "plugin/PluginState.h"

namespace {

QVAtom atomFromString(const char* text) { return qvhft::entry<qvhft::AtomFromString>(gCoreHFT)(text); }

QVHFT getHFT(QVAtom name, QVVersion version) { return qvhft::entry<qvhft::GetHFT>(gCoreHFT)(name, version); }

QVVersion versionOfHFT(QVHFT support, QVHFT table) { return qvhft::entry<qvhft::VersionOfHFT>(support)(table); }

QVHostCallback makeCallback(QVHFTEntry routine) {
    return qvhft::entry<qvhft::CallbackCreate>(gCoreHFT)(gExtensionID, routine);
}

template <typename Routine>
QVHFTEntry asEntry(Routine routine) {
    return reinterpret_cast<QVHFTEntry>(routine);
}

}  // namespace

extern "C" QVHostBool AcroPluginMain(QVVersion appHandshakeVersion, QVVersion* handshakeVersion, QVSetupProc* setupProc,
                                     void* bundleRecord) {
    auto* bundles = static_cast<QVBundleRecord*>(bundleRecord);
    gPluginBundle = QVBundleRetain(bundles->pluginBundle);
    gAppBundle = QVBundleRetain(bundles->appBundle);
    *handshakeVersion = appHandshakeVersion < kQVHandshakeVersion ? appHandshakeVersion : kQVHandshakeVersion;
    *setupProc = PISetupSDK;
    return true;
}

QVHostBool PISetupSDK(QVVersion handshakeVersion, void* setupRecord) {
    auto* setup = static_cast<QVSetupRecord*>(setupRecord);
    if (handshakeVersion != kQVHandshakeVersion || setup->handshakeVersion != kQVHandshakeVersion) return false;

    gExtensionID = setup->extensionID;
    gCoreHFT = setup->coreHFT;
    gCoreVersion = kQVHandshakeVersion;

    // A table found here lets GetRequestedHFT ask for each table at its own version first.
    QVHFT support = getHFT(atomFromString("AcroSupport"), QVMakeVersion(6, 0));
    if (support) {
        gAcroSupportHFT = support;
        gAcroSupportVersion = QVMakeVersion(6, 0);
        gAcroSupportVersion = versionOfHFT(support, support);
    }
    if (!GetRequestedHFT("AcroSupport", QVMakeVersion(8, 0), &gAcroSupportVersion, &gAcroSupportHFT)) return false;

    for (const qvhost::HFTRequest& request : qvhost::requestList()) {
        if (!GetRequestedHFT(request.name, request.requestedVersion, request.boundVersion, request.table) &&
            !request.optional)
            return false;
    }

    setup->handshakeCallback = makeCallback(asEntry(PIHandshake));
    return true;
}

bool GetRequestedHFT(const char* name, QVVersion requestedVersion, QVVersion* boundVersion, QVHFT* table) {
    QVAtom atom = atomFromString(name);
    QVVersion bound = kQVNoVersion;
    QVHFT found = nullptr;

    if (gAcroSupportVersion >= QVMakeVersion(6, 0)) {
        found = getHFT(atom, requestedVersion);
        if (found) bound = versionOfHFT(gAcroSupportHFT, found);
    }
    if (bound == kQVNoVersion) {
        // Only versions at or above the one asked for, newest first.
        bound = 0;
        for (QVVersion candidate : qvhost::versionLessVersions) {
            if (candidate < requestedVersion) break;
            found = getHFT(atom, candidate);
            if (found) {
                bound = candidate;
                break;
            }
        }
    }
    *table = found;
    *boundVersion = bound;
    return bound != 0;
}

QVHostBool PIHandshake(QVVersion handshakeVersion, void* handshakeRecord) {
    if (handshakeVersion != kQVHandshakeVersion) return false;
    auto* handshake = static_cast<QVHandshakeRecord*>(handshakeRecord);
    handshake->extensionName = atomFromString("Quorvel:Plugin");
    handshake->exportCallback = makeCallback(asEntry(QVExport));
    handshake->importCallback = makeCallback(asEntry(QVImport));
    handshake->initCallback = makeCallback(asEntry(QVInit));
    handshake->unloadCallback = makeCallback(asEntry(QVUnload));
    return true;
}
