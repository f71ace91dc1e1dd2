// Alerts as Qt windows: how they answer, what they show, and that the user's changes reach
// our controls and are there again when the same alert is shown again.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

#include "ModalDriver.h"
#include "QtSession.h"
#include "dialogs/MappingDialog.h"
#include "dialogs/MappingView.h"
#include "platform/dialogs/Alert.h"
#include "platform/dialogs/Controls.h"
#include "qtui/ElidedLabel.h"

using namespace qvtest;

namespace {

qvui::Alert twoButtons() {
    qvui::Alert alert;
    alert.setMessageText("Doorgaan?");
    alert.setInformativeText("Kies een van beide.");
    alert.addButtonWithTitle("Verder");
    alert.addButtonWithTitle("Annuleren");
    return alert;
}

std::vector<std::string> twentyFields() {
    std::vector<std::string> names;
    for (int i = 1; i <= 20; ++i) names.push_back("Veld " + std::to_string(i));
    return names;
}

}  // namespace

TEST(QtAlert, ClosingTheWindowAnswersLikeCancelNeverLikeTheFirstButton) {
    QtSession qt;
    qvui::Alert alert = twoButtons();
    ModalDriver driver;
    driver.then([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); })
        .then([](QWidget* w) { QMetaObject::invokeMethod(w, "close", Qt::QueuedConnection); })
        .then([](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); })
        .then([](QWidget* w) { press(w, "Annuleren"); });
    EXPECT_EQ(alert.runModal(), qvui::kAlertCancelledReturn) << "Escape";
    EXPECT_EQ(alert.runModal(), qvui::kAlertCancelledReturn) << "window closed";
    EXPECT_EQ(alert.runModal(), qvui::kAlertFirstButtonReturn) << "Enter presses the default, first button";
    EXPECT_EQ(alert.runModal(), qvui::kAlertSecondButtonReturn);

    // Without buttons of its own the alert shows one OK button, and closing it is still a cancel.
    qvui::Alert report;
    report.setMessageText("Klaar");
    driver
        .then([](QWidget* w) {
            auto buttons = w->findChildren<QPushButton*>();
            ASSERT_EQ(buttons.size(), 1);
            EXPECT_EQ(buttons[0]->text().toStdString(), "OK");
            EXPECT_TRUE(buttons[0]->isDefault());
            QTest::keyClick(w, Qt::Key_Escape);
        })
        .then([](QWidget* w) { press(w, "OK"); });
    EXPECT_EQ(report.runModal(), qvui::kAlertCancelledReturn);
    EXPECT_EQ(report.runModal(), qvui::kAlertFirstButtonReturn);
    EXPECT_EQ(qt.session.lines().back()["response"], qvui::kAlertFirstButtonReturn);
}

TEST(QtAlert, ShowsTextsPlainlyWithTheWarningIconAndButtonsInOrder) {
    QtSession qt;
    qvui::Alert alert;
    alert.setMessageText("<b>Mogelijk</b> verkeerd & fout");
    std::string path = "/home/gebruiker/" + std::string(300, 'x') + "/Brief-000001.pdf";
    alert.setInformativeText("Bestaat al: " + path);
    alert.setAlertStyle(qvui::AlertStyle::warning);
    alert.addButtonWithTitle("Ander scheidingsteken");
    alert.addButtonWithTitle("Toch doorgaan");
    alert.addButtonWithTitle("Annuleren & stoppen");
    ModalDriver driver;
    driver.then([&](QWidget* w) {
        EXPECT_EQ(messageOf(w), "<b>Mogelijk</b> verkeerd & fout") << "markup in a text is shown, not obeyed";
        EXPECT_EQ(informativeOf(w), "Bestaat al: " + path);
        // A long path wraps inside the window instead of widening it off the screen.
        EXPECT_LT(w->width(), 700);
        auto* icon = w->findChild<QLabel*>(QStringLiteral("icon"));
        ASSERT_TRUE(icon);
        EXPECT_EQ(icon->accessibleName().toStdString(), "Waarschuwing");
        EXPECT_FALSE(icon->pixmap().isNull());
        std::vector<std::string> titles;
        int lastX = -1;
        for (QPushButton* b : w->findChildren<QPushButton*>()) {
            titles.push_back(b->text().toStdString());
            EXPECT_GT(b->x(), lastX) << "buttons left to right in the order they were added";
            lastX = b->x();
        }
        EXPECT_EQ(titles, (std::vector<std::string>{"Ander scheidingsteken", "Toch doorgaan", "Annuleren && stoppen"}));
        press(w, "Annuleren & stoppen");
    });
    EXPECT_EQ(alert.runModal(), qvui::kAlertThirdButtonReturn);
}

TEST(QtAlert, LongTextsWrapBetweenWords) {
    QtSession qt;
    qvui::Alert alert;
    alert.setMessageText("Mogelijk verkeerd scheidingsteken bij het inlezen van het gegevensbestand klanten");
    std::string text;
    for (int i = 0; i < 6; ++i)
        text +=
            "Met de gekozen instelling is één kolom gevonden, maar een ander scheidingsteken levert meerdere "
            "kolommen op. ";
    text += "Controleer het bestand: één kolom kan ook juist zijn.";
    alert.setInformativeText(text);
    ModalDriver driver;
    driver.then([&](QWidget* w) {
        int checked = 0;
        for (auto* block : w->findChildren<QTextEdit*>()) {
            QTextDocument* document = block->document();
            for (QTextBlock b = document->begin(); b.isValid(); b = b.next()) {
                QTextLayout* layout = b.layout();
                QString said = b.text();
                ASSERT_GT(layout->lineCount(), 0);
                for (int l = 1; l < layout->lineCount(); ++l) {
                    int start = layout->lineAt(l).textStart();
                    EXPECT_TRUE(said.at(start - 1).isSpace())
                        << "line " << l << " of \"" << said.toStdString()
                        << "\" starts inside a word: " << said.mid(start - 5, 10).toStdString();
                    ++checked;
                }
            }
        }
        EXPECT_GT(checked, 4) << "the texts should have wrapped";
        press(w, "OK");
    });
    EXPECT_EQ(alert.runModal(), qvui::kAlertFirstButtonReturn);
}

TEST(QtAlert, ChoicesReachTheControlsAndAreShownAgainAfterTheMissingColumnAlert) {
    QtSession qt;
    ModalDriver driver;
    driver
        .then([](QWidget* w) {
            auto combos = popUps(w);
            ASSERT_EQ(combos.size(), 2u);
            EXPECT_EQ(combos[0]->currentIndex(), 1) << "Naam is proposed";
            EXPECT_EQ(combos[1]->currentIndex(), 0) << "plaats differs in case: the placeholder stays";
            combos[0]->setCurrentIndex(3);  // the user prefers Straat
            press(w, "Verder");
        })
        .then([](QWidget* w) {
            EXPECT_EQ(messageOf(w), "Kies eerst een CSV-kolom.");
            EXPECT_EQ(informativeOf(w), "Er ontbreekt een koppeling voor PDF-veld 'Plaats'.");
            press(w, "OK");
        })
        .then([](QWidget* w) {
            auto combos = popUps(w);
            ASSERT_EQ(combos.size(), 2u);
            EXPECT_EQ(combos[0]->currentIndex(), 3) << "the earlier choice is still there";
            combos[1]->setCurrentIndex(2);
            press(w, "Verder");
        });
    auto mapping = chooseMapping({"Naam", "Plaats"}, {"Naam", "plaats", "Straat"});
    ASSERT_TRUE(mapping);
    EXPECT_EQ(*mapping, (QVFieldMapping{{"Naam", "Straat"}, {"Plaats", "plaats"}}));
}

TEST(QtAlert, FieldsSelectionsAndScrollPositionSurviveACancelledShowing) {
    QtSession qt;
    auto view = QVMappingView::initWithFields(twentyFields(), {"A", "B"});
    qvui::Alert alert;
    alert.setMessageText("Koppelen");
    auto field = std::make_shared<qvui::TextField>(qvui::Rect{0, 0, 350, 24});
    field->setStringValue("merge-{#}");
    auto holder = qvui::View::initWithFrame({0, 0, 570, 370});
    view->setFrame({0, 0, 570, 334});
    holder->addSubview(view);
    field->setFrame({0, 340, 350, 24});
    holder->addSubview(field);
    alert.setAccessoryView(holder);
    alert.addButtonWithTitle("Verder");

    ModalDriver driver;
    int bottom = 0;
    driver
        .then([&](QWidget* w) {
            auto* bar = w->findChild<QScrollArea*>()->verticalScrollBar();
            bottom = bar->maximum();
            bar->setValue(bottom);
            popUps(w)[19]->setCurrentIndex(2);
            typeOver(fields(w)[0], "Brief-{A}");
            QTest::keyClick(w, Qt::Key_Escape);
        })
        .then([&](QWidget* w) {
            EXPECT_EQ(w->findChild<QScrollArea*>()->verticalScrollBar()->value(), bottom);
            EXPECT_EQ(popUps(w)[19]->currentIndex(), 2);
            EXPECT_EQ(fields(w)[0]->text().toStdString(), "Brief-{A}");
            press(w, "Verder");
        });
    EXPECT_EQ(alert.runModal(), qvui::kAlertCancelledReturn);
    // Cancelled or not, the controls hold what the user left in them.
    EXPECT_EQ(view->popups()[19]->indexOfSelectedItem(), 2);
    EXPECT_EQ(field->stringValue(), "Brief-{A}");
    EXPECT_EQ(alert.runModal(), qvui::kAlertFirstButtonReturn);
}

TEST(QtAlert, TwentyFieldMappingIsLaidOutByItsFramesAndOpensAtTheFirstRow) {
    QtSession qt;
    auto view = QVMappingView::initWithFields(twentyFields(), {"Veld 1", "Veld 2"});
    qvui::Alert alert;
    alert.setMessageText("Koppel PDF-velden aan CSV-kolommen");
    alert.setAccessoryView(view);
    alert.addButtonWithTitle("Verder");
    ModalDriver driver;
    driver.then([](QWidget* w) {
        auto* area = w->findChild<QScrollArea*>();
        ASSERT_TRUE(area);
        // 570 x (304 + 30): the list below two headers; y counted from the top in Qt.
        EXPECT_EQ(area->parentWidget()->size(), QSize(570, 334));
        EXPECT_EQ(area->geometry(), QRect(0, 30, 570, 304));
        EXPECT_EQ(area->widget()->size(), QSize(550, 760));
        auto headers = area->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
        ASSERT_EQ(headers.size(), 2);
        EXPECT_EQ(headers[0]->geometry(), QRect(8, 5, 230, 18));
        EXPECT_TRUE(headers[0]->font().bold());
        auto combos = popUps(w);
        ASSERT_EQ(combos.size(), 20u);
        EXPECT_EQ(combos[0]->geometry(), QRect(250, 7, 290, 26));
        EXPECT_EQ(combos[19]->geometry(), QRect(250, 7 + 19 * 38, 290, 26));
        EXPECT_EQ(combos[0]->currentIndex(), 1);
        EXPECT_EQ(combos[2]->currentIndex(), 0);

        QScrollBar* bar = area->verticalScrollBar();
        EXPECT_TRUE(bar->isVisible());
        EXPECT_EQ(bar->value(), 0);
        int top = combos[0]->mapTo(area->viewport(), QPoint(0, 0)).y();
        EXPECT_GE(top, 0);
        EXPECT_LT(combos[7]->mapTo(area->viewport(), QPoint(0, 26)).y(), area->viewport()->height() + 1)
            << "eight rows are in view";
        EXPECT_GT(combos[8]->mapTo(area->viewport(), QPoint(0, 0)).y(), area->viewport()->height() - 26);

        // The wheel over a pop-up that has no focus is left to the list around it (which
        // scrolls), instead of changing the choice under the pointer.
        QWheelEvent wheel(QPointF(10, 10), combos[1]->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(combos[1], &wheel);
        EXPECT_FALSE(wheel.isAccepted());
        EXPECT_EQ(combos[1]->currentIndex(), 2) << "Veld 2 stays proposed";
        screenshot(w, "mapping-20-fields");
        press(w, "Verder");
    });
    EXPECT_EQ(alert.runModal(), qvui::kAlertFirstButtonReturn);
}

TEST(QtAlert, LongLabelsShortenInTheMiddleWithTheWholeTextAsToolTip) {
    QtSession qt;
    std::string longName = "Naam van de contactpersoon bij het bedrijf dat deze factuur ontvangt (volledig)";
    auto view = QVMappingView::initWithFields({longName, "Kort", "<i>schuin</i>"}, {"Kort"});
    qvui::Alert alert;
    alert.setMessageText("Koppel PDF-velden aan CSV-kolommen");
    alert.setAccessoryView(view);
    ModalDriver driver;
    driver.then([&](QWidget* w) {
        std::vector<qvui::ElidedLabel*> labels;
        for (QLabel* label : w->findChildren<QLabel*>())
            if (auto* elided = dynamic_cast<qvui::ElidedLabel*>(label)) labels.push_back(elided);
        ASSERT_EQ(labels.size(), 3u);
        QString shown = labels[0]->text();
        EXPECT_TRUE(labels[0]->isElided());
        EXPECT_TRUE(shown.startsWith("Naam van")) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith("(volledig)")) << shown.toStdString();
        EXPECT_TRUE(shown.contains(QChar(0x2026)));
        EXPECT_LE(labels[0]->fontMetrics().horizontalAdvance(shown), 230);
        EXPECT_EQ(labels[0]->toolTip().toStdString(), longName);
        EXPECT_EQ(labels[0]->accessibleName().toStdString(), longName);

        EXPECT_FALSE(labels[1]->isElided());
        EXPECT_EQ(labels[1]->text().toStdString(), "Kort");
        // A field name that looks like markup is shown as written, in the label and its tip.
        EXPECT_EQ(labels[2]->text().toStdString(), "<i>schuin</i>");
        EXPECT_EQ(labels[2]->textFormat(), Qt::PlainText);
        EXPECT_TRUE(labels[2]->toolTip().contains("&lt;i&gt;schuin&lt;/i&gt;"));

        auto combos = popUps(w);
        EXPECT_EQ(combos[2]->accessibleName().toStdString(), "CSV-kolom voor PDF-veld <i>schuin</i>");
        press(w, "OK");
    });
    alert.runModal();
}

TEST(QtAlert, TypedAndPastedTextStaysOnOneLine) {
    QtSession qt;
    auto field = std::make_shared<qvui::TextField>(qvui::Rect{0, 0, 360, 24});
    qvui::Alert alert;
    alert.setMessageText("Tekst voor watermerk");
    alert.setAccessoryView(field);
    ModalDriver driver;
    driver.then([](QWidget* w) {
        QLineEdit* edit = fields(w).at(0);
        EXPECT_EQ(w->focusWidget(), edit) << "the field is ready for typing";
        QTest::keyClicks(edit, "Kopie {#}");
        QApplication::clipboard()->setText("\nvoor\tarchief\x01\r\n");
        edit->paste();
        EXPECT_EQ(edit->text().toStdString(), "Kopie {#} voor archief  ");
        press(w, "OK");
    });
    alert.runModal();
    EXPECT_EQ(field->stringValue(), "Kopie {#} voor archief  ");
}
