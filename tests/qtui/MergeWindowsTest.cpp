// A whole merge through the Qt windows, answered control by control as a user would, with the
// real engine: the files on disk are what counts. With QV_SCREENSHOT_DIR set, every window is
// saved as a picture on the way (scripts/screenshots).
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <fstream>

#include "ModalDriver.h"
#include "QtSession.h"
#include "workflow/Command.h"

using namespace qvtest;

namespace {

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The header and the first `records` records of the example data.
std::string exampleData(size_t records) {
    std::ifstream in(fs::path(QV_SOURCE_DIR) / "examples/klanten.csv");
    std::string text, line;
    for (size_t i = 0; i <= records && std::getline(in, line); ++i) text += line + "\n";
    return text;
}

std::vector<std::string> itemsOf(QComboBox* combo) {
    std::vector<std::string> items;
    for (int i = 0; i < combo->count(); ++i) items.push_back(combo->itemText(i).toStdString());
    return items;
}

}  // namespace

TEST(QtMerge, WholeMergeThroughTheWindowsWritesEveryFile) {
    QtSession qt;
    fs::path home = qt.language.home.path();
    fs::path in = home / "invoer";
    fs::create_directory(in);
    fs::copy_file(fs::path(QV_SOURCE_DIR) / "examples/factuur.pdf", in / "factuur.pdf");
    writeFile(in / "klanten.csv", exampleData(6));
    fs::create_directory(home / "facturen");

    ModalDriver driver;
    driver
        .then([&](QWidget* panel) {
            EXPECT_EQ(panel->windowTitle().toStdString(), "Kies een PDF-formulier");
            auto* dialog = qobject_cast<QFileDialog*>(panel);
            ASSERT_TRUE(dialog);
            EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
            EXPECT_TRUE(dialog->nameFilters().join(" ").contains("*.pdf"));
            screenshot(panel, "01-template");
            choosePath(panel, (in / "factuur.pdf").string());
        })
        .then([&](QWidget* panel) {
            EXPECT_EQ(panel->windowTitle().toStdString(), "Kies een UTF-8 CSV- of tekstbestand");
            // The second panel opens where the first one was left.
            EXPECT_EQ(qobject_cast<QFileDialog*>(panel)->directory().absolutePath().toStdString(), in.string());
            choosePath(panel, "klanten.csv");
        })
        .then([&](QWidget* alert) {
            EXPECT_EQ(messageOf(alert), "Kies het scheidingsteken");
            auto combos = popUps(alert);
            ASSERT_EQ(combos.size(), 1u);
            EXPECT_EQ(itemsOf(combos[0]), (std::vector<std::string>{"Komma (,)", "Puntkomma (;)", "Tab"}));
            EXPECT_EQ(combos[0]->currentIndex(), 0);
            EXPECT_EQ(combos[0]->size(), QSize(240, 26));
            screenshot(alert, "02-separator");
            press(alert, "Verder");
        })
        .then([&](QWidget* alert) {
            EXPECT_EQ(messageOf(alert), "Controleer de ingelezen gegevens");
            EXPECT_TRUE(informativeOf(alert).starts_with("6 records gevonden. De eerste 5 worden"))
                << informativeOf(alert);
            auto* text = alert->findChild<QPlainTextEdit*>();
            ASSERT_TRUE(text);
            EXPECT_TRUE(text->isReadOnly());
            EXPECT_TRUE(text->textInteractionFlags() & Qt::TextSelectableByMouse);
            EXPECT_TRUE(text->toPlainText().startsWith("Record 1\nNaam: Anna de Vries\nAdres: Lindelaan 12\n"));
            EXPECT_TRUE(text->toPlainText().contains("Record 5\n"));
            EXPECT_FALSE(text->toPlainText().contains("Record 6"));
            EXPECT_EQ(text->size(), QSize(480, 250));
            screenshot(alert, "03-preview");
            press(alert, "Verder");
        })
        .then([&](QWidget* alert) {
            EXPECT_EQ(messageOf(alert), "Koppel PDF-velden aan CSV-kolommen");
            auto combos = popUps(alert);
            ASSERT_EQ(combos.size(), 9u);
            // Every field of the form has a column of its own name: all proposed.
            for (QComboBox* combo : combos) {
                std::string field = combo->accessibleName().toStdString();
                EXPECT_EQ("CSV-kolom voor PDF-veld " + combo->currentText().toStdString(), field);
            }
            auto* area = alert->findChild<QScrollArea*>();
            ASSERT_TRUE(area);
            EXPECT_EQ(area->verticalScrollBar()->value(), 0) << "the list opens at its first row";
            EXPECT_GT(area->verticalScrollBar()->maximum(), 0) << "nine rows do not fit in eight";
            screenshot(alert, "04-mapping");
            press(alert, "Verder");
        })
        .then([&](QWidget* alert) {
            EXPECT_EQ(messageOf(alert), "Hoe wil je de PDF's opslaan?");
            screenshot(alert, "05-output-mode");
            press(alert, "Losse PDF's");
        })
        .then([&](QWidget* alert) {
            EXPECT_EQ(messageOf(alert), "Kies het patroon voor bestandsnamen");
            auto edits = fields(alert);
            ASSERT_EQ(edits.size(), 1u);
            EXPECT_EQ(edits[0]->text().toStdString(), "merge-{#}");
            EXPECT_EQ(edits[0]->size(), QSize(350, 24));
            typeOver(edits[0], "Factuur-{Klant}");
            screenshot(alert, "06-file-names");
            press(alert, "Verder");
        })
        .then([&](QWidget* alert) {
            EXPECT_EQ(messageOf(alert), "Optioneel watermerk");
            auto combos = popUps(alert);
            ASSERT_EQ(combos.size(), 1u);
            ASSERT_EQ(combos[0]->count(), 11);  // none, nine columns, own text
            EXPECT_EQ(combos[0]->itemText(10).toStdString(), "Eigen tekst...");
            combos[0]->setCurrentIndex(10);
            screenshot(alert, "07-watermark");
            press(alert, "Verder");
        })
        .then([&](QWidget* alert) {
            EXPECT_EQ(messageOf(alert), "Tekst voor watermerk");
            auto edits = fields(alert);
            ASSERT_EQ(edits.size(), 1u);
            EXPECT_TRUE(edits[0]->text().isEmpty());
            typeOver(edits[0], "Kopie voor {Klant}");
            screenshot(alert, "08-watermark-text");
            press(alert, "Verder");
        })
        .then([&](QWidget* alert) {
            EXPECT_EQ(messageOf(alert), "Watermerk vormgeven");
            auto combos = popUps(alert);
            ASSERT_EQ(combos.size(), 3u);
            combos[0]->setCurrentIndex(2);  // at the top
            combos[2]->setCurrentIndex(1);  // grey
            screenshot(alert, "09-watermark-style");
            press(alert, "Verder");
        })
        .then([&](QWidget* alert) {
            EXPECT_EQ(messageOf(alert), "Verwerkingslogboek bewaren?");
            screenshot(alert, "10-log");
            press(alert, "Met logboek");
        })
        .then([&](QWidget* panel) {
            EXPECT_EQ(panel->windowTitle().toStdString(), "Kies een uitvoermap");
            EXPECT_EQ(qobject_cast<QFileDialog*>(panel)->fileMode(), QFileDialog::Directory);
            choosePath(panel, (home / "facturen").string());
        })
        .then([&](QWidget* alert) {
            EXPECT_EQ(messageOf(alert), "Samenvoegen voltooid");
            EXPECT_TRUE(informativeOf(alert).starts_with(
                "6 PDF-bestanden gemaakt.\nLogboeklocatie: " + (home / "facturen").string() + "/quorvel-log-"))
                << informativeOf(alert);
            screenshot(alert, "11-report");
            press(alert, "OK");
        });
    QVCommand(nullptr);
    EXPECT_EQ(driver.stepsLeft(), 0u);

    std::vector<std::string> names = namesIn(home / "facturen");
    ASSERT_EQ(names.size(), 7u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(names[i], "Factuur-K-100" + std::to_string(i + 1) + ".pdf");
    EXPECT_TRUE(names[6].starts_with("quorvel-log-") && names[6].ends_with(".json"));

    fs::path first = home / "facturen" / names[0];
    EXPECT_EQ(runCommand({"qpdf", "--check", first.string()}).status, 0);
    std::string text = runCommand({"pdftotext", "-layout", first.string(), "-"}).output;
    EXPECT_NE(text.find("Anna de Vries"), std::string::npos) << text;
    EXPECT_NE(text.find("Kopie voor K-1001"), std::string::npos) << "the watermark line: " << text;
    std::string log = readFile(home / "facturen" / names[6]);
    EXPECT_NE(log.find("Factuur-{Klant}"), std::string::npos) << log;
}
