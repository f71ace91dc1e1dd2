#pragma once
// The user's persistent settings: one JSON object in $XDG_CONFIG_HOME/quorvel/defaults.json
// (or ~/.config/quorvel/defaults.json). Only string values are read; every other member of the
// file is kept as it is when one key changes.
//
// Settings are a convenience, so nothing here fails loudly: an unreadable or damaged file reads
// as empty, and a write that cannot be made answers false. A damaged file is never lost: the
// next write first moves it aside as defaults.json.corrupt-<UTC time>.
//
// A defaults.json that is a symbolic link is written through to the regular file it leads to
// (atomically, in that file's folder), and stays a link; a link that leads nowhere or to
// anything but a regular file is left alone and the write answers false. The lock file beside
// it (defaults.json.lock) is never followed.

#include <filesystem>
#include <optional>
#include <string>

// Where the user's defaults file lives, from XDG_CONFIG_HOME (when absolute) or the home
// folder; nothing when neither can be found.
[[nodiscard]] std::optional<std::filesystem::path> QVUserDefaultsPath();

class QVUserDefaults {
public:
    // The user's own defaults, at the place QVUserDefaultsPath names right now.
    static QVUserDefaults standardUserDefaults();

    // Defaults kept in `file`; with no file every read gives nothing and every write fails.
    explicit QVUserDefaults(std::optional<std::filesystem::path> file) : file_(std::move(file)) {}

    // The string stored under `key`; nothing when it is absent or not a string.
    [[nodiscard]] std::optional<std::string> stringForKey(const std::string& key) const;

    // Stores `value` under `key` (replacing any value). `value` must be valid UTF-8.
    [[nodiscard]] bool setStringForKey(const std::string& value, const std::string& key);

    // Removes `key`; true also when it was not there.
    [[nodiscard]] bool removeObjectForKey(const std::string& key);

    const std::optional<std::filesystem::path>& path() const { return file_; }

private:
    std::optional<std::filesystem::path> file_;
};
