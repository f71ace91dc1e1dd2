#pragma once
// File types named by filename extension, as the desktop's MIME database knows them
// (shared-mime-info's globs2 under the XDG data folders), with a small built-in table for the
// types this program asks for, so that a machine without the database behaves the same.

#include <optional>
#include <string>
#include <vector>

namespace qvui {

struct ContentType {
    std::string identifier;                  // MIME type, e.g. "application/pdf"
    std::string preferredFilenameExtension;  // the extension it was looked up by, lower case
    std::vector<std::string> extensions;     // every extension of the type, lower case

    // The type of files with this extension (case-insensitive, without the dot), or none when
    // no type is known for it.
    [[nodiscard]] static std::optional<ContentType> typeWithFilenameExtension(const std::string& extension);

    // Whether a file of this name is of this type: its name ends, in any case, in a dot and one
    // of the type's extensions (so "A.TAR.GZ" matches the extension "tar.gz").
    bool matchesFileName(const std::string& fileName) const;
};

}  // namespace qvui
