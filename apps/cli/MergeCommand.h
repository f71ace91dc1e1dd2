#pragma once
// `quorvel merge`: one merge from the command line, on the public engine entry points.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "CommandLineFwd.h"

struct QVMergeOptions {
    std::string templatePath;
    std::string dataPath;
    std::string outputPath;
    std::string mode = "separate";
    std::string pattern = "merge-{#}";
    std::string separator = "auto";
    std::vector<std::string> maps;  // FIELD=COLUMN
    std::string mapFile;            // more FIELD=COLUMN entries, read before --map's
    std::string encoding = "utf-8";
    std::optional<std::string> watermarkColumn;
    std::optional<std::string> watermarkPattern;  // an empty pattern is a pattern
    std::string watermarkPosition = "bottom";
    double watermarkSize = 11.0;
    double watermarkGray = 0.35;
    bool log = false;
    bool dryRun = false;
    bool quiet = false;
    bool allFields = false;  // fill check boxes, radio buttons and choices too
    bool verbose = false;
    unsigned jobs = 0;                   // 0: as many threads as processors this process may use
    std::optional<std::string> shard;    // "K/N" or "auto"
    std::optional<std::string> records;  // "3-5,12"
    bool skipExisting = false;
};

CLI::App* QVAddMergeCommand(CLI::App& app, QVMergeOptions& options);

// Exit status: 0 success, 1 the merge (or its check) failed, 2 the arguments do not fit the
// template (a --map entry that is malformed or names no field) or the data (--records), 130
// when Ctrl-C or SIGTERM stopped the merge.
int QVRunMerge(const QVMergeOptions& options, std::ostream& out, std::ostream& err);
