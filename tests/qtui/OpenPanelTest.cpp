// Open panels as Qt's file dialog: the filter from the allowed types, and the choices a panel
// refuses, which are explained while the panel stays open.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFileDialog>
#include <QMessageBox>

#include "ModalDriver.h"
#include "QtSession.h"
#include "platform/dialogs/OpenPanel.h"
#include "qtui/OpenPanelDialog.h"

using namespace qvtest;

namespace {

qvui::OpenPanel dataPanel() {
    qvui::OpenPanel panel;
    panel.setTitle("Kies een UTF-8 CSV- of tekstbestand");
    std::vector<qvui::ContentType> types;
    for (const char* extension : {"csv", "tsv", "txt"})
        types.push_back(*qvui::ContentType::typeWithFilenameExtension(extension));
    panel.setAllowedContentTypes(types);
    return panel;
}

// Types `path` and confirms it the way Enter does. Qt's own button may already refuse some of
// these paths (it lists no pipes), but Enter, and every other way to confirm, comes here.
ModalDriver::Step confirm(const fs::path& path) {
    return [path](QWidget* panel) {
        typePath(panel, path.string());
        QMetaObject::invokeMethod(panel, "accept", Qt::QueuedConnection);
    };
}

// Answers a refusal: checks its text, dismisses it and hands the panel to the next step.
ModalDriver::Step refusal(const std::string& expected) {
    return [expected](QWidget* box) {
        auto* message = qobject_cast<QMessageBox*>(box);
        ASSERT_TRUE(message);
        EXPECT_EQ(message->text().toStdString(), expected);
        ModalDriver::again(box->parentWidget());
        press(box, "OK");
    };
}

}  // namespace

TEST(QtOpenPanel, FilterHoldsEveryExtensionOfTheAllowedTypes) {
    QtSession qt;
    QStringList filters = qvui::panelNameFilters(dataPanel());
    ASSERT_EQ(filters.size(), 1);
    QString filter = filters[0];
    EXPECT_TRUE(filter.startsWith("Toegestane bestanden (")) << filter.toStdString();
    for (const char* pattern : {"*.csv", "*.tsv", "*.txt"}) EXPECT_TRUE(filter.contains(pattern)) << pattern;
    EXPECT_TRUE(qvui::panelNameFilters(qvui::OpenPanel()).isEmpty()) << "no types: any file";

    // The panel's own words come through the dialog text lookup.
    qvui::setDialogTextProvider([](const std::string& dutch) { return "[" + dutch + "]"; });
    qvui::OpenPanel panel = dataPanel();
    qvui::OpenPanelDialog dialog(panel, {});
    EXPECT_EQ(dialog.labelText(QFileDialog::Accept).toStdString(), "[Kiezen]");
    EXPECT_EQ(dialog.labelText(QFileDialog::Reject).toStdString(), "[Annuleren]");
    EXPECT_TRUE(dialog.nameFilters().value(0).startsWith("[Toegestane bestanden] ("));
    EXPECT_TRUE(dialog.testOption(QFileDialog::ReadOnly)) << "choosing an input file deletes nothing";
}

TEST(QtOpenPanel, RefusedChoicesAreExplainedAndThePanelStaysOpen) {
    QtSession qt;
    fs::path home = qt.language.home.path();
    fs::create_directory(home / "gegevens");
    writeFile(home / "gegevens/klanten.csv", "Naam\nAnna\n");
    writeFile(home / "notities.md", "# niet toegestaan\n");
    ASSERT_EQ(mkfifo((home / "pijp.csv").c_str(), 0600), 0);

    qvui::OpenPanel panel = dataPanel();
    ModalDriver driver;
    driver.then(confirm(home / "pijp.csv"))
        .then(refusal("Dit is geen gewoon bestand: " + (home / "pijp.csv").string()))
        .then(confirm(home / "notities.md"))
        .then(refusal("Dit bestandstype is hier niet toegestaan: " + (home / "notities.md").string() +
                      " (toegestaan: csv, tsv, txt)"))
        .then(confirm(home / "weg.csv"))
        .then(refusal("Dit pad bestaat niet: " + (home / "weg.csv").string()))
        .then([&](QWidget* w) {
            // A folder confirmed in a file panel is opened; a name typed then is in that folder.
            auto* dialog = qobject_cast<QFileDialog*>(w);
            typePath(w, (home / "gegevens").string());
            QMetaObject::invokeMethod(dialog, "accept");
            EXPECT_TRUE(dialog->isVisible());
            EXPECT_EQ(dialog->directory().absolutePath().toStdString(), (home / "gegevens").string());
            choosePath(w, "klanten.csv");
        });
    ASSERT_EQ(panel.runModal(), qvui::kPanelOKResponse);
    EXPECT_EQ(panel.URL(), home / "gegevens/klanten.csv");

    driver.then([](QWidget* w) { QMetaObject::invokeMethod(w, "reject", Qt::QueuedConnection); });
    EXPECT_EQ(panel.runModal(), qvui::kPanelCancelResponse);
    EXPECT_TRUE(panel.URL().empty());
}

TEST(QtOpenPanel, FolderPanelChoosesFoldersOnly) {
    QtSession qt;
    fs::path home = qt.language.home.path();
    fs::create_directory(home / "uit");
    writeFile(home / "brief.pdf", "%PDF-1.4\n");
    qvui::OpenPanel panel;
    panel.setTitle("Kies een uitvoermap");
    panel.setCanChooseFiles(false);
    panel.setCanChooseDirectories(true);
    ModalDriver driver;
    driver
        .then([&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            ASSERT_TRUE(dialog);
            EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
            EXPECT_FALSE(dialog->testOption(QFileDialog::ReadOnly)) << "an output folder may have to be made first";
            confirm(home / "brief.pdf")(w);
        })
        .then(refusal("Dit is geen map; kies een map: " + (home / "brief.pdf").string()))
        .then([&](QWidget* w) { choosePath(w, (home / "uit").string()); });
    ASSERT_EQ(panel.runModal(), qvui::kPanelOKResponse);
    EXPECT_EQ(panel.URL(), home / "uit");
}
