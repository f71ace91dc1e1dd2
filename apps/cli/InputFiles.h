#pragma once
// The command line's own ways of reading its inputs: a data file in another encoding, and the
// field mapping from a file.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

// The encodings --encoding accepts, by name: "utf-8" (the default) and "windows-1252".
std::vector<std::string> QVEncodingNames();

// The data file as UTF-8 text. "utf-8" reads it as the engine does (QVReadDataFile), and when
// that fails on a byte that is not UTF-8, the message gains where the byte is and how to read or
// re-save a file that Windows wrote in its own code page. "windows-1252" converts every byte.
std::optional<std::string> QVReadDataFileIn(const std::filesystem::path& path, const std::string& encoding,
                                            QVError* error);

// The FIELD=COLUMN entries of a mapping file: lines "FIELD=COLUMN" (spaces around the names
// and the equals sign do not count; empty lines and lines starting with # are skipped), or a CSV of two columns whose first row names them. Fails with
// the file and line that cannot be read.
std::optional<std::vector<std::string>> QVReadMappingFile(const std::filesystem::path& path, QVError* error);
