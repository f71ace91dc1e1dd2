// Whole merges typed at a pseudo-terminal, as a person at a text console makes them.
#include <gtest/gtest.h>

#include <algorithm>

#include "WorkflowFixture.h"
#include "platform/dialogs/TerminalText.h"

using namespace qvtest;

namespace {

// Enter at every question after the two files: each dialog's first button, each field and
// pop-up as it stands.
std::string enterEverywhere(const WorkflowFiles& files) {
    return files.form.string() + "\n" + files.csv.string() + "\n" + "\n\n" +  // separator: the comma, Verder
           "\n" +                                                             // preview: Verder
           "\n\n" +                           // mapping: the overview as proposed, Verder
           "\n" +                             // Losse PDF's
           "\n\n" +                           // pattern merge-{#}, Verder
           "\n\n" +                           // Geen watermerk, Verder
           "\n" +                             // Zonder logboek
           files.out.string() + "\n" + "\n";  // the report
}

}  // namespace

TEST(TerminalMerge, EnterAnswersEveryDialogWithItsFirstButton) {
    WorkflowFiles files("Text Box 1,Text Box 2\nAmsterdam,Jansen\nUtrecht,de Vries\n");
    std::string shown = runCommandInTerminal(enterEverywhere(files), 100);

    EXPECT_TRUE(contains(shown, "Kies een knop (1-3, Enter = 1): ")) << shown;
    EXPECT_TRUE(contains(shown, "2 PDF-bestanden gemaakt.")) << shown;
    EXPECT_FALSE(contains(shown, "Ongeldige keuze")) << shown;
    EXPECT_EQ(folderNames(files.out), (std::vector<std::string>{"merge-000001.pdf", "merge-000002.pdf"}));
    EXPECT_TRUE(contains(pdfText(files.out / "merge-000002.pdf"), "de Vries"));
}

TEST(TerminalMerge, TheMappingIsOneOverviewAndTheReminderReturnsToIt) {
    // "Text Box 1" has no column of its name; "Stad" is to feed it.
    WorkflowFiles files("Stad,Text Box 2\nAmsterdam,Jansen\nUtrecht,de Vries\n");
    std::string typed = files.form.string() + "\n" + files.csv.string() + "\n" + "\n\n" + "\n" +
                        "\n\n" +        // mapping: done, Verder, though a field has no column
                        "\n" +          // the reminder
                        "1\n2\n\n\n" +  // back at the overview: row 1 gets column 2 (Stad), Verder
                        "\n" + "\n\n" + "\n\n" + "\n" + files.out.string() + "\n" + "\n";
    std::string shown = runCommandInTerminal(typed, 100);

    EXPECT_FALSE(contains(shown, "Scroll voor meer velden")) << shown;
    EXPECT_TRUE(contains(shown,
                         "Controleer de voorgestelde koppelingen en kies voor elk PDF-veld een kolom.\n"
                         "     PDF-veld    CSV-kolom\n"
                         "  1) Text Box 1  Kies een kolom...\n"
                         "  2) Text Box 2  Text Box 2\n"
                         "Nummer om te wijzigen (1-2, Enter = klaar): "))
        << shown;
    // After the reminder the dialog opens at the overview again, not at the first field's list.
    size_t reminder = shown.find("Er ontbreekt een koppeling voor PDF-veld 'Text Box 1'.");
    ASSERT_NE(reminder, std::string::npos) << shown;
    std::string after = shown.substr(reminder);
    size_t overview = after.find("  1) Text Box 1  Kies een kolom...\n");
    size_t list = after.find("CSV-kolom voor PDF-veld Text Box 1:\n");
    ASSERT_NE(overview, std::string::npos) << after;
    ASSERT_NE(list, std::string::npos) << after;
    EXPECT_LT(overview, list);
    EXPECT_TRUE(contains(after, "  1) Text Box 1  Stad\n")) << after;
    // Only the row asked for was listed with its choices.
    EXPECT_FALSE(contains(shown, "CSV-kolom voor PDF-veld Text Box 2:")) << shown;

    EXPECT_TRUE(contains(shown, "2 PDF-bestanden gemaakt.")) << shown;
    std::string first = pdfText(files.out / "merge-000001.pdf");
    EXPECT_TRUE(contains(first, "Amsterdam") && contains(first, "Jansen")) << first;
}

TEST(TerminalMerge, TextsFoldAtSpacesToTheTerminalsWidth) {
    WorkflowFiles files("Text Box 1,Text Box 2\nAmsterdam,Jansen\nUtrecht,de Vries\n");
    std::string shown = runCommandInTerminal(enterEverywhere(files), 40);

    EXPECT_TRUE(contains(shown, "\nKies het teken dat de kolommen in je\ngegevensbestand scheidt.\n")) << shown;
    EXPECT_TRUE(contains(shown, "2 PDF-bestanden gemaakt.")) << shown;
    // No line is wider than the terminal, and none ends or starts inside a word of the texts
    // that were folded. Answers are typed ahead without echo, so what follows a prompt ("...): ")
    // shares its line here; on a real terminal the typed line ends it.
    // On a loaded machine the progress line appears too, redrawn after a carriage return.
    size_t start = 0;
    while (start < shown.size()) {
        size_t end = std::min({shown.find('\n', start), shown.find('\r', start), shown.find("): ", start)});
        if (end == std::string::npos) end = shown.size();
        size_t next = end + 1;
        if (end < shown.size() && shown[end] == ')') next = end += 3;
        std::string line = shown.substr(start, end - start);
        // Control sequences (the bold of the headings, erasing the progress line) take no room.
        for (size_t esc; (esc = line.find("\x1b[")) != std::string::npos;) {
            size_t final = esc + 2;
            while (final < line.size() && (line[final] < 0x40 || line[final] > 0x7E)) ++final;
            line.erase(esc, final - esc + 1);
        }
        EXPECT_LE(qvui::terminalWidth(line), 40u) << "[" << line << "]";
        start = next;
    }
    for (const char* whole : {"gegevensbestand", "formuliervelden", "verwijderbare", "persoonlijke"})
        EXPECT_TRUE(contains(shown, whole)) << whole << " was cut:\n" << shown;
}

TEST(TerminalMerge, TheMergeShowsItsRecordsOnOneLineRedrawnInPlace) {
    WorkflowFiles files("Text Box 1,Text Box 2\nAmsterdam,Jansen\nUtrecht,de Vries\nGouda,Visser\n");
    std::string shown = runCommandInTerminal(enterEverywhere(files), 100, true);

    const size_t first = shown.find("\rPDF-bestanden maken... 1 van 3 records\x1b[K");
    const std::string last = "\rPDF-bestanden maken... 3 van 3 records\x1b[K\r\x1b[K";
    const size_t end = shown.find(last);
    ASSERT_NE(first, std::string::npos) << shown;
    ASSERT_NE(end, std::string::npos) << shown;
    // All on one line, erased before the report, which starts on a clean line.
    EXPECT_EQ(shown.substr(first, end - first).find('\n'), std::string::npos) << shown;
    EXPECT_TRUE(contains(shown.substr(end + last.size()), "3 PDF-bestanden gemaakt.")) << shown;
    EXPECT_EQ(folderNames(files.out).size(), 3u);
}
