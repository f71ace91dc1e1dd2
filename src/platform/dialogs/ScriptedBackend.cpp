#include "platform/dialogs/ScriptedBackend.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>

#include "platform/Format.h"
#include "platform/dialogs/Alert.h"
#include "platform/dialogs/Controls.h"
#include "platform/dialogs/OpenPanel.h"

namespace qvui {

using Json = nlohmann::json;

namespace {

constexpr std::streamsize kMaxScriptBytes = 16 << 20;

bool fail(QVError* error, std::string message) {
    if (error) error->message = std::move(message);
    return false;
}

std::string answerMessage(size_t number, const std::string& detail) {
    return QVFormat(dialogText("Antwoord %lu van het dialoogscript: %@"), {number, detail});
}

bool integerIn(const Json& v, long long low, long long high, long long& out) {
    if (v.is_number_unsigned()) {
        auto u = v.get<unsigned long long>();
        if (u > static_cast<unsigned long long>(high)) return false;
        out = static_cast<long long>(u);
        return out >= low;
    }
    if (!v.is_number_integer()) return false;
    out = v.get<long long>();
    return out >= low && out <= high;
}

// Reads one element of the script; false with the reason in `why` when it is malformed.
bool parseAnswer(const Json& element, ScriptedBackend::Answer& answer, std::string& why) {
    if (!element.is_object()) {
        why = dialogText("dit is geen JSON-object.");
        return false;
    }
    for (const auto& [key, value] : element.items()) {
        if (key == "button") {
            long long n = 0;
            if (value.is_string())
                answer.buttonTitle = value.get<std::string>();
            else if (integerIn(value, 1, INT_MAX - 1000, n))
                answer.buttonNumber = n;
            else {
                why = dialogText("'button' moet een knopnummer vanaf 1 of een knoptitel zijn.");
                return false;
            }
        } else if (key == "popups") {
            std::vector<std::optional<long long>> list;
            bool ok = value.is_array();
            for (size_t i = 0; ok && i < value.size(); ++i) {
                long long n = 0;
                if (value[i].is_null())
                    list.emplace_back();
                else if (integerIn(value[i], -1, INT_MAX, n))
                    list.emplace_back(n);
                else
                    ok = false;
            }
            if (!ok) {
                why = dialogText("'popups' moet een lijst van itemnummers vanaf -1 of null zijn.");
                return false;
            }
            answer.popups = std::move(list);
        } else if (key == "fields") {
            std::vector<std::optional<std::string>> list;
            bool ok = value.is_array();
            for (size_t i = 0; ok && i < value.size(); ++i) {
                if (value[i].is_null())
                    list.emplace_back();
                else if (value[i].is_string())
                    list.emplace_back(value[i].get<std::string>());
                else
                    ok = false;
            }
            if (!ok) {
                why = dialogText("'fields' moet een lijst van teksten of null zijn.");
                return false;
            }
            answer.fields = std::move(list);
        } else if (key == "cancel") {
            if (!value.is_boolean()) {
                why = dialogText("'cancel' moet true of false zijn.");
                return false;
            }
            answer.cancel = value.get<bool>();
        } else if (key == "path") {
            if (!value.is_string()) {
                why = dialogText("'path' moet een tekst zijn.");
                return false;
            }
            answer.path = value.get<std::string>();
        } else {
            why = QVFormat(dialogText("onbekend lid '%@'."), {key});
            return false;
        }
    }
    bool forAlert = answer.buttonNumber || answer.buttonTitle || answer.popups || answer.fields;
    if (answer.path && forAlert) {
        why = dialogText("'path' hoort bij een open-paneel en gaat niet samen met 'button', 'popups' of 'fields'.");
        return false;
    }
    if (answer.cancel && (answer.buttonNumber || answer.buttonTitle || answer.path)) {
        why = dialogText("'cancel' gaat niet samen met 'button' of 'path'.");
        return false;
    }
    return true;
}

}  // namespace

std::shared_ptr<ScriptedBackend> ScriptedBackend::fromJSON(std::string_view script, QVError* error) {
    Json root;
    try {
        root = Json::parse(script.begin(), script.end());
    } catch (const Json::exception& e) {
        fail(error, QVFormat(dialogText("Het dialoogscript is geen geldige JSON: %@"), {std::string(e.what())}));
        return nullptr;
    }
    if (!root.is_array()) {
        fail(error, dialogText("Het dialoogscript moet een JSON-lijst zijn."));
        return nullptr;
    }
    std::vector<Answer> answers;
    answers.reserve(root.size());
    for (size_t i = 0; i < root.size(); ++i) {
        Answer answer;
        answer.number = i + 1;
        std::string why;
        if (!parseAnswer(root[i], answer, why)) {
            fail(error, answerMessage(i + 1, why));
            return nullptr;
        }
        answers.push_back(std::move(answer));
    }
    return std::shared_ptr<ScriptedBackend>(new ScriptedBackend(std::move(answers)));
}

std::shared_ptr<ScriptedBackend> ScriptedBackend::fromFile(const std::filesystem::path& path, QVError* error) {
    std::error_code ec;
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in || std::filesystem::is_directory(path, ec)) {
        int err = std::filesystem::is_directory(path, ec) ? EISDIR : errno;
        fail(error, QVFormat(dialogText("Het dialoogscript kan niet gelezen worden: %@: %s"),
                             {path.string(), std::strerror(err ? err : ENOENT)}));
        return nullptr;
    }
    std::string text;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        text.append(chunk, static_cast<size_t>(in.gcount()));
        if (static_cast<std::streamsize>(text.size()) > kMaxScriptBytes) {
            fail(error, QVFormat(dialogText("Het dialoogscript is te groot: %@"), {path.string()}));
            return nullptr;
        }
    }
    if (in.bad()) {
        fail(error, QVFormat(dialogText("Het dialoogscript kan niet gelezen worden: %@: %s"),
                             {path.string(), std::strerror(EIO)}));
        return nullptr;
    }
    return fromJSON(text, error);
}

const ScriptedBackend::Answer* ScriptedBackend::take() {
    if (next_ >= answers_.size()) return nullptr;
    return &answers_[next_++];
}

std::string ScriptedBackend::problem(const Answer& answer, const std::string& detail) {
    problems_.push_back(answerMessage(answer.number, detail));
    return problems_.back();
}

AlertAnswer ScriptedBackend::runAlert(Alert& alert) {
    const Answer* a = take();
    if (!a) return {kAlertCancelledReturn, {}};
    if (a->path) {
        return {kAlertCancelledReturn,
                problem(*a, dialogText("dit antwoord is voor een open-paneel, maar er werd een melding getoond."))};
    }

    // Everything is checked before anything is changed, so a refused answer leaves the
    // controls as they were.
    View* root = alert.accessoryView().get();
    auto popups = viewsOfType<PopUpButton>(root);
    auto fields = viewsOfType<TextField>(root);
    std::vector<std::string> buttons = alert.buttonTitles();
    if (a->popups) {
        if (a->popups->size() > popups.size()) {
            return {kAlertCancelledReturn,
                    problem(*a, QVFormat(dialogText("de melding heeft %lu keuzelijsten, het antwoord noemt er %lu."),
                                         {popups.size(), a->popups->size()}))};
        }
        for (size_t i = 0; i < a->popups->size(); ++i) {
            const auto& item = (*a->popups)[i];
            if (item && *item >= popups[i]->numberOfItems()) {
                return {kAlertCancelledReturn, problem(*a, QVFormat(dialogText("keuzelijst %lu heeft geen item %lu."),
                                                                    {i + 1, static_cast<unsigned long>(*item)}))};
            }
        }
    }
    if (a->fields && a->fields->size() > fields.size()) {
        return {kAlertCancelledReturn,
                problem(*a, QVFormat(dialogText("de melding heeft %lu tekstvelden, het antwoord noemt er %lu."),
                                     {fields.size(), a->fields->size()}))};
    }
    int response = kAlertFirstButtonReturn;
    if (a->cancel) {
        response = kAlertCancelledReturn;
    } else if (a->buttonNumber) {
        if (*a->buttonNumber > static_cast<long long>(buttons.size())) {
            return {kAlertCancelledReturn,
                    problem(*a, QVFormat(dialogText("knop %lu bestaat niet; de melding heeft %lu knoppen."),
                                         {static_cast<unsigned long>(*a->buttonNumber), buttons.size()}))};
        }
        response = kAlertFirstButtonReturn + static_cast<int>(*a->buttonNumber) - 1;
    } else if (a->buttonTitle) {
        size_t i = 0;
        while (i < buttons.size() && buttons[i] != *a->buttonTitle) ++i;
        if (i == buttons.size()) {
            return {kAlertCancelledReturn,
                    problem(*a, QVFormat(dialogText("er is geen knop met de titel '%@'."), {*a->buttonTitle}))};
        }
        response = kAlertFirstButtonReturn + static_cast<int>(i);
    }

    if (a->popups) {
        for (size_t i = 0; i < a->popups->size(); ++i) {
            if (const auto& item = (*a->popups)[i]) popups[i]->selectItemAtIndex(static_cast<int>(*item));
        }
    }
    if (a->fields) {
        for (size_t i = 0; i < a->fields->size(); ++i) {
            if (const auto& text = (*a->fields)[i]) fields[i]->setStringValue(*text);
        }
    }
    return {response, {}};
}

PanelAnswer ScriptedBackend::runOpenPanel(const OpenPanel& panel) {
    const Answer* a = take();
    if (!a || a->cancel) return {};
    if (!a->path) {
        return {std::nullopt,
                problem(*a, dialogText("dit antwoord is voor een melding, maar er werd een open-paneel getoond."))};
    }
    std::filesystem::path chosen = expandUserPath(*a->path);
    if (QVError why; !openPanelAccepts(panel, chosen, &why)) return {std::nullopt, problem(*a, why.message)};
    return {chosen, {}};
}

}  // namespace qvui
