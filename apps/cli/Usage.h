#pragma once
// The command line's own words (usage lines, section titles, usage errors) in the language in
// force, like every other text Quorvel shows.

#include <string>

#include "CommandLineFwd.h"

// The exit status of a usage error (the arguments do not fit the command).
constexpr int kUsageErrorStatus = 2;

// Titles, labels and the help flag of `app` and every subcommand in the language in force, and
// usage errors told in it. Call once every option has been declared.
void QVSpeakTheLanguageInForce(CLI::App& app);

// The message of a usage error: CLI11's report put into the language in force (the English one
// when its form is not known), then where to find help.
std::string QVUsageErrorMessage(const CLI::App* app, const CLI::Error& error);
