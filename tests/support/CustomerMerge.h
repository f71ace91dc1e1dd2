#pragma once
// The command-line tests that merge a two-field form with numbered customers: their files and
// what a run left in a folder.

#include <filesystem>
#include <map>
#include <string>

#include "support/DutchHome.h"
#include "support/TestSupport.h"

namespace qvtest {

class CustomerMergeTest : public DutchHomeTest {
protected:
    // Writes `bytes` as `name` in the test's folder; its path.
    std::string file(const std::string& name, const std::string& bytes) {
        writeFile(dir_ / name, bytes);
        return (dir_ / name).string();
    }
    // A header "Naam,Plaats" and customers 1 to n.
    static std::string records(int n) {
        std::string text = "Naam,Plaats\n";
        for (int i = 1; i <= n; ++i) text += "Klant " + std::to_string(i) + ",Plaats " + std::to_string(i) + "\n";
        return text;
    }
    // Every PDF in `folder`, by name.
    static std::map<std::string, std::string> pdfs(const std::filesystem::path& folder) {
        std::map<std::string, std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().extension() == ".pdf") files[entry.path().filename().string()] = readFile(entry.path());
        return files;
    }
};

}  // namespace qvtest
