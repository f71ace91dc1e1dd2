#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "platform/dialogs/Alert.h"
#include "platform/dialogs/ScriptedBackend.h"
#include "platform/dialogs/Transcript.h"
#include "support/TestSupport.h"

using namespace qvui;

TEST(Transcript, FileGetsEachLineAsTheDialogCloses) {
    qvtest::TempDir dir;
    QVError error;
    auto transcript = DialogTranscript::createFile(dir / "transcript.jsonl", &error);
    ASSERT_TRUE(transcript) << error.message;
    setDialogTranscript(transcript);
    setDialogBackend(ScriptedBackend::fromJSON(R"([{"button": 1}])", nullptr));

    recordMenuInTranscript("Quorvel", {"CSV samenvoegen...", "Taal...", "About Quorvel…"});
    Alert alert;
    // Column names may carry bytes that are not UTF-8; the line must still be written.
    alert.setMessageText("kolom \xff\xfe");
    alert.runModal();

    std::string text = qvtest::readFile(dir / "transcript.jsonl");
    setDialogTranscript(nullptr);
    setDialogBackend(nullptr);

    ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    auto menu = nlohmann::json::parse(text.substr(0, text.find('\n')));
    EXPECT_EQ(menu, nlohmann::json({{"kind", "menu"},
                                    {"title", "Quorvel"},
                                    {"items", {"CSV samenvoegen...", "Taal...", "About Quorvel…"}}}));
    auto alertLine = nlohmann::json::parse(text.substr(text.find('\n') + 1));
    EXPECT_EQ(alertLine["message"], "kolom \xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(transcript->lines().size(), 2u);
    EXPECT_FALSE(transcript->writeFailed());

    struct stat st {};
    ASSERT_EQ(::stat((dir / "transcript.jsonl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(Transcript, NeverOverwritesAFile) {
    qvtest::TempDir dir;
    qvtest::writeFile(dir / "oud.jsonl", "bewaren\n");
    QVError error;
    EXPECT_FALSE(DialogTranscript::createFile(dir / "oud.jsonl", &error));
    EXPECT_NE(error.message.find("oud.jsonl"), std::string::npos);
    EXPECT_EQ(qvtest::readFile(dir / "oud.jsonl"), "bewaren\n");
}
