#pragma once
// The rule that decides the language in force, shared by the plug-in's text lookup and the
// stand-in host's own texts, so that both always speak the same language.

#include <string>

// The user-defaults key of the stored choice; absent means "follow the preferred languages".
inline constexpr const char* QVLanguageDefaultsKey = "org.quorvel.language";

// The stored choice when it is exactly one of "nl", "en", "fr", "de", "es"; otherwise the
// first preferred language whose primary part (before any "-" or "_", lower-cased) is one of
// them; otherwise "en".
std::string QVResolveLanguage();
