#pragma once
// Puts Dutch in force for a test, whatever the machine's locale or stored choice, so that
// messages can be compared with the texts the program writes.

#include "support/DutchHome.h"

namespace qvtest {

using DutchTexts = DutchHomeTest;

}  // namespace qvtest
