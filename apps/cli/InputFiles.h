#pragma once
// The command line's own ways of reading its inputs: a data file in another encoding, and the
// field mapping from a file.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "input/DelimitedText.h"
#include "input/ReadFile.h"
#include "platform/Error.h"

// The encodings --encoding accepts, by name: "utf-8" (the default) and "windows-1252".
std::vector<std::string> QVEncodingNames();

// The text of a data file: the file itself, mapped, or its conversion to UTF-8.
struct QVDataFileText {
    std::optional<QVMappedFile> mapped;
    std::string converted;
    std::string_view text() const { return mapped ? mapped->bytes() : std::string_view(converted); }
};

// The data file as UTF-8 text. "utf-8" maps it as the engine reads it (QVMapDataFile), and when
// that fails on a byte that is not UTF-8, the message gains where the byte is and how to read or
// re-save a file that Windows wrote in its own code page. "windows-1252" converts every byte.
[[nodiscard]] std::optional<QVDataFileText> QVReadDataFileIn(const std::filesystem::path& path,
                                                             const std::string& encoding, QVError* error);

// The FIELD=COLUMN entries of a mapping file: lines "FIELD=COLUMN" (spaces around the names
// and the equals sign do not count; empty lines and lines starting with # are skipped), or a CSV of two columns whose first row names them. Fails with
// the file and line that cannot be read.
[[nodiscard]] std::optional<std::vector<std::string>> QVReadMappingFile(const std::filesystem::path& path,
                                                                        QVError* error);
