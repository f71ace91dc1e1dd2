// The delimited-text parser against a plain one-unit-at-a-time reading of the same rules: the
// fast parser skips runs of ordinary bytes in blocks, and this is where a block boundary, a
// CR LF split across it or a quote at its edge would show up as a different table or message.
// The separator check runs on the same text and must agree with single parses.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "input/DelimitedText.h"
#include "localization/Text.h"
#include "platform/Format.h"

namespace {

struct Reference {
    std::vector<std::vector<std::string>> rows;
    std::string message;  // empty: parsed
};

Reference referenceParse(std::string_view text, char separator) {
    Reference out;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::string> row;
    std::string cell;
    bool inQuotes = false, started = false, closed = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inQuotes) {
            if (c != '"') {
                cell += c;
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                cell += '"';
                ++i;
            } else {
                inQuotes = false;
                closed = true;
            }
            continue;
        }
        if (c == separator || c == '\n' || c == '\r') {
            row.push_back(std::move(cell));
            cell.clear();
            started = closed = false;
            if (c == separator) continue;
            out.rows.push_back(std::move(row));
            row.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            continue;
        }
        if (c == '"' && !started && !closed) {
            inQuotes = started = true;
            continue;
        }
        if (c == '"' || closed) {
            out.message = QVText("Ongeldige aanhalingstekens in CSV.");
            return out;
        }
        cell += c;
        started = true;
    }
    if (inQuotes) {
        out.message = QVText("Een geciteerd CSV-veld is niet afgesloten.");
        return out;
    }
    if (!row.empty() || !cell.empty() || started || closed) {
        row.push_back(std::move(cell));
        out.rows.push_back(std::move(row));
    }
    if (out.rows.size() < 2) {
        out.message = QVText("De CSV moet een kopregel en minstens één gegevensrij bevatten.");
        return out;
    }
    const std::vector<std::string>& header = out.rows[0];
    std::set<std::string> names(header.begin(), header.end());
    if (names.size() != header.size() || names.count("")) {
        out.message = QVText("CSV-kolomnamen mogen niet leeg of dubbel zijn.");
        return out;
    }
    for (size_t r = 1; r < out.rows.size(); ++r) {
        if (out.rows[r].size() == header.size()) continue;
        out.message = QVFormat(QVText("CSV-record %lu heeft een afwijkend aantal kolommen."),
                               {static_cast<unsigned long>(r + 1)});
        return out;
    }
    return out;
}

bool sameTable(const QVRecordTable& table, const Reference& reference) {
    if (table.rowCount() != reference.rows.size()) return false;
    for (size_t r = 0; r < table.rowCount(); ++r) {
        if (reference.rows[r].size() != table.columnCount()) return false;
        for (size_t c = 0; c < table.columnCount(); ++c)
            if (table.cell(r, c) != reference.rows[r][c]) return false;
    }
    return true;
}

bool multiColumn(std::string_view text, uint16_t separator) {
    std::optional<QVRecordTable> table = QVParseDelimitedText(text, separator);
    return table && table->columnCount() > 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the separator; now and then an invalid one.
    static constexpr uint16_t kSeparators[] = {QVSeparatorComma, QVSeparatorSemicolon, QVSeparatorTab, u'|'};
    const uint16_t separator = kSeparators[data[0] % 4];
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

    QVError error;
    std::optional<QVRecordTable> table = QVParseDelimitedText(text, separator, &error);
    if (separator == u'|') {
        QV_FUZZ_CHECK(!table && error.message == QVText("Ongeldig scheidingsteken."));
    } else {
        const Reference reference = referenceParse(text, static_cast<char>(separator));
        QV_FUZZ_CHECK(table.has_value() == reference.message.empty());
        if (table)
            QV_FUZZ_CHECK(sameTable(*table, reference));
        else
            QV_FUZZ_CHECK(error.message == reference.message);
    }

    bool expected = false;
    for (uint16_t candidate : {QVSeparatorComma, QVSeparatorSemicolon, QVSeparatorTab})
        if (candidate != separator && multiColumn(text, candidate)) expected = true;
    QV_FUZZ_CHECK(QVHasAlternativeMultiColumnParse(text, separator) == expected);
    return 0;
}
