// Names that are not UTF-8: Linux file and folder names are bytes, and a merge from or into
// such a place succeeds. Its processing log must still be JSON, show the names readably and keep
// their exact bytes.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "output/ProcessingLog.h"
#include "support/DutchHome.h"
#include "support/FormFixtures.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string kFFFD = "\xEF\xBF\xBD";

TEST(HostileLog, NamesThatAreNotUtf8AreShownReplacedAndKeptAsBase64) {
    QVProcessingLog log;
    log.succeeded = false;
    log.inputPDF = "/tmp/sjabloon\xFF.pdf";
    log.inputData = "/tmp/klanten.csv";
    // A cut-short sequence, a stray continuation byte and an encoded surrogate: one U+FFFD per byte.
    log.outputDirectory = "/tmp/uit\xE2\x82-\x80\xED\xA0\x80";
    log.outputFiles = {"a.pdf", "b\xC0.pdf"};
    log.errorMessage = "Uitvoerbestand bestaat al: /tmp/uit\xFE/a.pdf";
    log.watermarkPattern = std::string("W\xFF");

    std::optional<std::string> text = QVProcessingLogJSON(log);
    ASSERT_TRUE(text);
    json parsed = json::parse(*text);  // throws on anything but well-formed UTF-8 JSON
    EXPECT_EQ(parsed["input_pdf"], "/tmp/sjabloon" + kFFFD + ".pdf");
    EXPECT_EQ(parsed["input_pdf_bytes_base64"], "L3RtcC9zamFibG9vbv8ucGRm");
    EXPECT_FALSE(parsed.contains("input_data_bytes_base64")) << "only where needed";
    EXPECT_EQ(parsed["output_directory"], "/tmp/uit" + kFFFD + kFFFD + "-" + kFFFD + kFFFD + kFFFD + kFFFD);
    EXPECT_EQ(parsed["output_directory_bytes_base64"], "L3RtcC91aXTigi2A7aCA");
    EXPECT_EQ(parsed["output_files"], json::array({"a.pdf", "b" + kFFFD + ".pdf"}));
    EXPECT_EQ(parsed["output_files_bytes_base64"], json::array({nullptr, "YsAucGRm"}));
    EXPECT_EQ(parsed["error"], "Uitvoerbestand bestaat al: /tmp/uit" + kFFFD + "/a.pdf");
    EXPECT_TRUE(parsed.contains("error_bytes_base64"));
    EXPECT_EQ(parsed["settings"]["watermark_pattern"], "W" + kFFFD);
    EXPECT_EQ(parsed["settings"]["watermark_pattern_bytes_base64"], "V/8=");
    // The sibling follows its member, and the documented order is otherwise kept.
    EXPECT_LT(text->find("\"input_pdf\""), text->find("\"input_pdf_bytes_base64\""));
    EXPECT_LT(text->find("\"input_pdf_bytes_base64\""), text->find("\"input_data\""));
}

class HostileLogRun : public qvtest::DutchHomeTest {};

TEST_F(HostileLogRun, AMergeFromAndIntoNamesThatAreNotUtf8LeavesACompleteLog) {
    const fs::path form = dir_ / "sjabloon\xFF.pdf";
    const fs::path data = dir_ / "klanten\xFE.csv";
    const fs::path out = dir_ / "uit\xE9";
    qvtest::writeFile(form, qvfixture::textForm({"Naam"}));
    qvtest::writeFile(data, "Naam\nAnna\nBram\n");
    fs::create_directories(out);

    qvtest::CommandResult result = qvtest::runQuorvel(
        {"merge", "--template", form.string(), "--data", data.string(), "--output", out.string(), "--log"});
    ASSERT_EQ(result.status, 0) << result.errors;
    fs::path log;
    for (const auto& entry : fs::directory_iterator(out))
        if (entry.path().extension() == ".json") log = entry.path();
    ASSERT_FALSE(log.empty());
    const std::string text = qvtest::readFile(log);
    ASSERT_FALSE(text.empty()) << "an empty log says the run was interrupted";
    json parsed = json::parse(text);
    EXPECT_EQ(parsed["status"], "success");
    EXPECT_EQ(parsed["input_pdf"], (dir_ / "sjabloon").string() + kFFFD + ".pdf");
    EXPECT_TRUE(parsed.contains("input_pdf_bytes_base64"));
    EXPECT_TRUE(parsed.contains("input_data_bytes_base64"));
    EXPECT_EQ(
        parsed["output_directory"].get<std::string>().substr(parsed["output_directory"].get<std::string>().size() - 6),
        "uit" + kFFFD);
    EXPECT_EQ(parsed["output_files"].size(), 2u);
    EXPECT_FALSE(parsed.contains("output_files_bytes_base64"));
}

}  // namespace
