#pragma once
// The record of every dialog shown: one JSON object per line (JSON Lines), added as each
// dialog closes, so that a whole session can be replayed and checked without a person.
//
//   alert:      {"kind": "alert", "message", "informative", "style", "buttons", "labels",
//                "popups": [{"items", "selected", "chosen", "label"}],
//                "fields": [{"shown", "chosen"}], "text", "response"}
//   open panel: {"kind": "open-panel", "title", "files", "folders", "extensions", "response", "path"}
//   menu:       {"kind": "menu", "title", "items"}
//
// A line gets a "problem" member when a script could not answer the dialog as it asked.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace qvui {

class DialogTranscript {
public:
    // Lines kept in memory only.
    static std::shared_ptr<DialogTranscript> inMemory();
    // Lines kept in memory and written to a new file at `path` (never an existing one, which
    // is left alone), each as soon as it is added. Null with `error` filled on failure.
    [[nodiscard]] static std::shared_ptr<DialogTranscript> createFile(const std::filesystem::path& path,
                                                                      QVError* error);

    ~DialogTranscript();
    DialogTranscript(const DialogTranscript&) = delete;
    DialogTranscript& operator=(const DialogTranscript&) = delete;

    // Adds one line (a JSON object without the line feed).
    void append(const std::string& line);
    const std::vector<std::string>& lines() const { return lines_; }
    // Whether writing to the file failed at some point, and why.
    bool writeFailed() const { return !writeError_.empty(); }
    const std::string& writeError() const { return writeError_; }

private:
    DialogTranscript() = default;

    std::vector<std::string> lines_;
    int fd_ = -1;
    std::filesystem::path path_;
    std::string writeError_;
};

// The transcript dialogs are recorded in; null (the default) records nothing.
void setDialogTranscript(std::shared_ptr<DialogTranscript> transcript);
std::shared_ptr<DialogTranscript> dialogTranscript();

// Records the state of an application menu (its title and item titles, in order).
void recordMenuInTranscript(const std::string& title, const std::vector<std::string>& items);

}  // namespace qvui
