#include "plugin/PluginState.h"

QVBundleRef* gPluginBundle = nullptr;
QVBundleRef* gAppBundle = nullptr;
void* gExtensionID = nullptr;

QVHFT gCoreHFT = nullptr;
QVVersion gCoreVersion = 0;
QVHFT gAcroSupportHFT = nullptr;
QVVersion gAcroSupportVersion = 0;
QVHFT gCosHFT = nullptr;
QVVersion gCosVersion = 0;
QVHFT gPDModelHFT = nullptr;
QVVersion gPDModelVersion = 0;
QVHFT gPDFEditWriteHFT = nullptr;
QVVersion gPDFEditWriteVersion = 0;
QVHFT gPDFEditReadHFT = nullptr;
QVVersion gPDFEditReadVersion = 0;
QVHFT gPDSysFontHFT = nullptr;
QVVersion gPDSysFontVersion = 0;
QVHFT gPagePDEContentHFT = nullptr;
QVVersion gPagePDEContentVersion = 0;
QVHFT gAcroViewHFT = nullptr;
QVVersion gAcroViewVersion = 0;
QVHFT gPDSWriteHFT = nullptr;
QVVersion gPDSWriteVersion = 0;
QVHFT gPDSReadHFT = nullptr;
QVVersion gPDSReadVersion = 0;
QVHFT gMacintoshHFT = nullptr;
QVVersion gMacintoshVersion = 0;
QVHFT gASExtraHFT = nullptr;
QVVersion gASExtraVersion = 0;
QVHFT gPDMetadataHFT = nullptr;
QVVersion gPDMetadataVersion = 0;
QVHFT gAcroColorHFT = nullptr;
QVVersion gAcroColorVersion = 0;

namespace qvhost {

QVHostMenuItem menuItem = nullptr;
QVHostMenuItem languageItem = nullptr;
QVHostMenuItem aboutItem = nullptr;

const std::array<HFTRequest, 14>& requestList() {
    // Only "Core", "AcroSupport" and "AcroView" are ever called; the others are held because a
    // host without them is not one this plug-in was made for.
    static const std::array<HFTRequest, 14> list = {{
        {"Core", QVMakeVersion(5, 0), &gCoreVersion, &gCoreHFT, 0},
        {"Cos", QVMakeVersion(6, 0), &gCosVersion, &gCosHFT, 0},
        {"PDModel", QVMakeVersion(6, 0), &gPDModelVersion, &gPDModelHFT, 0},
        {"PDFEditWrite", QVMakeVersion(6, 0), &gPDFEditWriteVersion, &gPDFEditWriteHFT, 0},
        {"PDFEditRead", QVMakeVersion(6, 0), &gPDFEditReadVersion, &gPDFEditReadHFT, 0},
        {"PDSysFont", QVMakeVersion(4, 0), &gPDSysFontVersion, &gPDSysFontHFT, 0},
        {"PagePDEContent", QVMakeVersion(6, 0), &gPagePDEContentVersion, &gPagePDEContentHFT, 0},
        {"AcroView", QVMakeVersion(6, 0), &gAcroViewVersion, &gAcroViewHFT, 0},
        {"PDSWrite", QVMakeVersion(6, 0), &gPDSWriteVersion, &gPDSWriteHFT, 0},
        {"PDSRead", QVMakeVersion(6, 0), &gPDSReadVersion, &gPDSReadHFT, 0},
        {"Macintosh", QVMakeVersion(2, 2), &gMacintoshVersion, &gMacintoshHFT, 0},
        {"ASExtra", QVMakeVersion(6, 0), &gASExtraVersion, &gASExtraHFT, 0},
        {"PDMetadata", QVMakeVersion(6, 0), &gPDMetadataVersion, &gPDMetadataHFT, 0},
        {"AcroColorHFT", QVMakeVersion(6, 0), &gAcroColorVersion, &gAcroColorHFT, 0},
    }};
    return list;
}

void resetPluginStateForTesting() {
    gPluginBundle = gAppBundle = nullptr;
    gExtensionID = nullptr;
    gAcroSupportHFT = nullptr;
    gAcroSupportVersion = 0;
    for (const HFTRequest& request : requestList()) {
        *request.table = nullptr;
        *request.boundVersion = 0;
    }
    menuItem = languageItem = aboutItem = nullptr;
}

}  // namespace qvhost
