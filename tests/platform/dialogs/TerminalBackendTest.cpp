#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

#include "DialogSession.h"
#include "platform/dialogs/Alert.h"
#include "platform/dialogs/Controls.h"
#include "platform/dialogs/OpenPanel.h"
#include "platform/dialogs/ScrollView.h"
#include "platform/dialogs/TerminalBackend.h"
#include "support/TerminalCases.h"
#include "support/TestSupport.h"

using namespace qvui;

namespace {

struct Terminal {
    std::istringstream in;
    std::ostringstream out;
    std::shared_ptr<TerminalBackend> backend;
    qvtest::DialogSession session;

    explicit Terminal(const std::string& typed, bool emphasise = false)
        : in(typed), backend(std::make_shared<TerminalBackend>(in, out, emphasise)), session(backend) {}
};

// The separator dialog: a pop-up of three, two buttons.
struct SeparatorAlert {
    Alert alert;
    std::shared_ptr<PopUpButton> popup = std::make_shared<PopUpButton>(Rect{0, 0, 240, 26});
    SeparatorAlert() {
        alert.setMessageText("Kies het scheidingsteken");
        alert.setInformativeText("Kies het teken dat de kolommen in je gegevensbestand scheidt.");
        popup->addItemsWithTitles({"Komma (,)", "Puntkomma (;)", "Tab"});
        alert.setAccessoryView(popup);
        alert.addButtonWithTitle("Verder");
        alert.addButtonWithTitle("Annuleren");
    }
};

}  // namespace

TEST(TerminalBackend, ShowsTheDialogAndAsksAgainAfterInvalidAnswers) {
    Terminal t("x\n0\n2\n3\nAnnuleren\n");
    SeparatorAlert s;
    EXPECT_EQ(s.alert.runModal(), kAlertSecondButtonReturn);
    EXPECT_EQ(s.popup->indexOfSelectedItem(), 1);
    EXPECT_EQ(t.out.str(),
              "\nKies het scheidingsteken\n"
              "Kies het teken dat de kolommen in je gegevensbestand scheidt.\n"
              "Keuzelijst:\n"
              "  * 1) Komma (,)\n"
              "    2) Puntkomma (;)\n"
              "    3) Tab\n"
              "Kies een nummer (1-3, Enter = 1): Ongeldige keuze, probeer het opnieuw.\n"
              "Kies een nummer (1-3, Enter = 1): Ongeldige keuze, probeer het opnieuw.\n"
              "Kies een nummer (1-3, Enter = 1): "
              "1) Verder   2) Annuleren\n"
              "Kies een knop (1-2, Enter = 1): Ongeldige keuze, probeer het opnieuw.\n"
              "Kies een knop (1-2, Enter = 1): ");

    // Shown again, the mark is where the user left it and Enter keeps it.
    t.in.clear();
    t.in.str("\n1\n");
    t.out.str("");
    EXPECT_EQ(s.alert.runModal(), kAlertFirstButtonReturn);
    EXPECT_NE(t.out.str().find("  * 2) Puntkomma (;)"), std::string::npos);
    EXPECT_EQ(s.popup->indexOfSelectedItem(), 1);
}

TEST(TerminalBackend, RendersTheAccessoryInViewTreeOrder) {
    Terminal t("\n\n\n", true);
    Alert alert;
    alert.setMessageText("Koppel");
    auto view = std::make_shared<View>();
    view->addSubview(Label::labelWithString("PDF-veld"));
    auto popup = std::make_shared<PopUpButton>();
    popup->addItemsWithTitles({"Kies een kolom...", "Naam"});
    popup->setAccessibilityLabel("CSV-kolom voor PDF-veld \x1b[31mNaam");
    view->addSubview(popup);
    auto field = std::make_shared<TextField>();
    field->setStringValue("merge-{#}");
    view->addSubview(field);
    auto scroll = std::make_shared<ScrollView>();
    auto text = std::make_shared<TextView>();
    text->setString("Record 1\nNaam: \x1b]0;x\x07Jan\n\n");
    scroll->setDocumentView(text);
    view->addSubview(scroll);
    alert.setAccessoryView(view);

    EXPECT_EQ(alert.runModal(), kAlertFirstButtonReturn);  // Enter on the lone OK button
    EXPECT_EQ(field->stringValue(), "merge-{#}");
    EXPECT_EQ(t.out.str(),
              "\n\x1b[1mKoppel\x1b[0m\n"
              "PDF-veld\n"
              "CSV-kolom voor PDF-veld \\u{1B}[31mNaam:\n"
              "  * 1) Kies een kolom...\n"
              "    2) Naam\n"
              "Kies een nummer (1-2, Enter = 1): "
              "Tekstveld: merge-{#}\n"
              "Nieuwe tekst (Enter = ongewijzigd): "
              "Record 1\nNaam: \\u{1B}]0;x\\u{07}Jan\n\n\n"
              "1) OK\n"
              "Druk op Enter om verder te gaan: ");
}

TEST(TerminalBackend, EnterPressesTheFirstButton) {
    Terminal t("\n\n \n");
    SeparatorAlert s;
    EXPECT_EQ(s.alert.runModal(), kAlertFirstButtonReturn);  // Enter keeps the comma, Enter = "Verder"
    EXPECT_EQ(s.popup->indexOfSelectedItem(), 0);
    Alert three;
    for (const char* title : {"Losse PDF's", "Eén PDF", "Annuleren"}) three.addButtonWithTitle(title);
    EXPECT_EQ(three.runModal(), kAlertFirstButtonReturn);  // blanks count as Enter
    EXPECT_NE(t.out.str().find("Kies een knop (1-3, Enter = 1): "), std::string::npos);
}

// A table: two headings, then rows of a name and its pop-up inside a scroll view, as the
// field mapping builds it.
struct TableAlert {
    Alert alert;
    std::shared_ptr<View> table = std::make_shared<View>();
    std::vector<std::shared_ptr<PopUpButton>> popups;
    TableAlert(const std::vector<std::string>& names, const std::vector<std::string>& columns) {
        alert.setMessageText("Koppel PDF-velden aan CSV-kolommen");
        alert.setInformativeText("Kies een kolom. Scroll voor meer velden.");
        alert.setInformativeTextWithoutScrolling("Kies een kolom.");
        table->setAccessibilityRole(AccessibilityRole::table);
        table->addSubview(Label::labelWithString("PDF-veld"));
        table->addSubview(Label::labelWithString("CSV-kolom"));
        auto scroll = std::make_shared<ScrollView>();
        auto document = std::make_shared<View>();
        for (const std::string& name : names) {
            document->addSubview(Label::labelWithString(name));
            auto popup = std::make_shared<PopUpButton>();
            popup->addItemWithTitle("Kies een kolom...");
            popup->addItemsWithTitles(columns);
            popup->setAccessibilityLabel("CSV-kolom voor PDF-veld " + name);
            document->addSubview(popup);
            popups.push_back(popup);
        }
        scroll->setDocumentView(document);
        table->addSubview(scroll);
        alert.setAccessoryView(table);
        alert.addButtonWithTitle("Verder");
        alert.addButtonWithTitle("Annuleren");
    }
};

TEST(TerminalBackend, TablesAreOneOverviewChangedByNumber) {
    Terminal t("x\n3\n3\n\n\n");
    TableAlert a({"Naam", "Een zeer lange veldnaam die niet op de regel past", "Plaats"}, {"Naam", "Plaats"});
    a.popups[0]->selectItemAtIndex(1);
    EXPECT_EQ(a.alert.runModal(), kAlertFirstButtonReturn);
    EXPECT_EQ(a.popups[0]->indexOfSelectedItem(), 1);
    EXPECT_EQ(a.popups[1]->indexOfSelectedItem(), 0);
    EXPECT_EQ(a.popups[2]->indexOfSelectedItem(), 2);
    std::string out = t.out.str();
    EXPECT_EQ(out.find("Scroll"), std::string::npos) << out;
    // Every row once in the first overview, names cut in the middle to keep the columns.
    std::string first = out.substr(0, out.find("Nummer om te wijzigen"));
    EXPECT_NE(first.find("Kies een kolom.\n"
                         "     PDF-veld                              CSV-kolom\n"
                         "  1) Naam                                  Naam\n"
                         "  2) Een zeer lange vel\u2026 op de regel past  Kies een kolom...\n"
                         "  3) Plaats                                Kies een kolom...\n"),
              std::string::npos)
        << first;
    // Only the row asked for is listed with its choices, then the overview comes back.
    EXPECT_NE(out.find("CSV-kolom voor PDF-veld Plaats:\n  * 1) Kies een kolom...\n    2) Naam\n    3) Plaats\n"),
              std::string::npos);
    EXPECT_EQ(out.find("CSV-kolom voor PDF-veld Naam:"), std::string::npos);
    EXPECT_NE(out.find("  3) Plaats                                Plaats\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Nummer om te wijzigen (1-3, Enter = klaar): Ongeldige keuze"), std::string::npos);

    // Shown again, the overview holds what was chosen; end of input cancels.
    t.in.clear();
    t.in.str("");
    EXPECT_EQ(a.alert.runModal(), kAlertCancelledReturn);
    EXPECT_EQ(a.popups[2]->indexOfSelectedItem(), 2);
}

TEST(TerminalBackend, TextsFoldAtSpacesToTheWidth) {
    std::istringstream in("\n\n");
    std::ostringstream out;
    auto backend = std::make_shared<TerminalBackend>(in, out, false, 30);
    qvtest::DialogSession session(backend);
    Alert alert;
    alert.setMessageText("Kies het patroon voor bestandsnamen");
    alert.setInformativeText(
        "Gebruik {#} voor het volgnummer, bijvoorbeeld Factuur-{Klant}-{#}-met-een-heel-lang-woord.");
    alert.addButtonWithTitle("Verder");
    alert.addButtonWithTitle("Annuleren");
    EXPECT_EQ(alert.runModal(), kAlertFirstButtonReturn);
    EXPECT_EQ(out.str(),
              "\nKies het patroon voor\nbestandsnamen\n"
              "Gebruik {#} voor het\nvolgnummer, bijvoorbeeld\n"
              "Factuur-{Klant}-{#}-met-een-heel-lang-woord.\n"  // one word, never cut
              "1) Verder   2) Annuleren\n"
              "Kies een knop (1-2, Enter =\n1): ");
}

TEST(TerminalBackend, TextFieldsTakeCleanTextOnly) {
    Terminal t("a\x1b[Ab\nFactuur-{Klant}\n2\n");
    Alert alert;
    auto field = std::make_shared<TextField>();
    alert.setAccessoryView(field);
    alert.addButtonWithTitle("Verder");
    alert.addButtonWithTitle("Annuleren");
    EXPECT_EQ(alert.runModal(), kAlertSecondButtonReturn);
    EXPECT_EQ(field->stringValue(), "Factuur-{Klant}");
    EXPECT_NE(t.out.str().find("Ongeldige tekst: stuurtekens zijn niet toegestaan."), std::string::npos);
    auto line = t.session.last();
    EXPECT_EQ(line["fields"][0]["shown"], "");
    EXPECT_EQ(line["fields"][0]["chosen"], "Factuur-{Klant}");
}

TEST(TerminalBackend, EndOfInputCancelsThisAndLaterDialogs) {
    Terminal t("3\n");
    SeparatorAlert s;
    EXPECT_EQ(s.alert.runModal(), kAlertCancelledReturn);  // input ends at the buttons
    EXPECT_EQ(s.popup->indexOfSelectedItem(), 2);
    std::string shown = t.out.str();
    EXPECT_EQ(s.alert.runModal(), kAlertCancelledReturn);
    OpenPanel panel;
    EXPECT_EQ(panel.runModal(), kPanelCancelResponse);
    EXPECT_EQ(t.out.str(), shown);  // nothing more is shown once input has ended
    EXPECT_EQ(t.session.lines().size(), 3u);
}

TEST(TerminalBackend, ChromeGoesThroughTheTextProvider) {
    Terminal t("9\n1\n");
    setDialogTextProvider([](const std::string& key) {
        if (key == "Kies een knop (1-%lu, Enter = 1): ") return std::string("Choose a button (1-%lu, Enter = 1): ");
        if (key == "Ongeldige keuze, probeer het opnieuw.") return std::string("Invalid choice, try again.");
        return key;
    });
    Alert alert;
    alert.addButtonWithTitle("Save");
    alert.addButtonWithTitle("Cancel");
    EXPECT_EQ(alert.runModal(), kAlertFirstButtonReturn);
    EXPECT_NE(t.out.str().find("Choose a button (1-2, Enter = 1): Invalid choice, try again.\n"), std::string::npos);
}

TEST(TerminalBackend, OpenPanelChecksWhatIsTyped) {
    qvtest::TempDir home;
    qvtest::ScopedEnv env("HOME", home.path().string());
    qvtest::writeFile(home / "Data.CSV", "a\n1\n");
    qvtest::writeFile(home / "notes.md", "x");
    std::filesystem::create_directory(home / "uit");

    Terminal t("~/weg.csv\n~/notes.md\n~/uit\n~/Data.CSV\n~/Data.CSV\n~\n\n");
    OpenPanel files;
    files.setTitle("Kies een UTF-8 CSV- of tekstbestand");
    std::vector<ContentType> types;
    for (const char* ext : {"csv", "tsv", "txt", "qvnotatype"}) {
        if (auto type = ContentType::typeWithFilenameExtension(ext)) types.push_back(*type);
    }
    files.setAllowedContentTypes(types);
    EXPECT_EQ(files.runModal(), kPanelOKResponse);
    EXPECT_EQ(files.URL(), home / "Data.CSV");
    std::string out = t.out.str();
    EXPECT_NE(out.find("Kies een bestand (csv, tsv, txt)."), std::string::npos);
    EXPECT_NE(out.find("Dit pad bestaat niet: " + (home / "weg.csv").string()), std::string::npos);
    EXPECT_NE(out.find("Dit bestandstype is hier niet toegestaan: " + (home / "notes.md").string() +
                       " (toegestaan: csv, tsv, txt)"),
              std::string::npos);
    EXPECT_NE(out.find("Dit is een map; kies een bestand: " + (home / "uit").string()), std::string::npos);

    OpenPanel folder;
    folder.setTitle("Kies een uitvoermap");
    folder.setCanChooseFiles(false);
    folder.setCanChooseDirectories(true);
    EXPECT_EQ(folder.runModal(), kPanelOKResponse);  // a file first, then "~"
    EXPECT_EQ(folder.URL(), home.path());
    EXPECT_NE(t.out.str().find("Dit is geen map; kies een map: "), std::string::npos);

    EXPECT_EQ(folder.runModal(), kPanelCancelResponse);  // an empty line cancels
    auto lines = t.session.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]["extensions"], nlohmann::json::array({"csv", "tsv", "txt"}));
    EXPECT_EQ(lines[1]["folders"], true);
    EXPECT_EQ(lines[1]["path"], home.path().string());
}

TEST(TerminalBackend, ShowsTextAsTheCommandLineDoes) {
    // Every place a dialog prints texts: the message and informative text (several lines), the
    // choices of a pop-up and the buttons (one line each).
    for (const qvtest::TerminalCase& c : qvtest::terminalCases()) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        Terminal t("\n\n");
        Alert alert;
        alert.setMessageText(c.text);
        alert.setInformativeText(c.text + "\r\n" + c.text);
        auto popup = std::make_shared<PopUpButton>();
        popup->addItemWithTitle(c.text);
        alert.setAccessoryView(popup);
        alert.addButtonWithTitle(c.text);
        EXPECT_EQ(alert.runModal(), kAlertFirstButtonReturn);
        EXPECT_EQ(t.out.str(), "\n" + c.shown + "\n" + c.shown + "\n" + c.shown + "\n" + "Keuzelijst:\n" + "  * 1) " +
                                   c.shown + "\n" + "Kies een nummer (1-1, Enter = 1): " + "1) " + c.shown + "\n" +
                                   "Druk op Enter om verder te gaan: ");
    }
}

TEST(TerminalBackend, ProgressInALogIsAPlainLineNowAndThenAndTheLast) {
    using namespace std::chrono_literals;
    Terminal t("");
    // Not yet due: a short task shows nothing.
    t.backend->setProgressTiming(1h, 1h);
    {
        ProgressDisplay progress("PDF-bestanden maken...");
        progress.update(1, 3);
    }
    EXPECT_EQ(t.out.str(), "");

    t.backend->setProgressTiming(0s, 1h);
    {
        ProgressDisplay progress("PDF-bestanden maken...");
        for (uint64_t done = 1; done <= 1000; ++done) progress.update(done, 1000);
    }
    EXPECT_EQ(t.out.str(),
              "PDF-bestanden maken... 1 van 1000 records\n"
              "PDF-bestanden maken... 1000 van 1000 records\n");
}

TEST(TerminalBackend, ProgressOnATerminalIsOneLineRedrawnAndErased) {
    using namespace std::chrono_literals;
    std::istringstream in;
    std::ostringstream out;
    auto backend = std::make_shared<TerminalBackend>(in, out, true, 30);
    qvtest::DialogSession session(backend);
    backend->setProgressTiming(0s, 1h);
    {
        ProgressDisplay progress("PDF-bestanden maken voor alle klanten...");
        progress.update(1, 2);
        progress.update(2, 2);
    }
    // Cut to the width in its message, never in its count; erased at the end.
    EXPECT_EQ(out.str(),
              "\r"
              "PDF-be…ten... 1 van 2 records\x1b[K"
              "\r"
              "PDF-be…ten... 2 van 2 records\x1b[K"
              "\r\x1b[K");
}
