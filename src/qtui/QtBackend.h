#pragma once
// The dialog backend of the desktop: alerts and open panels as application-modal Qt windows.
// The application makes its QApplication before it installs this backend and keeps it until
// the backend is removed.

#include <QString>

#include <memory>

#include "platform/dialogs/Backend.h"

class QTranslator;

namespace qvui {

class QtBackend : public DialogBackend {
public:
    QtBackend();
    ~QtBackend() override;

    AlertAnswer runAlert(Alert& alert) override;
    PanelAnswer runOpenPanel(const OpenPanel& panel) override;

private:
    // Qt's own words in our dialogs (the file dialog's buttons and columns, a field's context
    // menu) follow the language in force, which the language command may have just changed.
    void followLanguage();

    std::unique_ptr<QTranslator> translator_;
    std::string language_;
    // Where the next open panel starts: where the last one ended, else the home folder.
    QString lastFolder_;
};

}  // namespace qvui
