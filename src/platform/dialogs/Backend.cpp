#include "platform/dialogs/Backend.h"

#include <mutex>

namespace qvui {

namespace {

// Dialogs run on the main thread only; the lock just keeps a stray reader from seeing a
// half-replaced pointer.
std::mutex gLock;
std::shared_ptr<DialogBackend> gBackend;
std::function<std::string(const std::string&)> gTextProvider;

}  // namespace

void setDialogBackend(std::shared_ptr<DialogBackend> backend) {
    std::lock_guard<std::mutex> hold(gLock);
    gBackend = std::move(backend);
}

std::shared_ptr<DialogBackend> dialogBackend() {
    std::lock_guard<std::mutex> hold(gLock);
    return gBackend;
}

void setDialogTextProvider(std::function<std::string(const std::string&)> provider) {
    std::lock_guard<std::mutex> hold(gLock);
    gTextProvider = std::move(provider);
}

std::string dialogText(const std::string& dutch) {
    std::function<std::string(const std::string&)> provider;
    {
        std::lock_guard<std::mutex> hold(gLock);
        provider = gTextProvider;
    }
    return provider ? provider(dutch) : dutch;
}

ProgressDisplay::ProgressDisplay(const std::string& message) : backend_(dialogBackend()) {
    if (backend_) backend_->beginProgress(message);
}

ProgressDisplay::~ProgressDisplay() {
    if (backend_) backend_->endProgress();
}

void ProgressDisplay::update(uint64_t done, uint64_t total) {
    if (backend_) backend_->updateProgress(done, total);
}

}  // namespace qvui
