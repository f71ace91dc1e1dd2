#pragma once
// A dialog backend for a text terminal: shows each dialog as lines of text and reads the
// answers line by line. Pop-ups and text fields are asked in the order they appear (Enter
// keeps what is there), then the buttons (Enter presses the first); answers that do not fit
// are asked again. A table (a view whose accessibility role says so) is listed as one
// overview whose rows are changed by number. Texts are folded at spaces to the terminal's
// width. End of input closes the dialog as cancelled, and every dialog after it too.
//
// A long task's progress ("PDF-bestanden maken... 120 van 1000 records") shows once the task
// has taken half a second: on a terminal as one line redrawn in place, at most ten times a
// second and erased at the end; elsewhere (a log, a pipe) as plain lines, at most one every
// five seconds and the last when the task is done.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "platform/dialogs/Backend.h"

namespace qvui {

class Alert;
class OpenPanel;
class PopUpButton;
class TextField;
class View;

class TerminalBackend : public DialogBackend {
public:
    // Standard input and output; the message is emphasised when output is a terminal.
    TerminalBackend();
    // `emphasise`: output is a terminal, where the message is emphasised and progress is redrawn
    // in place. `width`: the columns texts are folded to; 0 folds nothing.
    TerminalBackend(std::istream& in, std::ostream& out, bool emphasise, size_t width = 0);

    AlertAnswer runAlert(Alert& alert) override;
    PanelAnswer runOpenPanel(const OpenPanel& panel) override;

    void beginProgress(const std::string& message) override;
    void updateProgress(uint64_t done, uint64_t total) override;
    void endProgress() override;

    using Clock = std::chrono::steady_clock;
    // How long a task runs before its progress shows, and how often a plain line may follow.
    void setProgressTiming(Clock::duration delay, Clock::duration plainEvery);

private:
    [[nodiscard]] std::optional<std::string> ask(const std::string& prompt);
    void say(const std::string& text, bool multiline = false, size_t indent = 0);
    void heading(const std::string& text);
    size_t width() const;
    [[nodiscard]] bool askPopUp(PopUpButton& popup);
    [[nodiscard]] bool askTable(View& table);
    [[nodiscard]] bool askField(TextField& field);
    [[nodiscard]] std::optional<int> askButton(const Alert& alert);

    std::istream& in_;
    std::ostream& out_;
    bool emphasise_;
    size_t width_ = 0;
    bool followTerminal_ = false;  // width from standard output's terminal, asked anew each time
    bool ended_ = false;

    struct Progress {
        std::string message;
        Clock::time_point start;
        Clock::time_point drawn;
        bool shown = false;
        uint64_t lastDone = 0;
        uint64_t lastTotal = 0;
    };
    std::optional<Progress> progress_;
    Clock::duration progressDelay_ = std::chrono::milliseconds(500);
    Clock::duration plainEvery_ = std::chrono::seconds(5);
};

}  // namespace qvui
