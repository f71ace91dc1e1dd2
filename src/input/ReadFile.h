#pragma once
// Reading an input file whole, with the reason for a failure worded for the user.
//
// Both input files (the data file and the PDF template) are read this way; each caller puts
// the reason into its own message ("CSV lezen mislukt: %@", "PDF lezen mislukt: %@").

#include <filesystem>
#include <optional>
#include <string>

// The whole file, byte for byte, without looking at its content. On failure: nothing, and
// `reason` (when given) holds one of these texts, translated and filled with the file's name:
//   "Het bestand '%@' bestaat niet."                  nothing there (or a path through a file)
//   "'%@' is een map, geen bestand."                  a folder
//   "Het bestand '%@' kon niet worden gelezen: %s"    any other failure, with the system's text
std::optional<std::string> QVReadWholeFile(const std::filesystem::path& path, std::string* reason = nullptr);

// The name the user knows a file by: its last path component ("a/b/" names "b").
std::string QVFileDisplayName(const std::filesystem::path& path);
