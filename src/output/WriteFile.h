#pragma once
// Puts one complete PDF on disk as a new file, never over an existing one.
//
// Files are made inside an output folder held open (output/OutputFolder.h) under a name that is
// one plain entry of it; messages name the file by that name. The folder must outlive every
// file made in it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "output/OutputFolder.h"
#include "platform/Error.h"
#include "platform/FileDescriptor.h"

// Creates `name` in `folder` (mode 0600 before the umask), writes all of `bytes` and closes
// it. Answers true only then. An existing entry at `name` (file, folder, symbolic link) is left
// exactly as it was.
//
// Where the file system allows, the bytes are written into a nameless file in the folder that
// receives its name only once it is complete, and only if the name is still free: a process
// killed halfway leaves no file at all, never a truncated PDF under a final name. Elsewhere the
// file is created under its name (fail-if-exists) and written there; on a failure the
// incomplete file is removed, and the message says so when even that fails.
[[nodiscard]] bool QVWriteNewPDF(std::string_view bytes, const QVOutputFolder& folder, const std::string& name,
                                 QVError* error);

// The same new file written in pieces, for output too large to hold in memory: created as
// QVWriteNewPDF creates it, and given its name by commit() only. Destroyed without a commit (or
// after a failure), it leaves nothing under its name.
class QVNewPDFFile {
public:
    // Creates the file (nameless where the file system allows); null with the message of
    // QVWriteNewPDF otherwise.
    [[nodiscard]] static std::unique_ptr<QVNewPDFFile> create(const QVOutputFolder& folder, const std::string& name,
                                                              QVError* error);
    // Only a nameless file: where the file system has none, null with `unsupported` set and no
    // message.
    [[nodiscard]] static std::unique_ptr<QVNewPDFFile> createNameless(const QVOutputFolder& folder,
                                                                      const std::string& name, QVError* error,
                                                                      bool* unsupported);
    ~QVNewPDFFile();
    QVNewPDFFile(const QVNewPDFFile&) = delete;
    QVNewPDFFile& operator=(const QVNewPDFFile&) = delete;

    // Appends `bytes`. On failure the file is given up, with QVWriteNewPDF's message.
    [[nodiscard]] bool write(std::string_view bytes, QVError* error);
    // Reads back `length` bytes written before, from `offset`.
    [[nodiscard]] bool readBack(uint64_t offset, size_t length, char* into) const;
    // Gives the complete file its name (never over an existing entry) and closes it.
    [[nodiscard]] bool commit(QVError* error);

private:
    QVNewPDFFile(const QVOutputFolder& folder, std::string name) : folder_(&folder), name_(std::move(name)) {}
    bool abandon(int stage, int cause, QVError* error);
    const QVOutputFolder* folder_;
    std::string name_;
    QVFileDescriptor fd_;
    bool nameless_ = false;
    uint64_t written_ = 0;
};

// The same in two steps, so that files made on several threads can be named in an order of
// the caller's choosing: QVPrepareNewPDF writes the bytes into a nameless file in the folder
// (where the file system has none, it only keeps the bytes), and QVNameNewPDF gives the file
// its name, with QVWriteNewPDF's guarantees and messages. A prepared file that is never named
// vanishes with its object.
class QVPreparedPDF;
[[nodiscard]] std::optional<QVPreparedPDF> QVPrepareNewPDF(std::string_view bytes, const QVOutputFolder& folder,
                                                           const std::string& name, QVError* error);
[[nodiscard]] bool QVNameNewPDF(QVPreparedPDF& file, QVError* error);

class QVPreparedPDF {
public:
    QVPreparedPDF(QVPreparedPDF&& other) noexcept = default;
    QVPreparedPDF& operator=(QVPreparedPDF&& other) noexcept = default;
    ~QVPreparedPDF() = default;

private:
    explicit QVPreparedPDF(const QVOutputFolder& folder) : folder_(&folder) {}
    friend std::optional<QVPreparedPDF> QVPrepareNewPDF(std::string_view, const QVOutputFolder&, const std::string&,
                                                        QVError*);
    friend bool QVNameNewPDF(QVPreparedPDF&, QVError*);
    const QVOutputFolder* folder_;
    std::string name_;
    std::unique_ptr<QVNewPDFFile> file_;  // the nameless file, written completely
    std::string bytes_;                   // without a nameless file: what to write under the name
};
