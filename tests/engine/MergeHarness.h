#pragma once
// Running merges in the engine tests: the run's arguments with the defaults of a fresh merge,
// owning the bytes and text the settings point at (support/MergeRun.h runs them), and what
// independent readers make of the files it wrote.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "output/DutchTexts.h"
#include "platform/pdf/Document.h"
#include "support/FormFixtures.h"
#include "support/MergeRun.h"
#include "support/TestSupport.h"

namespace qvtest {

struct MergeArgs {
    std::string templateBytes;
    std::string data;
    QVOutputMode mode = QVOutputModeSeparate;
    std::string pattern = "merge-{#}";
    uint16_t separator = QVSeparatorComma;
    std::optional<QVFieldMapping> mapping;
    std::optional<std::string> watermarkColumn;
    std::optional<std::string> watermarkPattern;
    QVWatermarkStyle style = QVDefaultWatermarkStyle;
    QVFieldPolicy fieldPolicy = QVFieldPolicy::Strict;
};

// The run's settings for these arguments; the arguments own the bytes and text they point to.
inline QVMergeSettings settingsFor(const MergeArgs& a, const fs::path& folder) {
    QVMergeSettings s = mergeSettings(a.templateBytes, a.data, folder);
    s.mode = a.mode;
    s.filenamePattern = a.pattern;
    s.separator = a.separator;
    s.mapping = a.mapping;
    s.watermarkColumn = a.watermarkColumn;
    s.watermarkPattern = a.watermarkPattern;
    s.style = a.style;
    s.fieldPolicy = a.fieldPolicy;
    return s;
}

class MergeTest : public DutchTexts {
protected:
    TempDir out_;

    MergeOutcome merge(const MergeArgs& a, std::vector<std::string> outputs = {}) {
        return mergeInto(out_.path(), a, outputs);
    }

    MergeOutcome mergeInto(const fs::path& folder, const MergeArgs& a, std::vector<std::string> outputs = {}) {
        return runMerge(settingsFor(a, folder), std::move(outputs));
    }

    // Names in the output folder, sorted.
    std::vector<std::string> files() const { return filesIn(out_.path()); }

    static std::vector<std::string> filesIn(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// A data text with the header and one row per record; cells are written as given.
inline std::string csv(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// What poppler reads as the text of a PDF file.
inline std::string pdfText(const fs::path& pdf) {
    return runCommand({"pdftotext", "-layout", pdf.string(), "-"}).output;
}

// True when qpdf finds nothing wrong with the file's structure.
inline bool qpdfChecks(const fs::path& pdf) { return runCommand({"qpdf", "--check", pdf.string()}).status == 0; }

// Annotation subtypes on each page, read back through the PDF layer.
inline std::vector<std::vector<std::string>> annotationTypes(const fs::path& pdf) {
    std::vector<std::vector<std::string>> pages;
    auto document = qvpdf::PDFDocument::initWithData(readFile(pdf));
    if (!document) return pages;
    for (size_t p = 0; p < document->pageCount(); ++p) {
        pages.emplace_back();
        for (const auto& annotation : document->pageAtIndex(p)->annotations())
            pages.back().push_back(annotation->type());
    }
    return pages;
}

}  // namespace qvtest
