#include "input/FieldValues.h"

#include <algorithm>
#include <array>

#include "localization/Text.h"
#include "platform/Format.h"

namespace {

constexpr std::array<std::string_view, 9> kOffWords = {"0", "nee", "n", "no", "false", "onwaar", "uit", "off", ""};
constexpr std::array<std::string_view, 11> kOnWords = {"1",    "ja", "j",   "yes", "y",     "true",
                                                       "waar", "x",  "aan", "on",  "\u2713"};

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r\n\f\v";
    size_t first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(kSpace);
    return text.substr(first, last - first + 1);
}

// ASCII letters only: the words are ASCII, and a form's names are compared as written.
std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

template <size_t N>
bool isOneOf(const std::array<std::string_view, N>& words, std::string_view lowered) {
    return std::find(words.begin(), words.end(), lowered) != words.end();
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty()) out += ", ";
        out += item;
    }
    return out;
}

std::optional<std::string> optionFor(const QVFieldChoices& choices, std::string_view part) {
    for (const qvpdf::PDFChoiceOption& option : choices.options)
        if (option.exportValue == part) return option.exportValue;
    for (const qvpdf::PDFChoiceOption& option : choices.options)
        if (option.displayText == part) return option.exportValue;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> QVButtonStateForCell(const QVFieldChoices& choices, std::string_view cell) {
    const std::string_view value = trimmed(cell);
    const std::vector<std::string>& states = choices.onStates;
    // The form's own names come first: a state may well be called "1" or "Off".
    for (const std::string& state : states)
        if (state == value) return state;
    for (const auto& [label, state] : choices.labels)
        if (label == value) return state;
    if (value.empty()) return std::string("Off");
    const std::string lowered = asciiLower(value);
    for (const std::string& state : states)
        if (asciiLower(state) == lowered) return state;
    // A button without any on-state (no appearance to show one) can only be off.
    if (states.size() > 1) return std::nullopt;
    if (isOneOf(kOffWords, lowered)) return std::string("Off");
    if (states.empty()) return std::nullopt;
    if (isOneOf(kOnWords, lowered)) return states.front();
    return std::nullopt;
}

std::optional<std::vector<std::string>> QVChoiceValuesForCell(const QVFieldChoices& choices, std::string_view cell) {
    std::vector<std::string> values;
    if (trimmed(cell).empty()) return values;
    if (choices.editable) {
        std::optional<std::string> option = optionFor(choices, cell);
        if (!option) option = optionFor(choices, trimmed(cell));
        values.push_back(option ? *option : std::string(cell));
        return values;
    }
    if (!choices.multiSelect) {
        std::optional<std::string> option = optionFor(choices, cell);
        if (!option) option = optionFor(choices, trimmed(cell));
        if (!option) return std::nullopt;
        values.push_back(*option);
        return values;
    }
    size_t start = 0;
    while (start <= cell.size()) {
        size_t end = cell.find(';', start);
        if (end == std::string_view::npos) end = cell.size();
        std::string_view part = trimmed(cell.substr(start, end - start));
        if (!part.empty()) {
            std::optional<std::string> option = optionFor(choices, part);
            if (!option) return std::nullopt;
            if (std::find(values.begin(), values.end(), *option) == values.end()) values.push_back(*option);
        }
        start = end + 1;
    }
    return values;
}

std::string QVAcceptedCells(const QVFieldChoices& choices) {
    const std::string empty = QVText("(leeg)");
    if (choices.kind == QVWidgetKind::ComboBox || choices.kind == QVWidgetKind::ListBox) {
        std::vector<std::string> names{empty};
        for (const qvpdf::PDFChoiceOption& option : choices.options) {
            names.push_back(option.exportValue);
            if (option.displayText != option.exportValue) names.push_back(option.displayText);
        }
        std::string list = joined(names);
        if (choices.multiSelect) list = QVFormat(QVText("%@ (meerdere gescheiden door ';')"), {list});
        return list;
    }
    const std::vector<std::string>& states = choices.onStates;
    std::vector<std::string> names{empty};
    for (const std::string& state : states) names.push_back(state);
    for (const auto& [label, state] : choices.labels)
        if (std::find(names.begin(), names.end(), label) == names.end()) names.push_back(label);
    if (states.size() > 1) return joined(names);

    std::vector<std::string> off{empty};
    for (std::string_view word : kOffWords)
        if (!word.empty()) off.emplace_back(word);
    if (states.empty()) return QVFormat(QVText("uit: %@"), {joined(off)});
    std::vector<std::string> on(kOnWords.begin(), kOnWords.end());
    for (size_t i = 1; i < names.size(); ++i)
        if (std::find(on.begin(), on.end(), names[i]) == on.end()) on.push_back(names[i]);
    return QVFormat(QVText("uit: %@; aan: %@"), {joined(off), joined(on)});
}
