// What the template reader makes of forms written by other tools. Every file of the corpus is
// listed, so that a change in what any of them yields shows up here.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "input/Template.h"
#include "input/TemplateFields.h"
#include "support/TestSupport.h"

using qvtest::ScopedEnv;
using qvtest::TempDir;
namespace fs = std::filesystem;

namespace {

using qvtest::kInvalid;
using qvtest::kUnsupported;

struct Expected {
    std::string message;              // the refusal, or empty for a usable template
    size_t names = 0;                 // distinct field names
    size_t widgets = 0;               // entries of the field list
    std::vector<std::string> sample;  // the first names, in order
    std::string last;                 // the last name
};

Expected refused(const std::string& message) {
    Expected e;
    e.message = message;
    return e;
}

const std::map<std::string, Expected>& corpus() {
    static const std::map<std::string, Expected> table = {
        {"acrobat-textfields.pdf", {"", 9, 9, {"Text3", "Text4", "Text5"}, "Text11"}},
        {"acrobat-different-da-levels.pdf",
         {"",
          6,
          10,
          {"SingleAnnotation", "MultipeAnnotations-SameLayout", "Acrobat-SingleAnnotation"},
          "Acrobat-MultipleAnnotations-DifferentLayout"}},
        {"acrobat-rotation.pdf",
         {"",
          32,
          32,
          {"pdfbox.portrait.single.rotation0", "pdfbox.portrait.single.rotation270"},
          "pdfbox.page90.multi.rotation0"}},
        {"acrobat-control-characters.pdf",
         {"", 76, 76, {"pdfbox-nul", "pdfbox-dle", "pdfbox-crlf"}, "acrobat-paragraphbreak-manual"}},
        {"acrobat-cropbox-comb.pdf", {"", 4, 4, {"Text3", "Text4", "Text5", "Text6"}, "Text6"}},
        {"libreoffice-rotated-pages.pdf", {"", 27, 27, {"Text Box 1", "Text Box 2"}, "Text Box 27"}},
        {"libreoffice-two-text.pdf", {"", 2, 2, {"Text Box 1", "Text Box 2"}, "Text Box 2"}},
        {"soda-text-sizes.pdf", {"", 9, 9, {"Text1", "Text2"}, "Text9"}},
        {"docfly-std14-fonts.pdf", {"", 12, 12, {"Helvetica", "Helvetica-Bold"}, "Courier-BoldOblique"}},
        {"docfly-paragraph-autosize.pdf",
         {"", 6, 6, {"paragraph_font_auto_left", "paragraph_font_auto_center"}, "paragraph_font_ten_right"}},
        {"tcpdf-one-text.pdf", {"", 1, 1, {"textfield"}, "textfield"}},
        {"pdftex-one-text.pdf", {"", 1, 1, {"textfield:"}, "textfield:"}},
        {"handwritten-no-dr-kids.pdf", {"", 1, 2, {"group"}, "group"}},
        // Its text fields include a read-only one.
        {"livecycle-xfa-text.pdf", refused(kUnsupported)},
        // Encrypted, although any reader opens them without a password.
        {"encrypted-aes128-text.pdf", refused(kInvalid)},
        {"encrypted-aes256-mixed.pdf", refused(kInvalid)},
        {"libreoffice-mixed.pdf", refused(kUnsupported)},
        {"pdflib-mixed.pdf", refused(kUnsupported)},
        {"acrobat-all-kinds.pdf", refused(kUnsupported)},
        {"irs-f1040-2010-mixed.pdf", refused(kUnsupported)},
        {"sejda-mixed.pdf", refused(kUnsupported)},
    };
    return table;
}

std::vector<fs::path> corpusFiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(qvtest::formsDir()))
        if (entry.path().extension() == ".pdf") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// The widgets of a form as an independent tool sees them, in page order; nothing without it.
std::optional<nlohmann::json> widgetsByQpdf(const fs::path& file) {
    qvtest::CommandResult r = qvtest::runCommand({"qpdf", "--json=2", "--json-key=acroform", file.string()});
    // qpdf exits with 3 for warnings (damaged hint tables, say), which do not matter here.
    if (r.status != 0 && r.status != 3) return std::nullopt;
    nlohmann::json doc = nlohmann::json::parse(r.output, nullptr, false);
    if (doc.is_discarded()) return std::nullopt;
    return doc["acroform"]["fields"];
}

class RealForms : public ::testing::Test {
protected:
    TempDir dir_;
    ScopedEnv xdg_{"XDG_CONFIG_HOME", (dir_.path() / "config").string()};
    ScopedEnv language_{"LANGUAGE", "nl"};
};

}  // namespace

TEST_F(RealForms, EveryFileIsListed) {
    std::set<std::string> onDisk;
    for (const fs::path& file : corpusFiles()) onDisk.insert(file.filename().string());
    std::set<std::string> listed;
    for (const auto& [name, expected] : corpus()) listed.insert(name);
    EXPECT_EQ(onDisk, listed);
}

TEST_F(RealForms, FieldNamesOrRefusal) {
    for (const fs::path& file : corpusFiles()) {
        const std::string name = file.filename().string();
        auto found = corpus().find(name);
        if (found == corpus().end()) continue;
        const Expected& expected = found->second;
        SCOPED_TRACE(name);

        std::optional<std::string> bytes = QVReadTemplate(file);
        ASSERT_TRUE(bytes);
        QVError error;
        std::optional<std::vector<std::string>> names = QVTemplateFieldNames(*bytes, &error);
        if (!expected.message.empty()) {
            EXPECT_FALSE(names);
            EXPECT_EQ(error.message, expected.message);
            continue;
        }
        ASSERT_TRUE(names) << error.message;
        EXPECT_EQ(names->size(), expected.names);
        ASSERT_GE(names->size(), expected.sample.size());
        for (size_t i = 0; i < expected.sample.size(); ++i) EXPECT_EQ((*names)[i], expected.sample[i]);
        EXPECT_EQ(names->back(), expected.last);

        // Every usable template passes the column check against a header of its own names.
        std::shared_ptr<qvpdf::PDFDocument> document = QVDocument(*bytes);
        ASSERT_TRUE(document);
        std::vector<std::string_view> header(names->rbegin(), names->rend());
        std::optional<std::vector<QVField>> fields = QVFields(document.get(), header, nullptr, &error);
        ASSERT_TRUE(fields) << error.message;
        EXPECT_EQ(fields->size(), expected.widgets);
        for (const QVField& f : *fields) {
            ASSERT_TRUE(f.columnIndex);
            EXPECT_EQ(header[*f.columnIndex], f.name);
        }
    }
}

// Our reading of each form agrees with an independent tool: usable templates have the same
// text widgets in the same order, and every refused form holds a widget we cannot fill.
TEST_F(RealForms, AgreeWithAnIndependentReader) {
    if (qvtest::runCommand({"qpdf", "--version"}).status != 0) GTEST_SKIP() << "qpdf is not installed";
    for (const fs::path& file : corpusFiles()) {
        const std::string name = file.filename().string();
        SCOPED_TRACE(name);
        std::optional<nlohmann::json> widgets = widgetsByQpdf(file);
        ASSERT_TRUE(widgets);

        const std::string bytes = qvtest::readFile(file);
        std::shared_ptr<qvpdf::PDFDocument> document = QVDocument(bytes);
        if (!document) continue;  // encrypted: the refusal is recorded above
        QVError error;
        std::optional<std::vector<QVField>> fields = QVFields(document.get(), std::nullopt, nullptr, &error);

        auto fillable = [](const nlohmann::json& w) {
            const int flags = w.value("fieldflags", 0);
            return w.value("fieldtype", "") == "/Tx" && !w.value("fullname", "").empty() && !(flags & 1) &&
                   !(flags & (1 << 13));
        };
        if (!fields) {
            EXPECT_EQ(error.message, kUnsupported);
            bool someUnfillable = false;
            for (const auto& w : *widgets) someUnfillable = someUnfillable || !fillable(w);
            EXPECT_TRUE(someUnfillable);
            continue;
        }
        std::vector<std::string> ours, theirs;
        for (const QVField& f : *fields) ours.push_back(f.name);
        for (const auto& w : *widgets) {
            EXPECT_TRUE(fillable(w)) << w.value("fullname", "");
            theirs.push_back(w.value("fullname", ""));
        }
        EXPECT_EQ(ours, theirs);
    }
}
