#pragma once
// Small helpers shared by the fuzz targets: a checked assertion that survives release builds,
// and a private scratch folder that is emptied between inputs and removed at exit.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#define QV_FUZZ_CHECK(condition)                                                               \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

namespace qvfuzz {

// One scratch folder per process under the system temporary folder. Every fuzz target that
// touches the disk works only inside it, so a finding can never spill into the user's files.
class Scratch {
public:
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvfuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // A fresh, empty sub-folder for one input.
    std::filesystem::path fresh(const std::string& name) const {
        std::filesystem::path folder = path_ / name;
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        std::filesystem::create_directory(folder, ignored);
        return folder;
    }

private:
    std::filesystem::path path_;
};

// Nothing of ours may look at the user's real settings or language while fuzzing.
inline void isolateEnvironment(const Scratch& scratch) {
    setenv("XDG_CONFIG_HOME", (scratch.path() / "config").c_str(), 1);
    setenv("HOME", scratch.path().c_str(), 1);
    setenv("LANGUAGE", "nl", 1);
}

}  // namespace qvfuzz
