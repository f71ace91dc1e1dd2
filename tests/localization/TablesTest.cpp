// Checks the shipped translation tables against the template of keys and against the texts
// that the program actually passes to QVText.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/StringsTable.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kLanguages = {"en", "fr", "de", "es"};

fs::path resources() { return fs::path(QV_SOURCE_DIR) / "resources"; }

// The template leaves every msgstr empty, which the reader drops as untranslated; give each
// one-line empty msgstr a dummy value so that the template's keys come through the same reader.
std::set<std::string> templateKeys() {
    std::string text = qvtest::readFile(resources() / "quorvel.pot");
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::string filled;
    for (size_t i = 0; i < lines.size(); ++i) {
        bool continued = i + 1 < lines.size() && !lines[i + 1].empty() && lines[i + 1].front() == '"';
        filled += (lines[i] == "msgstr \"\"" && !continued) ? "msgstr \"-\"" : lines[i];
        filled += '\n';
    }
    std::optional<QVStringsTable> table = QVParseStringsTable(filled);
    EXPECT_TRUE(table.has_value()) << "quorvel.pot does not parse";
    std::set<std::string> keys;
    if (table) {
        for (const auto& entry : *table) keys.insert(entry.first);
    }
    return keys;
}

QVStringsTable languageTable(const std::string& code) {
    std::optional<QVStringsTable> table = QVLoadStringsTable(resources() / (code + ".lproj") / "Localizable.po");
    EXPECT_TRUE(table.has_value()) << code << ".lproj/Localizable.po does not parse";
    return table.value_or(QVStringsTable{});
}

// The formatter's directives in order; any other percent sequence is kept as a fault marker.
std::vector<std::string> directives(const std::string& text) {
    std::vector<std::string> found;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        std::string rest = text.substr(i + 1, 2);
        if (rest.rfind("lu", 0) == 0) {
            found.push_back("%lu");
            i += 2;
        } else if (!rest.empty() && (rest[0] == '@' || rest[0] == 's' || rest[0] == '%')) {
            found.push_back(std::string("%") + rest[0]);
            i += 1;
        } else {
            found.push_back("%?" + rest.substr(0, 1));
        }
    }
    return found;
}

size_t countOf(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// ---- a small C++ scanner for QVText("...") call sites ----

void appendUtf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

struct Token {
    enum Kind { Identifier, String, Punct } kind;
    std::string text;  // the identifier, the decoded literal, or the punctuation character
};

// Decodes the body of an ordinary C++ string literal, starting after its opening quote; leaves
// `i` after the closing quote.
std::string readCppLiteral(const std::string& src, size_t& i) {
    std::string out;
    while (i < src.size() && src[i] != '"') {
        char c = src[i++];
        if (c != '\\' || i >= src.size()) {
            out += c;
            continue;
        }
        char e = src[i++];
        switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'a': out += '\a'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'v': out += '\v'; break;
        case 'x': {
            unsigned long v = 0;
            while (i < src.size() && std::isxdigit(static_cast<unsigned char>(src[i])))
                v = v * 16 + static_cast<unsigned long>(std::stoi(std::string(1, src[i++]), nullptr, 16));
            out += static_cast<char>(v);
            break;
        }
        case 'u':
        case 'U': {
            size_t digits = e == 'u' ? 4 : 8;
            appendUtf8(out, std::stoul(src.substr(i, digits), nullptr, 16));
            i += digits;
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                unsigned long v = static_cast<unsigned long>(e - '0');
                for (int k = 0; k < 2 && i < src.size() && src[i] >= '0' && src[i] <= '7'; ++k)
                    v = v * 8 + static_cast<unsigned long>(src[i++] - '0');
                out += static_cast<char>(v);
            } else {
                out += e;  // \" \\ \' \?
            }
        }
    }
    ++i;
    return out;
}

std::vector<Token> tokenize(const std::string& src) {
    std::vector<Token> tokens;
    size_t i = 0;
    auto isIdent = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    while (i < src.size()) {
        char c = src[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (src.compare(i, 2, "//") == 0) {
            i = src.find('\n', i);
            if (i == std::string::npos) i = src.size();
        } else if (src.compare(i, 2, "/*") == 0) {
            size_t end = src.find("*/", i + 2);
            i = end == std::string::npos ? src.size() : end + 2;
        } else if (c == '"') {
            ++i;
            tokens.push_back({Token::String, readCppLiteral(src, i)});
        } else if (c == '\'') {
            for (++i; i < src.size() && src[i] != '\''; ++i)
                if (src[i] == '\\') ++i;
            ++i;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            while (i < src.size() && (isIdent(src[i]) || src[i] == '.' || src[i] == '\'')) ++i;
        } else if (isIdent(c)) {
            size_t start = i;
            while (i < src.size() && isIdent(src[i])) ++i;
            std::string word = src.substr(start, i - start);
            if (i < src.size() && src[i] == '"' && !word.empty() && word.back() == 'R') {
                // Raw literal: R"delim( ... )delim"
                size_t open = src.find('(', i);
                std::string close = ")" + src.substr(i + 1, open - i - 1) + "\"";
                size_t end = src.find(close, open);
                tokens.push_back({Token::String, src.substr(open + 1, end - open - 1)});
                i = end + close.size();
            } else if (i < src.size() && src[i] == '"' && (word == "u8" || word == "u" || word == "U" || word == "L")) {
                continue;  // an encoding prefix: the literal follows
            } else {
                tokens.push_back({Token::Identifier, word});
            }
        } else {
            tokens.push_back({Token::Punct, std::string(1, c)});
            ++i;
        }
    }
    return tokens;
}

// The functions that look a Dutch text up: QVText everywhere, dialogText for the texts the
// dialog services show on their own (it reaches QVText through a hook, so a scan for QVText
// alone would miss them), and QVHostText for the host application's own texts (it reads the
// same tables without linking QVText).
const std::set<std::string> kLookupFunctions = {"QVText", "dialogText", "QVHostText"};

struct LookedUp {
    std::string function;
    std::string key;
    bool operator==(const LookedUp&) const = default;
};

// Every literal (adjacent literals joined) inside the argument list of a call to a lookup function.
std::vector<LookedUp> lookupsIn(const std::string& src) {
    std::vector<Token> tokens = tokenize(src);
    std::vector<LookedUp> found;
    for (size_t t = 0; t + 1 < tokens.size(); ++t) {
        if (tokens[t].kind != Token::Identifier || !kLookupFunctions.count(tokens[t].text)) continue;
        if (tokens[t + 1].kind != Token::Punct || tokens[t + 1].text != "(") continue;
        int depth = 0;
        std::optional<std::string> group;
        for (size_t u = t + 1; u < tokens.size(); ++u) {
            const Token& token = tokens[u];
            if (token.kind == Token::String) {
                group = group.value_or("") + token.text;
                continue;
            }
            if (group) found.push_back({tokens[t].text, *group}), group.reset();
            if (token.kind != Token::Punct) continue;
            if (token.text == "(") ++depth;
            if (token.text == ")" && --depth == 0) break;
        }
    }
    return found;
}

std::vector<std::string> textKeysIn(const std::string& src) {
    std::vector<std::string> keys;
    for (const LookedUp& l : lookupsIn(src)) keys.push_back(l.key);
    return keys;
}

TEST(Tables, ScannerFindsLiteralsOfQVTextCalls) {
    const std::string sample = R"src(
        // QVText("in a comment")
        /* QVText("in a block comment") */
        auto a = QVText("Record %lu");
        auto b = QVText( "Ongeldige bestandsnaam, /, \\, :"
                         " en \"meer\"\n" );
        auto c = flag ? QVText("Klein") : QVText(u8"Groot \u00e9");
        auto d = QVText(flag ? "Ja" : "Nee");
        auto e = QVText(format);
        auto f = MyQVText("not ours");
        auto g = QVText(R"(raw\n)");
    )src";
    std::vector<std::string> expected = {
        "Record %lu", "Ongeldige bestandsnaam, /, \\, : en \"meer\"\n", "Klein", "Groot \xC3\xA9", "Ja", "Nee",
        "raw\\n"};
    EXPECT_EQ(textKeysIn(sample), expected);
}

TEST(Tables, ScannerFindsLiteralsOfTheDialogsOwnLookups) {
    const std::string sample = R"src(
        std::string dialogText(const std::string& dutch);
        say(dialogText("Keuzelijst") + ":");
        auto p = QVFormat(qvui::dialogText("Kies een knop (1-%lu): "), {count});
        auto q = count == 1 ? dialogText("Druk op Enter om verder te gaan: ")
                            : QVText("Verder");
        auto r = mydialogText("not ours");
    )src";
    std::vector<LookedUp> expected = {{"dialogText", "Keuzelijst"},
                                      {"dialogText", "Kies een knop (1-%lu): "},
                                      {"dialogText", "Druk op Enter om verder te gaan: "},
                                      {"QVText", "Verder"}};
    EXPECT_EQ(lookupsIn(sample), expected);
}

TEST(Tables, ScannerFindsLiteralsOfTheHostsOwnLookups) {
    const std::string sample = R"src(
        std::string QVHostText(const std::string& dutch);
        qvui::setDialogTextProvider(QVHostText);
        if (!bundle) return refuse(QVHostText("geen map"));
        out << QVFormat(QVHostText("Kies een menu (1-%lu, q = stoppen): "), {count});
        return QVHostText(
            "Gebruik: host [--plugins MAP]\n"
            "\n"
            "  --plugins MAP  laad de plug-ins\n");
        auto s = QVHostTextual("not ours");
    )src";
    std::vector<LookedUp> expected = {
        {"QVHostText", "geen map"},
        {"QVHostText", "Kies een menu (1-%lu, q = stoppen): "},
        {"QVHostText", "Gebruik: host [--plugins MAP]\n\n  --plugins MAP  laad de plug-ins\n"}};
    EXPECT_EQ(lookupsIn(sample), expected);
}

TEST(Tables, EveryTableParsesWithExactlyTheTemplateKeys) {
    std::set<std::string> keys = templateKeys();
    ASSERT_GT(keys.size(), 100u);

    // The template itself carries no translations.
    std::optional<QVStringsTable> pot = QVLoadStringsTable(resources() / "quorvel.pot");
    ASSERT_TRUE(pot.has_value());
    EXPECT_TRUE(pot->empty());

    for (const std::string& code : kLanguages) {
        QVStringsTable table = languageTable(code);
        std::set<std::string> have;
        for (const auto& entry : table) have.insert(entry.first);
        for (const std::string& key : keys) EXPECT_TRUE(have.count(key)) << code << " has no translation for: " << key;
        for (const std::string& key : have)
            EXPECT_TRUE(keys.count(key)) << code << " translates a key the template lacks: " << key;
    }
}

TEST(Tables, TranslationsKeepPlaceholdersLineBreaksAndEllipses) {
    for (const std::string& code : kLanguages) {
        for (const auto& [key, value] : languageTable(code)) {
            SCOPED_TRACE(code + ": " + key);
            EXPECT_EQ(directives(value), directives(key)) << value;
            EXPECT_EQ(countOf(value, "{#}"), countOf(key, "{#}")) << value;
            EXPECT_EQ(countOf(value, "\n"), countOf(key, "\n")) << value;
            if (endsWith(key, "...")) {
                EXPECT_TRUE(endsWith(value, "...")) << value;
            }
            if (endsWith(key, "\xE2\x80\xA6")) {
                EXPECT_TRUE(endsWith(value, "\xE2\x80\xA6")) << value;
            }
            EXPECT_FALSE(value.empty());
            // A prompt's trailing space keeps the typed answer apart from it; texts are joined
            // to others, so a stray space at either end shows as a gap.
            if (value.empty() || key.empty()) continue;
            EXPECT_EQ(value.back() == ' ', key.back() == ' ') << "[" << value << "]";
            EXPECT_EQ(value.front() == ' ', key.front() == ' ') << "[" << value << "]";
        }
    }
}

TEST(Tables, EveryTextThatTheProgramLooksUpIsATemplateKey) {
    std::set<std::string> keys = templateKeys();
    ASSERT_FALSE(keys.empty());
    std::map<std::string, size_t> found;
    for (const char* folder : {"src", "apps"}) {
        fs::path root = fs::path(QV_SOURCE_DIR) / folder;
        if (!fs::exists(root)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            std::string ext = entry.path().extension().string();
            if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h" && ext != ".hpp" && ext != ".cc")) continue;
            for (const LookedUp& l : lookupsIn(qvtest::readFile(entry.path()))) {
                ++found[l.function];
                EXPECT_TRUE(keys.count(l.key)) << fs::relative(entry.path(), QV_SOURCE_DIR).string()
                                               << " looks up a text that is not in quorvel.pot: " << l.key;
            }
        }
    }
    // A renamed lookup function would silently drop out of the scan.
    for (const std::string& function : kLookupFunctions)
        EXPECT_GT(found[function], 0u) << "no " << function << "(\"...\") call found at all: the scan is broken";
}

}  // namespace
