#pragma once
// What the host sees of the plug-in once it is loaded: the four callbacks registered by the
// handshake, the plug-in's menu "Quorvel" with its three items, and their callbacks.

#include "plugin/HostInterface.h"

// Export: the plug-in exports no function table. Always true.
QVHostBool QVExport();
// Import, replace and register: nothing to do. Always true.
QVHostBool QVImport();
// Adds the menu "Quorvel" at the end of the host's menu bar with the merge, language and About
// items, titled in the language in force. False when there is no menu bar (nothing created) or
// a host error interrupted the building (the items made so far stay, their handles kept).
QVHostBool QVInit();
// Removes the items that exist; handles are kept. Always true.
QVHostBool QVUnload();
// The compute-enabled callback of every item: always enabled, with or without a document.
QVHostBool QVEnabled(void* clientData);
// The About item's execute callback.
void QVAboutCommand(void* clientData);

// Gives each existing item its title in the language in force; the menu title is never changed.
// Installed as the routine behind QVUpdateMenuTitles.
void QVSetMenuItemTitles();
