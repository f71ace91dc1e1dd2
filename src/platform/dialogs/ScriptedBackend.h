#pragma once
// A dialog backend that answers from a script instead of a person: a JSON array whose
// elements answer the dialogs in the order they are shown.
//
//   alert:      {"button": 2} (1-based, in the order the buttons were added) or
//               {"button": "Toch doorgaan"} (by title); without "button", the first button;
//               "popups": [1, null, -1] item to select in each pop-up of the accessory view, in
//               view-tree order (0-based; null leaves it; -1 selects nothing);
//               "fields": ["merge-{#}", null] text for each editable field, same order;
//               {"cancel": true} closes the alert without a button.
//   open panel: {"path": "/abs/or/~/path"} or {"cancel": true}.
//
// A dialog shown after the script has run out is answered as cancelled. An answer that does
// not fit the dialog (a missing button, too many pop-ups, a path the panel would refuse) is
// used up, cancels the dialog and is kept as a problem, which the transcript shows.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"
#include "platform/dialogs/Backend.h"

namespace qvui {

class ScriptedBackend : public DialogBackend {
public:
    // Null with `error` filled when the text is not a script of the form above.
    [[nodiscard]] static std::shared_ptr<ScriptedBackend> fromJSON(std::string_view script, QVError* error);
    [[nodiscard]] static std::shared_ptr<ScriptedBackend> fromFile(const std::filesystem::path& path, QVError* error);

    AlertAnswer runAlert(Alert& alert) override;
    PanelAnswer runOpenPanel(const OpenPanel& panel) override;

    size_t answersLeft() const { return answers_.size() - next_; }
    const std::vector<std::string>& problems() const { return problems_; }

    struct Answer {
        size_t number = 0;  // 1-based place in the script
        bool cancel = false;
        std::optional<long long> buttonNumber;
        std::optional<std::string> buttonTitle;
        std::optional<std::vector<std::optional<long long>>> popups;
        std::optional<std::vector<std::optional<std::string>>> fields;
        std::optional<std::string> path;
    };

private:
    explicit ScriptedBackend(std::vector<Answer> answers) : answers_(std::move(answers)) {}
    const Answer* take();
    std::string problem(const Answer& answer, const std::string& detail);

    std::vector<Answer> answers_;
    size_t next_ = 0;
    std::vector<std::string> problems_;
};

}  // namespace qvui
