#pragma once
// A strings table: translations keyed by the Dutch text. Tables are gettext .po files in
// which msgid is the Dutch text and msgstr its translation (an empty msgstr means "not
// translated" and is left out).

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

using QVStringsTable = std::unordered_map<std::string, std::string>;

// Parses the text of a .po table. A malformed table (bad syntax, bad escape, invalid UTF-8)
// gives nothing at all, never a half-read table.
[[nodiscard]] std::optional<QVStringsTable> QVParseStringsTable(std::string_view text);

// Reads and parses a table file; nothing when it is missing, unreadable or malformed.
[[nodiscard]] std::optional<QVStringsTable> QVLoadStringsTable(const std::filesystem::path& path);
