#pragma once
// An open panel as Qt's file dialog: the panel's title, files or folders, one selection, the
// allowed file types as its filter. A choice the panel would refuse (a missing path, a pipe
// or device, a file of another type) is explained and the dialog stays open; a folder chosen
// in a file panel is opened.

#include <QFileDialog>
#include <QStringList>

#include <filesystem>
#include <optional>

#include "platform/dialogs/OpenPanel.h"

namespace qvui {

class OpenPanelDialog : public QFileDialog {
public:
    OpenPanelDialog(const OpenPanel& panel, const QString& startFolder, QWidget* parent = nullptr);

    // The accepted location; none until the dialog was accepted.
    std::optional<std::filesystem::path> choice() const;

protected:
    void accept() override;
    void showEvent(QShowEvent* event) override;

private:
    void applyLabels();
    // The location the user points at: the typed or selected name, or the folder on show.
    std::optional<std::filesystem::path> candidate() const;

    const OpenPanel& panel_;
    std::optional<std::filesystem::path> chosen_;
};

// The name filters for the panel's allowed types: one filter holding every extension of every
// type ("*.csv *.tsv *.txt *.asc"), or none when any file may be chosen.
QStringList panelNameFilters(const OpenPanel& panel);

}  // namespace qvui
