#pragma once
// `quorvel preview DATA [--separator auto|comma|semicolon|tab]`: reads and parses a data file and
// prints what the preview dialog would show.

#include <iosfwd>
#include <string>

#include "CommandLineFwd.h"

struct QVPreviewOptions {
    std::string data;
    std::string separator = "auto";
    std::string encoding = "utf-8";
};

// Adds the subcommand to `app`; its values land in `options`.
CLI::App* QVAddPreviewCommand(CLI::App& app, QVPreviewOptions& options);

// Runs the preview: 0 when the file was read and parsed, 1 when that failed (the message is on
// `err`).
int QVRunPreview(const QVPreviewOptions& options, std::ostream& out, std::ostream& err);
