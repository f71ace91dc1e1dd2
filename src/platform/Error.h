#pragma once
// The failure value that every operation of ours hands back beside its empty result.

#include <string>

struct QVError {
    std::string domain = "Quorvel";
    int code = 1;
    std::string message;  // already translated: shown to the user as it stands

    const std::string& localizedDescription() const { return message; }
};
