#pragma once
// `quorvel language [auto|nl|en|fr|de|es]`: shows the language in force and the stored choice,
// or stores a new choice first.

#include <iosfwd>
#include <string>

#include "CommandLineFwd.h"

struct QVLanguageOptions {
    std::string choice;  // empty: only show
};

CLI::App* QVAddLanguageCommand(CLI::App& app, QVLanguageOptions& options);

// 0 when shown (and stored, if asked), 1 when the choice could not be stored.
int QVRunLanguage(const QVLanguageOptions& options, std::ostream& out, std::ostream& err);
