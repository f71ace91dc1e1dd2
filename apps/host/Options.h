#pragma once
// The command line of quorvel-host.
//
//   quorvel-host [--plugins DIR]... [--invoke NAME] [--ui terminal|scripted:FILE] [--transcript FILE]

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qvhostapp {

struct HostOptions {
    std::vector<std::filesystem::path> pluginFolders;  // empty: the default folders
    std::optional<std::string> invoke;                 // a menu item's language-independent name
    std::optional<std::filesystem::path> script;       // scripted dialogs; none: the terminal
    std::optional<std::filesystem::path> transcript;
    bool help = false;
};

// The options, or none with `error` saying what is wrong.
std::optional<HostOptions> parseHostOptions(const std::vector<std::string>& arguments, std::string* error);

// The usage text.
std::string hostUsage();

// Where plug-ins are looked for without --plugins: beside the program, in the installed
// layout, and in the user's data folder ($XDG_DATA_HOME or ~/.local/share, then quorvel/plugins).
std::vector<std::filesystem::path> defaultPluginFolders(const std::filesystem::path& programFolder,
                                                        const std::string& installedRelative);

}  // namespace qvhostapp
