#pragma once
// Answers the Qt backend's modal windows as a user would, from inside their own event loops:
// every modal window that appears is handed to the next step, which looks at it and answers
// it. Steps must not block: presses are queued, so that a window a press opens (a refusal
// inside an open panel) gets its own step.

#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>
#include <string>

class QComboBox;
class QFileDialog;
class QLineEdit;
class QPushButton;
class QWidget;

namespace qvtest {

class ModalDriver {
public:
    using Step = std::function<void(QWidget* modal)>;

    ModalDriver();
    // A step left unused is a dialog that never appeared: a failure.
    ~ModalDriver();
    ModalDriver(const ModalDriver&) = delete;
    ModalDriver& operator=(const ModalDriver&) = delete;

    ModalDriver& then(Step step);
    size_t stepsLeft() const { return steps_.size(); }
    // Lets the next step have `modal` again when it is next in front (after a window it opened).
    static void again(QWidget* modal);

private:
    void poll();

    QTimer timer_;
    std::deque<Step> steps_;
    std::chrono::steady_clock::time_point lastProgress_;
};

// ---- what a step does with the window in front ----

// The alert's message and informative text as shown.
std::string messageOf(QWidget* alert);
std::string informativeOf(QWidget* alert);
// Presses the button titled `title` (queued); a missing button fails the test.
void press(QWidget* modal, const std::string& title);
// The window's pop-up lists and one-line fields, in the order of the view tree.
std::vector<QComboBox*> popUps(QWidget* modal);
std::vector<QLineEdit*> fields(QWidget* modal);
// Replaces the field's text by typing, as a user selecting all and typing over it.
void typeOver(QLineEdit* field, const std::string& text);
// Types `path` into the open panel's name field.
void typePath(QWidget* panel, const std::string& path);
// Types `path` and presses the panel's accept button once the panel enables it.
void choosePath(QWidget* panel, const std::string& path);
// With QV_SCREENSHOT_DIR set, saves what the window shows as <name>.png in that folder.
void screenshot(QWidget* modal, const std::string& name);

}  // namespace qvtest
