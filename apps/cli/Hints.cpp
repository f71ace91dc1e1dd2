#include "Hints.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "Suggest.h"
#include "input/DelimitedText.h"
#include "input/Template.h"
#include "localization/Text.h"
#include "output/Pattern.h"
#include "platform/Format.h"
#include "platform/Unicode.h"
#include "platform/pdf/Document.h"

namespace {

// The number a message made from `format` (one %lu and nothing else to fill) carries.
std::optional<unsigned long> numberIn(const std::string& message, const std::string& format) {
    const size_t at = format.find("%lu");
    if (at == std::string::npos) return std::nullopt;
    const std::string before = format.substr(0, at), after = format.substr(at + 3);
    if (message.size() <= before.size() + after.size() || message.rfind(before, 0) != 0 ||
        message.compare(message.size() - after.size(), after.size(), after) != 0)
        return std::nullopt;
    const std::string digits = message.substr(before.size(), message.size() - before.size() - after.size());
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    return std::strtoul(digits.c_str(), nullptr, 10);
}

}  // namespace

// The lines that follow a missing column: which column was looked for when --map named it, the
// data's columns, and the closest of them, with how to tie the field to a column.
std::string QVMissingColumnHint(const std::string& message, const std::vector<std::string>& fields,
                                const QVFieldMapping& mapping, std::string_view text, uint16_t separator) {
    const std::string* field = nullptr;
    for (const std::string& name : fields)
        if (message == QVFormat(QVText("CSV-kolom ontbreekt voor PDF-veld '%@'."), {name})) field = &name;
    if (!field) return {};
    std::optional<QVRecordTable> table = QVParseDelimitedText(text, separator);
    if (!table) return {};
    const std::vector<std::string_view> header = table->header();

    std::string lines;
    const auto entry = mapping.find(*field);
    const std::string column = entry != mapping.end() ? entry->second : *field;
    if (column != *field)
        lines += QVFormat(QVText("De kolom '%@' uit --map staat niet in het gegevensbestand."), {column}) + "\n";
    // A file with thousands of columns gets the first few named, and the closest among many.
    constexpr size_t kShown = 20, kCompared = 10000;
    std::string names;
    for (size_t i = 0; i < header.size() && i < kShown; ++i) names += (i ? ", " : "") + std::string(header[i]);
    if (header.size() > kShown) names += ", …";
    lines += QVFormat(QVText("Kolommen in het gegevensbestand: %@"), {names});
    const size_t limit = std::max<size_t>(2, column.size() / 3);
    const std::string_view* closest = nullptr;
    size_t best = limit + 1;
    for (size_t i = 0; i < header.size() && i < kCompared; ++i) {
        const size_t d = QVEditDistance(column, header[i], limit);
        if (d < best) {
            best = d;
            closest = &header[i];
        }
    }
    lines += '\n';
    if (closest)
        lines += QVFormat(QVText("Bedoel je '%@'? Koppel het veld met --map '%@=%@'."),
                          {std::string(*closest), *field, std::string(*closest)});
    else
        lines += QVFormat(QVText("Koppel het veld aan een kolom met --map '%@=KOLOM'."), {*field});
    return lines;
}

// The line that follows a value that is too long: its length and the field's limit.
std::string QVTooLongHint(const std::string& message, const std::vector<std::string>& fields,
                          const QVFieldMapping& mapping, std::string_view text, uint16_t separator,
                          std::string_view templateBytes) {
    // The message is the translated format filled with the field name and record number + 1.
    const std::string format = QVText("Waarde voor '%@' in record %lu is te lang.");
    const size_t name = format.find("%@"), number = format.find("%lu");
    if (name == std::string::npos || number == std::string::npos || number < name) return {};
    const std::string before = format.substr(0, name), between = format.substr(name + 2, number - name - 2),
                      after = format.substr(number + 3);
    if (message.size() < before.size() + between.size() + after.size() || message.rfind(before, 0) != 0 ||
        message.compare(message.size() - after.size(), after.size(), after) != 0)
        return {};
    const std::string middle = message.substr(before.size(), message.size() - before.size() - after.size());
    const size_t split = middle.rfind(between);
    if (split == std::string::npos) return {};
    const std::string field = middle.substr(0, split);
    const unsigned long reported = std::strtoul(middle.c_str() + split + between.size(), nullptr, 10);
    if (reported < 2 || std::find(fields.begin(), fields.end(), field) == fields.end()) return {};

    std::optional<QVRecordTable> table = QVParseDelimitedText(text, separator);
    if (!table || reported - 1 >= table->rowCount()) return {};
    const auto entry = mapping.find(field);
    const std::string column = entry != mapping.end() ? entry->second : field;
    const std::vector<std::string_view> header = table->header();
    const auto at = std::find(header.begin(), header.end(), column);
    if (at == header.end()) return {};
    const size_t length = QVUTF16Length(table->cell(reported - 1, static_cast<size_t>(at - header.begin())));
    std::optional<std::vector<QVWidgetDescription>> widgets = QVDescribeWidgets(templateBytes);
    for (const QVWidgetDescription& widget : widgets.value_or(std::vector<QVWidgetDescription>{})) {
        if (widget.name != field || widget.maximumLength <= 0 || length <= static_cast<size_t>(widget.maximumLength))
            continue;
        return QVFormat(QVText("De waarde heeft %lu tekens; het veld neemt er hoogstens %lu."),
                        {static_cast<unsigned long>(length), static_cast<unsigned long>(widget.maximumLength)});
    }
    return {};
}

std::string QVFileNameHint(const std::string& message, std::string_view pattern, std::string_view text,
                           uint16_t separator) {
    const std::optional<unsigned long> record = numberIn(
        message, QVText("Ongeldige bestandsnaam voor record %lu. Gebruik geen /, \\, :, controletekens, beginpunt of "
                        "spaties aan het begin of einde."));
    if (!record) return {};
    std::optional<QVRecordTable> table = QVParseDelimitedText(text, separator);
    // The number is the record's row in the table (the header is row 0).
    if (!table || *record == 0 || *record >= table->rowCount()) return {};
    const std::vector<std::string_view> header = table->header();
    std::optional<std::string> name = QVExpandPattern(pattern, header, table->row(*record), *record, 0, nullptr);
    if (!name) return {};
    return QVFormat(QVText("Het patroon maakt er '%@' van."), {*name});
}

std::string QVDataLineHint(const std::string& message, std::string_view text, uint16_t separator) {
    QVError error;
    std::optional<QVTextPlace> place;
    if (QVParseDelimitedTextInPlace(text, separator, &error, &place) || !place || error.message != message) return {};
    // The start of the line, up to its line break: enough to find it in a spreadsheet or editor.
    constexpr size_t kShownCharacters = 40;
    const std::string_view rest = text.substr(place->lineStart);
    const std::string_view line = rest.substr(0, rest.find_first_of("\r\n"));
    size_t end = 0, characters = 0;
    for (; end < line.size(); ++end) {
        const bool startsCharacter = (static_cast<unsigned char>(line[end]) & 0xC0) != 0x80;
        if (startsCharacter && characters++ == kShownCharacters) break;
    }
    std::string shown = QVEscapeForTerminal(line.substr(0, end));
    if (end < line.size()) shown += "…";
    return QVFormat(QVText("Regel %lu van het gegevensbestand: \"%@\""),
                    {static_cast<unsigned long>(place->line), shown});
}

std::string QVTemplateProblemHint(std::string_view templateBytes) {
    // Readers look for the header within the first kilobyte; so does the PDF layer.
    if (templateBytes.substr(0, 1024).find("%PDF-") == std::string_view::npos)
        return QVText("Het bestand is geen PDF: het begint niet met %PDF-.");
    if (qvpdf::PDFDocument::dataNeedsPassword(templateBytes))
        return QVText("Het PDF-sjabloon opent alleen met een wachtwoord.");
    std::shared_ptr<qvpdf::PDFDocument> document = qvpdf::PDFDocument::initWithData(templateBytes);
    if (!document) return QVText("De PDF is beschadigd en kon niet worden gelezen.");
    if (document->pageCount() == 0) return QVText("De PDF heeft geen pagina's.");
    return {};
}
