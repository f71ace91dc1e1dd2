// The window a long merge shows on the desktop while it runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressDialog>
#include <QTimer>

#include <chrono>
#include <thread>

#include "QtSession.h"
#include "engine/Engine.h"
#include "platform/dialogs/Backend.h"
#include "support/MergeRun.h"

using namespace qvtest;

namespace {

QProgressDialog* visibleProgress() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QProgressDialog*>(window);
        if (dialog && dialog->isVisible()) return dialog;
    }
    return nullptr;
}

}  // namespace

TEST(QtProgress, ALongMergeShowsRecordsDoneAndKeepsTheWindowsDrawn) {
    QtSession qt;
    fs::path home = qt.language.home.path();
    std::string data = "Text Box 1,Text Box 2\n";
    for (int i = 1; i <= 12; ++i) data += "Plaats " + std::to_string(i) + ",Naam " + std::to_string(i) + "\n";
    fs::create_directory(home / "uit");
    std::string form = readFile(formsDir() / "libreoffice-two-text.pdf");
    QVMergeSettings settings = mergeSettings(form, data, home / "uit");

    std::vector<std::string> seen;  // label and bar of the window after each record
    int eventsHandled = 0;
    bool shownEarly = false;
    bool merged = false;
    {
        qvui::ProgressDisplay progress("PDF-bestanden maken...");
        QVSetMergeProgressHandler([&](uint64_t done, uint64_t total) {
            std::this_thread::sleep_for(std::chrono::milliseconds(70));  // a slow record
            QTimer::singleShot(0, [&] { ++eventsHandled; });
            progress.update(done, total);
            QProgressDialog* window = visibleProgress();
            if (!window) return;
            if (done <= 2) shownEarly = true;
            EXPECT_TRUE(window->isModal());
            seen.push_back(window->labelText().toStdString() + "|" + std::to_string(window->value()));
        });
        uint64_t written = 0;
        QVError error;
        merged = QVMergeWithSettings(settings, &written, &error);
        QVSetMergeProgressHandler({});
        EXPECT_EQ(written, 12u) << error.message;
    }
    EXPECT_TRUE(merged);
    // Not at once (a short merge shows nothing), but well before the end.
    EXPECT_FALSE(shownEarly);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.back(), "PDF-bestanden maken...\n12 van 12 records|1000");
    EXPECT_EQ(seen[seen.size() - 2], "PDF-bestanden maken...\n11 van 12 records|916");
    // The window system was answered while the merge ran: the window did not freeze.
    EXPECT_GE(eventsHandled, 2);
    EXPECT_EQ(visibleProgress(), nullptr);  // gone with the merge
}
