#pragma once
// Qt widgets for a dialog's view tree. Each view becomes a widget at the place and size its
// frame gives: points are drawn as device-independent pixels, and our y grows upward from the
// bottom of the superview while Qt's grows downward from the top. The widgets start from the
// views' state and the user's changes are written back into the views, so a dialog shown again
// shows everything as the user left it.

#include <QPointer>
#include <QRect>
#include <QString>

#include <vector>

#include "platform/dialogs/View.h"

class QAbstractScrollArea;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QScrollArea;
class QWidget;

namespace qvui {

class Label;
class PopUpButton;
class ScrollView;
class TextField;
class TextView;

class AccessoryView {
public:
    // Builds the widgets for `root`; the caller takes ownership of widget(). `context` names the
    // controls that carry no accessibility label of their own (the alert's message).
    AccessoryView(View& root, const QString& context);
    AccessoryView(const AccessoryView&) = delete;
    AccessoryView& operator=(const AccessoryView&) = delete;

    QWidget* widget() const { return widget_; }
    // The first control that takes typing, or null.
    QWidget* firstTextControl() const;

    // Scrolls every scroll area to the part its clip view shows. Needs the widgets' final
    // sizes, so it runs once the dialog is shown.
    void restoreScrollPositions();
    // Writes selections, typed texts and scroll positions back into the views.
    void writeBack();

private:
    QWidget* make(View& view, QWidget* parent, double parentHeight);
    QWidget* makeScroll(ScrollView& scroll, QWidget* parent);
    QPlainTextEdit* makeTextView(TextView& text, QWidget* parent);
    QWidget* makeLabel(Label& label, QWidget* parent);
    QLineEdit* makeField(TextField& field, QWidget* parent);
    QComboBox* makePopUp(PopUpButton& popup, QWidget* parent);

    struct PopUpBinding {
        PopUpButton* view;
        QPointer<QComboBox> widget;
    };
    struct FieldBinding {
        TextField* view;
        QPointer<QLineEdit> widget;
    };
    struct TextBinding {
        TextView* view;
        QPointer<QPlainTextEdit> widget;
    };
    struct ScrollBinding {
        ScrollView* view;
        QPointer<QScrollArea> widget;
    };

    QString context_;
    QWidget* widget_ = nullptr;
    std::vector<PopUpBinding> popups_;
    std::vector<FieldBinding> fields_;
    std::vector<TextBinding> texts_;
    std::vector<ScrollBinding> scrolls_;
};

// The widget rectangle of `frame` inside a superview `parentHeight` points high.
QRect widgetRect(const Rect& frame, double parentHeight);

}  // namespace qvui
