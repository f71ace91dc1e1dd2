#pragma once
// The merge command: the chain of modal dialogs that gathers one merge's settings, runs the
// merge and reports how it went. Every run starts from the same defaults and keeps nothing.

// The execute routine of the merge menu item. `clientData` is the host's and is not used.
// Everything, failures included, is reported through dialogs.
void QVCommand(void* clientData);
