#pragma once
// Puts one complete PDF on disk as a new file, never over an existing one.

#include <cstdint>
#include <filesystem>
#include <memory>
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

// The same new file written in pieces, for output too large to hold in memory: created as
// QVWriteNewPDF creates it, and given its name by commit() only. Destroyed without a commit (or
// after a failure), it leaves nothing under its name.
class QVNewPDFFile {
public:
    // Creates the file (nameless where the file system allows); null with the message of
    // QVWriteNewPDF otherwise.
    static std::unique_ptr<QVNewPDFFile> create(const std::filesystem::path& url, QVError* error);
    // Only a nameless file: where the file system has none, null with `unsupported` set and no
    // message.
    static std::unique_ptr<QVNewPDFFile> createNameless(const std::filesystem::path& url, QVError* error,
                                                        bool* unsupported);
    ~QVNewPDFFile();
    QVNewPDFFile(const QVNewPDFFile&) = delete;
    QVNewPDFFile& operator=(const QVNewPDFFile&) = delete;

    // Appends `bytes`. On failure the file is given up, with QVWriteNewPDF's message.
    bool write(std::string_view bytes, QVError* error);
    // Reads back `length` bytes written before, from `offset`.
    bool readBack(uint64_t offset, size_t length, char* into) const;
    // Gives the complete file its name (never over an existing entry) and closes it.
    bool commit(QVError* error);

private:
    explicit QVNewPDFFile(std::filesystem::path url) : url_(std::move(url)) {}
    bool abandon(int stage, int cause, QVError* error);
    std::filesystem::path url_;
    int fd_ = -1;
    bool nameless_ = false;
    uint64_t written_ = 0;
};

// The same in two steps, so that files made on several threads can be named in an order of
// the caller's choosing: QVPrepareNewPDF writes the bytes into a nameless file in the
// target's folder (where the file system has none, it only keeps the bytes), and
// QVNameNewPDF gives the file its name, with QVWriteNewPDF's guarantees and messages. A
// prepared file that is never named vanishes with its object.
class QVPreparedPDF {
public:
    QVPreparedPDF(QVPreparedPDF&& other) noexcept = default;
    QVPreparedPDF& operator=(QVPreparedPDF&& other) noexcept = default;
    ~QVPreparedPDF() = default;

private:
    QVPreparedPDF() = default;
    friend std::optional<QVPreparedPDF> QVPrepareNewPDF(std::string_view, const std::filesystem::path&, QVError*);
    friend bool QVNameNewPDF(QVPreparedPDF&, QVError*);
    std::filesystem::path url_;
    std::unique_ptr<QVNewPDFFile> file_;  // the nameless file, written completely
    std::string bytes_;                   // without a nameless file: what to write under the name
};

std::optional<QVPreparedPDF> QVPrepareNewPDF(std::string_view bytes, const std::filesystem::path& url,
                                             QVError* error);
bool QVNameNewPDF(QVPreparedPDF& file, QVError* error);
