#pragma once
// The dialog backend of the desktop: alerts and open panels as application-modal Qt windows.
// The application makes its QApplication before it installs this backend and keeps it until
// the backend is removed.

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

#include <memory>

#include "platform/dialogs/Backend.h"

class QProgressDialog;
class QTranslator;

namespace qvui {

class QtBackend : public DialogBackend {
public:
    QtBackend();
    ~QtBackend() override;

    AlertAnswer runAlert(Alert& alert) override;
    PanelAnswer runOpenPanel(const OpenPanel& panel) override;
    // A window with a bar and "done of total records", shown once the task has taken half a
    // second, so that short merges do not flash one.
    void beginProgress(const std::string& message) override;
    void updateProgress(uint64_t done, uint64_t total) override;
    void endProgress() override;

private:
    // Qt's own words in our dialogs (the file dialog's buttons and columns, a field's context
    // menu) follow the language in force, which the language command may have just changed.
    void followLanguage();

    std::unique_ptr<QTranslator> translator_;
    std::string language_;
    // Where the next open panel starts: where the last one ended, else the home folder.
    QString lastFolder_;
    QPointer<QProgressDialog> progress_;
    QElapsedTimer progressClock_;  // since the task began
    QElapsedTimer progressDrawn_;  // since the window last drew itself
};

}  // namespace qvui
