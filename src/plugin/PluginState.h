#pragma once
// The plug-in's process-wide host binding: the two bundles, the extension identifier, every
// bound host function table with its version, and the handles of the plug-in's menu items.
// Written while the host loads the plug-in (and the items by init), only read afterwards.

#include <array>
#include <cstdint>

#include "plugin/HostInterface.h"

extern QVBundleRef* gPluginBundle;
extern QVBundleRef* gAppBundle;
extern void* gExtensionID;

extern QVHFT gCoreHFT;
extern QVVersion gCoreVersion;
extern QVHFT gAcroSupportHFT;
extern QVVersion gAcroSupportVersion;
extern QVHFT gCosHFT;
extern QVVersion gCosVersion;
extern QVHFT gPDModelHFT;
extern QVVersion gPDModelVersion;
extern QVHFT gPDFEditWriteHFT;
extern QVVersion gPDFEditWriteVersion;
extern QVHFT gPDFEditReadHFT;
extern QVVersion gPDFEditReadVersion;
extern QVHFT gPDSysFontHFT;
extern QVVersion gPDSysFontVersion;
extern QVHFT gPagePDEContentHFT;
extern QVVersion gPagePDEContentVersion;
extern QVHFT gAcroViewHFT;
extern QVVersion gAcroViewVersion;
extern QVHFT gPDSWriteHFT;
extern QVVersion gPDSWriteVersion;
extern QVHFT gPDSReadHFT;
extern QVVersion gPDSReadVersion;
extern QVHFT gMacintoshHFT;
extern QVVersion gMacintoshVersion;
extern QVHFT gASExtraHFT;
extern QVVersion gASExtraVersion;
extern QVHFT gPDMetadataHFT;
extern QVVersion gPDMetadataVersion;
extern QVHFT gAcroColorHFT;
extern QVVersion gAcroColorVersion;

namespace qvhost {

// One table the plug-in needs: bound in list order at setup.
struct HFTRequest {
    const char* name;
    QVVersion requestedVersion;
    QVVersion* boundVersion;
    QVHFT* table;
    uint16_t optional;  // non-zero: loading goes on without this table
};

// The fourteen tables bound after "AcroSupport", in the order they are requested.
const std::array<HFTRequest, 14>& requestList();

// Versions tried, newest first, when a table is not offered at the version asked for.
inline constexpr std::array<QVVersion, 7> versionLessVersions = {
    QVMakeVersion(5, 1), QVMakeVersion(5, 0), QVMakeVersion(4, 5), QVMakeVersion(4, 0),
    QVMakeVersion(2, 3), QVMakeVersion(2, 2), QVMakeVersion(2, 1)};

// The plug-in's three menu items; empty until init creates them, kept after unload.
extern QVHostMenuItem menuItem;
extern QVHostMenuItem languageItem;
extern QVHostMenuItem aboutItem;

// Forgets every binding and item handle, as before the first load. For tests, which load the
// plug-in into one process many times; a real host loads it once.
void resetPluginStateForTesting();

}  // namespace qvhost
