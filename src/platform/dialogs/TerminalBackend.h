#pragma once
// A dialog backend for a text terminal: shows each dialog as lines of text and reads the
// answers line by line. Pop-ups and text fields are asked in the order they appear (Enter
// keeps what is there), then the buttons; answers that do not fit are asked again. End of
// input closes the dialog as cancelled, and every dialog after it too.

#include <iosfwd>
#include <optional>
#include <string>

#include "platform/dialogs/Backend.h"

namespace qvui {

class Alert;
class OpenPanel;
class PopUpButton;
class TextField;

class TerminalBackend : public DialogBackend {
public:
    // Standard input and output; the message is emphasised when output is a terminal.
    TerminalBackend();
    TerminalBackend(std::istream& in, std::ostream& out, bool emphasise);

    AlertAnswer runAlert(Alert& alert) override;
    PanelAnswer runOpenPanel(const OpenPanel& panel) override;

private:
    std::optional<std::string> ask(const std::string& prompt);
    void say(const std::string& text, bool multiline = false);
    void heading(const std::string& text);
    bool askPopUp(PopUpButton& popup);
    bool askField(TextField& field);
    std::optional<int> askButton(const Alert& alert);

    std::istream& in_;
    std::ostream& out_;
    bool emphasise_;
    bool ended_ = false;
};

}  // namespace qvui
