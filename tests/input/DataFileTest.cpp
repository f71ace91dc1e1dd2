#include <gtest/gtest.h>

#include <unistd.h>
#include <cerrno>

#include <filesystem>
#include <optional>
#include <string>

#include "input/DelimitedText.h"
#include "platform/System.h"
#include "platform/Unicode.h"
#include "support/DutchHome.h"
#include "support/TestSupport.h"

using qvtest::ScopedEnv;
using qvtest::TempDir;
using qvtest::writeFile;
namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

class DataFile : public qvtest::DutchHomeTest {
protected:
    // The reader's message for the file, or "" when it was read. The copy and the map must
    // answer alike.
    std::string readError(const fs::path& path) {
        QVError error, mapError;
        std::optional<std::string> text = QVReadDataFile(path, &error);
        std::optional<QVMappedFile> mapped = QVMapDataFile(path, &mapError);
        EXPECT_EQ(text.has_value(), error.message.empty());
        EXPECT_EQ(mapped.has_value(), text.has_value());
        EXPECT_EQ(mapError.message, error.message);
        return error.message;
    }
    // The mapped bytes, or "!" when the map failed.
    std::string mappedBytes(const fs::path& path) {
        std::optional<QVMappedFile> mapped = QVMapDataFile(path);
        return mapped ? std::string(mapped->bytes()) : "!";
    }
};

}  // namespace

TEST_F(DataFile, ReturnsTheBytesUnchanged) {
    const std::string bytes = "\xEF\xBB\xBFNaam;Plaats\r\nJos\xC3\xA9;\xE2\x80\x99s-Hertogenbosch\r\n\0x\n"s;
    writeFile(dir_ / "klanten.csv", bytes);
    EXPECT_EQ(QVReadDataFile(dir_ / "klanten.csv"), bytes);
    EXPECT_EQ(mappedBytes(dir_ / "klanten.csv"), bytes);

    writeFile(dir_ / "leeg.csv", "");
    EXPECT_EQ(QVReadDataFile(dir_ / "leeg.csv"), "");
    EXPECT_EQ(mappedBytes(dir_ / "leeg.csv"), "");

    // Larger than any single read.
    std::string big;
    while (big.size() < 3'000'000) big += "Naam,Zoë,€ 12,50\n";
    writeFile(dir_ / "groot.csv", big);
    EXPECT_EQ(QVReadDataFile(dir_ / "groot.csv"), big);
    EXPECT_EQ(mappedBytes(dir_ / "groot.csv"), big);
}

TEST_F(DataFile, MissingFileOrFolder) {
    EXPECT_EQ(readError(dir_ / "geen.csv"), "CSV lezen mislukt: Het bestand 'geen.csv' bestaat niet.");
    EXPECT_EQ(readError(dir_ / "map" / "geen.csv"), "CSV lezen mislukt: Het bestand 'geen.csv' bestaat niet.");
    writeFile(dir_ / "bestand", "x");
    EXPECT_EQ(readError(dir_ / "bestand" / "a.csv"), "CSV lezen mislukt: Het bestand 'a.csv' bestaat niet.");

    fs::create_directory(dir_ / "gegevens.csv");
    EXPECT_EQ(readError(dir_ / "gegevens.csv"), "CSV lezen mislukt: 'gegevens.csv' is een map, geen bestand.");
    EXPECT_EQ(readError((dir_ / "gegevens.csv").string() + "/"),
              "CSV lezen mislukt: 'gegevens.csv' is een map, geen bestand.");
}

TEST_F(DataFile, APathHoldingNulIsRefusedNotCut) {
    // The part before the NUL names a real file; it must not be the one read.
    writeFile(dir_ / "klanten.csv", "Naam\nAnna\n");
    EXPECT_EQ(readError((dir_ / "klanten.csv").string() + "\0.txt"s),
              "CSV lezen mislukt: Het pad is ongeldig: het bevat een nulteken.");
}

TEST_F(DataFile, UnreadableFile) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
    writeFile(dir_ / "geheim.csv", "a\n1\n");
    fs::permissions(dir_ / "geheim.csv", fs::perms::none);
    EXPECT_EQ(readError(dir_ / "geheim.csv"),
              "CSV lezen mislukt: Het bestand 'geheim.csv' kon niet worden gelezen: " + QVStrError(EACCES));
}

TEST_F(DataFile, ReadFailureAfterOpening) {
    // Opens for anyone, root included, and fails at the first read (nothing is mapped at 0).
    if (!fs::exists("/proc/self/mem")) GTEST_SKIP() << "no /proc";
    EXPECT_EQ(readError("/proc/self/mem"),
              "CSV lezen mislukt: Het bestand 'mem' kon niet worden gelezen: " + QVStrError(EIO));
}

TEST_F(DataFile, RejectsInvalidUtf8WithItsPosition) {
    writeFile(dir_ / "latin1.csv", "Naam\nJos\xE9\n");
    EXPECT_EQ(readError(dir_ / "latin1.csv"),
              "CSV lezen mislukt: Het bestand 'latin1.csv' is geen geldige UTF-8-tekst (ongeldige byte op positie 8).");
}

TEST(Utf8, AcceptsWellFormedText) {
    for (std::string text : {"", "plain ascii, long enough for the word loop", "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80",
                             "\xED\x9F\xBF", "\xEE\x80\x80", "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF",
                             "Zo\xC3\xAB \xF0\x9F\x98\x80 \xE2\x82\xAC"}) {
        EXPECT_EQ(QVFirstInvalidUTF8(text), std::nullopt) << text;
    }
    EXPECT_EQ(QVFirstInvalidUTF8(std::string("a\0b", 3)), std::nullopt);
}

TEST(Utf8, FindsTheFirstIllFormedSequence) {
    struct Case {
        std::string text;
        size_t offset;
    };
    const Case cases[] = {
        {"\x80", 0},  // continuation without a lead
        {"ab\xBF", 2},
        {"\xC0\xAF", 0},  // overlong "/"
        {"\xC1\xBF", 0},
        {"\xE0\x80\xAF", 0},  // overlong three-byte form
        {"\xE0\x9F\xBF", 0},
        {"\xF0\x80\x80\xAF", 0},  // overlong four-byte form
        {"\xF0\x8F\xBF\xBF", 0},
        {"x\xED\xA0\x80", 1},  // encoded surrogates
        {"x\xED\xBF\xBF", 1},
        {"\xF4\x90\x80\x80", 0},  // above U+10FFFF
        {"\xF5\x80\x80\x80", 0},
        {"\xFE", 0},
        {"\xFF", 0},
        {"abc\xE2\x82", 3},  // cut short by the end
        {"\xF0\x9F\x98", 0},
        {"\xC3", 0},
        {"\xE2\x82"
         "A",
         0},  // cut short by another byte
        {"\xF0\x9F"
         "A\x80",
         0},
        {"\xC3\xA9\xC3", 2},
        {std::string(37, 'a') + "\xC3(", 37},  // after the word-at-a-time part
        {std::string(64, 'a') + "\xE2\x82\xAC" + std::string(9, 'b') + "\x80", 76},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QVFirstInvalidUTF8(c.text), c.offset) << "text of " << c.text.size() << " bytes";
}
