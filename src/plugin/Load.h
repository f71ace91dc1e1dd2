#pragma once
// The load sequence: the exported entry point, the setup that binds the host function tables,
// and the handshake that names the plug-in and registers its four callbacks.

#include "plugin/HostInterface.h"

#define QV_PLUGIN_EXPORT __attribute__((visibility("default")))

// The only routine the plug-in exports. Retains both bundles of the bundle record, answers the
// smaller of the host's handshake version and 2.0, hands back PISetupSDK and returns true.
extern "C" QV_PLUGIN_EXPORT QVHostBool AcroPluginMain(QVVersion appHandshakeVersion, QVVersion* handshakeVersion,
                                                      QVSetupProc* setupProc, void* bundleRecord);

// Binds "AcroSupport" and the fourteen tables of the request list and registers PIHandshake;
// false when the handshake version is not 2.0 or a required table cannot be bound.
QVHostBool PISetupSDK(QVVersion handshakeVersion, void* setupRecord);

// Binds one table at `requestedVersion`, or else at the newest fallback version not below it.
// Writes the table (or none) and its bound version (0 when none); true when one was bound.
[[nodiscard]] bool GetRequestedHFT(const char* name, QVVersion requestedVersion, QVVersion* boundVersion, QVHFT* table);

// Names the plug-in "Quorvel:Plugin" and registers export, import, init and unload.
QVHostBool PIHandshake(QVVersion handshakeVersion, void* handshakeRecord);
