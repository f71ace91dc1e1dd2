#pragma once
// The failure value that every operation of ours hands back beside its empty result.

#include <string>
#include <utility>

struct QVError {
    std::string domain = "Quorvel";
    int code = 1;
    std::string message;  // already translated: shown to the user as it stands

    const std::string& localizedDescription() const { return message; }
};

// Fills the caller's error report, when it passed a place for one, and always answers false,
// so that a function with a true-or-false result can return QVFail(...) as its failure.
// The message must already be translated and filled in.
inline bool QVFail(QVError* error, std::string message) {
    if (error) {
        error->domain = "Quorvel";
        error->code = 1;
        error->message = std::move(message);
    }
    return false;
}
