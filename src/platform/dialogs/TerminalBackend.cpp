#include "platform/dialogs/TerminalBackend.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <iostream>

#include "platform/Format.h"
#include "platform/Unicode.h"
#include "platform/dialogs/Alert.h"
#include "platform/dialogs/Controls.h"
#include "platform/dialogs/OpenPanel.h"
#include "platform/dialogs/ScrollView.h"
#include "platform/dialogs/TerminalText.h"

namespace qvui {

namespace {

std::string trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// A whole number from 1 to `count`, or none.
std::optional<int> choiceNumber(const std::string& typed, int count) {
    std::string t = trimmed(typed);
    int n = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), n);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size() || n < 1 || n > count) return std::nullopt;
    return n;
}

constexpr size_t kFallbackWidth = 80;

// The rows of a table: each pop-up with the label just before it; labels before the first row
// are the column headings.
struct TableRows {
    std::vector<std::string> headings;
    std::vector<std::string> titles;
    std::vector<PopUpButton*> popups;
};

TableRows tableRows(View& table) {
    TableRows rows;
    std::vector<std::string> pending;
    for (View* view : viewTreeOrder(&table)) {
        if (auto* label = dynamic_cast<Label*>(view)) {
            pending.push_back(label->stringValue());
        } else if (auto* popup = dynamic_cast<PopUpButton*>(view)) {
            if (rows.popups.empty() && pending.size() > 1) rows.headings.assign(pending.begin(), pending.end() - 1);
            rows.titles.push_back(pending.empty() ? popup->accessibilityLabel() : pending.back());
            rows.popups.push_back(popup);
            pending.clear();
        }
    }
    if (rows.popups.empty()) rows.headings = pending;
    return rows;
}

std::string padded(const std::string& text, size_t width) {
    size_t used = terminalWidth(text);
    return used >= width ? text : text + std::string(width - used, ' ');
}

}  // namespace

TerminalBackend::TerminalBackend() : TerminalBackend(std::cin, std::cout, isatty(STDOUT_FILENO) == 1) {
    followTerminal_ = true;
}

TerminalBackend::TerminalBackend(std::istream& in, std::ostream& out, bool emphasise, size_t width)
    : in_(in), out_(out), emphasise_(emphasise), width_(width) {}

size_t TerminalBackend::width() const {
    if (!followTerminal_) return width_;
    // Output that goes to a file or a pipe is left unfolded for whoever reads it; a terminal
    // that does not tell its size gets the classic 80 columns.
    if (isatty(STDOUT_FILENO) != 1) return 0;
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return kFallbackWidth;
    return size.ws_col;
}

std::optional<std::string> TerminalBackend::ask(const std::string& prompt) {
    if (ended_) return std::nullopt;
    out_ << wrapText(QVEscapeForTerminal(prompt), width()) << std::flush;
    std::string line;
    if (!std::getline(in_, line)) {
        ended_ = true;
        out_ << '\n' << std::flush;
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void TerminalBackend::say(const std::string& text, bool multiline, size_t indent) {
    out_ << wrapText(multiline ? QVEscapeLinesForTerminal(text) : QVEscapeForTerminal(text), width(), indent) << '\n';
}

void TerminalBackend::heading(const std::string& text) {
    std::string safe = wrapText(QVEscapeLinesForTerminal(text), width());
    if (emphasise_)
        out_ << "\x1b[1m" << safe << "\x1b[0m\n";
    else
        out_ << safe << '\n';
}

bool TerminalBackend::askPopUp(PopUpButton& popup) {
    const std::string& name = popup.accessibilityLabel();
    say((name.empty() ? dialogText("Keuzelijst") : name) + ":");
    int count = popup.numberOfItems();
    if (count == 0) {
        say("  " + dialogText("(geen keuzes)"));
        return true;
    }
    int selected = popup.indexOfSelectedItem();
    for (int i = 0; i < count; ++i) {
        std::string marker = (i == selected ? "  * " : "    ") + std::to_string(i + 1) + ") ";
        say(marker + popup.itemTitleAtIndex(i), false, marker.size());
    }
    std::string prompt = selected >= 0
                             ? QVFormat(dialogText("Kies een nummer (1-%lu, Enter = %lu): "),
                                        {static_cast<unsigned long>(count), static_cast<unsigned long>(selected + 1)})
                             : QVFormat(dialogText("Kies een nummer (1-%lu): "), {static_cast<unsigned long>(count)});
    for (;;) {
        auto line = ask(prompt);
        if (!line) return false;
        if (trimmed(*line).empty() && selected >= 0) return true;
        if (auto n = choiceNumber(*line, count)) {
            popup.selectItemAtIndex(*n - 1);
            return true;
        }
        say(dialogText("Ongeldige keuze, probeer het opnieuw."));
    }
}

bool TerminalBackend::askField(TextField& field) {
    say(dialogText("Tekstveld") + ": " + field.stringValue());
    for (;;) {
        auto line = ask(dialogText("Nieuwe tekst (Enter = ongewijzigd): "));
        if (!line) return false;
        if (line->empty()) return true;
        switch (checkTypedText(*line)) {
        case TypedTextProblem::none: field.setStringValue(*line); return true;
        case TypedTextProblem::invalidUtf8: say(dialogText("Ongeldige tekst: dit is geen UTF-8.")); break;
        case TypedTextProblem::controlCharacter:
            say(dialogText("Ongeldige tekst: stuurtekens zijn niet toegestaan."));
            break;
        }
    }
}

std::optional<int> TerminalBackend::askButton(const Alert& alert) {
    std::vector<std::string> buttons = alert.buttonTitles();
    int count = static_cast<int>(buttons.size());
    std::string row;
    for (int i = 0; i < count; ++i) row += (i ? "   " : "") + std::to_string(i + 1) + ") " + buttons[i];
    say(row, false, 3);
    // Enter presses the first button, the dialog's default, as it does in a window.
    std::string prompt =
        count == 1 ? dialogText("Druk op Enter om verder te gaan: ")
                   : QVFormat(dialogText("Kies een knop (1-%lu, Enter = 1): "), {static_cast<unsigned long>(count)});
    for (;;) {
        auto line = ask(prompt);
        if (!line) return std::nullopt;
        if (trimmed(*line).empty()) return 0;
        if (auto n = choiceNumber(*line, count)) return *n - 1;
        for (int i = 0; i < count; ++i) {
            if (trimmed(*line) == buttons[i]) return i;
        }
        say(dialogText("Ongeldige keuze, probeer het opnieuw."));
    }
}

// The overview of a table: one numbered line per row with its current choice, then a row to
// change by number, until Enter leaves it as it stands.
bool TerminalBackend::askTable(View& table) {
    TableRows rows = tableRows(table);
    size_t count = rows.popups.size();
    if (count == 0) {
        for (const std::string& heading : rows.headings) say(heading);
        return true;
    }
    std::string number = std::to_string(count);
    size_t numberWidth = number.size() + 2;  // "12) "
    size_t titleWidth = 0;
    for (const std::string& title : rows.titles)
        titleWidth = std::max(titleWidth, terminalWidth(QVEscapeForTerminal(title)));
    if (!rows.headings.empty()) titleWidth = std::max(titleWidth, terminalWidth(QVEscapeForTerminal(rows.headings[0])));
    // Long titles are shortened in the middle, as a window shortens them, so that the chosen
    // column stays on the same line.
    size_t columns = width() ? width() : kFallbackWidth;
    size_t cap = std::max<size_t>(12, (columns - std::min(columns, numberWidth + 4)) / 2);
    titleWidth = std::min(titleWidth, cap);

    // A long column name folds under its own column.
    size_t valueIndent = 2 + numberWidth + titleWidth + 2;
    auto overview = [&] {
        if (!rows.headings.empty()) {
            std::string line =
                "  " + std::string(numberWidth, ' ') + padded(QVEscapeForTerminal(rows.headings[0]), titleWidth);
            for (size_t h = 1; h < rows.headings.size(); ++h) line += "  " + QVEscapeForTerminal(rows.headings[h]);
            out_ << wrapText(line, width(), valueIndent) << '\n';
        }
        for (size_t i = 0; i < count; ++i) {
            std::string n = std::to_string(i + 1);
            std::string title = truncateMiddle(QVEscapeForTerminal(rows.titles[i]), titleWidth);
            std::string line = "  " + std::string(number.size() - n.size(), ' ') + n + ") " +
                               padded(title, titleWidth) + "  " +
                               QVEscapeForTerminal(rows.popups[i]->titleOfSelectedItem());
            out_ << wrapText(line, width(), valueIndent) << '\n';
        }
    };

    overview();
    std::string prompt =
        QVFormat(dialogText("Nummer om te wijzigen (1-%lu, Enter = klaar): "), {static_cast<unsigned long>(count)});
    for (;;) {
        auto line = ask(prompt);
        if (!line) return false;
        if (trimmed(*line).empty()) return true;
        auto n = choiceNumber(*line, static_cast<int>(count));
        if (!n) {
            say(dialogText("Ongeldige keuze, probeer het opnieuw."));
            continue;
        }
        if (!askPopUp(*rows.popups[static_cast<size_t>(*n - 1)])) return false;
        out_ << '\n';
        overview();
    }
}

AlertAnswer TerminalBackend::runAlert(Alert& alert) {
    if (ended_) return {kAlertCancelledReturn, {}};
    out_ << '\n';
    heading(alert.messageText());
    // The whole accessory view is listed here, so a text that asks to scroll would mislead.
    const std::string& informative = alert.informativeTextWithoutScrolling().empty()
                                         ? alert.informativeText()
                                         : alert.informativeTextWithoutScrolling();
    if (!informative.empty()) say(informative, true);

    View* table = nullptr;  // the table being listed; its own controls are asked there
    for (View* view : viewTreeOrder(alert.accessoryView().get())) {
        if (table && view->isDescendantOf(table)) continue;
        bool answered = true;
        if (view->accessibilityRole() == AccessibilityRole::table) {
            table = view;
            answered = askTable(*view);
        } else if (auto* label = dynamic_cast<Label*>(view)) {
            if (!label->stringValue().empty()) say(label->stringValue());
        } else if (auto* popup = dynamic_cast<PopUpButton*>(view)) {
            answered = askPopUp(*popup);
        } else if (auto* field = dynamic_cast<TextField*>(view)) {
            answered = askField(*field);
        } else if (auto* text = dynamic_cast<TextView*>(view)) {
            say(text->string(), true);
        }
        if (!answered) return {kAlertCancelledReturn, {}};
    }

    auto button = askButton(alert);
    if (!button) return {kAlertCancelledReturn, {}};
    return {kAlertFirstButtonReturn + *button, {}};
}

PanelAnswer TerminalBackend::runOpenPanel(const OpenPanel& panel) {
    if (ended_) return {};
    out_ << '\n';
    heading(panel.title());
    std::string extensions;
    for (const auto& type : panel.allowedContentTypes())
        extensions += (extensions.empty() ? "" : ", ") + type.preferredFilenameExtension;
    if (panel.canChooseFiles() && panel.canChooseDirectories())
        say(dialogText("Kies een bestand of map."));
    else if (panel.canChooseDirectories())
        say(dialogText("Kies een map."));
    else if (!extensions.empty())
        say(QVFormat(dialogText("Kies een bestand (%@)."), {extensions}));
    else
        say(dialogText("Kies een bestand."));

    for (;;) {
        auto line = ask(dialogText("Pad (leeg = annuleren): "));
        if (!line || trimmed(*line).empty()) return {};
        std::filesystem::path chosen = expandUserPath(*line);
        QVError why;
        if (openPanelAccepts(panel, chosen, &why)) return {chosen, {}};
        say(why.message);
    }
}

void TerminalBackend::setProgressTiming(Clock::duration delay, Clock::duration plainEvery) {
    progressDelay_ = delay;
    plainEvery_ = plainEvery;
}

void TerminalBackend::beginProgress(const std::string& message) {
    endProgress();
    progress_ = Progress{message, Clock::now(), {}, false, 0, 0};
}

void TerminalBackend::updateProgress(uint64_t done, uint64_t total) {
    if (!progress_) return;
    Progress& p = *progress_;
    const Clock::time_point now = Clock::now();
    if (now - p.start < progressDelay_) return;
    const bool last = done >= total;
    // In place the line may be redrawn often; a log gets a line now and then, and the last.
    const Clock::duration every = emphasise_ ? Clock::duration(std::chrono::milliseconds(100)) : plainEvery_;
    if (p.shown && !last && now - p.drawn < every) return;
    if (p.shown && !emphasise_ && done == p.lastDone && total == p.lastTotal) return;
    const std::string count = QVFormat(dialogText("%lu van %lu records"),
                                       {static_cast<unsigned long>(done), static_cast<unsigned long>(total)});
    std::string message = QVEscapeForTerminal(p.message);
    if (emphasise_) {
        // One line that fits, or the carriage return would only return to its last part.
        const size_t columns = width() ? width() - 1 : 0;
        const size_t countWidth = terminalWidth(count) + 1;
        if (columns > countWidth) message = truncateMiddle(message, columns - countWidth);
        out_ << '\r' << message << ' ' << count << "\x1b[K" << std::flush;
    } else {
        out_ << message << ' ' << count << '\n' << std::flush;
    }
    p.shown = true;
    p.drawn = now;
    p.lastDone = done;
    p.lastTotal = total;
}

void TerminalBackend::endProgress() {
    // What follows starts on a clean line.
    if (progress_ && progress_->shown && emphasise_) out_ << "\r\x1b[K" << std::flush;
    progress_.reset();
}

}  // namespace qvui
