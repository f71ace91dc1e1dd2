#pragma once
// `quorvel fields TEMPLATE`: the fillable text fields of a PDF form, one name per line.

#include <iosfwd>
#include <string>

#include "CommandLineFwd.h"

struct QVFieldsOptions {
    std::string templatePath;
    bool allFields = false;  // the fields a merge with --all-fields fills
    bool details = false;    // one line per widget, with what a merge does with it
};

CLI::App* QVAddFieldsCommand(CLI::App& app, QVFieldsOptions& options);

// 0 when the names were listed, 1 when the form could not be read or is refused (the message is
// on `err`).
int QVRunFields(const QVFieldsOptions& options, std::ostream& out, std::ostream& err);
