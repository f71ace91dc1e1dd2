#pragma once
// Reading an input file whole, with the reason for a failure worded for the user.
//
// Both input files (the data file and the PDF template) are read this way; each caller puts
// the reason into its own message ("CSV lezen mislukt: %@", "PDF lezen mislukt: %@").

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"

// The most each input is read: far beyond any real data file or form, and small enough that
// reading one never exhausts the machine.
inline constexpr uint64_t kQVMaxDataFileBytes = uint64_t{1} << 30;    // 1 GiB
inline constexpr uint64_t kQVMaxTemplateBytes = uint64_t{512} << 20;  // 512 MiB

// The whole file, byte for byte, without looking at its content. Only a regular file is read
// (a device, FIFO or socket is refused without waiting for a writer), and at most `maxBytes`.
// On failure: nothing, and `error` (when given) holds one of these texts, translated and filled
// with the file's name:
//   "Het bestand '%@' bestaat niet."                  nothing there (or a path through a file)
//   "'%@' is een map, geen bestand."                  a folder
//   "'%@' is geen gewoon bestand."                    a device, FIFO, socket, ...
//   "Het bestand '%@' is groter dan %lu MiB."         more than `maxBytes` (rounded down to MiB)
//   "Het bestand '%@' kon niet worden gelezen: %s"    any other failure, with the system's text
[[nodiscard]] std::optional<std::string> QVReadWholeFile(const std::filesystem::path& path, uint64_t maxBytes,
                                                         QVError* error = nullptr);

// A file's bytes mapped read-only into memory (private to this process). Pages are read from
// the file as they are touched and count towards memory only as long as they are in use.
class QVMappedFile {
public:
    QVMappedFile() = default;
    QVMappedFile(QVMappedFile&& other) noexcept { *this = std::move(other); }
    QVMappedFile& operator=(QVMappedFile&& other) noexcept;
    QVMappedFile(const QVMappedFile&) = delete;
    QVMappedFile& operator=(const QVMappedFile&) = delete;
    ~QVMappedFile();

    std::string_view bytes() const {
        return address_ ? std::string_view(static_cast<const char*>(address_), size_) : std::string_view(copy_);
    }

private:
    friend std::optional<QVMappedFile> QVMapWholeFile(const std::filesystem::path&, uint64_t, QVError*);
    void* address_ = nullptr;  // null: the bytes are in copy_
    size_t size_ = 0;
    std::string copy_;  // a file that tells no size (as under /proc) is read instead
};

// QVReadWholeFile without the copy: the same checks, caps and reasons, and the whole file mapped.
[[nodiscard]] std::optional<QVMappedFile> QVMapWholeFile(const std::filesystem::path& path, uint64_t maxBytes,
                                                         QVError* error = nullptr);

// The name the user knows a file by: its last path component ("a/b/" names "b").
std::string QVFileDisplayName(const std::filesystem::path& path);
