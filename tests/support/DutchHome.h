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

// Runs the built `quorvel` command with the arguments.
inline CommandResult runQuorvel(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), (binDir() / "quorvel").string());
    return runCommand(arguments);
}

}  // namespace qvtest
