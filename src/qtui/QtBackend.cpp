#include "qtui/QtBackend.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QProgressDialog>
#include <QThread>
#include <QTranslator>

#include <algorithm>
#include <climits>

#include "platform/Format.h"
#include "platform/LanguageChoice.h"
#include "platform/dialogs/Alert.h"
#include "platform/dialogs/OpenPanel.h"
#include "qtui/AlertWindow.h"
#include "qtui/OpenPanelDialog.h"
#include "qtui/QtText.h"

namespace qvui {

namespace {

constexpr qint64 kShowProgressAfterMs = 500;
// Often enough for a smooth bar, seldom enough that drawing costs the merge nothing.
constexpr qint64 kDrawProgressEveryMs = 40;

bool haveApplication() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

// The window a new dialog belongs to: the one in front, so the desktop keeps them together.
QWidget* dialogParent() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return QApplication::activeWindow();
}

}  // namespace

QtBackend::QtBackend() = default;

QtBackend::~QtBackend() {
    if (translator_ && QCoreApplication::instance()) QCoreApplication::removeTranslator(translator_.get());
}

void QtBackend::followLanguage() {
    std::string language = QVResolveLanguage();
    if (language == language_) return;
    language_ = language;
    if (translator_) QCoreApplication::removeTranslator(translator_.get());
    translator_.reset();
    // Qt speaks English already; its other languages come with the system's Qt translations,
    // and without them Qt's few words stay English.
    if (language == "en") return;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_") + toQString(language),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return;
    QCoreApplication::installTranslator(translator.get());
    translator_ = std::move(translator);
}

AlertAnswer QtBackend::runAlert(Alert& alert) {
    if (!haveApplication())
        return {kAlertCancelledReturn, dialogText("Er is geen venstersysteem om de dialoog te tonen.")};
    followLanguage();
    AlertWindow window(alert, dialogParent());
    window.exec();
    window.writeBack();
    return {window.response(), {}};
}

PanelAnswer QtBackend::runOpenPanel(const OpenPanel& panel) {
    if (!haveApplication()) return {std::nullopt, dialogText("Er is geen venstersysteem om de dialoog te tonen.")};
    followLanguage();
    OpenPanelDialog dialog(panel, lastFolder_.isEmpty() ? QDir::homePath() : lastFolder_, dialogParent());
    dialog.exec();
    std::optional<std::filesystem::path> choice = dialog.choice();
    if (choice) lastFolder_ = toQString((panel.canChooseFiles() ? choice->parent_path() : *choice).string());
    return {choice, {}};
}

void QtBackend::beginProgress(const std::string& message) {
    endProgress();
    if (!haveApplication()) return;
    followLanguage();
    auto* dialog = new QProgressDialog(dialogParent());
    dialog->setObjectName(QStringLiteral("progress"));
    dialog->setWindowTitle(QApplication::applicationDisplayName());
    // Application-modal: while the window is drawn, no menu can start another task.
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setCancelButton(nullptr);  // a merge cannot be stopped halfway
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(INT_MAX);  // shown by updateProgress, not by its own guess
    dialog->setRange(0, 1000);
    dialog->setMinimumWidth(380);
    dialog->setAccessibleName(toQString(message));
    dialog->setProperty("message", toQString(message));
    dialog->setLabelText(toQString(message));
    progress_ = dialog;
    progressClock_.start();
    progressDrawn_.invalidate();
}

void QtBackend::updateProgress(uint64_t done, uint64_t total) {
    // Only the thread that owns the window may touch it; a report from elsewhere is skipped.
    if (!progress_ || QThread::currentThread() != progress_->thread()) return;
    uint64_t shown = total == 0 ? 0 : std::min<uint64_t>(done, total) * 1000 / total;
    progress_->setValue(static_cast<int>(shown));
    progress_->setLabelText(progress_->property("message").toString() + QStringLiteral("\n") +
                            toQString(QVFormat(dialogText("%lu van %lu records"),
                                               {static_cast<unsigned long>(done), static_cast<unsigned long>(total)})));
    if (!progress_->isVisible()) {
        if (progressClock_.elapsed() < kShowProgressAfterMs) return;
        progress_->show();
    } else if (progressDrawn_.isValid() && progressDrawn_.elapsed() < kDrawProgressEveryMs && done < total) {
        return;
    }
    // Draw and answer the window system, but take no clicks or keys: the task goes on below.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    progressDrawn_.start();
}

void QtBackend::endProgress() {
    if (progress_) delete progress_.data();
    progress_.clear();
}

}  // namespace qvui
