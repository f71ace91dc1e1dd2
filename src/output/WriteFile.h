#pragma once
// Puts one complete PDF on disk as a new file, never over an existing one.

#include <filesystem>
#include <optional>
#include <string>
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

// The same in two steps, so that files made on several threads can be named in an order of
// the caller's choosing: QVPrepareNewPDF writes the bytes into a nameless file in the
// target's folder (where the file system has none, it only keeps the bytes), and
// QVNameNewPDF gives the file its name, with QVWriteNewPDF's guarantees and messages. A
// prepared file that is never named vanishes with its object.
class QVPreparedPDF {
public:
    QVPreparedPDF(QVPreparedPDF&& other) noexcept;
    QVPreparedPDF& operator=(QVPreparedPDF&& other) noexcept;
    ~QVPreparedPDF();
    QVPreparedPDF(const QVPreparedPDF&) = delete;
    QVPreparedPDF& operator=(const QVPreparedPDF&) = delete;

private:
    QVPreparedPDF() = default;
    friend std::optional<QVPreparedPDF> QVPrepareNewPDF(std::string_view, const std::filesystem::path&, QVError*);
    friend bool QVNameNewPDF(QVPreparedPDF&, QVError*);
    std::filesystem::path url_;
    int fd_ = -1;        // the nameless file, written completely
    std::string bytes_;  // without a nameless file: what to write under the name
};

std::optional<QVPreparedPDF> QVPrepareNewPDF(std::string_view bytes, const std::filesystem::path& url,
                                             QVError* error);
bool QVNameNewPDF(QVPreparedPDF& file, QVError* error);
