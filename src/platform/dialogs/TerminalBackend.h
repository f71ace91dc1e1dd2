#pragma once
// A dialog backend for a text terminal: shows each dialog as lines of text and reads the
// answers line by line. Pop-ups and text fields are asked in the order they appear (Enter
// keeps what is there), then the buttons (Enter presses the first); answers that do not fit
// are asked again. A table (a view whose accessibility role says so) is listed as one
// overview whose rows are changed by number. Texts are folded at spaces to the terminal's
// width. End of input closes the dialog as cancelled, and every dialog after it too.

#include <cstddef>
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
    // `width`: the columns texts are folded to; 0 folds nothing.
    TerminalBackend(std::istream& in, std::ostream& out, bool emphasise, size_t width = 0);

    AlertAnswer runAlert(Alert& alert) override;
    PanelAnswer runOpenPanel(const OpenPanel& panel) override;

private:
    std::optional<std::string> ask(const std::string& prompt);
    void say(const std::string& text, bool multiline = false, size_t indent = 0);
    void heading(const std::string& text);
    size_t width() const;
    bool askPopUp(PopUpButton& popup);
    bool askTable(View& table);
    bool askField(TextField& field);
    std::optional<int> askButton(const Alert& alert);

    std::istream& in_;
    std::ostream& out_;
    bool emphasise_;
    size_t width_ = 0;
    bool followTerminal_ = false;  // width from standard output's terminal, asked anew each time
    bool ended_ = false;
};

}  // namespace qvui
