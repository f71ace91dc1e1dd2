#pragma once
// The open panel for the two input files and the output folder.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Shows one open panel titled `title` (already translated) and answers the chosen location, or
// nothing when the user cancels. `folders`: only folders can be chosen, else only files.
// `extensions` restrict the files to the types the platform knows for them; when it knows none
// of them, or no list is given, any file may be chosen.
[[nodiscard]] std::optional<std::filesystem::path> chooseFile(const std::string& title,
                                                              const std::optional<std::vector<std::string>>& extensions,
                                                              bool folders);
