#include "qtui/QtBackend.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

#include "platform/LanguageChoice.h"
#include "platform/dialogs/Alert.h"
#include "platform/dialogs/OpenPanel.h"
#include "qtui/AlertWindow.h"
#include "qtui/OpenPanelDialog.h"
#include "qtui/QtText.h"

namespace qvui {

namespace {

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
    if (!translator->load(QStringLiteral("qtbase_") + toQString(language), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return;
    QCoreApplication::installTranslator(translator.get());
    translator_ = std::move(translator);
}

AlertAnswer QtBackend::runAlert(Alert& alert) {
    if (!haveApplication()) return {kAlertCancelledReturn, dialogText("Er is geen venstersysteem om de dialoog te tonen.")};
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

}  // namespace qvui
