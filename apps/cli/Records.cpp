#include "Records.h"

#include <charconv>
#include <limits>
#include <string_view>

#include "localization/Text.h"
#include "platform/Format.h"

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// Plain decimal digits only. A number too large for 64 bits is still a number, just one that
// names no record.
std::optional<uint64_t> number(std::string_view text) {
    text = trimmed(text);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    uint64_t value = 0;
    auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (status == std::errc::result_out_of_range) return std::numeric_limits<uint64_t>::max();
    if (status != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::vector<QVRecordRange>> QVRecordsFromArgument(const std::string& text, QVError* error) {
    std::vector<QVRecordRange> ranges;
    auto malformed = [&]() -> std::optional<std::vector<QVRecordRange>> {
        QVFail(error, QVFormat(QVText("Ongeldige recordlijst '%@': gebruik recordnummers en reeksen, gescheiden door "
                                      "komma's, bijvoorbeeld 3-5,12."),
                               {text}));
        return std::nullopt;
    };
    std::string_view rest(text);
    while (true) {
        const size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        const size_t dash = item.find('-');
        std::optional<uint64_t> first = number(item.substr(0, dash));
        std::optional<uint64_t> last = dash == std::string_view::npos ? first : number(item.substr(dash + 1));
        if (!first || !last || *first > *last) return malformed();
        ranges.push_back({*first, *last});
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    return ranges;
}

bool QVRecordsExist(const std::vector<QVRecordRange>& ranges, uint64_t records, QVError* error) {
    for (const QVRecordRange& range : ranges) {
        if (range.first >= 1 && range.last <= records) continue;
        const uint64_t outside = range.first < 1 ? range.first : range.last;
        return QVFail(error, QVFormat(QVText("Record %lu bestaat niet: het gegevensbestand heeft records 1 tot %lu."),
                                      {static_cast<unsigned long>(outside), static_cast<unsigned long>(records)}));
    }
    return true;
}
