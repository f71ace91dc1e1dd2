#pragma once
// Bundles: a folder that holds a binary together with its resources, located at run time.
//
// A bundle is the folder of the binary (program or shared library) that holds a piece of code.
// Its resources are searched in <bundle>/Resources, then in the installed layout
// <bundle>/../share/quorvel/Resources. Its Info dictionary is <bundle>/Info.json, a JSON object
// whose string members are the dictionary's values. A folder such as en.lproj is a bundle of
// its own whose strings table is its Localizable.po.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/StringsTable.h"

class QVBundle {
public:
    // The bundle of the binary that holds `address` (any address of code or data in it).
    [[nodiscard]] static std::optional<QVBundle> bundleForAddress(const void* address);

    // The bundle at `path`, which must be an existing folder.
    [[nodiscard]] static std::optional<QVBundle> bundleWithPath(const std::filesystem::path& path);

    // A bundle registered with registerLoadedBundle whose "CFBundleIdentifier" is `identifier`;
    // the first one registered wins.
    [[nodiscard]] static std::optional<QVBundle> bundleWithIdentifier(const std::string& identifier);

    // Records a bundle the process has loaded (the host does this for each plug-in), so that
    // bundleWithIdentifier can find it. Registering the same folder again changes nothing.
    static void registerLoadedBundle(const QVBundle& bundle);

    // The bundle's folder, absolute.
    const std::filesystem::path& bundlePath() const { return path_; }

    // The path of the existing resource "<name>.<type>" (file or folder), or nothing. A name
    // that is empty or holds a path separator never matches.
    [[nodiscard]] std::optional<std::filesystem::path> pathForResource(const std::string& name,
                                                                       const std::string& type) const;

    // The translation of `key` in the bundle's Localizable.po (in the bundle folder itself, else
    // found as a resource). When the table is missing, damaged or has no entry for `key`, the
    // answer is `value`, or `key` when `value` is empty.
    std::string localizedString(const std::string& key, const std::string& value) const;

    // The strings table that localizedString reads, as it stands now; nothing when it is missing
    // or damaged. For many lookups in a row that need not see the table change meanwhile.
    [[nodiscard]] std::shared_ptr<const QVStringsTable> localizedStrings() const;

    // The string stored under `key` in Info.json; nothing when the file or the string is missing.
    [[nodiscard]] std::optional<std::string> objectForInfoDictionaryKey(const std::string& key) const;

    // "CFBundleIdentifier" of the Info dictionary.
    [[nodiscard]] std::optional<std::string> bundleIdentifier() const {
        return objectForInfoDictionaryKey("CFBundleIdentifier");
    }

private:
    explicit QVBundle(std::filesystem::path path) : path_(std::move(path)) {}
    std::filesystem::path path_;
};
