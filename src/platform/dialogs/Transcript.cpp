#include "platform/dialogs/Transcript.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <nlohmann/json.hpp>

#include "platform/Format.h"
#include "platform/dialogs/Alert.h"
#include "platform/dialogs/Backend.h"
#include "platform/dialogs/Controls.h"
#include "platform/dialogs/OpenPanel.h"
#include "platform/dialogs/ScrollView.h"
#include "platform/dialogs/TranscriptRecord.h"

namespace qvui {

using Json = nlohmann::ordered_json;

std::shared_ptr<DialogTranscript> DialogTranscript::inMemory() {
    return std::shared_ptr<DialogTranscript>(new DialogTranscript());
}

std::shared_ptr<DialogTranscript> DialogTranscript::createFile(const std::filesystem::path& path, QVError* error) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        int err = errno;
        if (error) {
            error->message = QVFormat(dialogText("Het transcript kan niet aangemaakt worden: %@: %s"),
                                      {path.string(), std::strerror(err)});
        }
        return nullptr;
    }
    auto transcript = inMemory();
    transcript->fd_ = fd;
    transcript->path_ = path;
    return transcript;
}

DialogTranscript::~DialogTranscript() {
    if (fd_ >= 0) ::close(fd_);
}

void DialogTranscript::append(const std::string& line) {
    lines_.push_back(line);
    // After a failed write the file would have a gap; it stays as it is and the failure is kept.
    if (fd_ < 0 || writeFailed()) return;
    std::string bytes = line + "\n";
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int err = n < 0 ? errno : EIO;
            writeError_ = QVFormat(dialogText("Het transcript kan niet geschreven worden: %@: %s"),
                                   {path_.string(), std::strerror(err)});
            return;
        }
        done += static_cast<size_t>(n);
    }
}

namespace {

std::mutex gTranscriptLock;
std::shared_ptr<DialogTranscript> gTranscript;

void emit(Json& line, const std::string& problem) {
    auto transcript = dialogTranscript();
    if (!transcript) return;
    if (!problem.empty()) line["problem"] = problem;
    // Texts come from data files and paths: bytes that are not UTF-8 become U+FFFD here
    // instead of failing the whole line.
    transcript->append(line.dump(-1, ' ', false, Json::error_handler_t::replace));
}

Json textOrNull(const std::string& text, bool present) { return present ? Json(text) : Json(nullptr); }

}  // namespace

void setDialogTranscript(std::shared_ptr<DialogTranscript> transcript) {
    std::lock_guard<std::mutex> hold(gTranscriptLock);
    gTranscript = std::move(transcript);
}

std::shared_ptr<DialogTranscript> dialogTranscript() {
    std::lock_guard<std::mutex> hold(gTranscriptLock);
    return gTranscript;
}

void recordMenuInTranscript(const std::string& title, const std::vector<std::string>& items) {
    Json line = {{"kind", "menu"}, {"title", title}, {"items", items}};
    emit(line, {});
}

namespace detail {

AlertSnapshot snapshotAlert(const Alert& alert) {
    AlertSnapshot shot;
    View* root = alert.accessoryView().get();
    for (auto* p : viewsOfType<PopUpButton>(root)) shot.popupSelections.push_back(p->indexOfSelectedItem());
    for (auto* f : viewsOfType<TextField>(root)) shot.fieldTexts.push_back(f->stringValue());
    return shot;
}

void recordAlert(const Alert& alert, const AlertSnapshot& shown, const AlertAnswer& answer) {
    if (!dialogTranscript()) return;
    View* root = alert.accessoryView().get();

    Json labels = Json::array();
    for (auto* l : viewsOfType<Label>(root)) labels.push_back(l->stringValue());

    Json popups = Json::array();
    auto popupViews = viewsOfType<PopUpButton>(root);
    for (size_t i = 0; i < popupViews.size(); ++i) {
        const PopUpButton& p = *popupViews[i];
        int selected = i < shown.popupSelections.size() ? shown.popupSelections[i] : -1;
        popups.push_back({{"items", p.itemTitles()},
                          {"selected", selected},
                          {"chosen", p.indexOfSelectedItem()},
                          {"label", textOrNull(p.accessibilityLabel(), !p.accessibilityLabel().empty())}});
    }

    Json fields = Json::array();
    auto fieldViews = viewsOfType<TextField>(root);
    for (size_t i = 0; i < fieldViews.size(); ++i) {
        std::string before = i < shown.fieldTexts.size() ? shown.fieldTexts[i] : std::string();
        fields.push_back({{"shown", before}, {"chosen", fieldViews[i]->stringValue()}});
    }

    auto texts = viewsOfType<TextView>(root);
    Json line = {
        {"kind", "alert"},
        {"message", alert.messageText()},
        {"informative", alert.informativeText()},
        {"style", alert.alertStyle() == AlertStyle::informational ? "informational" : "warning"},
        {"buttons", alert.buttonTitles()},
        {"labels", labels},
        {"popups", popups},
        {"fields", fields},
        {"text", texts.empty() ? Json(nullptr) : Json(texts.front()->string())},
        {"response", answer.response},
    };
    emit(line, answer.problem);
}

void recordOpenPanel(const OpenPanel& panel, int response, const PanelAnswer& answer) {
    if (!dialogTranscript()) return;
    Json extensions = Json::array();
    for (const auto& type : panel.allowedContentTypes()) extensions.push_back(type.preferredFilenameExtension);
    Json line = {
        {"kind", "open-panel"},
        {"title", panel.title()},
        {"files", panel.canChooseFiles()},
        {"folders", panel.canChooseDirectories()},
        {"extensions", extensions},
        {"response", response},
        {"path", answer.choice ? Json(answer.choice->string()) : Json(nullptr)},
    };
    emit(line, answer.problem);
}

}  // namespace detail
}  // namespace qvui
