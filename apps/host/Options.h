#pragma once
// The command line of quorvel-host.
//
//   quorvel-host [--plugins DIR]... [--invoke NAME] [--ui qt|terminal|scripted:FILE] [--transcript FILE]
//
// Without --ui the host opens its window when there is a display, and uses the terminal
// otherwise. A hidden option, --screenshot FILE, saves the window as a PNG file once it is shown
// and quits: it is how the pictures in the documentation are made.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace qvhostapp {

enum class HostUi {
    automatic,  // the window when a display can be opened, else the terminal
    terminal,
    qt,
    scripted,
};

struct HostOptions {
    std::vector<std::filesystem::path> pluginFolders;  // empty: the default folders
    std::optional<std::string> invoke;                 // a menu item's language-independent name
    HostUi ui = HostUi::automatic;
    std::optional<std::filesystem::path> script;  // the dialog script, with HostUi::scripted
    std::optional<std::filesystem::path> transcript;
    std::optional<std::filesystem::path> screenshot;  // a new PNG file for the shown window
    bool help = false;
};

// The options, or none with `error` saying what is wrong.
[[nodiscard]] std::optional<HostOptions> parseHostOptions(const std::vector<std::string>& arguments,
                                                          QVError* error = nullptr);

// The usage text.
std::string hostUsage();

// Where plug-ins are looked for without --plugins: beside the program, in the installed
// layout, and in the user's data folder ($XDG_DATA_HOME or ~/.local/share, then quorvel/plugins).
std::vector<std::filesystem::path> defaultPluginFolders(const std::filesystem::path& programFolder,
                                                        const std::string& installedRelative);

}  // namespace qvhostapp
