#pragma once
// The language in force and the lookup of user-visible texts by their Dutch wording.

#include <cstdint>
#include <string>

// The code of the language in force: always one of "nl", "en", "fr", "de", "es".
std::string QVLanguage();

// Stores the choice: "auto" removes the stored setting, anything else is stored as given.
// False when the user defaults could not be written; the language in force then stays.
[[nodiscard]] bool QVSetLanguage(const std::string& code);

// The translation of the Dutch text `key` in the language in force, or `key` itself.
std::string QVText(const std::string& key);

// Whether a count of `n` things takes the singular in the language in force: only 1 in Dutch,
// English, German and Spanish; 0 and 1 in French.
bool QVIsSingularCount(uint64_t n);
