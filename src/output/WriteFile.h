#pragma once
// Puts one complete PDF on disk as a new file, never over an existing one.

#include <filesystem>
#include <string_view>

#include "platform/Error.h"

// Creates `url` (write-only, fail-if-exists, mode 0600 before the umask), writes all of
// `bytes` and closes it. Answers true only then. On a failure after creation the incomplete
// file is removed, and the message says so when even that fails; an existing entry at `url`
// (file, folder, symbolic link) is left exactly as it was.
bool QVWriteNewPDF(std::string_view bytes, const std::filesystem::path& url, QVError* error);
