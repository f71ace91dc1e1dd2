#pragma once
// The user's preferred languages, read from the environment as the C library's message
// catalogues read it.

#include <string>
#include <string_view>
#include <vector>

// The user's language tags, most preferred first: every entry of LANGUAGE (a colon list), then
// the effective locale (the first non-empty of LC_ALL, LC_MESSAGES, LANG). Encodings and
// modifiers are stripped ("nl_NL.UTF-8@euro" gives "nl_NL"); the C and POSIX locales, empty
// entries and repeats give nothing. Read afresh at every call.
std::vector<std::string> QVPreferredLanguages();

// One locale name as a language tag, or "" when it names no language ("C", "POSIX", "C.UTF-8").
std::string QVLanguageTagFromLocale(std::string_view locale);
