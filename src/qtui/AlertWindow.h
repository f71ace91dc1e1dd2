#pragma once
// An alert as a Qt dialog: an icon, the message in bold, the informative text, the accessory
// view at its own size and the buttons in the order they were added, the first one the default
// (Enter). Closing the window or pressing Escape answers kAlertCancelledReturn, never a button.

#include <QDialog>

#include <memory>
#include <vector>

#include "platform/dialogs/Alert.h"

class QPushButton;

namespace qvui {

class AccessoryView;

class AlertWindow : public QDialog {
public:
    explicit AlertWindow(Alert& alert, QWidget* parent = nullptr);
    ~AlertWindow() override;

    // The answer: the pressed button's code, or kAlertCancelledReturn.
    int response() const { return response_; }
    // Writes the controls' state back into the alert's accessory view.
    void writeBack();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void answer(int response);

    std::unique_ptr<AccessoryView> accessory_;
    std::vector<QPushButton*> buttons_;
    int response_ = kAlertCancelledReturn;
};

}  // namespace qvui
