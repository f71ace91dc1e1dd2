#pragma once
// The host application's own texts (its menu bar on the terminal, its messages), written in
// Dutch and looked up in the strings tables beside the host binary. The host does not link the
// plug-in's localization code; it resolves the language by the same rule (the stored choice
// "org.quorvel.language", else the preferred languages, else English), so that its texts and
// the plug-in's always speak one language, also right after the language command.

#include <string>

// The translation of `dutch` in the language in force, or `dutch` itself.
std::string QVHostText(const std::string& dutch);

// The language in force: one of "nl", "en", "fr", "de", "es".
std::string QVHostLanguage();
