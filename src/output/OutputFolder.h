#pragma once
// The output folder of one merge, resolved once. Its path is looked up when the merge starts
// (a symbolic link given as the folder is followed then, and never again) and the folder is
// held open for the rest of the run: every file is created, named, looked for and removed
// relative to that descriptor, so that renaming the folder or putting a link in its place
// while the merge runs cannot send a single file anywhere else.

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/FileDescriptor.h"

class QVOutputFolder {
public:
    // Opens `path` (the current folder when empty) for lookups only, so a folder that may be
    // written but not listed serves as well. Never fails: a folder that cannot be opened keeps
    // the system's reason in openError(), and each file created in it fails with that reason,
    // just as creating the file by its path would have.
    [[nodiscard]] static QVOutputFolder open(const std::filesystem::path& path);

    QVOutputFolder(QVOutputFolder&&) noexcept = default;
    QVOutputFolder& operator=(QVOutputFolder&&) noexcept = default;

    // The folder's descriptor; -1 when it could not be opened.
    int descriptor() const { return fd_.get(); }
    // 0, or the error number of opening the folder.
    int openError() const { return openError_; }
    // The path as given, for messages and the processing log.
    const std::filesystem::path& path() const { return path_; }

    // True when anything at all is called `name` in the folder, a dangling symbolic link
    // included; a link is never followed. A name the folder does not let us look at counts as
    // free: creating the file fails later with the real reason, and creation never replaces.
    [[nodiscard]] bool contains(const std::string& name) const;

    // True only when the folder could be listed and holds no entry at all: then no name is
    // taken in it, whatever the file system's rules for letter case and composition, and a run
    // can spare itself a lookup per file. False when it holds anything or cannot be listed.
    [[nodiscard]] bool isKnownEmpty() const;

    // Whether `url` names an entry directly inside this folder, judged by the paths as written
    // (`out/log.json` for the folder `out/`, say), not by what they lead to now.
    [[nodiscard]] bool holds(const std::filesystem::path& url) const;

private:
    QVOutputFolder(std::filesystem::path path, QVFileDescriptor fd, int openError)
        : path_(std::move(path)), fd_(std::move(fd)), openError_(openError) {}

    std::filesystem::path path_;
    QVFileDescriptor fd_;
    int openError_ = 0;
};

// Whether `name` is one plain entry of a folder: not empty, not "." or "..", without a slash or
// a NUL. Only such names are created relative to the folder.
[[nodiscard]] bool QVIsSingleName(std::string_view name);
