#include "platform/dialogs/TerminalBackend.h"

#include <unistd.h>

#include <charconv>
#include <iostream>

#include "platform/Format.h"
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

}  // namespace

TerminalBackend::TerminalBackend() : TerminalBackend(std::cin, std::cout, isatty(STDOUT_FILENO) == 1) {}

TerminalBackend::TerminalBackend(std::istream& in, std::ostream& out, bool emphasise)
    : in_(in), out_(out), emphasise_(emphasise) {}

std::optional<std::string> TerminalBackend::ask(const std::string& prompt) {
    if (ended_) return std::nullopt;
    out_ << terminalSafeText(prompt, false) << std::flush;
    std::string line;
    if (!std::getline(in_, line)) {
        ended_ = true;
        out_ << '\n' << std::flush;
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void TerminalBackend::say(const std::string& text, bool multiline) {
    out_ << terminalSafeText(text, multiline) << '\n';
}

void TerminalBackend::heading(const std::string& text) {
    std::string safe = terminalSafeText(text, true);
    if (emphasise_) out_ << "\x1b[1m" << safe << "\x1b[0m\n";
    else out_ << safe << '\n';
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
        std::string marker = i == selected ? "  * " : "    ";
        say(marker + std::to_string(i + 1) + ") " + popup.itemTitleAtIndex(i));
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
        case TypedTextProblem::none:
            field.setStringValue(*line);
            return true;
        case TypedTextProblem::invalidUtf8:
            say(dialogText("Ongeldige tekst: dit is geen UTF-8."));
            break;
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
    say(row);
    // A lone button is the usual "OK": Enter is enough. With a choice, one must be named.
    std::string prompt = count == 1 ? dialogText("Druk op Enter om verder te gaan: ")
                                    : QVFormat(dialogText("Kies een knop (1-%lu): "), {static_cast<unsigned long>(count)});
    for (;;) {
        auto line = ask(prompt);
        if (!line) return std::nullopt;
        if (count == 1 && trimmed(*line).empty()) return 0;
        if (auto n = choiceNumber(*line, count)) return *n - 1;
        for (int i = 0; i < count; ++i) {
            if (trimmed(*line) == buttons[i]) return i;
        }
        say(dialogText("Ongeldige keuze, probeer het opnieuw."));
    }
}

AlertAnswer TerminalBackend::runAlert(Alert& alert) {
    if (ended_) return {kAlertCancelledReturn, {}};
    out_ << '\n';
    heading(alert.messageText());
    if (!alert.informativeText().empty()) say(alert.informativeText(), true);

    for (View* view : viewTreeOrder(alert.accessoryView().get())) {
        bool answered = true;
        if (auto* label = dynamic_cast<Label*>(view)) {
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
    if (panel.canChooseFiles() && panel.canChooseDirectories()) say(dialogText("Kies een bestand of map."));
    else if (panel.canChooseDirectories()) say(dialogText("Kies een map."));
    else if (!extensions.empty()) say(QVFormat(dialogText("Kies een bestand (%@)."), {extensions}));
    else say(dialogText("Kies een bestand."));

    for (;;) {
        auto line = ask(dialogText("Pad (leeg = annuleren): "));
        if (!line || trimmed(*line).empty()) return {};
        std::filesystem::path chosen = expandUserPath(*line);
        auto why = openPanelRejection(panel, chosen);
        if (!why) return {chosen, {}};
        say(*why);
    }
}

}  // namespace qvui
