// Logged merges: real merges wrapped in their processing log, with the log read back as JSON.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>

#include "engine/MergeHarness.h"
#include "output/PosixIO.h"
#include "platform/System.h"

using Json = nlohmann::ordered_json;
using qvtest::csv;

namespace {

// Fails every write to the log, or to the n-th output PDF the merge creates (whose name is
// not known while it is written: it is named once complete).
class FailingWrites : public QVPosixIO {
public:
    int logError = 0;
    std::map<int, int> pdfErrors;  // n-th PDF (1-based) -> errno

    int openat(int folder, const char* path, int flags, mode_t mode) override {
        int fd = QVPosixIO::openat(folder, path, flags, mode);
        if (fd < 0) return fd;
        std::string_view name(path);
        if (name.ends_with(".json")) {
            errors_[fd] = logError;
        } else if (auto it = pdfErrors.find(++pdfs_); it != pdfErrors.end()) {
            errors_[fd] = it->second;
        } else {
            errors_.erase(fd);
        }
        return fd;
    }
    ssize_t write(int fd, const void* buffer, size_t count) override {
        if (auto it = errors_.find(fd); it != errors_.end() && it->second) {
            errno = it->second;
            return -1;
        }
        return QVPosixIO::write(fd, buffer, count);
    }

private:
    int pdfs_ = 0;
    std::map<int, int> errors_;
};

class LoggedMerge : public qvtest::MergeTest {
protected:
    std::string form_ = qvfixture::textForm({"Naam", "Plaats"});
    std::string data_ = csv({"Naam,Plaats", "Anna,Utrecht", "Bram,Gouda", "Cees,Zwolle"});
    QVFieldMapping mapping_ = {{"Naam", "Naam"}, {"Plaats", "Plaats"}};
    std::filesystem::path log_ = out_ / "quorvel-log-TEST.json";

    struct Result {
        bool ok;
        std::string message;
        uint64_t count;
    };

    Result run(QVOutputMode mode = QVOutputModeSeparate, uint16_t separator = QVSeparatorComma,
               std::optional<std::string> watermarkColumn = std::nullopt) {
        uint64_t count = 42;
        QVError error;
        bool ok = QVMergeLogged(form_, data_, "/sjablonen/formulier.pdf", "/gegevens/klanten.csv", out_.path(), log_,
                                mode, "merge-{#}", separator, mapping_, watermarkColumn, &count, &error);
        return {ok, ok ? "OK" : error.message, count};
    }

    Json readLog() const { return Json::parse(qvtest::readFile(log_)); }
};

}  // namespace

TEST_F(LoggedMerge, ASuccessfulMergeIsLoggedWithItsFilesInOrder) {
    Result r = run();
    EXPECT_EQ(r.message, "OK");
    EXPECT_EQ(r.count, 3u);
    Json log = readLog();
    EXPECT_EQ(log["status"], "success");
    EXPECT_TRUE(log["error"].is_null());
    EXPECT_EQ(log["output_files"], Json({"merge-000001.pdf", "merge-000002.pdf", "merge-000003.pdf"}));
    EXPECT_EQ(log["input_pdf"], "/sjablonen/formulier.pdf");
    EXPECT_EQ(log["input_data"], "/gegevens/klanten.csv");
    EXPECT_EQ(log["output_directory"], out_.path().string());
    EXPECT_EQ(log["settings"]["field_mapping"], Json({{"Naam", "Naam"}, {"Plaats", "Plaats"}}));

    const std::regex iso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)");
    const std::string started = log["started_at"], finished = log["finished_at"];
    EXPECT_TRUE(std::regex_match(started, iso)) << started;
    EXPECT_TRUE(std::regex_match(finished, iso)) << finished;
    EXPECT_LE(started, finished);
    EXPECT_EQ(files(), (std::vector<std::string>{"merge-000001.pdf", "merge-000002.pdf", "merge-000003.pdf",
                                                 "quorvel-log-TEST.json"}));
}

TEST_F(LoggedMerge, CombinedTabSeparatedMergeWithoutWatermark) {
    data_ = csv({"Naam\tPlaats", "Anna\tUtrecht", "Bram\tGouda"});
    Result r = run(QVOutputModeCombined, QVSeparatorTab);
    EXPECT_EQ(r.message, "OK");
    EXPECT_EQ(r.count, 1u);
    Json log = readLog();
    EXPECT_EQ(log["output_files"], Json({"merge-gecombineerd.pdf"}));
    const Json& settings = log["settings"];
    EXPECT_EQ(settings["output_mode"], "combined");
    EXPECT_EQ(settings["filename_pattern"], "") << "although merge-{#} was passed";
    EXPECT_EQ(settings["separator"], "\t");
    EXPECT_TRUE(settings["watermark_column"].is_null());
    EXPECT_TRUE(settings["watermark_pattern"].is_null());
    EXPECT_EQ(settings["watermark_position"], 0);
    EXPECT_DOUBLE_EQ(settings["watermark_font_size"].get<double>(), 11.0);
    EXPECT_DOUBLE_EQ(settings["watermark_gray"].get<double>(), 0.35);
}

TEST_F(LoggedMerge, AMergeThatFailsBeforeWritingStillLeavesACompleteLog) {
    mapping_["Plaats"] = "Woonplaats";  // a field without a column
    Result r = run();
    EXPECT_EQ(r.message, "CSV-kolom ontbreekt voor PDF-veld 'Plaats'.") << "the merge's own message, unchanged";
    EXPECT_EQ(r.count, 0u);
    Json log = readLog();
    EXPECT_EQ(log["status"], "failed");
    EXPECT_EQ(log["error"], "CSV-kolom ontbreekt voor PDF-veld 'Plaats'.");
    EXPECT_EQ(log["output_files"], Json::array());
    EXPECT_EQ(files(), std::vector<std::string>{"quorvel-log-TEST.json"});
}

TEST_F(LoggedMerge, ADiskFullAtRecordTwoIsLoggedWithTheOneFileWritten) {
    FailingWrites io;
    io.pdfErrors[2] = ENOSPC;
    QVScopedPosixIO guard(io);
    Result r = run();
    const std::string message = std::string("PDF schrijven mislukt: ") + QVStrError(ENOSPC);
    EXPECT_EQ(r.message, message);
    EXPECT_EQ(r.count, 1u);
    Json log = readLog();
    EXPECT_EQ(log["status"], "failed");
    EXPECT_EQ(log["error"], message);
    EXPECT_EQ(log["output_files"], Json({"merge-000001.pdf"}));
    EXPECT_EQ(files(), (std::vector<std::string>{"merge-000001.pdf", "quorvel-log-TEST.json"}));
}

TEST_F(LoggedMerge, AnExistingLogStopsEverythingBeforeTheMerge) {
    qvtest::writeFile(log_, "a log from before");
    Result r = run();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, std::string("Logboek aanmaken mislukt: ") + QVStrError(EEXIST));
    EXPECT_EQ(r.count, 0u) << "the count is reset even when nothing runs";
    EXPECT_EQ(files(), std::vector<std::string>{"quorvel-log-TEST.json"}) << "no merge ran";
    EXPECT_EQ(qvtest::readFile(log_), "a log from before");
}

TEST_F(LoggedMerge, ALogThatCannotBeWrittenFailsTheCallButKeepsThePdfs) {
    FailingWrites io;
    io.logError = ENOSPC;
    QVScopedPosixIO guard(io);
    Result r = run();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, std::string("Logboek schrijven mislukt: ") + QVStrError(ENOSPC) +
                             ". Het logboek kan onvolledig zijn: " + log_.string());
    EXPECT_EQ(r.count, 3u);
    EXPECT_EQ(files(), (std::vector<std::string>{"merge-000001.pdf", "merge-000002.pdf", "merge-000003.pdf",
                                                 "quorvel-log-TEST.json"}))
        << "neither the PDFs nor the incomplete log are removed";
}

TEST_F(LoggedMerge, WhenMergeAndLogBothFailBothMessagesAreGiven) {
    FailingWrites io;
    io.pdfErrors[2] = ENOSPC;
    io.logError = EIO;
    QVScopedPosixIO guard(io);
    Result r = run();
    EXPECT_EQ(r.message, std::string("Logboek schrijven mislukt: ") + QVStrError(EIO) +
                             ". Het logboek kan onvolledig zijn: " + log_.string() +
                             "\nPDF schrijven mislukt: " + QVStrError(ENOSPC));
    EXPECT_EQ(r.count, 1u);
}

TEST_F(LoggedMerge, TheWatermarkSettingsThatWereUsedAreLogged) {
    uint64_t count = 0;
    QVError error;
    const QVWatermarkStyle style{QVWatermarkPositionTop, 14.0, 0.5};
    ASSERT_TRUE(QVMergeLoggedWithPattern(form_, data_, "t.pdf", "d.csv", out_.path(), log_, QVOutputModeSeparate,
                                         "{Naam}", QVSeparatorComma, mapping_, std::nullopt,
                                         std::string("Kopie {Naam}"), style, &count, &error))
        << error.message;
    Json log = readLog();
    EXPECT_EQ(log["output_files"], Json({"Anna.pdf", "Bram.pdf", "Cees.pdf"}));
    const Json& settings = log["settings"];
    EXPECT_EQ(settings["filename_pattern"], "{Naam}");
    EXPECT_TRUE(settings["watermark_column"].is_null());
    EXPECT_EQ(settings["watermark_pattern"], "Kopie {Naam}");
    EXPECT_EQ(settings["watermark_position"], 2);
    EXPECT_DOUBLE_EQ(settings["watermark_font_size"].get<double>(), 14.0);
    EXPECT_DOUBLE_EQ(settings["watermark_gray"].get<double>(), 0.5);
}
