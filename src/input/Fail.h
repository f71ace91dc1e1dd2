#pragma once
// Fills the caller's error report, when it passed a place for one, and always answers false,
// so that a function with a true-or-false result can return QVFail(...) as its failure.
// The message must already be translated and filled in.

#include <string>

#include "platform/Error.h"

bool QVFail(QVError* error, std::string message);
