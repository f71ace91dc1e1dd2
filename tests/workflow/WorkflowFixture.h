#pragma once
// What the merge command's tests share: the input files in a private folder, an engine that
// only records what it was handed, and the answers of a complete run.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/ScriptedDialogs.h"
#include "engine/Engine.h"
#include "support/TestSupport.h"
#include "workflow/MergeEntryPoints.h"

namespace qvtest {

// One call that reached the engine, with every argument copied.
struct EngineCall {
    bool logged = false;
    std::string templateBytes;
    std::string dataText;
    fs::path templateURL;
    fs::path dataURL;
    fs::path outputFolder;
    fs::path logURL;
    QVOutputMode mode = QVOutputModeSeparate;
    std::string pattern;
    uint16_t separator = 0;
    std::optional<QVFieldMapping> mapping;
    std::optional<std::string> watermarkColumn;
    std::optional<std::string> watermarkPattern;
    QVWatermarkStyle style{};
};

// Replaces the engine's entry points for the life of the object.
class RecordingEngine {
public:
    RecordingEngine();
    ~RecordingEngine();
    RecordingEngine(const RecordingEngine&) = delete;
    RecordingEngine& operator=(const RecordingEngine&) = delete;

    // What the next calls answer.
    void answer(bool succeeded, uint64_t count, std::string message = {});
    // Whether a logged call creates its log file, as the engine does unless it cannot.
    void createLogFile(bool create);
    const std::vector<EngineCall>& calls() const;

private:
    qvworkflow::MergeEntryPoints saved_;
};

// A private folder holding a two-field form, a data file whose columns match it and an empty
// output folder, with an isolated home and the Dutch language.
class WorkflowFiles {
public:
    explicit WorkflowFiles(const std::string& data = "Text Box 1,Text Box 2\nA1,B1\nA2,B2\n",
                           const char* language = "nl");

    IsolatedLanguage language;
    fs::path form;
    fs::path csv;
    fs::path out;
};

// The answers of a complete run up to and including the output folder (the report follows):
// separate files named "Brief-{#}", no watermark, no log. Indices: 0 template, 1 data file,
// 2 separator, 3 preview, 4 mapping, 5 output mode, 6 pattern, 7 watermark, 8 log, 9 folder.
nlohmann::json completeRun(const WorkflowFiles& files);

// Runs the merge command in a child process whose terminal is a pseudo-terminal `columns`
// wide (0: a size of 0 by 0, as a terminal that does not tell it), types `typed` ahead without
// echo, and answers everything the child showed, with its line ends as "\n". With
// `progressAtOnce` the merge's progress shows from its first record on.
std::string runCommandInTerminal(const std::string& typed, unsigned short columns = 0, bool progressAtOnce = false);

// Texts of the transcript lines, for compact comparisons.
std::vector<std::string> messages(const std::vector<nlohmann::json>& lines);

// The names in `folder`, sorted.
inline std::vector<std::string> folderNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// pdftotext of a PDF file, laid out as on the page.
inline std::string pdfText(const std::filesystem::path& pdf) {
    return runCommand({"pdftotext", "-layout", pdf.string(), "-"}).output;
}

inline bool contains(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

}  // namespace qvtest
