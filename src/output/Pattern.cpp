#include "output/Pattern.h"

#include <cinttypes>
#include <cstdio>
#include <unordered_map>

#include "localization/Text.h"
#include "platform/Error.h"
#include "platform/Format.h"
#include "platform/Unicode.h"

namespace {

constexpr size_t kMaxFilenameBytes = 255;

bool failUnclosed(int8_t watermark, QVError* error) {
    return QVFail(error, watermark ? QVText("Een accolade in het watermerkpatroon is niet afgesloten.")
                                   : QVText("Een accolade in het bestandsnaampatroon is niet afgesloten."));
}

bool failUnexpectedClose(int8_t watermark, QVError* error) {
    return QVFail(error, watermark ? QVText("Onverwachte sluitaccolade in het watermerkpatroon.")
                                   : QVText("Onverwachte sluitaccolade in het bestandsnaampatroon."));
}

bool failUnknownColumn(int8_t watermark, std::string_view name, QVError* error) {
    std::string format = watermark ? QVText("Onbekende CSV-kolom in watermerk: '%@'.")
                                   : QVText("Onbekende CSV-kolom in bestandsnaam: '%@'.");
    return QVFail(error, QVFormat(format, {name}));
}

std::string recordNumber(uint64_t number) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%06" PRIu64, number);
    return buffer;
}

// Finds columns by name (first match). A pattern may hold thousands of placeholders and a
// header a million names: after a few scans of a wide header it is indexed once instead.
class ColumnLookup {
public:
    ColumnLookup(std::span<const std::string_view> columns, std::span<const std::string_view> values)
        : columns_(columns), values_(values) {}

    std::optional<std::string_view> value(std::string_view name) {
        std::optional<size_t> i = index(name);
        // A row shorter than its header cannot come from the parser; refuse rather than read past it.
        if (!i || *i >= values_.size()) return std::nullopt;
        return values_[*i];
    }

private:
    static constexpr size_t kNarrow = 32;
    static constexpr size_t kScans = 8;

    std::optional<size_t> index(std::string_view name) {
        if (columns_.size() <= kNarrow || scans_++ < kScans) {
            for (size_t i = 0; i < columns_.size(); ++i)
                if (columns_[i] == name) return i;
            return std::nullopt;
        }
        if (index_.empty()) {
            index_.reserve(columns_.size());
            for (size_t i = 0; i < columns_.size(); ++i) index_.emplace(columns_[i], i);  // keeps the first
        }
        auto it = index_.find(name);
        if (it == index_.end()) return std::nullopt;
        return it->second;
    }

    std::span<const std::string_view> columns_;
    std::span<const std::string_view> values_;
    size_t scans_ = 0;
    std::unordered_map<std::string_view, size_t> index_;
};

// `name` is non-empty, well-formed UTF-8: the first and last code points always decode.
bool startsOrEndsWithWhitespace(std::string_view name) {
    size_t offset = 0;
    if (QVIsWhitespaceOrNewline(QVNextCodePoint(name, offset).value_or(0))) return true;
    size_t last = name.size() - 1;
    while (last > 0 && (static_cast<unsigned char>(name[last]) & 0xC0) == 0x80) --last;
    return QVIsWhitespaceOrNewline(QVNextCodePoint(name, last).value_or(0));
}

bool isValidFilename(std::string_view name) {
    if (name.empty()) return false;
    if (name.front() == '.') return false;
    if (name.find_first_of("/\\:") != std::string_view::npos) return false;
    bool hasControl = false;
    // Bytes that are not UTF-8 cannot be shown or matched by anyone downstream; refuse them too.
    bool wellFormed = QVForEachCodePoint(name, [&](char32_t c) {
        hasControl = QVIsControlCharacter(c);
        return !hasControl;
    });
    if (!wellFormed || hasControl) return false;
    return !startsOrEndsWithWhitespace(name);
}

}  // namespace

std::optional<std::string> QVExpandPattern(std::string_view pattern, std::span<const std::string_view> columns,
                                           std::span<const std::string_view> values, uint64_t number, int8_t watermark,
                                           QVError* error) {
    // Every special character is ASCII, so scanning bytes is scanning code units.
    std::string result;
    result.reserve(pattern.size() + 32);
    ColumnLookup lookup(columns, values);
    size_t i = 0;
    while (i < pattern.size()) {
        size_t special = pattern.find_first_of("{}", i);
        if (special == std::string_view::npos) {
            result.append(pattern.substr(i));
            break;
        }
        result.append(pattern.substr(i, special - i));
        if (pattern[special] == '}') {
            failUnexpectedClose(watermark, error);
            return std::nullopt;
        }
        size_t close = pattern.find('}', special + 1);
        if (close == std::string_view::npos) {
            failUnclosed(watermark, error);
            return std::nullopt;
        }
        std::string_view name = pattern.substr(special + 1, close - special - 1);
        if (name == "#") {
            result.append(recordNumber(number));
        } else {
            std::optional<std::string_view> value;
            if (name.find('{') == std::string_view::npos) value = lookup.value(name);
            if (!value) {
                failUnknownColumn(watermark, name, error);
                return std::nullopt;
            }
            result.append(*value);
        }
        i = close + 1;
    }
    return result;
}

std::optional<std::string> QVFilename(std::string_view pattern, std::span<const std::string_view> columns,
                                      std::span<const std::string_view> values, uint64_t number, QVError* error) {
    std::optional<std::string> name = QVExpandPattern(pattern, columns, values, number, 0, error);
    if (!name) return std::nullopt;
    if (!isValidFilename(*name)) {
        QVFail(error, QVFormat(QVText("Ongeldige bestandsnaam voor record %lu. Gebruik geen /, \\, :, controletekens, "
                                      "beginpunt of spaties aan het begin of einde."),
                               {static_cast<unsigned long>(number)}));
        return std::nullopt;
    }
    name->append(".pdf");
    if (name->size() > kMaxFilenameBytes) {
        QVFail(error,
               QVFormat(QVText("Bestandsnaam voor record %lu is te lang."), {static_cast<unsigned long>(number)}));
        return std::nullopt;
    }
    return name;
}
