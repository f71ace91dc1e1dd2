#include "platform/dialogs/OpenPanel.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "platform/Format.h"
#include "platform/dialogs/Backend.h"
#include "platform/dialogs/TranscriptRecord.h"

namespace qvui {

namespace fs = std::filesystem;

int OpenPanel::runModal() {
    url_.clear();
    PanelAnswer answer;
    if (auto backend = dialogBackend()) answer = backend->runOpenPanel(*this);
    // A choice the panel would not accept never reaches the caller, whatever the backend did.
    if (answer.choice) {
        if (QVError why; !openPanelAccepts(*this, *answer.choice, &why)) {
            answer.choice.reset();
            if (answer.problem.empty()) answer.problem = why.message;
        }
    }
    int response = answer.choice ? kPanelOKResponse : kPanelCancelResponse;
    if (answer.choice) url_ = *answer.choice;
    detail::recordOpenPanel(*this, response, answer);
    return response;
}

namespace {

std::optional<std::string> homeOf(const std::string& user) {
    if (user.empty()) {
        const char* home = std::getenv("HOME");
        if (home && *home) return std::string(home);
    }
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<size_t>(size) : 16384, '\0');
    struct passwd entry {};
    struct passwd* found = nullptr;
    int rc = user.empty() ? getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found)
                          : getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found);
    if (rc != 0 || !found || !found->pw_dir || !*found->pw_dir) return std::nullopt;
    return std::string(found->pw_dir);
}

}  // namespace

fs::path expandUserPath(const std::string& typed) {
    std::string text = typed;
    if (!text.empty() && text.front() == '~') {
        size_t slash = text.find('/');
        std::string user = text.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
        auto home = homeOf(user);
        if (!home) return fs::path(typed);
        text = *home + (slash == std::string::npos ? std::string() : text.substr(slash));
    }
    if (text.empty()) return {};
    std::error_code ec;
    fs::path absolute = fs::absolute(fs::path(text), ec);
    return ec ? fs::path(text) : absolute;
}

bool openPanelAccepts(const OpenPanel& panel, const fs::path& path, QVError* error) {
    std::string shown = path.string();
    if (!panel.canChooseFiles() && !panel.canChooseDirectories())
        return QVFail(error, dialogText("Hier kan niets gekozen worden."));
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    if (path.empty() || ec || !fs::exists(status))
        return QVFail(error, QVFormat(dialogText("Dit pad bestaat niet: %@"), {shown}));
    if (fs::is_directory(status)) {
        if (panel.canChooseDirectories()) return true;
        return QVFail(error, QVFormat(dialogText("Dit is een map; kies een bestand: %@"), {shown}));
    }
    if (!panel.canChooseFiles())
        return QVFail(error, QVFormat(dialogText("Dit is geen map; kies een map: %@"), {shown}));
    // Pipes and devices would block or never end when read as a document.
    if (!fs::is_regular_file(status))
        return QVFail(error, QVFormat(dialogText("Dit is geen gewoon bestand: %@"), {shown}));

    const auto& types = panel.allowedContentTypes();
    if (types.empty()) return true;
    std::string name = path.filename().string();
    std::string allowed;
    for (const auto& type : types) {
        if (type.matchesFileName(name)) return true;
        allowed += (allowed.empty() ? "" : ", ") + type.preferredFilenameExtension;
    }
    return QVFail(
        error, QVFormat(dialogText("Dit bestandstype is hier niet toegestaan: %@ (toegestaan: %@)"), {shown, allowed}));
}

}  // namespace qvui
