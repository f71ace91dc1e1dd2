#pragma once
// Puts Dutch in force for a test, whatever the machine's locale or stored choice, so that
// messages can be compared with the texts the program writes.

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace qvtest {

class DutchTexts : public ::testing::Test {
protected:
    TempDir config_;
    ScopedEnv xdg_{"XDG_CONFIG_HOME", config_.path().string()};
    ScopedEnv language_{"LANGUAGE", "nl"};
    ScopedEnv all_{"LC_ALL", "nl_NL.UTF-8"};
};

}  // namespace qvtest
