#pragma once
// A modal panel in which the user picks one existing file or folder.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/dialogs/ContentType.h"

namespace qvui {

inline constexpr int kPanelOKResponse = 1;
inline constexpr int kPanelCancelResponse = 0;

class OpenPanel {
public:
    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    bool canChooseFiles() const { return files_; }
    void setCanChooseFiles(bool on) { files_ = on; }
    bool canChooseDirectories() const { return folders_; }
    void setCanChooseDirectories(bool on) { folders_ = on; }
    // Only one location is ever chosen; the setting is kept for callers that state it.
    bool allowsMultipleSelection() const { return false; }
    void setAllowsMultipleSelection(bool) {}

    // The file types that may be chosen; empty means any file.
    const std::vector<ContentType>& allowedContentTypes() const { return types_; }
    void setAllowedContentTypes(std::vector<ContentType> types) { types_ = std::move(types); }

    // Shows the panel through the installed dialog backend and blocks: kPanelOKResponse with
    // URL() set to the chosen location, or kPanelCancelResponse with URL() empty. Without a
    // backend the panel is cancelled.
    int runModal();
    const std::filesystem::path& URL() const { return url_; }

private:
    std::string title_;
    bool files_ = true;
    bool folders_ = false;
    std::vector<ContentType> types_;
    std::filesystem::path url_;
};

// Expands a leading "~" or "~user" to that home folder and makes the path absolute against
// the working folder. A path that cannot be expanded is returned as typed.
std::filesystem::path expandUserPath(const std::string& typed);

// Whether `path` can be chosen in `panel`: it must exist, be a file or a folder as the panel
// allows, and a file must be of one of the allowed types. When not, `error` says why
// (translated through the dialog text provider).
[[nodiscard]] bool openPanelAccepts(const OpenPanel& panel, const std::filesystem::path& path,
                                    QVError* error = nullptr);

}  // namespace qvui
