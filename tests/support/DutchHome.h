#pragma once
// A test whose home and settings live in a fresh temporary folder and that speaks Dutch, so
// that neither the user's stored choices nor the machine's locale change what a test sees and
// messages can be compared with the texts the program writes.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"

namespace qvtest {

class DutchHomeTest : public ::testing::Test {
protected:
    TempDir dir_;
    ScopedEnv xdg_{"XDG_CONFIG_HOME", (dir_.path() / "config").string()};
    ScopedEnv home_{"HOME", dir_.path().string()};
    ScopedEnv language_{"LANGUAGE", "nl"};
    ScopedEnv all_{"LC_ALL", "nl_NL.UTF-8"};
};

// A test with its own home and settings and no language variables at all, so that the
// language in force is what the test itself chooses or stores.
class NoLanguageHomeTest : public ::testing::Test {
protected:
    TempDir home;
    ScopedEnv homeEnv{"HOME", home.path().string()};
    ScopedEnv configEnv{"XDG_CONFIG_HOME", (home / "config").string()};
    ScopedEnv language{"LANGUAGE", std::nullopt};
    ScopedEnv all{"LC_ALL", std::nullopt};
    ScopedEnv messages{"LC_MESSAGES", std::nullopt};
    ScopedEnv lang{"LANG", std::nullopt};
};

// Runs the built `quorvel` command with the arguments.
inline CommandResult runQuorvel(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), (binDir() / "quorvel").string());
    return runCommand(arguments);
}

}  // namespace qvtest
