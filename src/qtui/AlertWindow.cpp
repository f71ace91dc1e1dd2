#include "qtui/AlertWindow.h"

#include <QApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>
#include <cmath>

#include "platform/dialogs/Backend.h"
#include "qtui/AccessoryView.h"
#include "qtui/QtText.h"

namespace qvui {

namespace {

constexpr int kMinimumTextWidth = 380;
constexpr int kIconSize = 48;
// Longer texts scroll rather than push the buttons off the screen.
constexpr int kMaximumTextHeight = 320;

// A read-only block of text that wraps within `width`, breaking a long path or word anywhere
// rather than cutting it off, and is as high as its text.
QTextEdit* textBlock(const QString& text, const QFont& font, int width, const char* name, QWidget* parent) {
    auto* block = new QTextEdit(parent);
    block->setObjectName(QString::fromLatin1(name));
    block->setFont(font);
    block->setPlainText(text);
    block->setReadOnly(true);
    block->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    block->setFrameStyle(QFrame::NoFrame);
    block->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    block->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    block->viewport()->setAutoFillBackground(false);
    block->setFocusPolicy(Qt::ClickFocus);
    block->setAccessibleName(text);
    block->document()->setDocumentMargin(0);
    // Measured apart from the widget, which lays its text out anew whenever it is resized.
    QTextDocument measure;
    measure.setDefaultFont(font);
    measure.setDocumentMargin(0);
    QTextOption wrapping;
    wrapping.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    measure.setDefaultTextOption(wrapping);
    measure.setPlainText(text);
    measure.setTextWidth(width);
    int height = static_cast<int>(std::ceil(measure.size().height()));
    block->setVerticalScrollBarPolicy(height > kMaximumTextHeight ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    block->setFixedSize(width, std::min(height, kMaximumTextHeight));
    return block;
}

}  // namespace

AlertWindow::AlertWindow(Alert& alert, QWidget* parent) : QDialog(parent) {
    setWindowModality(Qt::ApplicationModal);
    setWindowTitle(QApplication::applicationDisplayName());
    QString message = toQString(alert.messageText());
    setAccessibleName(message);

    if (alert.accessoryView()) accessory_ = std::make_unique<AccessoryView>(*alert.accessoryView(), message);
    int width = std::max(kMinimumTextWidth, accessory_ ? accessory_->widget()->width() : 0);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    bool warning = alert.alertStyle() == AlertStyle::warning;
    icon->setPixmap(style()
                        ->standardIcon(warning ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation)
                        .pixmap(kIconSize, kIconSize));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    // A warning is said as well as shown; the other icon only decorates.
    if (warning) icon->setAccessibleName(toQString(dialogText("Waarschuwing")));

    auto* column = new QVBoxLayout;
    column->setSpacing(10);
    QFont messageFont = qtFont(Font::boldSystemFontOfSize(14));
    column->addWidget(textBlock(message, messageFont, width, "message", this));
    if (!alert.informativeText().empty())
        column->addWidget(textBlock(toQString(alert.informativeText()), qtFont(Font::systemFontOfSize(13)), width,
                                    "informative", this));
    if (accessory_) {
        column->addSpacing(4);
        column->addWidget(accessory_->widget(), 0, Qt::AlignLeft);
    }

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    std::vector<std::string> titles = alert.buttonTitles();
    for (size_t i = 0; i < titles.size(); ++i) {
        auto* button = new QPushButton(literalMnemonic(toQString(titles[i])), this);
        button->setMinimumWidth(96);
        button->setAutoDefault(false);
        button->setDefault(i == 0);
        int code = kAlertFirstButtonReturn + static_cast<int>(i);
        connect(button, &QPushButton::clicked, this, [this, code] { answer(code); });
        buttons->addWidget(button);
        buttons_.push_back(button);
    }
    column->addSpacing(6);
    column->addLayout(buttons);

    auto* row = new QHBoxLayout(this);
    row->setSizeConstraint(QLayout::SetFixedSize);
    row->setContentsMargins(20, 20, 20, 16);
    row->setSpacing(16);
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addLayout(column);

    // Typing goes where the user is asked to type; otherwise Enter and Space answer the
    // default button.
    QWidget* first = accessory_ ? accessory_->firstTextControl() : nullptr;
    if (!first && !buttons_.empty()) first = buttons_.front();
    if (first) first->setFocus(Qt::OtherFocusReason);
    if (auto* line = qobject_cast<QLineEdit*>(first)) line->selectAll();
}

AlertWindow::~AlertWindow() = default;

void AlertWindow::writeBack() {
    if (accessory_) accessory_->writeBack();
}

void AlertWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (accessory_) accessory_->restoreScrollPositions();
}

void AlertWindow::answer(int response) {
    response_ = response;
    accept();
}

}  // namespace qvui
