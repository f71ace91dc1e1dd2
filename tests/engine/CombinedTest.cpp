#include "engine/Combined.h"
#include "engine/MergeHarness.h"

namespace {

using namespace qvtest;

class Combined : public MergeTest {
protected:
    // Two pages, each with a field that names its page, so every page of the output shows
    // which record and page it came from.
    static std::string twoPageForm() {
        qvfixture::FormBuilder form;
        int first = form.addPage("Eerste blad");
        int second = form.addPage("Tweede blad");
        form.addWidget(first, form.addText("p1"));
        form.addWidget(second, form.addText("p2"));
        return form.build();
    }
    MergeArgs threeRecords() {
        MergeArgs a;
        a.templateBytes = twoPageForm();
        a.data = csv({"p1,p2", "R1-A,R1-B", "R2-A,R2-B", "R3-A,R3-B"});
        a.mode = QVOutputModeCombined;
        a.pattern = "ongeldig/{#}";  // never used in combined output
        return a;
    }
};

TEST_F(Combined, RecordsFollowEachOtherAsFlatPages) {
    MergeOutcome o = merge(threeRecords(), {"earlier.pdf"});
    ASSERT_EQ(o.message, "OK");
    EXPECT_EQ(o.count, 1u);
    EXPECT_EQ(o.outputs, (std::vector<std::string>{"earlier.pdf", "merge-gecombineerd.pdf"}));
    EXPECT_EQ(files(), std::vector<std::string>{"merge-gecombineerd.pdf"});

    const fs::path combined = out_ / "merge-gecombineerd.pdf";
    EXPECT_TRUE(qpdfChecks(combined));
    EXPECT_EQ(annotationTypes(combined), std::vector<std::vector<std::string>>(6));
    const char* expected[] = {"R1-A", "R1-B", "R2-A", "R2-B", "R3-A", "R3-B"};
    for (int page = 1; page <= 6; ++page) {
        std::string text =
            runCommand({"pdftotext", "-f", std::to_string(page), "-l", std::to_string(page), combined.string(), "-"})
                .output;
        EXPECT_NE(text.find(expected[page - 1]), std::string::npos) << page << ": " << text;
        EXPECT_NE(text.find(page % 2 ? "Eerste blad" : "Tweede blad"), std::string::npos) << page;
    }
    // No form is left to fill.
    EXPECT_EQ(runCommand({"qpdf", "--json", "--json-key=acroform", combined.string()}).output.find("\"fullname\""),
              std::string::npos);
}

TEST_F(Combined, AnExistingCombinedFileIsFoundAfterTheFirstPass) {
    writeFile(out_ / "merge-gecombineerd.pdf", "eerder");
    MergeArgs a = threeRecords();
    qvfixture::FormBuilder limited;
    limited.addWidget(limited.addPage(), limited.addField({"p1", "/Tx", 0, 2}));
    a.templateBytes = limited.build();
    // The record check comes first...
    EXPECT_EQ(merge(a).message, "Waarde voor 'p1' in record 2 is te lang.");

    // ...then the existing file, which stays as it was.
    a.templateBytes = twoPageForm();
    MergeOutcome o = merge(a);
    EXPECT_EQ(o.message, "Uitvoerbestand bestaat al: merge-gecombineerd.pdf");
    EXPECT_EQ(o.count, 0u);
    EXPECT_TRUE(o.outputs.empty());
    EXPECT_EQ(readFile(out_ / "merge-gecombineerd.pdf"), "eerder");

    fs::remove(out_ / "merge-gecombineerd.pdf");
    fs::create_directory(out_ / "merge-gecombineerd.pdf");
    EXPECT_EQ(merge(a).message, "Uitvoerbestand bestaat al: merge-gecombineerd.pdf");
}

// A real form made by another tool, through every output mode, read back by poppler and qpdf.
TEST_F(Combined, RealFormEndToEnd) {
    const std::string bytes = readFile(formsDir() / "acrobat-textfields.pdf");
    std::optional<std::vector<std::string>> names = QVTemplateFieldNames(bytes);
    ASSERT_TRUE(names && !names->empty());

    MergeArgs a;
    a.templateBytes = bytes;
    std::string header, row1, row2;
    for (size_t i = 0; i < names->size(); ++i) {
        header += (i ? "," : "") + std::string("\"") + (*names)[i] + "\"";
        row1 += (i ? "," : "") + std::string("Waarde") + std::to_string(i) + "x";
        row2 += (i ? "," : "") + std::string("\xC3\x89\xC3\xA9n") + std::to_string(i) + "y";
    }
    a.data = csv({header, row1, row2});
    a.watermarkPattern = "Kopie {#}";
    ASSERT_EQ(merge(a).message, "OK");
    a.mode = QVOutputModeCombined;
    ASSERT_EQ(merge(a).message, "OK");
    for (const std::string& file : files()) {
        EXPECT_TRUE(qpdfChecks(out_ / file)) << file;
        std::string text = pdfText(out_ / file);
        std::vector<int> records = {1, 2};
        if (file != "merge-gecombineerd.pdf") records = {file == "merge-000001.pdf" ? 1 : 2};
        for (int r : records) {
            EXPECT_NE(text.find("Kopie 00000" + std::to_string(r)), std::string::npos) << file;
            EXPECT_NE(text.find(r == 1 ? "Waarde0x" : "\xC3\x89\xC3\xA9n0y"), std::string::npos) << file << text;
        }
    }
    EXPECT_EQ(files().size(), 3u);
}

// A record the PDF layer cannot write (pages of an encrypted and of a plain document, which
// no single file can hold as they are): flattening it must fail with the record's position in
// the data file, and add no page.
TEST_F(Combined, FlatteningFailureNamesTheRecordAndAddsNothing) {
    auto encrypted = qvpdf::PDFDocument::initWithData(readFile(formsDir() / "encrypted-aes128-text.pdf"));
    auto plain = qvpdf::PDFDocument::initWithData(twoPageForm());
    ASSERT_TRUE(encrypted && plain);
    auto record = qvpdf::PDFDocument::init();
    ASSERT_TRUE(record->insertPage(plain->pageAtIndex(0)->copy(), 0));
    ASSERT_TRUE(record->insertPage(encrypted->pageAtIndex(0)->copy(), 1));

    QVError error;
    const QVOutputFolder folder = QVOutputFolder::open(out_.path());
    std::shared_ptr<QVCombinedOutput> combined = QVBeginCombined(folder, &error);
    ASSERT_TRUE(combined);
    EXPECT_FALSE(QVAppendFlattened(*combined, *record, qvpdf::PDFContext::ofThisThread(), 1, &error));
    EXPECT_EQ(error.message, "Vlak maken van record 2 mislukt.");
    combined.reset();
    EXPECT_TRUE(files().empty());
}

// The combined file goes to disk in pieces while records are flattened; objects written
// before (one appearance for the same value in every record) are found again on disk.
TEST_F(Combined, AFileLargerThanOnePieceIsWholeAndNamedOnlyAtTheEnd) {
    MergeArgs a = threeRecords();
    std::vector<std::string> lines = {"p1,p2"};
    for (int r = 1; r <= 4000; ++r) lines.push_back(r % 500 ? "Zelfde,Zelfde" : "R" + std::to_string(r) + ",Einde");
    a.data = csv(lines);
    ASSERT_EQ(merge(a).message, "OK");
    const fs::path file = out_ / QVCombinedFileName;
    EXPECT_TRUE(qpdfChecks(file));
    EXPECT_EQ(runCommand({"qpdf", "--show-npages", file.string()}).output, "8000\n");
    EXPECT_GT(fs::file_size(file), size_t{1} << 20);
    const std::string text = pdfText(file);
    for (const char* value : {"R500", "R2000", "R4000", "Tweede blad"})
        EXPECT_NE(text.find(value), std::string::npos) << value;
    EXPECT_EQ(files(), std::vector<std::string>{QVCombinedFileName});
}

}  // namespace
