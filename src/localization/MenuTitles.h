#pragma once
// Refreshing the plug-in's menu titles after the language changed. The menu belongs to the
// host side, which installs the routine that retitles it; until one is installed, refreshing
// does nothing.

#include <functional>

// Installs the routine QVUpdateMenuTitles runs (an empty function removes it).
void QVSetMenuTitlesUpdater(std::function<void()> updater);

// Gives the menu items their titles in the language in force.
void QVUpdateMenuTitles();
