// Values in many scripts, merged by the real program, read back by two independent readers:
// what a user copies or searches must be exactly the value, letter for letter.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/Unicode.h"
#include "support/DutchHome.h"
#include "support/FormFixtures.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct Sample {
    const char* what;
    std::string value;
    bool rtl = false;
};

const std::vector<Sample>& corpus() {
    static const std::vector<Sample> samples = {
        {"Dutch", "IJsselmeer café één"},
        {"Turkish", "İstanbul Iğdır şeker"},
        {"Polish", "Zażółć gęślą jaźń"},
        {"Vietnamese", "Tiếng Việt có dấu"},
        {"Greek, with mu", "Καλημέρα 5 μm"},
        {"Cyrillic", "Съешь же ещё"},
        {"Hebrew with points", "שָׁלוֹם עוֹלָם", true},
        {"Arabic with vowel marks", "مُحَمَّد", true},
        {"Persian with ZWNJ", "نامه‌ها و کتاب‌ها", true},
        {"Devanagari", "हिन्दी क्षत्रिय", false},
        {"Bengali", "বাংলা কোথায়", false},
        {"Thai", "น้ำ ภาษาไทย", false},
        {"CJK", "中文 日本語 한국어", false},
        {"emoji", "😀 👨‍👩‍👧 🇳🇱", false},
        {"NFD input", "Cafe\xCC\x81 Zoe\xCC\x88", false},
    };
    return samples;
}

std::u32string codePoints(const std::string& utf8) { return QVDecodeUTF8Replacing(utf8); }

// The samples a merge fills in: a watermark refuses format characters (ZWNJ, ZWJ).
std::vector<Sample> samples(bool watermark) {
    std::vector<Sample> out;
    for (const auto& s : corpus()) {
        std::u32string text = codePoints(s.value);
        if (!watermark || std::none_of(text.begin(), text.end(), QVIsControlCharacter)) out.push_back(s);
    }
    return out;
}

// What is compared: NFC, without the bidi controls poppler wraps right-to-left lines in, with
// every run of white space (the line and page breaks a reader adds) as one space.
std::string comparable(const std::string& utf8, bool reverse = false) {
    std::u32string text = codePoints(utf8);
    if (reverse) std::reverse(text.begin(), text.end());
    std::u32string out;
    for (char32_t c : text) {
        if (c == 0x202A || c == 0x202B || c == 0x202C || c == 0x200E || c == 0x200F) continue;
        bool space = QVIsWhitespaceOrNewline(c);
        if (space && (out.empty() || out.back() == U' ')) continue;
        out += space ? U' ' : c;
    }
    while (!out.empty() && out.back() == U' ') out.pop_back();
    return QVNormalizeNFC(QVEncodeUTF8(out)).value_or("(not UTF-8)");
}

class TextFidelity : public qvtest::DutchHomeTest {
protected:
    fs::path out_ = dir_ / "uit";
    std::string form_ = file("formulier.pdf", qvfixture::textForm({"Veld"}));

    void SetUp() override { fs::create_directories(out_); }

    std::string file(const std::string& name, const std::string& bytes) {
        qvtest::writeFile(dir_ / name, bytes);
        return (dir_ / name).string();
    }

    // One record per sample: in the field, or (with `watermark`) only in the watermark.
    std::string data(bool watermark) {
        std::string csv = "Veld,Merk\n";
        for (const auto& s : samples(watermark)) {
            std::string quoted = "\"" + s.value + "\"";
            csv += watermark ? "," + quoted + "\n" : quoted + ",\n";
        }
        return file(watermark ? "merk.csv" : "velden.csv", csv);
    }

    void merge(std::vector<std::string> more, bool watermark) {
        std::vector<std::string> arguments = {"merge",         "--template", form_,         "--data",
                                              data(watermark), "--output",   out_.string(), "--quiet"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        auto result = qvtest::runQuorvel(arguments);
        ASSERT_EQ(result.status, 0) << result.errors;
    }

    // Page texts of the files by both readers.
    nlohmann::json read(const std::vector<std::string>& files) {
        std::vector<std::string> argv = {"/usr/bin/python3", std::string(QV_SOURCE_DIR) + "/tests/e2e/read-text.py"};
        argv.insert(argv.end(), files.begin(), files.end());
        auto result = qvtest::runCommand(argv);
        EXPECT_EQ(result.status, 0) << result.errors;
        return nlohmann::json::parse(result.output, nullptr, false);
    }

    // poppler puts right-to-left text in logical order itself; MuPDF hands out the characters
    // in the order they are drawn (visual), which the comparison turns back.
    void expectReadsAs(const nlohmann::json& texts, size_t page, const Sample& sample) {
        std::string expected = comparable(sample.value);
        ASSERT_TRUE(texts.is_object() && texts.contains("poppler") && texts["poppler"].size() > page);
        EXPECT_EQ(comparable(texts["poppler"][page].get<std::string>()), expected) << sample.what << " (pdftotext)";
        EXPECT_EQ(comparable(texts["mupdf"][page].get<std::string>(), sample.rtl), expected)
            << sample.what << " (MuPDF)";
    }
};

}  // namespace

TEST_F(TextFidelity, EveryScriptReadsBackExactlyFromSeparateFiles) {
    merge({}, false);
    std::vector<std::string> files;
    for (size_t i = 0; i < corpus().size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "merge-%06zu.pdf", i + 1);
        files.push_back((out_ / name).string());
    }
    nlohmann::json texts = read(files);
    ASSERT_FALSE(texts.is_discarded());
    for (size_t i = 0; i < corpus().size(); ++i) expectReadsAs(texts[files[i]], 0, corpus()[i]);
}

TEST_F(TextFidelity, EveryScriptReadsBackExactlyFromOneCombinedFileAndFromWatermarks) {
    // Combined: one document whose fonts serve all records, so a glyph meets many texts.
    merge({"--mode", "combined"}, false);
    std::string combined = (out_ / "merge-gecombineerd.pdf").string();
    nlohmann::json texts = read({combined});
    ASSERT_FALSE(texts.is_discarded());
    for (size_t i = 0; i < corpus().size(); ++i) expectReadsAs(texts[combined], i, corpus()[i]);

    fs::remove_all(out_);
    fs::create_directories(out_);
    merge({"--mode", "combined", "--watermark-column", "Merk", "--watermark-position", "top", "--watermark-size", "14"},
          true);
    texts = read({combined});
    ASSERT_FALSE(texts.is_discarded());
    const auto marked = samples(true);
    ASSERT_GT(marked.size(), corpus().size() - 3);
    for (size_t i = 0; i < marked.size(); ++i) expectReadsAs(texts[combined], i, marked[i]);
}
