#include "platform/dialogs/ContentType.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace qvui {

namespace {

std::string asciiLower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

struct TypeDatabase {
    std::map<std::string, std::string> mimeOfExtension;                // first (heaviest) wins
    std::map<std::string, std::vector<std::string>> extensionsOfMime;  // in database order
};

void addGlob(TypeDatabase& db, const std::string& mime, const std::string& ext) {
    if (!db.mimeOfExtension.emplace(ext, mime).second) return;
    db.extensionsOfMime[mime].push_back(ext);
}

// Reads the "weight:type:glob[:flags]" lines of one globs2 file, keeping plain "*.ext" globs.
void readGlobs2(TypeDatabase& db, const std::string& file) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string weight, mime, glob;
        if (!std::getline(fields, weight, ':') || !std::getline(fields, mime, ':') || !std::getline(fields, glob, ':'))
            continue;
        if (glob.size() < 3 || glob.compare(0, 2, "*.") != 0) continue;
        std::string ext = glob.substr(2);
        if (ext.find_first_of("*?[]") != std::string::npos) continue;
        addGlob(db, mime, asciiLower(ext));
    }
}

std::vector<std::string> mimeDataFolders() {
    std::vector<std::string> folders;
    const char* home = std::getenv("HOME");
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && *dataHome)
        folders.emplace_back(dataHome);
    else if (home && *home)
        folders.push_back(std::string(home) + "/.local/share");
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string list = (dirs && *dirs) ? dirs : "/usr/local/share:/usr/share";
    std::istringstream parts(list);
    std::string part;
    while (std::getline(parts, part, ':')) {
        if (!part.empty()) folders.push_back(part);
    }
    return folders;
}

const TypeDatabase& database() {
    static TypeDatabase db;
    static std::once_flag once;
    std::call_once(once, [] {
        for (const auto& folder : mimeDataFolders()) readGlobs2(db, folder + "/mime/globs2");
        // Only fills in what the desktop database does not already define.
        const std::pair<const char*, const char*> builtIn[] = {
            {"pdf", "application/pdf"}, {"csv", "text/csv"},          {"tsv", "text/tab-separated-values"},
            {"txt", "text/plain"},      {"json", "application/json"},
        };
        for (const auto& [ext, mime] : builtIn) addGlob(db, mime, ext);
    });
    return db;
}

}  // namespace

std::optional<ContentType> ContentType::typeWithFilenameExtension(const std::string& extension) {
    if (extension.empty() || extension.front() == '.' ||
        extension.find_first_of(std::string("/*?[]\0", 6)) != std::string::npos)
        return std::nullopt;
    std::string ext = asciiLower(extension);
    const TypeDatabase& db = database();
    auto found = db.mimeOfExtension.find(ext);
    if (found == db.mimeOfExtension.end()) return std::nullopt;
    ContentType type;
    type.identifier = found->second;
    type.preferredFilenameExtension = ext;
    type.extensions = db.extensionsOfMime.at(found->second);
    return type;
}

bool ContentType::matchesFileName(const std::string& fileName) const {
    std::string name = asciiLower(fileName);
    for (const auto& e : extensions) {
        // A name that is nothing but ".pdf" is a hidden file, not a PDF with an empty name.
        if (name.size() < e.size() + 2) continue;
        size_t dot = name.size() - e.size() - 1;
        if (name[dot] == '.' && name.compare(dot + 1, std::string::npos, e) == 0) return true;
    }
    return false;
}

}  // namespace qvui
