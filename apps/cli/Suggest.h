#pragma once
// Near misses: how far a typed name is from a known one, and the known one meant.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CommandLineFwd.h"

// Edit distance of two names, ignoring ASCII case; anything past `limit` counts as limit + 1.
size_t QVEditDistance(std::string_view a, std::string_view b, size_t limit);

// The line that follows a usage error for a mistyped command or option, such as
// "Bedoelde je --separator?"; empty when nothing typed is close to a known name.
std::string QVTypoHint(const CLI::App& app, int argc, const char* const* argv);
