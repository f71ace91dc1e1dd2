#include "platform/dialogs/Alert.h"

#include "platform/dialogs/Backend.h"
#include "platform/dialogs/TranscriptRecord.h"

namespace qvui {

int Alert::addButtonWithTitle(std::string title) {
    buttons_.push_back(std::move(title));
    return kAlertFirstButtonReturn + static_cast<int>(buttons_.size()) - 1;
}

std::vector<std::string> Alert::buttonTitles() const {
    if (buttons_.empty()) return {dialogText("OK")};
    return buttons_;
}

int Alert::runModal() {
    detail::AlertSnapshot shown = detail::snapshotAlert(*this);
    AlertAnswer answer{kAlertCancelledReturn, {}};
    if (auto backend = dialogBackend()) answer = backend->runAlert(*this);
    // Whatever a backend answers, the caller only ever sees a code this alert can give.
    int buttons = static_cast<int>(buttonTitles().size());
    int r = answer.response;
    if (r != kAlertCancelledReturn && (r < kAlertFirstButtonReturn || r >= kAlertFirstButtonReturn + buttons))
        answer.response = kAlertCancelledReturn;
    detail::recordAlert(*this, shown, answer);
    return answer.response;
}

}  // namespace qvui
