#pragma once
// The process-wide dialog backend: the one thing that actually shows alerts and open panels
// (a script, the terminal, a window toolkit). The application installs it before any dialog
// runs; platform is a shared library, so a plug-in loaded later shows its dialogs through the
// same backend.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace qvui {

class Alert;
class OpenPanel;

struct AlertAnswer {
    int response = 0;     // a button's code, or kAlertCancelledReturn
    std::string problem;  // why the backend could not answer as asked (scripts), else empty
};

struct PanelAnswer {
    std::optional<std::filesystem::path> choice;  // the chosen location; none = cancelled
    std::string problem;
};

class DialogBackend {
public:
    virtual ~DialogBackend() = default;
    // Shows `alert` and blocks until it is answered. The backend writes the user's changes into
    // the accessory view's controls before it returns.
    virtual AlertAnswer runAlert(Alert& alert) = 0;
    // Shows `panel` and blocks until a location that the panel accepts is chosen or it is
    // cancelled.
    virtual PanelAnswer runOpenPanel(const OpenPanel& panel) = 0;

    // A long task on this thread (a merge) says how far it has come, so that the backend can
    // show it and keep its windows drawn meanwhile. Nothing the user does may start other
    // work in between. The default shows nothing.
    virtual void beginProgress(const std::string& /*message*/) {}
    virtual void updateProgress(uint64_t /*done*/, uint64_t /*total*/) {}
    virtual void endProgress() {}
};

// The progress of one long task through the backend installed when it began, from
// construction to destruction.
class ProgressDisplay {
public:
    explicit ProgressDisplay(const std::string& message);
    ~ProgressDisplay();
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    void update(uint64_t done, uint64_t total);

private:
    std::shared_ptr<DialogBackend> backend_;
};

// Installs the backend (null removes it); every later dialog runs through it.
void setDialogBackend(std::shared_ptr<DialogBackend> backend);
std::shared_ptr<DialogBackend> dialogBackend();

// The texts the dialog services show on their own (the default button's title, the terminal's
// prompts and messages) are written in Dutch and passed through this provider; the application
// sets it to its text lookup. Without one, the Dutch text is shown.
void setDialogTextProvider(std::function<std::string(const std::string&)> provider);
std::string dialogText(const std::string& dutch);

}  // namespace qvui
