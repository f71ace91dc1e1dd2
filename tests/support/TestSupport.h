#pragma once
// Small helpers shared by the tests: private temporary folders, whole-file I/O, an isolated
// environment (HOME, XDG_CONFIG_HOME, language variables) and running independent tools.

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qvtest {

namespace fs = std::filesystem;

// A fresh folder under the system temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

// Sets an environment variable (or unsets it with nullopt) and restores the old value.
class ScopedEnv {
public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

std::string readFile(const fs::path& path);
void writeFile(const fs::path& path, const std::string& bytes);

// The names in a folder; the files in it (those ending in `extension`, when given) with their bytes.
std::set<std::string> folderEntries(const fs::path& folder);
std::map<std::string, std::string> folderContents(const fs::path& folder, const std::string& extension = "");

// The messages of a template refused as a whole and of one with a field no merge can fill.
extern const std::string kInvalid;
extern const std::string kUnsupported;

struct CommandResult {
    int status = -1;     // exit status, or -1 when it did not exit normally
    std::string output;  // standard output
    std::string errors;  // standard error
};
// Runs argv[0] with the arguments, without a shell, and collects its output.
CommandResult runCommand(const std::vector<std::string>& argv, const std::string& input = "");
// The built `quorvel merge` of `form` and `data` into `out`, followed by `more`, as argv.
std::vector<std::string> quorvelMerge(const std::string& form, const std::string& data, const fs::path& out,
                                      const std::vector<std::string>& more = {});

// The folder of the repository's test data, and of the real-world forms.
fs::path testData();
fs::path formsDir();
// Where the built binaries (and their Resources folder) are.
fs::path binDir();

}  // namespace qvtest
