#pragma once
// The language in force and the lookup of user-visible texts by their Dutch wording.

#include <string>

// The code of the language in force: always one of "nl", "en", "fr", "de", "es".
std::string QVLanguage();

// Stores the choice: "auto" removes the stored setting, anything else is stored as given.
void QVSetLanguage(const std::string& code);

// The translation of the Dutch text `key` in the language in force, or `key` itself.
std::string QVText(const std::string& key);
