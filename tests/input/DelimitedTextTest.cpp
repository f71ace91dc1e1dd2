#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "input/DelimitedText.h"
#include "support/DutchHome.h"
#include "support/TestSupport.h"

using qvtest::ScopedEnv;
using qvtest::TempDir;

namespace {

using Rows = std::vector<std::vector<std::string>>;
using Outcome = std::variant<Rows, std::string>;

const std::string kTooFewRows = "De CSV moet een kopregel en minstens één gegevensrij bevatten.";
const std::string kBadNames = "CSV-kolomnamen mogen niet leeg of dubbel zijn.";
const std::string kBadQuotes = "Ongeldige aanhalingstekens in CSV.";
const std::string kUnterminated = "Een geciteerd CSV-veld is niet afgesloten.";
const std::string kBadSeparator = "Ongeldig scheidingsteken.";
std::string uneven(unsigned long record) {
    return "CSV-record " + std::to_string(record) + " heeft een afwijkend aantal kolommen.";
}

// Messages are compared in Dutch, the language the program is written in, whatever the
// machine's settings or stored choice.
class DelimitedText : public qvtest::DutchHomeTest {
protected:
};

Rows rowsOf(const QVRecordTable& table) {
    Rows rows;
    for (size_t r = 0; r < table.rowCount(); ++r) {
        std::vector<std::string> row;
        for (std::string_view cell : table.row(r)) row.emplace_back(cell);
        rows.push_back(row);
    }
    return rows;
}

// The parse's table, or its message prefixed with "!". The table that refers to the text and
// the one that holds a copy must agree in every cell and message.
Outcome parse(std::string_view text, uint16_t separator = QVSeparatorComma) {
    QVError error, inPlaceError;
    std::optional<QVRecordTable> table = QVParseDelimitedText(text, separator, &error);
    std::optional<QVRecordTable> inPlace = QVParseDelimitedTextInPlace(text, separator, &inPlaceError);
    EXPECT_EQ(inPlaceError.message, error.message);
    if (!table) return "!" + error.message;
    EXPECT_TRUE(inPlace);
    if (inPlace) {
        EXPECT_EQ(rowsOf(*inPlace), rowsOf(*table));
    }
    return rowsOf(*table);
}

Outcome failure(const std::string& message) { return "!" + message; }

}  // namespace

TEST_F(DelimitedText, NeedsHeaderAndOneRecord) {
    for (std::string text : {"", "\xEF\xBB\xBF", "Naam,Plaats", "Naam,Plaats\n", "Naam,Plaats\r\n", "\n"}) {
        EXPECT_EQ(parse(text), failure(kTooFewRows)) << "text: " << text;
    }
}

TEST_F(DelimitedText, LineBreaks) {
    const Rows ab12 = {{"a", "b"}, {"1", "2"}};
    EXPECT_EQ(parse("a,b\r\n1,2\r\n"), Outcome(ab12));
    EXPECT_EQ(parse("a,b\r\n1,2"), Outcome(ab12));
    EXPECT_EQ(parse("a,b\r1,2\r"), Outcome(ab12));
    EXPECT_EQ(parse("a,b\n1,2\n"), Outcome(ab12));
    // A blank line is a row of one empty cell, not a line to skip.
    EXPECT_EQ(parse("a,b\n1,2\n\n"), failure(uneven(3)));
    EXPECT_EQ(parse("a,b\n\n1,2\n"), failure(uneven(2)));
    // LF CR is two line breaks; CR LF only one.
    EXPECT_EQ(parse("a,b\n1,2\n\r"), failure(uneven(3)));
    EXPECT_EQ(parse("a\n1\n\r"), Outcome(Rows{{"a"}, {"1"}, {""}}));
    // With one column, a blank line in the middle is a record whose value is empty.
    EXPECT_EQ(parse("Naam\nJan\n\nPiet\n"), Outcome(Rows{{"Naam"}, {"Jan"}, {""}, {"Piet"}}));
}

TEST_F(DelimitedText, QuotedCells) {
    EXPECT_EQ(parse("k\n\"x\"\"y\"\n"), Outcome(Rows{{"k"}, {"x\"y"}}));
    EXPECT_EQ(parse("k,l\n\"\",2\n"), Outcome(Rows{{"k", "l"}, {"", "2"}}));
    EXPECT_EQ(parse("k,l\n\"a,b\nc\",2\n"), Outcome(Rows{{"k", "l"}, {"a,b\nc", "2"}}));
    // Line breaks inside quotes stay exactly as written.
    EXPECT_EQ(parse("k\n\"a\r\nb\rc\"\r\n"), Outcome(Rows{{"k"}, {"a\r\nb\rc"}}));
    // A closing quote as the very last unit closes the cell.
    EXPECT_EQ(parse("k,l\n1,\"2\""), Outcome(Rows{{"k", "l"}, {"1", "2"}}));
    EXPECT_EQ(parse("k\n\"\"\"\"\"\"\n"), Outcome(Rows{{"k"}, {"\"\""}}));
    // Spaces are part of cells; quotes are not removed from column names by trimming either.
    EXPECT_EQ(parse("\"Naam\", Plaats \n Jan ,\" Utrecht \"\n"),
              Outcome(Rows{{"Naam", " Plaats "}, {" Jan ", " Utrecht "}}));
}

TEST_F(DelimitedText, MalformedQuotes) {
    EXPECT_EQ(parse("k\nab\"c\n"), failure(kBadQuotes));
    EXPECT_EQ(parse("k,l\n1, \"2\"\n"), failure(kBadQuotes));
    EXPECT_EQ(parse("k,l\n\"1\" ,2\n"), failure(kBadQuotes));
    EXPECT_EQ(parse("k,l\n\"1\"x,2\n"), failure(kBadQuotes));
    EXPECT_EQ(parse("k,l\n1,\"2\"\"\n"), failure(kUnterminated));
    EXPECT_EQ(parse("k,l\n1,\"2,3\n4,5\n"), failure(kUnterminated));
    EXPECT_EQ(parse("\""), failure(kUnterminated));
    // The scan finishes before the table is checked: a quoting fault anywhere wins over an
    // uneven row or a bad header earlier on.
    EXPECT_EQ(parse("k,k\n1\n2,\"3\" \n"), failure(kBadQuotes));
    EXPECT_EQ(parse("k,l\n1\n\"open"), failure(kUnterminated));
}

TEST_F(DelimitedText, ColumnNames) {
    EXPECT_EQ(parse("Naam,naam\n1,2\n"), Outcome(Rows{{"Naam", "naam"}, {"1", "2"}}));
    EXPECT_EQ(parse("Naam, Naam\n1,2\n"), Outcome(Rows{{"Naam", " Naam"}, {"1", "2"}}));
    EXPECT_EQ(parse("Naam,Naam\n1,2\n"), failure(kBadNames));
    EXPECT_EQ(parse("Naam,,Stad\n1,2,3\n"), failure(kBadNames));
    EXPECT_EQ(parse("Naam,Stad,\n1,2,3\n"), failure(kBadNames));
    EXPECT_EQ(parse("\"\"\n1\n"), failure(kBadNames));
    // A quoted name equals the same name unquoted.
    EXPECT_EQ(parse("Naam,\"Naam\"\n1,2\n"), failure(kBadNames));
    // Composed and decomposed forms are different names: no normalisation.
    EXPECT_EQ(parse("Zo\xC3\xAB,Zoe\xCC\x88\n1,2\n"), Outcome(Rows{{"Zoë", "Zoe\xCC\x88"}, {"1", "2"}}));
    // The header is checked before the rows' widths.
    EXPECT_EQ(parse("a,a\n1\n"), failure(kBadNames));
}

TEST_F(DelimitedText, RowWidths) {
    EXPECT_EQ(parse("a,b,c\n1,2,\n"), Outcome(Rows{{"a", "b", "c"}, {"1", "2", ""}}));
    EXPECT_EQ(parse("a,b\n1,2,\n"), failure(uneven(2)));
    EXPECT_EQ(parse("a,b\n1,2\n3,4\n5\n6\n"), failure(uneven(4)));
    EXPECT_EQ(parse("a,b\n1,2\n3,4,5\n"), failure(uneven(3)));
    // The last line without a line break still forms a row, even when it is a lone separator.
    EXPECT_EQ(parse("a,b\n1,2\n,"), Outcome(Rows{{"a", "b"}, {"1", "2"}, {"", ""}}));
}

TEST_F(DelimitedText, ByteOrderMark) {
    EXPECT_EQ(parse("\xEF\xBB\xBFNaam\nJan\n"), Outcome(Rows{{"Naam"}, {"Jan"}}));
    // Only one is dropped; a second one is part of the first name.
    EXPECT_EQ(parse("\xEF\xBB\xBF\xEF\xBB\xBFNaam\nJan\n"), Outcome(Rows{{"\xEF\xBB\xBFNaam"}, {"Jan"}}));
    EXPECT_EQ(parse("Naam\n\xEF\xBB\xBFJan\n"), Outcome(Rows{{"Naam"}, {"\xEF\xBB\xBFJan"}}));
    // A mark before an opening quote no longer stands in the way of the quote.
    EXPECT_EQ(parse("\xEF\xBB\xBF\"Naam\"\nJan\n"), Outcome(Rows{{"Naam"}, {"Jan"}}));
}

TEST_F(DelimitedText, Separators) {
    EXPECT_EQ(parse("a;b\n1,5;\"x;y\"\n", QVSeparatorSemicolon), Outcome(Rows{{"a", "b"}, {"1,5", "x;y"}}));
    EXPECT_EQ(parse("a\tb\n1,5\t\"x\ty\"\n", QVSeparatorTab), Outcome(Rows{{"a", "b"}, {"1,5", "x\ty"}}));
    // Only comma, semicolon and tab; a unit that merely ends in a comma's byte is not a comma.
    for (uint16_t separator : {uint16_t('|'), uint16_t(0), uint16_t(0x012C), uint16_t(0xFF0C), uint16_t(0x0A)}) {
        EXPECT_EQ(parse("a|b\n1|2\n", separator), failure(kBadSeparator)) << separator;
        EXPECT_EQ(parse("", separator), failure(kBadSeparator)) << separator;
    }
    QVError error;
    std::optional<QVRecordTable> table = QVParseCSV("a;b,c\n1;2,3\n", &error);
    ASSERT_TRUE(table);
    EXPECT_EQ(rowsOf(*table), (Rows{{"a;b", "c"}, {"1;2", "3"}}));
}

TEST_F(DelimitedText, TextOutsideAsciiPassesThrough) {
    const std::string text =
        "Naam,Plaats\nJos\xC3\xA9,\xE2\x80\x99s-Hertogenbosch\n\xF0\x9F\x98\x80,\xC3\x87"
        "elik\n";
    EXPECT_EQ(parse(text), Outcome(Rows{{"Naam", "Plaats"}, {"José", "’s-Hertogenbosch"}, {"😀", "Çelik"}}));
}

TEST_F(DelimitedText, ErrorReport) {
    QVError error;
    error.domain = "x";
    error.code = 7;
    EXPECT_FALSE(QVParseCSV("a,a\n1,2\n", &error));
    EXPECT_EQ(error.domain, "Quorvel");
    EXPECT_EQ(error.code, 1);
    EXPECT_EQ(error.message, kBadNames);
    // Without a place for the report the parse still just fails.
    EXPECT_FALSE(QVParseCSV("a,a\n1,2\n", nullptr));
    EXPECT_FALSE(QVParseDelimitedText("a\n1\n", '|', nullptr));
}

TEST_F(DelimitedText, TableAccess) {
    std::optional<QVRecordTable> table = QVParseCSV("Naam,Plaats,Bedrag\nJan,Utrecht,\"€ 1.234,50\"\n,,\n");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->rowCount(), 3u);
    EXPECT_EQ(table->columnCount(), 3u);
    EXPECT_EQ(table->header(), (std::vector<std::string_view>{"Naam", "Plaats", "Bedrag"}));
    EXPECT_EQ(table->cell(1, 2), "€ 1.234,50");
    EXPECT_EQ(table->row(2), (std::vector<std::string_view>{"", "", ""}));
}

TEST_F(DelimitedText, CellsAreViewsIntoTheTextUnlessUnquotingChangesThem) {
    // Every kind of cell end: separator, LF, CR, CR LF, the end of the text, empty cells.
    const std::string text =
        "\xEF\xBB\xBF"
        "a,\"b\"\r\n\"x\"\"y\",\r\n\"\",z\r\"p\r\nq\",\"\"\"\"\n,\"e\"\"\"";
    std::optional<QVRecordTable> table = QVParseDelimitedTextInPlace(text, QVSeparatorComma);
    ASSERT_TRUE(table);
    EXPECT_EQ(rowsOf(*table), (Rows{{"a", "b"}, {"x\"y", ""}, {"", "z"}, {"p\r\nq", "\""}, {"", "e\""}}));
    const auto inText = [&](std::string_view cell) {
        return cell.data() >= text.data() && cell.data() + cell.size() <= text.data() + text.size();
    };
    EXPECT_TRUE(inText(table->cell(0, 0)));
    EXPECT_TRUE(inText(table->cell(0, 1)));   // quoted, nothing doubled
    EXPECT_TRUE(inText(table->cell(3, 0)));   // a quoted line break
    EXPECT_FALSE(inText(table->cell(1, 0)));  // a doubled quote: copied, unquoted
    EXPECT_FALSE(inText(table->cell(4, 1)));

    // The copying parse outlives its text.
    std::optional<QVRecordTable> copied;
    {
        std::string temporary = text;
        copied = QVParseDelimitedText(temporary, QVSeparatorComma);
        temporary.assign(temporary.size(), '#');
    }
    ASSERT_TRUE(copied);
    EXPECT_EQ(rowsOf(*copied), rowsOf(*table));
    EXPECT_FALSE(inText(copied->cell(0, 0)));
}

TEST_F(DelimitedText, AlternativeSeparatorCheck) {
    const std::string semicolons = "Naam;Plaats\nJan;Utrecht\nPiet;Gouda\n";
    EXPECT_EQ(parse(semicolons), Outcome(Rows{{"Naam;Plaats"}, {"Jan;Utrecht"}, {"Piet;Gouda"}}));
    EXPECT_TRUE(QVHasAlternativeMultiColumnParse(semicolons, QVSeparatorComma));
    EXPECT_TRUE(QVHasAlternativeMultiColumnParse(semicolons, QVSeparatorTab));
    // The chosen separator itself is not a candidate.
    EXPECT_FALSE(QVHasAlternativeMultiColumnParse(semicolons, QVSeparatorSemicolon));
    EXPECT_TRUE(QVHasAlternativeMultiColumnParse("a\tb\n1\t2\n", QVSeparatorComma));
    // A candidate qualifies only when its whole parse succeeds.
    EXPECT_FALSE(QVHasAlternativeMultiColumnParse("Naam;Plaats\nJan;Utrecht\nPiet\n", QVSeparatorComma));
    EXPECT_FALSE(QVHasAlternativeMultiColumnParse("Naam;Naam\nJan;Utrecht\n", QVSeparatorComma));
    EXPECT_FALSE(QVHasAlternativeMultiColumnParse("Naam;Plaats\nJan;\"Utr\"echt\n", QVSeparatorComma));
    EXPECT_FALSE(QVHasAlternativeMultiColumnParse("Naam;Plaats\n", QVSeparatorComma));
    // Really one column: nothing else splits it.
    EXPECT_FALSE(QVHasAlternativeMultiColumnParse("Naam\nJan\nPiet\n", QVSeparatorComma));
    // An unknown separator leaves all three candidates.
    EXPECT_TRUE(QVHasAlternativeMultiColumnParse("a,b\n1,2\n", '|'));
    // Decided on the whole file, not on its header alone.
    std::string late = "a;b\n";
    for (int i = 0; i < 1000; ++i) late += "1;2\n";
    EXPECT_TRUE(QVHasAlternativeMultiColumnParse(late, QVSeparatorComma));
    EXPECT_FALSE(QVHasAlternativeMultiColumnParse(late + "3;4;5\n", QVSeparatorComma));
}

// ---------------------------------------------------------------------------------------------
// The fast scanner against a plain unit-by-unit reading of the same rules, on many generated
// texts: long cells cross the scanner's block boundaries, short ones sit at every offset.

namespace {

Outcome referenceParse(std::string_view text, uint16_t separator) {
    if (separator != ',' && separator != ';' && separator != '\t') return failure(kBadSeparator);
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    Rows rows;
    std::vector<std::string> row;
    std::string cell;
    bool inQuotes = false, started = false, closed = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inQuotes && c == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
                cell += '"';
                ++i;
            } else {
                inQuotes = false;
                closed = true;
            }
        } else if (inQuotes) {
            cell += c;
        } else if (c == char(separator) || c == '\n' || c == '\r') {
            row.push_back(cell);
            cell.clear();
            started = closed = false;
            if (c != char(separator)) {
                rows.push_back(row);
                row.clear();
                if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            }
        } else if (c == '"' && !started && !closed) {
            inQuotes = started = true;
        } else if (c == '"' || closed) {
            return failure(kBadQuotes);
        } else {
            cell += c;
            started = true;
        }
    }
    if (inQuotes) return failure(kUnterminated);
    if (!(row.empty() && cell.empty() && !started && !closed)) {
        row.push_back(cell);
        rows.push_back(row);
    }
    if (rows.size() < 2) return failure(kTooFewRows);
    std::set<std::string> names(rows[0].begin(), rows[0].end());
    if (names.size() != rows[0].size() || names.count("")) return failure(kBadNames);
    for (size_t r = 1; r < rows.size(); ++r) {
        if (rows[r].size() != rows[0].size()) return failure(uneven(r + 1));
    }
    return rows;
}

bool referenceAlternative(std::string_view text, uint16_t separator) {
    for (uint16_t candidate : {uint16_t(','), uint16_t(';'), uint16_t('\t')}) {
        if (candidate == separator) continue;
        auto result = referenceParse(text, candidate);
        if (auto* rows = std::get_if<Rows>(&result); rows && (*rows)[0].size() > 1) return true;
    }
    return false;
}

class TextGenerator {
public:
    explicit TextGenerator(unsigned seed) : random_(seed) {}

    // Mostly well-formed tables with the odd fault, so that successes and every failure occur.
    std::string next() {
        const char separators[] = {',', ';', '\t'};
        const char separator = separators[pick(3)];
        const size_t columns = 1 + pick(4);
        const size_t rows = pick(6);
        const char* breaks[] = {"\n", "\r\n", "\r"};
        std::string text = pick(8) == 0 ? "\xEF\xBB\xBF" : "";
        for (size_t r = 0; r < rows; ++r) {
            const size_t width = pick(10) == 0 ? 1 + pick(5) : columns;
            for (size_t c = 0; c < width; ++c) {
                if (c) text += separator;
                text += cell(r == 0 ? c : pick(3));
            }
            if (r + 1 < rows || pick(2)) text += breaks[pick(3)];
        }
        if (pick(4) == 0 && !text.empty()) {
            // Damage: insert, delete or replace one byte.
            const char noise[] = {'"', ',', ';', '\t', '\n', '\r', ' ', 'x'};
            const size_t at = pick(text.size());
            switch (pick(3)) {
            case 0: text.insert(text.begin() + long(at), noise[pick(sizeof noise)]); break;
            case 1: text.erase(at, 1); break;
            default: text[at] = noise[pick(sizeof noise)]; break;
            }
        }
        return text;
    }

private:
    size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }

    std::string cell(size_t flavour) {
        const char* pieces[] = {"a", "Jan", " ", "é", "€", "x,y", "p;q", "t\tu", "1\r\n2", "\"", "\"\"", "n\n"};
        std::string content = "k" + std::to_string(flavour);
        const size_t length = pick(5) == 0 ? 20 + pick(60) : pick(6);
        for (size_t i = 0; i < length; ++i) content += pieces[pick(sizeof pieces / sizeof *pieces)];
        if (pick(2)) {
            std::string quoted = "\"";
            for (char c : content) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
            return quoted + "\"";
        }
        // Unquoted: keep it mostly clean, sometimes not.
        if (pick(3))
            std::erase_if(content, [](char c) {
                return c == '"' || c == ',' || c == ';' || c == '\t' || c == '\n' || c == '\r';
            });
        return content;
    }

    std::mt19937 random_;
};

}  // namespace

TEST_F(DelimitedText, AgreesWithUnitByUnitReading) {
    TextGenerator generator(20240611);
    size_t successes = 0;
    for (int i = 0; i < 6000; ++i) {
        const std::string text = generator.next();
        for (uint16_t separator : {uint16_t(','), uint16_t(';'), uint16_t('\t')}) {
            const auto expected = referenceParse(text, separator);
            ASSERT_EQ(parse(text, separator), expected) << "separator " << separator << " text:\n" << text;
            ASSERT_EQ(QVHasAlternativeMultiColumnParse(text, separator), referenceAlternative(text, separator))
                << "separator " << separator << " text:\n"
                << text;
            successes += std::holds_alternative<Rows>(expected);
        }
    }
    // The generator must really reach the success path, not only failures.
    EXPECT_GT(successes, 1000u);
}

namespace {

// Where the parse says its fault is, as (line, offset of the line's start, offset), or nothing.
std::optional<std::tuple<size_t, size_t, size_t>> faultAt(std::string_view text, std::string* message = nullptr) {
    QVError error;
    std::optional<QVTextPlace> place;
    std::optional<QVRecordTable> table = QVParseDelimitedTextInPlace(text, QVSeparatorComma, &error, &place);
    if (message) *message = error.message;
    if (table || !place) return std::nullopt;
    return std::make_tuple(place->line, place->lineStart, place->offset);
}

}  // namespace

TEST_F(DelimitedText, AFailureSaysOnWhichPhysicalLineItIs) {
    using Place = std::tuple<size_t, size_t, size_t>;
    std::string message;
    // A quote inside an unquoted cell: at the quote.
    EXPECT_EQ(faultAt("a,b\n1,2\nx,y\"z\n", &message), Place(3, 8, 11));
    EXPECT_EQ(message, kBadQuotes);
    // Something after a closing quote: at what follows it.
    EXPECT_EQ(faultAt("a,b\r\n\"1\" ,2\r\n"), Place(2, 5, 8));
    // A quoted cell never closed: at its opening quote, however far the text runs on.
    EXPECT_EQ(faultAt("a,b\n1,\"2\n3,4\n5,6\n", &message), Place(2, 4, 6));
    EXPECT_EQ(message, kUnterminated);
    // An uneven row: at its start, counting the line breaks inside quoted cells before it, a
    // lone CR and a CR LF as one line each, and the byte-order mark as no character.
    const std::string text =
        "\xEF\xBB\xBF"
        "a,b\r\n\"1\n2\",x\r3,y\r\n4,5,6\r\n";
    EXPECT_EQ(faultAt(text, &message), Place(5, 21, 21));
    EXPECT_EQ(message, uneven(4));
    EXPECT_EQ(faultAt("a,b\n1,2\n\n"), Place(3, 8, 8));  // the blank last line
    // Faults of the whole table have no line, and a good parse none either.
    EXPECT_EQ(faultAt("a,a\n1,2\n", &message), std::nullopt);
    EXPECT_EQ(message, kBadNames);
    EXPECT_EQ(faultAt("a,b\n1,2\n"), std::nullopt);
}

TEST_F(DelimitedText, ALineIsFoundForAnyOffset) {
    const std::string text =
        "\xEF\xBB\xBF"
        "ab\r\ncd\ref\n";
    EXPECT_EQ(QVTextPlaceOf(text, 0).lineStart, 0u);
    EXPECT_EQ(QVTextPlaceOf(text, 4).lineStart, 3u);  // line 1 starts past the mark
    EXPECT_EQ(QVTextPlaceOf(text, 7).line, 2u);
    EXPECT_EQ(QVTextPlaceOf(text, 10).line, 3u);
    EXPECT_EQ(QVTextPlaceOf(text, 10).lineStart, 10u);
    EXPECT_EQ(QVTextPlaceOf(text, 1000).line, 4u);  // past the end: the end
    EXPECT_EQ(QVTextPlaceOf(text, 1000).offset, text.size());
}
