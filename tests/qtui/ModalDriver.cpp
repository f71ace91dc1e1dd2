#include "ModalDriver.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include <cstdlib>

#include "qtui/QtText.h"

namespace qvtest {

namespace {

constexpr const char* kHandled = "qvtestHandled";
constexpr auto kPatience = std::chrono::seconds(20);

std::string describe(QWidget* modal) {
    std::string text = modal->metaObject()->className();
    text += " \"" + modal->windowTitle().toStdString() + "\"";
    if (auto* message = modal->findChild<QTextEdit*>(QStringLiteral("message")))
        text += ": " + message->toPlainText().toStdString();
    return text;
}

}  // namespace

ModalDriver::ModalDriver() : lastProgress_(std::chrono::steady_clock::now()) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start();
}

ModalDriver::~ModalDriver() {
    timer_.stop();
    EXPECT_TRUE(steps_.empty()) << steps_.size() << " dialog step(s) never ran";
}

ModalDriver& ModalDriver::then(Step step) {
    steps_.push_back(std::move(step));
    return *this;
}

void ModalDriver::again(QWidget* modal) { modal->setProperty(kHandled, false); }

void ModalDriver::poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    // A merge's progress window asks nothing and goes away by itself.
    if (modal->inherits("QProgressDialog")) return;
    if (modal->property(kHandled).toBool()) {
        // A window nobody answers would hang the test run: close it, and say so.
        if (std::chrono::steady_clock::now() - lastProgress_ > kPatience) {
            ADD_FAILURE() << "no answer for " << describe(modal);
            QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
            lastProgress_ = std::chrono::steady_clock::now();
        }
        return;
    }
    modal->setProperty(kHandled, true);
    lastProgress_ = std::chrono::steady_clock::now();
    if (steps_.empty()) {
        ADD_FAILURE() << "unexpected dialog: " << describe(modal);
        QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
        return;
    }
    Step step = std::move(steps_.front());
    steps_.pop_front();
    step(modal);
}

std::string messageOf(QWidget* alert) {
    auto* message = alert->findChild<QTextEdit*>(QStringLiteral("message"));
    return message ? message->toPlainText().toStdString() : std::string();
}

std::string informativeOf(QWidget* alert) {
    auto* informative = alert->findChild<QTextEdit*>(QStringLiteral("informative"));
    return informative ? informative->toPlainText().toStdString() : std::string();
}

void press(QWidget* modal, const std::string& title) {
    QString wanted = qvui::literalMnemonic(QString::fromStdString(title));
    for (QPushButton* button : modal->findChildren<QPushButton*>()) {
        if (button->text() == wanted && button->isVisible()) {
            QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
            return;
        }
    }
    std::string shown;
    for (QPushButton* button : modal->findChildren<QPushButton*>())
        shown += " [" + button->text().toStdString() + (button->isVisible() ? "" : " hidden") + "]";
    ADD_FAILURE() << "no button \"" << title << "\" in " << describe(modal) << "; buttons:" << shown;
    QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
}

std::vector<QComboBox*> popUps(QWidget* modal) {
    auto found = modal->findChildren<QComboBox*>();
    return {found.begin(), found.end()};
}

std::vector<QLineEdit*> fields(QWidget* modal) {
    std::vector<QLineEdit*> edits;
    // A combo box's own editor is not a field of ours.
    for (QLineEdit* edit : modal->findChildren<QLineEdit*>())
        if (!qobject_cast<QComboBox*>(edit->parentWidget())) edits.push_back(edit);
    return edits;
}

void typeOver(QLineEdit* field, const std::string& text) {
    // Typing happens in the active window's focused field; the file dialog, for one, treats a
    // field without focus as one it may fill in itself.
    QApplication::setActiveWindow(field->window());
    field->setFocus();
    EXPECT_TRUE(field->hasFocus());
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, QString::fromStdString(text));
}

void typePath(QWidget* panel, const std::string& path) {
    auto* dialog = qobject_cast<QFileDialog*>(panel);
    ASSERT_TRUE(dialog) << describe(panel);
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_TRUE(name);
    typeOver(name, path);
}

void choosePath(QWidget* panel, const std::string& path) {
    typePath(panel, path);
    auto* box = panel->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_TRUE(box);
    for (QAbstractButton* button : box->buttons()) {
        if (box->buttonRole(button) != QDialogButtonBox::AcceptRole) continue;
        // The dialog enables its button once it has found the typed file in its folder list.
        EXPECT_TRUE(QTest::qWaitFor([button] { return button->isEnabled(); }, 5000)) << path;
        QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
        return;
    }
    ADD_FAILURE() << "the open panel has no accept button";
}

void screenshot(QWidget* modal, const std::string& name) {
    const char* folder = std::getenv("QV_SCREENSHOT_DIR");
    if (!folder || !*folder) return;
    QString path = QString::fromUtf8(folder) + QLatin1Char('/') + QString::fromStdString(name) + QStringLiteral(".png");
    EXPECT_TRUE(modal->grab().save(path, "PNG")) << path.toStdString();
}

}  // namespace qvtest
