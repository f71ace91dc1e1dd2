#pragma once
// The names the command line accepts for the engine's enumerated settings.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// "comma", "semicolon", "tab" and their code units.
const std::map<std::string, uint16_t>& QVSeparatorsByName();

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
