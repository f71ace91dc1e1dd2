// The processing log on its own: the JSON it writes, creating the file, and the write loop
// under an operating system that interrupts, shortens and refuses writes.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>

#include "output/DutchTexts.h"
#include "output/PosixIO.h"
#include "output/ProcessingLog.h"
#include "platform/System.h"

using Json = nlohmann::ordered_json;

namespace {

QVProcessingLog sampleLog() {
    QVProcessingLog log;
    log.startedAt = "2026-12-08T04:16:18Z";
    log.finishedAt = "2026-12-08T04:16:19Z";
    log.succeeded = true;
    log.inputPDF = "/data/factuur.pdf";
    log.inputData = "/data/klanten.csv";
    log.outputDirectory = "/data/uit";
    log.outputFiles = {"merge-000001.pdf", "merge-000002.pdf"};
    log.filenamePattern = "merge-{#}";
    log.fieldMapping = {{"Naam", "Klantnaam"}, {"Plaats", "Plaats"}};
    return log;
}

Json parsed(const QVProcessingLog& log) {
    std::optional<std::string> text = QVProcessingLogJSON(log);
    EXPECT_TRUE(text.has_value());
    return Json::parse(text.value_or("null"));
}

std::vector<std::string> keysOf(const Json& object) {
    std::vector<std::string> keys;
    for (const auto& item : object.items()) keys.push_back(item.key());
    return keys;
}

class ProcessingLogFile : public qvtest::DutchTexts {
protected:
    qvtest::TempDir dir_;
};

}  // namespace

TEST(ProcessingLogJSON, TenMembersAndNineSettingsWithTheirValues) {
    std::optional<std::string> text = QVProcessingLogJSON(sampleLog());
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("\n  \"version\": 1"), std::string::npos) << "pretty-printed";
    Json log = Json::parse(*text);
    EXPECT_EQ(keysOf(log),
              (std::vector<std::string>{"version", "started_at", "finished_at", "status", "input_pdf", "input_data",
                                        "output_directory", "output_files", "settings", "error"}));
    EXPECT_EQ(log["version"], 1);
    EXPECT_EQ(log["started_at"], "2026-12-08T04:16:18Z");
    EXPECT_EQ(log["finished_at"], "2026-12-08T04:16:19Z");
    EXPECT_EQ(log["status"], "success");
    EXPECT_EQ(log["input_pdf"], "/data/factuur.pdf");
    EXPECT_EQ(log["input_data"], "/data/klanten.csv");
    EXPECT_EQ(log["output_directory"], "/data/uit");
    EXPECT_EQ(log["output_files"], Json({"merge-000001.pdf", "merge-000002.pdf"}));
    EXPECT_TRUE(log["error"].is_null());

    const Json& settings = log["settings"];
    EXPECT_EQ(
        keysOf(settings),
        (std::vector<std::string>{"output_mode", "filename_pattern", "separator", "field_mapping", "watermark_column",
                                  "watermark_pattern", "watermark_position", "watermark_font_size", "watermark_gray"}));
    EXPECT_EQ(settings["output_mode"], "separate");
    EXPECT_EQ(settings["filename_pattern"], "merge-{#}");
    EXPECT_EQ(settings["separator"], ",");
    EXPECT_EQ(settings["field_mapping"], Json({{"Naam", "Klantnaam"}, {"Plaats", "Plaats"}}));
    // Without a watermark: both sources null, the default style as numbers.
    EXPECT_TRUE(settings["watermark_column"].is_null());
    EXPECT_TRUE(settings["watermark_pattern"].is_null());
    EXPECT_TRUE(settings["watermark_position"].is_number_unsigned());
    EXPECT_EQ(settings["watermark_position"], 0);
    EXPECT_TRUE(settings["watermark_font_size"].is_number_float());
    EXPECT_DOUBLE_EQ(settings["watermark_font_size"].get<double>(), 11.0);
    EXPECT_DOUBLE_EQ(settings["watermark_gray"].get<double>(), 0.35);
}

TEST(ProcessingLogJSON, SettingsAsTheyWereChosen) {
    QVProcessingLog log = sampleLog();
    log.outputMode = 1;
    log.separator = u'\t';
    log.watermarkPattern = "";
    log.watermarkPosition = 2;
    log.watermarkFontSize = 14.5;
    log.watermarkGray = 0.8;
    std::string text = QVProcessingLogJSON(log).value_or("");
    EXPECT_NE(text.find("\"separator\": \"\\t\""), std::string::npos) << "the tab is written escaped";

    Json settings = Json::parse(text)["settings"];
    EXPECT_EQ(settings["output_mode"], "combined");
    EXPECT_EQ(settings["filename_pattern"], "") << "combined output ignores the pattern it was given";
    EXPECT_EQ(settings["separator"], "\t");
    EXPECT_TRUE(settings["watermark_column"].is_null());
    EXPECT_EQ(settings["watermark_pattern"], "") << "an empty pattern is a pattern, not null";
    EXPECT_EQ(settings["watermark_position"], 2);
    EXPECT_DOUBLE_EQ(settings["watermark_font_size"].get<double>(), 14.5);
    EXPECT_DOUBLE_EQ(settings["watermark_gray"].get<double>(), 0.8);

    log.outputMode = 7;  // any mode but separate is written as combined
    log.separator = u';';
    log.watermarkColumn = "Klant";
    log.watermarkPattern.reset();
    settings = parsed(log)["settings"];
    EXPECT_EQ(settings["output_mode"], "combined");
    EXPECT_EQ(settings["separator"], ";");
    EXPECT_EQ(settings["watermark_column"], "Klant");
    EXPECT_TRUE(settings["watermark_pattern"].is_null());
}

TEST(ProcessingLogJSON, AFailureCarriesTheMergeMessageOrUnknownError) {
    QVProcessingLog log = sampleLog();
    log.succeeded = false;
    log.errorMessage = "PDF schrijven mislukt: No space left on device";
    Json json = parsed(log);
    EXPECT_EQ(json["status"], "failed");
    EXPECT_EQ(json["error"], "PDF schrijven mislukt: No space left on device");

    log.errorMessage.clear();
    EXPECT_EQ(parsed(log)["error"], "Unknown error");
}

TEST_F(ProcessingLogFile, AFolderNameThatIsNotUtf8IsShownReplacedWithItsBytesBeside) {
    QVProcessingLog log = sampleLog();
    log.outputDirectory = "/data/uitvoer-\xE9t\xE9";  // a Latin-1 folder name
    std::optional<std::string> text = QVProcessingLogJSON(log);
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("\"output_directory\": \"/data/uitvoer-\xEF\xBF\xBDt\xEF\xBF\xBD\",\n"
                         "  \"output_directory_bytes_base64\": \"L2RhdGEvdWl0dm9lci3pdOk=\",\n"),
              std::string::npos)
        << *text;
}

TEST_F(ProcessingLogFile, CreatedNewWithModeOwnerOnlyAndNeverOverAnExistingFile) {
    const auto url = dir_ / "quorvel-log.json";
    std::optional<QVLogFile> file = QVCreateLogFile(url);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->reset());
    struct stat info {};
    ASSERT_EQ(::stat(url.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u) << "nobody but the owner may read a log with personal data";

    qvtest::writeFile(url, "earlier log");
    QVError error;
    EXPECT_FALSE(QVCreateLogFile(url, &error));
    EXPECT_EQ(error.message, std::string("Logboek aanmaken mislukt: ") + QVStrError(EEXIST));
    EXPECT_EQ(qvtest::readFile(url), "earlier log");

    EXPECT_FALSE(QVCreateLogFile(dir_ / "geen-map" / "log.json", &error));
    EXPECT_EQ(error.message, std::string("Logboek aanmaken mislukt: ") + QVStrError(ENOENT));
    EXPECT_FALSE(QVCreateLogFile(std::string("log\0.json", 9), &error)) << "a NUL would shorten the name";
}

namespace {

// Interrupts the first write, then accepts at most 7 bytes per call; fails writes with
// `writeError` once `failAfter` bytes went through, and close with `closeError`.
class StubbornIO : public QVPosixIO {
public:
    int writeError = 0;
    size_t failAfter = SIZE_MAX;
    int closeError = 0;
    std::string written;
    int closes = 0;
    bool interrupted = false;

    ssize_t write(int fd, const void* buffer, size_t count) override {
        if (!interrupted) {
            interrupted = true;
            errno = EINTR;
            return -1;
        }
        if (written.size() >= failAfter) {
            errno = writeError;
            return writeError ? -1 : 0;
        }
        size_t n = std::min<size_t>({count, 7, failAfter - written.size()});
        written.append(static_cast<const char*>(buffer), n);
        return QVPosixIO::write(fd, buffer, n);
    }
    int close(int fd) override {
        ++closes;
        int result = QVPosixIO::close(fd);
        if (closeError) {
            errno = closeError;
            return -1;
        }
        return result;
    }
};

}  // namespace

TEST_F(ProcessingLogFile, ShortAndInterruptedWritesStillDeliverTheWholeLog) {
    StubbornIO io;
    QVScopedPosixIO guard(io);
    const auto url = dir_ / "log.json";
    std::optional<QVLogFile> file = QVCreateLogFile(url);
    ASSERT_TRUE(file);
    EXPECT_TRUE(QVWriteProcessingLog(*file, sampleLog()));
    EXPECT_EQ(io.closes, 1);
    EXPECT_EQ(qvtest::readFile(url), QVProcessingLogJSON(sampleLog()).value_or("?"));
}

TEST_F(ProcessingLogFile, WriteAndCloseFailuresGiveTheSystemsReasonAndTheFileIsClosedAnyway) {
    struct Case {
        int writeError;
        size_t failAfter;
        int closeError;
        int expected;
    };
    // A full disk, a write that accepts nothing (EIO), a failing close, and a write error that
    // wins over a close error.
    for (Case c : {Case{ENOSPC, 20, 0, ENOSPC}, Case{0, 20, 0, EIO}, Case{0, SIZE_MAX, EIO, EIO},
                   Case{ENOSPC, 0, EBADF, ENOSPC}}) {
        StubbornIO io;
        io.writeError = c.writeError;
        io.failAfter = c.failAfter;
        io.closeError = c.closeError;
        QVScopedPosixIO guard(io);
        const auto url = dir_ / ("log-" + std::to_string(c.expected) + "-" + std::to_string(c.failAfter) + ".json");
        std::optional<QVLogFile> file = QVCreateLogFile(url);
        ASSERT_TRUE(file);
        QVError error;
        EXPECT_FALSE(QVWriteProcessingLog(*file, sampleLog(), &error));
        EXPECT_EQ(error.message, QVStrError(c.expected));
        EXPECT_EQ(io.closes, 1);
        EXPECT_TRUE(std::filesystem::exists(url)) << "an incomplete log stays in place";
    }
}
