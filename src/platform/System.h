#pragma once
// Small system helpers: the system's text for an error number, random UUIDs, UTC timestamps
// in the one ISO 8601 form this program writes, and what system the program runs on.

#include <chrono>
#include <string>

// The system's text for `errnum` (as strerror) in the language in force, safe to call from any
// thread. The text is in English when the system has no translation: the C library's message
// catalogs (Debian: libc-l10n) and a locale of the language (Debian: locales, generated for
// nl_NL, fr_FR, de_DE or es_ES with UTF-8) are both needed.
std::string QVStrError(int errnum);

// The same text in `language` ("nl", "en", "fr", "de", "es"), or in English as above.
std::string QVStrErrorIn(int errnum, const std::string& language);

// A fresh random (version 4) UUID, upper case, as "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
std::string QVNewUUIDString();

// `time` in UTC as "2026-12-08T04:16:18Z": whole seconds (any fraction is dropped), trailing Z.
std::string QVISO8601String(std::chrono::system_clock::time_point time);

// The current time in the same form.
std::string QVISO8601Now();

// The operating system as its own release file names it ("Debian GNU/Linux 12 (bookworm)",
// PRETTY_NAME of /etc/os-release or /usr/lib/os-release), or else the kernel's name and release
// ("Linux 6.1.0-18-amd64").
std::string QVOperatingSystemName();

// The processor architecture the program runs on, as the kernel names it ("x86_64", "aarch64").
std::string QVMachineArchitecture();
