#include "qtui/OpenPanelDialog.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <system_error>

#include "platform/dialogs/Backend.h"
#include "qtui/QtText.h"

namespace qvui {

namespace fs = std::filesystem;

QStringList panelNameFilters(const OpenPanel& panel) {
    QStringList patterns;
    for (const ContentType& type : panel.allowedContentTypes()) {
        for (const std::string& extension : type.extensions) {
            // The filter syntax separates patterns by spaces and ends at a parenthesis.
            if (extension.find_first_of(" ()") != std::string::npos) continue;
            QString pattern = QStringLiteral("*.") + toQString(extension);
            if (!patterns.contains(pattern)) patterns.push_back(pattern);
        }
    }
    if (patterns.isEmpty()) return {};
    return {toQString(dialogText("Toegestane bestanden")) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
            QStringLiteral(")")};
}

OpenPanelDialog::OpenPanelDialog(const OpenPanel& panel, const QString& startFolder, QWidget* parent)
    : QFileDialog(parent), panel_(panel) {
    // Qt's own dialog, on every desktop: it is the one that lets us check a choice before the
    // panel closes.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setWindowModality(Qt::ApplicationModal);
    setWindowTitle(toQString(panel.title()));
    setAcceptMode(QFileDialog::AcceptOpen);
    bool foldersOnly = panel.canChooseDirectories() && !panel.canChooseFiles();
    setFileMode(foldersOnly ? QFileDialog::Directory : QFileDialog::ExistingFile);
    setOption(QFileDialog::ShowDirsOnly, foldersOnly);
    // Choosing an input file is no occasion to rename or delete; an output folder may have to
    // be made first.
    setOption(QFileDialog::ReadOnly, !foldersOnly);
    if (!foldersOnly) {
        QStringList filters = panelNameFilters(panel);
        if (!filters.isEmpty()) setNameFilters(filters);
    }
    applyLabels();
    if (!startFolder.isEmpty()) setDirectory(startFolder);
}

void OpenPanelDialog::applyLabels() {
    bool foldersOnly = fileMode() == QFileDialog::Directory;
    setLabelText(QFileDialog::LookIn, toQString(dialogText("Zoeken in:")));
    setLabelText(QFileDialog::FileName, toQString(foldersOnly ? dialogText("Map:") : dialogText("Bestand:")));
    setLabelText(QFileDialog::FileType, toQString(dialogText("Bestandstype:")));
    setLabelText(QFileDialog::Accept, toQString(dialogText("Kiezen")));
    setLabelText(QFileDialog::Reject, toQString(dialogText("Annuleren")));
}

void OpenPanelDialog::showEvent(QShowEvent* event) {
    // Qt builds the dialog's widgets only when it is first shown, with its own button titles.
    applyLabels();
    QFileDialog::showEvent(event);
}

std::optional<fs::path> OpenPanelDialog::choice() const {
    if (result() != QDialog::Accepted) return std::nullopt;
    return chosen_;
}

std::optional<fs::path> OpenPanelDialog::candidate() const {
    // What the name field shows is the user's choice: Qt's own list selection can still hold
    // folders it selected on the way while a path was being typed.
    auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QString typed = name ? name->text() : QString();
    if (!typed.trimmed().isEmpty()) {
        std::string text = fromQString(typed);
        if (text.front() == '/' || text.front() == '~') return expandUserPath(text);
        return fs::path(fromQString(directory().absolutePath())) / text;
    }
    // Nothing typed: in a folder panel, the folder on show.
    if (fileMode() == QFileDialog::Directory) return fs::path(fromQString(directory().absolutePath()));
    return std::nullopt;
}

void OpenPanelDialog::accept() {
    std::optional<fs::path> chosen = candidate();
    if (!chosen) return;
    std::error_code ec;
    // In a file panel a folder is opened, not chosen.
    if (fileMode() != QFileDialog::Directory && fs::is_directory(*chosen, ec)) {
        setDirectory(toQString(chosen->string()));
        if (auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) name->clear();
        return;
    }
    if (QVError why; !openPanelAccepts(panel_, *chosen, &why)) {
        QMessageBox refusal(QMessageBox::Warning, windowTitle(), toQString(why.message), QMessageBox::NoButton, this);
        refusal.setObjectName(QStringLiteral("refusal"));
        refusal.setTextFormat(Qt::PlainText);
        refusal.addButton(literalMnemonic(toQString(dialogText("OK"))), QMessageBox::AcceptRole);
        refusal.exec();
        return;
    }
    chosen_ = chosen->lexically_normal();
    QDialog::accept();
}

}  // namespace qvui
