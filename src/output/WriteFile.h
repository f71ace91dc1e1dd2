#pragma once
// Puts one complete PDF on disk as a new file, never over an existing one.

#include <filesystem>
#include <string_view>

#include "platform/Error.h"

// Creates `url` (mode 0600 before the umask), writes all of `bytes` and closes it. Answers
// true only then. An existing entry at `url` (file, folder, symbolic link) is left exactly as
// it was.
//
// Where the file system allows, the bytes are written into a nameless file in the target's
// folder that receives its name only once it is complete, and only if the name is still free:
// a process killed halfway leaves no file at all, never a truncated PDF under a final name.
// Elsewhere the file is created under its name (fail-if-exists) and written there; on a
// failure the incomplete file is removed, and the message says so when even that fails.
bool QVWriteNewPDF(std::string_view bytes, const std::filesystem::path& url, QVError* error);
