#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "engine/Engine.h"
#include "engine/MergeHarness.h"
#include "output/PosixIO.h"
#include "platform/System.h"

namespace {

using namespace qvtest;
using qvfixture::textForm;

class MergeRun : public MergeTest {
protected:
    MergeArgs basic(const std::vector<std::string>& lines) {
        MergeArgs a;
        a.templateBytes = textForm({"name"});
        a.data = csv(lines);
        return a;
    }

    static std::string limitedForm(int maxLength) {
        qvfixture::FormBuilder form;
        int page = form.addPage();
        form.addWidget(page, form.addField({"name", "/Tx", 0, maxLength}));
        return form.build();
    }
};

TEST_F(MergeRun, SettingsAreCheckedBeforeAnythingIsRead) {
    MergeArgs a;  // no template, no data: only the settings can fail
    a.watermarkColumn = "name";
    a.watermarkPattern = "";
    EXPECT_EQ(merge(a).message, "Kies een watermerkkolom of een watermerkpatroon, niet beide.");
    EXPECT_EQ(merge(a).count, 0u);

    a.watermarkPattern.reset();
    a.mode = static_cast<QVOutputMode>(2);
    EXPECT_EQ(merge(a).message, "Onbekende uitvoermodus.");

    // Without a watermark the style is never looked at.
    MergeArgs b = basic({"name", "Jan"});
    b.style = {7, 0, -1};
    EXPECT_EQ(merge(b).message, "OK");
}

TEST_F(MergeRun, DataThenTemplateThenFieldsThenWatermarkColumn) {
    MergeArgs a = basic({"name"});  // header only
    a.templateBytes = "not a pdf";
    EXPECT_EQ(merge(a).message, "De CSV moet een kopregel en minstens één gegevensrij bevatten.");
    a.data = csv({"name", "Jan"});
    EXPECT_EQ(merge(a).message, "De PDF is ongeldig, leeg of beveiligd.");
    a.templateBytes = textForm({"name", "city"});
    EXPECT_EQ(merge(a).message, "CSV-kolom ontbreekt voor PDF-veld 'city'.");
    a.data = csv({"name,city", "Jan,Gent"});
    a.watermarkColumn = "customer";
    EXPECT_EQ(merge(a).message, "De gekozen watermerkkolom bestaat niet.");
    EXPECT_TRUE(files().empty());
}

TEST_F(MergeRun, ValueLengthsCountUtf16UnitsAndReportTheCsvRecord) {
    MergeArgs a = basic({"name", "abc", "a\xF0\x9F\x98\x80"});  // 3 units each
    a.templateBytes = limitedForm(3);
    fs::create_directory(out_ / "ok");
    EXPECT_EQ(mergeInto(out_ / "ok", a).message, "OK");
    fs::remove_all(out_ / "ok");

    a.data = csv({"name", "abcd"});
    EXPECT_EQ(merge(a).message, "Waarde voor 'name' in record 2 is te lang.");
    a.data = csv({"name", "abc", "ab\xF0\x9F\x98\x80"});
    EXPECT_EQ(merge(a).message, "Waarde voor 'name' in record 3 is te lang.");
    EXPECT_TRUE(files().empty());

    a.templateBytes = limitedForm(0);
    a.data = csv({"name", std::string(5000, 'x')});
    EXPECT_EQ(merge(a).message, "OK");
}

TEST_F(MergeRun, NamesThatDifferInCaseOrCompositionCollide) {
    MergeArgs a = basic({"name", "Factuur", "factuur"});
    a.pattern = "{name}";
    EXPECT_EQ(merge(a).message, "Dubbele bestandsnaam 'factuur.pdf' bij record 2. Voeg bijvoorbeeld {#} toe.");
    a.data = csv({"name", "caf\xC3\xA9", "cafe\xCC\x81"});
    EXPECT_EQ(merge(a).message, "Dubbele bestandsnaam 'cafe\xCC\x81.pdf' bij record 2. Voeg bijvoorbeeld {#} toe.");
    // Plain ASCII names and others are compared alike: the Kelvin sign lower-cases to "k".
    a.data = csv({"name", "Kelvin",
                  "\xE2\x84\xAA"
                  "elvin"});
    EXPECT_EQ(merge(a).message,
              "Dubbele bestandsnaam '\xE2\x84\xAA"
              "elvin.pdf' bij record 2. Voeg bijvoorbeeld {#} toe.");
    a.data = csv({"name", "\xC3\x84rger", "\xC3\xA4rger"});
    EXPECT_EQ(merge(a).message, "Dubbele bestandsnaam '\xC3\xA4rger.pdf' bij record 2. Voeg bijvoorbeeld {#} toe.");
    EXPECT_TRUE(files().empty());
}

TEST_F(MergeRun, AnOutputFolderHoldingNulIsAnInvalidPath) {
    // As a scripted answer can give it: cut at the NUL, it would name the existing folder.
    const fs::path folder = out_.path().string() + std::string("\0x", 2);
    MergeOutcome o = mergeInto(folder, basic({"name", "a"}));
    EXPECT_EQ(o.message, "De uitvoermap is geen geldig pad: het bevat een nulteken.");
    EXPECT_TRUE(files().empty());
}

TEST_F(MergeRun, AnExistingEntryLateInTheDataStopsTheRunBeforeAnyFileIsWritten) {
    std::vector<std::string> lines = {"name"};
    for (int i = 1; i <= 1000; ++i) lines.push_back("n" + std::to_string(i));
    MergeArgs a = basic(lines);

    fs::create_directory(out_ / "merge-000500.pdf");
    MergeOutcome o = merge(a);
    EXPECT_EQ(o.message, "Uitvoerbestand bestaat al: merge-000500.pdf");
    EXPECT_EQ(files(), std::vector<std::string>{"merge-000500.pdf"});

    // A dangling link occupies its name as well.
    fs::remove(out_ / "merge-000500.pdf");
    fs::create_symlink(out_ / "nowhere", out_ / "merge-000007.pdf");
    EXPECT_EQ(merge(a).message, "Uitvoerbestand bestaat al: merge-000007.pdf");
    EXPECT_EQ(files(), std::vector<std::string>{"merge-000007.pdf"});
}

TEST_F(MergeRun, TheCheckAloneFindsWhatTheRunWouldFindAndCreatesNothing) {
    auto check = [&](const MergeArgs& a, uint64_t* planned) {
        QVError error;
        bool ok = QVCheckMergeSettings(settingsFor(a, out_.path()), planned, &error);
        return ok ? std::string("OK") : error.message;
    };
    MergeArgs a = basic({"name", "a", "b", "c"});
    uint64_t planned = 0;
    EXPECT_EQ(check(a, &planned), "OK");
    EXPECT_EQ(planned, 3u);
    a.mode = QVOutputModeCombined;
    EXPECT_EQ(check(a, &planned), "OK");
    EXPECT_EQ(planned, 1u);
    EXPECT_TRUE(files().empty());

    // The same messages as the run, for the same reasons.
    a.mode = QVOutputModeSeparate;
    a.data = csv({"name", "a", "A"});
    a.pattern = "{name}";
    EXPECT_EQ(check(a, &planned), merge(a).message);
    EXPECT_EQ(planned, 0u);
    a.data = csv({"name", "a"});
    writeFile(out_ / "a.pdf", "keep");
    EXPECT_EQ(check(a, &planned), "Uitvoerbestand bestaat al: a.pdf");
    EXPECT_EQ(files(), std::vector<std::string>{"a.pdf"});
}

// Fails every write into the third file it creates, as a full disk would.
class DiskFullAtThirdFile : public QVPosixIO {
public:
    int openat(int folder, const char* path, int flags, mode_t mode) override {
        int fd = QVPosixIO::openat(folder, path, flags, mode);
        if (fd >= 0 && ++opened_ == 3) failing_ = fd;
        return fd;
    }
    ssize_t write(int fd, const void* buffer, size_t count) override {
        if (fd == failing_) {
            errno = ENOSPC;
            return -1;
        }
        return QVPosixIO::write(fd, buffer, count);
    }
    int close(int fd) override {
        if (fd == failing_) failing_ = -1;
        return QVPosixIO::close(fd);
    }

private:
    int opened_ = 0;
    int failing_ = -1;
};

TEST_F(MergeRun, AWriteFailureKeepsTheFilesWrittenBeforeIt) {
    MergeArgs a = basic({"name", "a", "b", "c", "d", "e"});
    DiskFullAtThirdFile io;
    MergeOutcome o;
    {
        QVScopedPosixIO scope(io);
        o = merge(a, {"earlier.pdf"});
    }
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.message, std::string("PDF schrijven mislukt: ") + QVStrError(ENOSPC));
    EXPECT_EQ(o.count, 2u);
    EXPECT_EQ(o.outputs, (std::vector<std::string>{"earlier.pdf", "merge-000001.pdf", "merge-000002.pdf"}));
    EXPECT_EQ(files(), (std::vector<std::string>{"merge-000001.pdf", "merge-000002.pdf"}));
}

TEST_F(MergeRun, SeparateOutputFillsEachRecordIntoItsOwnFile) {
    MergeArgs a;
    a.templateBytes = textForm({"naam", "adres", "kopie"});
    a.data = csv({"klant,straat", "Jan Peeters,Kerkstraat 1",
                  "\"Ren\xC3\xA9"
                  "e, Dubois\",Rue Haute 9"});
    a.mapping = QVFieldMapping{{"naam", "klant"}, {"adres", "straat"}, {"kopie", "klant"}};
    MergeOutcome o = merge(a, {"earlier.pdf"});
    ASSERT_EQ(o.message, "OK");
    EXPECT_EQ(o.count, 2u);
    EXPECT_EQ(o.outputs, (std::vector<std::string>{"earlier.pdf", "merge-000001.pdf", "merge-000002.pdf"}));
    EXPECT_EQ(files(), (std::vector<std::string>{"merge-000001.pdf", "merge-000002.pdf"}));

    std::string first = pdfText(out_ / "merge-000001.pdf");
    EXPECT_NE(first.find("Kerkstraat 1"), std::string::npos);
    EXPECT_EQ(first.find("Dubois"), std::string::npos);
    std::string second = pdfText(out_ / "merge-000002.pdf");
    EXPECT_NE(second.find("Rue Haute 9"), std::string::npos);
    // The shared column fills both fields.
    size_t at = second.find(
        "Ren\xC3\xA9"
        "e, Dubois");
    ASSERT_NE(at, std::string::npos) << second;
    EXPECT_NE(second.find("Ren\xC3\xA9"
                          "e, Dubois",
                          at + 1),
              std::string::npos);
    for (const auto& name : files()) EXPECT_TRUE(qpdfChecks(out_ / name)) << name;
}

TEST_F(MergeRun, AMissingOutputFolderFailsAtTheFirstWrite) {
    MergeArgs a = basic({"name", "a", "b"});
    for (QVOutputMode mode : {QVOutputModeSeparate, QVOutputModeCombined}) {
        a.mode = mode;
        MergeOutcome o = mergeInto(out_ / "missing", a, {"kept"});
        EXPECT_FALSE(o.ok);
        const std::string name = mode == QVOutputModeSeparate ? "merge-000001.pdf" : "merge-gecombineerd.pdf";
        EXPECT_EQ(o.message.rfind("Bestand '" + name + "' aanmaken mislukt: ", 0), 0u) << o.message;
        EXPECT_EQ(o.count, 0u);
        EXPECT_EQ(o.outputs, std::vector<std::string>{"kept"});
    }
    EXPECT_FALSE(fs::exists(out_ / "missing"));
}

TEST_F(MergeRun, ProgressIsReportedAfterEachRecordOfTheSecondPass) {
    std::vector<std::pair<uint64_t, uint64_t>> calls;
    QVSetMergeProgressHandler([&](uint64_t done, uint64_t total) { calls.emplace_back(done, total); });
    MergeOutcome o = merge(basic({"name", "a", "b", "c"}));
    QVSetMergeProgressHandler({});
    EXPECT_EQ(o.message, "OK");
    EXPECT_EQ(calls, (std::vector<std::pair<uint64_t, uint64_t>>{{1, 3}, {2, 3}, {3, 3}}));
}

TEST_F(MergeRun, TheCombinedFilesCompletionIsAStageAfterTheLastRecord) {
    for (QVOutputMode mode : {QVOutputModeSeparate, QVOutputModeCombined}) {
        std::vector<std::string> events;
        QVSetMergeProgressHandler([&](uint64_t done, uint64_t) { events.push_back(std::to_string(done)); });
        QVSetMergeStageHandler([&](QVMergeStage stage) {
            EXPECT_EQ(stage, QVMergeStage::WritingCombinedFile);
            events.push_back("combined file");
        });
        MergeArgs a = basic({"name", "a", "b"});
        a.mode = mode;
        TempDir folder;
        MergeOutcome o = mergeInto(folder.path(), a);
        QVSetMergeProgressHandler({});
        QVSetMergeStageHandler({});
        EXPECT_EQ(o.message, "OK");
        if (mode == QVOutputModeCombined)
            EXPECT_EQ(events, (std::vector<std::string>{"1", "2", "combined file"}));
        else
            EXPECT_EQ(events, (std::vector<std::string>{"1", "2"}));
    }
}

class EntryPoints : public MergeTest {
protected:
    TempDir in_;
    fs::path form_ = in_ / "form.pdf";
    fs::path data_ = in_ / "data.csv";
    void SetUp() override { writeFile(form_, textForm({"name", "city"})); }
};

TEST_F(EntryPoints, ReadTheDataFileFirstAndFillDefaults) {
    uint64_t count = 42;
    QVError error;
    EXPECT_FALSE(QVMergeDelimited(in_ / "nope.pdf", in_ / "nope.csv", out_.path(), QVOutputModeSeparate, "m-{#}",
                                  QVSeparatorComma, &count, &error));
    EXPECT_EQ(error.message.rfind("CSV lezen mislukt: ", 0), 0u) << error.message;
    EXPECT_EQ(count, 0u);

    writeFile(data_, "name,city\nJan,Gent\n");
    count = 42;
    EXPECT_FALSE(QVMergeDelimited(in_ / "nope.pdf", data_, out_.path(), QVOutputModeSeparate, "m-{#}", QVSeparatorComma,
                                  &count, &error));
    EXPECT_EQ(error.message.rfind("PDF lezen mislukt: ", 0), 0u) << error.message;
    EXPECT_EQ(count, 0u);

    // The comma is the default: a semicolon file is one column named by its whole header.
    writeFile(data_, "name;city\nJan;Gent\n");
    EXPECT_FALSE(QVMerge(form_, data_, out_.path(), QVOutputModeSeparate, "m-{#}", &count, &error));
    EXPECT_EQ(error.message, "CSV-kolom ontbreekt voor PDF-veld 'name'.");
    EXPECT_TRUE(QVMergeDelimited(form_, data_, out_.path(), QVOutputModeSeparate, "m-{#}", QVSeparatorSemicolon, &count,
                                 &error));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(files(), std::vector<std::string>{"m-000001.pdf"});

    std::string bytes = readFile(form_);
    EXPECT_FALSE(QVMergeWithWatermark(bytes, "name,city\nJan,Gent\n", out_.path(), QVOutputModeCombined, "",
                                      QVSeparatorComma, nullptr, std::string("klant"), &count, &error));
    EXPECT_EQ(error.message, "De gekozen watermerkkolom bestaat niet.");
    EXPECT_TRUE(QVMergeWithWatermark(bytes, "name,city\nJan,Gent\n", out_.path(), QVOutputModeCombined, "",
                                     QVSeparatorComma, nullptr, std::string("city"), &count, &error));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(annotationTypes(out_ / "merge-gecombineerd.pdf"), std::vector<std::vector<std::string>>{{}});
    EXPECT_NE(pdfText(out_ / "merge-gecombineerd.pdf").find("Gent"), std::string::npos);
}

}  // namespace
