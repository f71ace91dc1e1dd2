#pragma once
// A modal alert: a message, an informative text, an optional accessory view with controls
// shown below the texts, and buttons. The alert owns its accessory view for its whole life,
// so showing the same alert again shows every control as the user left it.

#include <memory>
#include <string>
#include <vector>

#include "platform/dialogs/View.h"

namespace qvui {

// Buttons answer in the order they were added: the first 1000, the second 1001, and so on.
inline constexpr int kAlertFirstButtonReturn = 1000;
inline constexpr int kAlertSecondButtonReturn = 1001;
inline constexpr int kAlertThirdButtonReturn = 1002;
// The answer of an alert closed without any of its buttons (Escape, end of input, window
// closed, a script that ran out). Negative, so it can never be taken for a button.
inline constexpr int kAlertCancelledReturn = -1000;

// Alerts are informational unless a caller asks for a warning, so that the few warnings stand
// out (and can be told apart in a transcript).
enum class AlertStyle { informational, warning };

class Alert {
public:
    const std::string& messageText() const { return message_; }
    void setMessageText(std::string text) { message_ = std::move(text); }
    const std::string& informativeText() const { return informative_; }
    void setInformativeText(std::string text) { informative_ = std::move(text); }
    // The informative text for a backend that shows the accessory view whole rather than in a
    // scroll area (a terminal), for when the informative text speaks of scrolling. Empty: the
    // informative text serves everywhere.
    const std::string& informativeTextWithoutScrolling() const { return unscrolledInformative_; }
    void setInformativeTextWithoutScrolling(std::string text) { unscrolledInformative_ = std::move(text); }
    AlertStyle alertStyle() const { return style_; }
    void setAlertStyle(AlertStyle style) { style_ = style; }

    const std::shared_ptr<View>& accessoryView() const { return accessory_; }
    void setAccessoryView(std::shared_ptr<View> view) { accessory_ = std::move(view); }

    // Adds a button after the earlier ones and answers the code it will return.
    int addButtonWithTitle(std::string title);
    // The buttons as shown: those added, or the one default "OK" button when none was added.
    std::vector<std::string> buttonTitles() const;

    // Shows the alert through the installed dialog backend and blocks until it is answered:
    // a button's code, or kAlertCancelledReturn. Without a backend every alert is cancelled.
    int runModal();

private:
    std::string message_;
    std::string informative_;
    std::string unscrolledInformative_;
    AlertStyle style_ = AlertStyle::informational;
    std::shared_ptr<View> accessory_;
    std::vector<std::string> buttons_;
};

}  // namespace qvui
