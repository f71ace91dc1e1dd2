#include "workflow/ChooseFile.h"

#include "platform/dialogs/ContentType.h"
#include "platform/dialogs/OpenPanel.h"

std::optional<std::filesystem::path> chooseFile(const std::string& title,
                                                const std::optional<std::vector<std::string>>& extensions,
                                                bool folders) {
    qvui::OpenPanel panel;
    panel.setTitle(title);
    panel.setCanChooseFiles(!folders);
    panel.setCanChooseDirectories(folders);
    panel.setAllowsMultipleSelection(false);
    if (extensions) {
        std::vector<qvui::ContentType> types;
        for (const std::string& extension : *extensions) {
            if (auto type = qvui::ContentType::typeWithFilenameExtension(extension)) types.push_back(*type);
        }
        if (!types.empty()) panel.setAllowedContentTypes(std::move(types));
    }
    if (panel.runModal() != qvui::kPanelOKResponse) return std::nullopt;
    return panel.URL();
}
