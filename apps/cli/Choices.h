#pragma once
// The names the command line accepts for the engine's enumerated settings.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

// "comma", "semicolon", "tab" and their code units.
const std::map<std::string, uint16_t>& QVSeparatorsByName();

// The separator name that lets the data decide (the default of merge and preview).
inline constexpr const char* QVAutomaticSeparatorName = "auto";

// The separator for `text`: the named one, or with "auto" the one the data most likely uses.
// Nothing for an unknown name. `guessed` tells whether the data decided.
[[nodiscard]] std::optional<uint16_t> QVSeparatorFor(const std::string& name, std::string_view text,
                                                     bool* guessed = nullptr);

// The name of a separator's code unit ("comma", ...).
std::string QVSeparatorName(uint16_t separator);

// The line that follows a failure when another separator would parse the data into several
// columns and the chosen one does not: it names that separator and --separator. Empty
// otherwise.
std::string QVSeparatorHint(std::string_view text, uint16_t separator);

// "auto" and the names of QVSeparatorsByName, for CLI11's membership check.
std::vector<std::string> QVSeparatorChoiceNames();

// The data file's options that several commands share: --separator (auto by default) and
// --encoding (utf-8 by default), each with its help text and its check of the names.
void QVAddSeparatorOption(CLI::App& command, std::string& separator);
void QVAddEncodingOption(CLI::App& command, std::string& encoding);

// "separate", "combined".
const std::map<std::string, uint64_t>& QVOutputModesByName();

// "bottom", "middle", "top".
const std::map<std::string, uint64_t>& QVWatermarkPositionsByName();

// The names of `choices`, for CLI11's membership check.
template <typename Value>
std::vector<std::string> QVChoiceNames(const std::map<std::string, Value>& choices) {
    std::vector<std::string> names;
    for (const auto& entry : choices) names.push_back(entry.first);
    return names;
}
