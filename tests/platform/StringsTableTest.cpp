#include <gtest/gtest.h>

#include <sys/stat.h>

#include <random>
#include <string>
#include <vector>

#include "platform/StringsTable.h"
#include "support/TestSupport.h"

namespace {

using qvtest::TempDir;

const char* const kHeader =
    "msgid \"\"\n"
    "msgstr \"\"\n"
    "\"Language: en\\n\"\n"
    "\"Content-Type: text/plain; charset=UTF-8\\n\"\n";

QVStringsTable parseOk(const std::string& text) {
    std::optional<QVStringsTable> table = QVParseStringsTable(text);
    EXPECT_TRUE(table.has_value()) << text;
    return table.value_or(QVStringsTable{});
}

TEST(StringsTable, ReadsEntriesAndSkipsHeaderCommentsAndUntranslated) {
    QVStringsTable table = parseOk(std::string("# a comment\n") + kHeader +
                                   "\n"
                                   "#. where it is shown\n"
                                   "#: src/somewhere.cpp:12\n"
                                   "msgid \"Annuleren\"\n"
                                   "msgstr \"Cancel\"\n"
                                   "\n"
                                   "msgid \"Verder\"\n"
                                   "msgstr \"\"\n"
                                   "   msgid   \"Tab\"   \n"
                                   "msgstr \"Tab\"\n");
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table["Annuleren"], "Cancel");
    EXPECT_EQ(table["Tab"], "Tab");
    EXPECT_EQ(table.count("Verder"), 0u) << "an empty msgstr is untranslated";
    EXPECT_EQ(table.count(""), 0u) << "the header is not an entry";
}

TEST(StringsTable, EmptyAndCommentOnlyTablesAreValidAndEmpty) {
    EXPECT_TRUE(parseOk("").empty());
    EXPECT_TRUE(parseOk("# nothing yet\n\n#. still nothing\n").empty());
    EXPECT_TRUE(parseOk(kHeader).empty());
}

TEST(StringsTable, DecodesEscapes) {
    QVStringsTable table = parseOk(
        "msgid \"%@\\n%lu PDF-bestanden zijn al gemaakt.\"\n"
        "msgstr \"%@\\n%lu PDF files\\talready \\\"made\\\" \\\\ it\\'s\\?\"\n"
        "msgid \"octal\"\n"
        "msgstr \"\\101\\7\\303\\251\"\n"
        "msgid \"hex\"\n"
        "msgstr \"\\x41\\x4a\\xc3\\xa9x\"\n"
        "msgid \"controls\"\n"
        "msgstr \"\\a\\b\\f\\v\\r\"\n");
    EXPECT_EQ(table["%@\n%lu PDF-bestanden zijn al gemaakt."], "%@\n%lu PDF files\talready \"made\" \\ it's?");
    EXPECT_EQ(table["octal"], "A\a\xC3\xA9");
    EXPECT_EQ(table["hex"], "AJ\xC3\xA9x") << "at most two hex digits, so the x after them is text";
    EXPECT_EQ(table["controls"], "\a\b\f\v\r");
}

TEST(StringsTable, JoinsContinuationLinesAndLiteralsOnOneLine) {
    QVStringsTable table = parseOk(
        "msgid \"\"\n"
        "\"Ongeldige bestandsnaam voor record %lu. \"\n"
        "   \"Gebruik geen /, \\\\, :.\"\n"
        "msgstr \"Invalid file name \" \"for record %lu. \"\n"
        "\"Do not use /, \\\\, :.\"\n");
    EXPECT_EQ(table["Ongeldige bestandsnaam voor record %lu. Gebruik geen /, \\, :."],
              "Invalid file name for record %lu. Do not use /, \\, :.");
}

TEST(StringsTable, AcceptsCrLfLineEndsAndByteOrderMark) {
    QVStringsTable table = parseOk("\xEF\xBB\xBF# c\r\nmsgid \"Taal...\"\r\nmsgstr \"Language...\"\r\n");
    EXPECT_EQ(table["Taal..."], "Language...");
    // Raw UTF-8 in keys and values is kept byte for byte.
    table = parseOk("msgid \"Eén PDF\"\nmsgstr \"Un seul PDF\"\nmsgid \"About Quorvel…\"\nmsgstr \"Über Quorvel…\"\n");
    EXPECT_EQ(table["Eén PDF"], "Un seul PDF");
    EXPECT_EQ(table["About Quorvel…"], "Über Quorvel…");
}

TEST(StringsTable, LeavesOutFuzzyAndContextEntries) {
    QVStringsTable table = parseOk(
        "#, fuzzy\n"
        "msgid \"Groot\"\n"
        "msgstr \"Large\"\n"
        "\n"
        "#, c-format, fuzzy\n"
        "msgid \"Record %lu\"\n"
        "msgstr \"Record %lu\"\n"
        "\n"
        "#, c-format\n"
        "msgid \"Klein\"\n"
        "msgstr \"Small\"\n"
        "\n"
        "#, fuzzy\n"
        "msgctxt \"menu\"\n"
        "msgid \"Midden\"\n"
        "msgstr \"Middle\"\n"
        "msgctxt \"button\"\n"
        "msgid \"Verder\"\n"
        "msgstr \"Continue\"\n"
        "msgid \"Grijs\"\n"
        "msgstr \"Gray\"\n"
        "#~ msgid \"Oud\"\n"
        "#~ msgstr \"Old\"\n");
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table["Klein"], "Small");
    EXPECT_EQ(table["Grijs"], "Gray") << "the fuzzy flag belongs to one entry only";
    EXPECT_EQ(table.count("Groot"), 0u);
    EXPECT_EQ(table.count("Record %lu"), 0u);
    EXPECT_EQ(table.count("Verder"), 0u) << "a context entry can never be looked up";
}

TEST(StringsTable, MalformedTablesGiveNothing) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"msgid without msgstr", "msgid \"a\"\n"},
        {"msgid without msgstr before next", "msgid \"a\"\nmsgid \"b\"\nmsgstr \"B\"\n"},
        {"msgstr without msgid", "msgstr \"a\"\n"},
        {"second msgstr", "msgid \"a\"\nmsgstr \"A\"\nmsgstr \"B\"\n"},
        {"string without keyword", "\"loose\"\n"},
        {"string after a comment", "msgid \"a\"\nmsgstr \"A\"\n# c\n\"more\"\n"},
        {"keyword without string", "msgid\nmsgstr \"A\"\n"},
        {"unterminated string", "msgid \"a\nmsgstr \"A\"\n"},
        {"quote escaped at end", "msgid \"a\\\"\nmsgstr \"A\"\n"},
        {"unknown escape", "msgid \"a\"\nmsgstr \"\\q\"\n"},
        {"hex escape without digits", "msgid \"a\"\nmsgstr \"\\xg\"\n"},
        {"octal escape too large", "msgid \"a\"\nmsgstr \"\\777\"\n"},
        {"text after the string", "msgid \"a\" x\nmsgstr \"A\"\n"},
        {"unknown keyword", "msgid \"a\"\nmsgtxt \"A\"\n"},
        {"plural forms", "msgid \"a\"\nmsgid_plural \"as\"\nmsgstr[0] \"A\"\nmsgstr[1] \"As\"\n"},
        {"indexed msgstr", "msgid \"a\"\nmsgstr[0] \"A\"\n"},
        {"context after msgid", "msgid \"a\"\nmsgctxt \"c\"\nmsgstr \"A\"\n"},
        {"comment inside an entry", "msgid \"a\"\n# c\nmsgstr \"A\"\n"},
        {"duplicate msgid", "msgid \"a\"\nmsgstr \"A\"\nmsgid \"a\"\nmsgstr \"B\"\n"},
        {"duplicate msgid, one fuzzy", "msgid \"a\"\nmsgstr \"A\"\n#, fuzzy\nmsgid \"a\"\nmsgstr \"B\"\n"},
        {"duplicate header", "msgid \"\"\nmsgstr \"\"\nmsgid \"\"\nmsgstr \"\"\n"},
        {"raw control character in a string", std::string("msgid \"a\"\nmsgstr \"A\x01\"\n")},
        {"NUL byte", std::string("msgid \"a\"\nmsgstr \"A\"\n# \0\n", 24)},
        {"NUL by escape", "msgid \"a\"\nmsgstr \"A\\0\"\n"},
        {"invalid UTF-8 byte", "msgid \"a\"\nmsgstr \"\xFF\"\n"},
        {"invalid UTF-8 in a comment", "# \xC3\nmsgid \"a\"\nmsgstr \"A\"\n"},
        {"overlong UTF-8", "msgid \"a\"\nmsgstr \"\xC0\xAF\"\n"},
        {"UTF-8 surrogate", "msgid \"a\"\nmsgstr \"\xED\xA0\x80\"\n"},
        {"UTF-8 above U+10FFFF", "msgid \"a\"\nmsgstr \"\xF4\x90\x80\x80\"\n"},
        {"truncated UTF-8 at the end", "msgid \"a\"\nmsgstr \"A\"\n# \xE2\x80"},
        {"invalid UTF-8 by escapes", "msgid \"a\"\nmsgstr \"\\303\"\n"},
        {"non-UTF-8 charset", "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n"},
    };
    for (const auto& [name, text] : cases) {
        EXPECT_FALSE(QVParseStringsTable(text).has_value()) << name;
    }
}

TEST(StringsTable, AnErrorLateInTheFileDiscardsTheWholeTable) {
    std::string good;
    for (int i = 0; i < 50; ++i) good += "msgid \"k" + std::to_string(i) + "\"\nmsgstr \"v\"\n";
    ASSERT_EQ(parseOk(good).size(), 50u);
    EXPECT_FALSE(QVParseStringsTable(good + "msgid \"broken\"\n").has_value());
}

TEST(StringsTable, SurvivesMangledInput) {
    // Every prefix and thousands of random mutations of a valid table: each gives a table or
    // nothing, and whatever it gives is clean UTF-8 text without NUL.
    const std::string seed = std::string(kHeader) +
                             "#, fuzzy\nmsgid \"Eén\"\nmsgstr \"One\\n\\x41\\101\"\n"
                             "msgctxt \"c\"\nmsgid \"\"\n\"Twee\"\nmsgstr \"Two…\" \"\"\n";
    auto check = [](const std::string& text) {
        std::optional<QVStringsTable> table = QVParseStringsTable(text);
        if (!table) return;
        for (const auto& [key, value] : *table) {
            EXPECT_EQ(key.find('\0'), std::string::npos);
            EXPECT_EQ(value.find('\0'), std::string::npos);
        }
    };
    for (size_t n = 0; n <= seed.size(); ++n) check(seed.substr(0, n));

    std::mt19937 random(12345);
    const std::string alphabet = "\"\\\n#,msgidtrcx0\xC3\xA9\xFF \r\t";
    for (int round = 0; round < 5000; ++round) {
        std::string text = seed;
        int edits = 1 + static_cast<int>(random() % 4);
        for (int k = 0; k < edits && !text.empty(); ++k) {
            size_t at = random() % text.size();
            switch (random() % 3) {
            case 0: text[at] = alphabet[random() % alphabet.size()]; break;
            case 1: text.erase(at, 1 + random() % 8); break;
            default: text.insert(at, 1, static_cast<char>(random() % 256)); break;
            }
        }
        check(text);
    }
}

TEST(StringsTable, LoadsOnlyReadablePlainFiles) {
    TempDir dir;
    qvtest::writeFile(dir / "Localizable.po", "msgid \"Taal...\"\nmsgstr \"Langue...\"\n");
    std::optional<QVStringsTable> table = QVLoadStringsTable(dir / "Localizable.po");
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ((*table)["Taal..."], "Langue...");

    EXPECT_FALSE(QVLoadStringsTable(dir / "missing.po").has_value());
    EXPECT_FALSE(QVLoadStringsTable(dir.path()).has_value()) << "a folder is not a table";

    qvtest::writeFile(dir / "broken.po", "msgid \"Taal...\"\n");
    EXPECT_FALSE(QVLoadStringsTable(dir / "broken.po").has_value());

    // A fifo with no writer must not hang the lookup.
    ASSERT_EQ(::mkfifo((dir / "fifo.po").c_str(), 0600), 0);
    EXPECT_FALSE(QVLoadStringsTable(dir / "fifo.po").has_value());
}

}  // namespace
