#include "InputFiles.h"

#include "input/DelimitedText.h"
#include "input/ReadFile.h"
#include "localization/Text.h"
#include "platform/Error.h"
#include "platform/Format.h"
#include "platform/System.h"
#include "platform/Unicode.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// A mapping file names fields and columns; a few megabytes is far beyond any real one.
constexpr uint64_t kMaxMappingFileBytes = uint64_t{16} << 20;

// Where a byte of `text` sits for a person reading the file: line and character, from 1. A CR
// on its own ends a line too, as it does for the parser.
std::pair<size_t, size_t> lineAndColumn(std::string_view text, size_t offset) {
    size_t line = 1, column = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n' || (c == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
            ++line;
            column = 1;
        } else if ((c & 0xC0) != 0x80 && c != '\r') {
            ++column;  // the first byte of each character
        }
    }
    return {line, column};
}

std::string invalidUtf8Lines(const std::filesystem::path& path) {
    std::optional<std::string> bytes = QVReadWholeFile(path, kQVMaxDataFileBytes);
    if (!bytes) return {};
    std::optional<size_t> bad = QVFirstInvalidUTF8(*bytes);
    if (!bad) return {};
    const auto [line, column] = lineAndColumn(*bytes, *bad);
    return QVFormat(QVText("De ongeldige byte staat op regel %lu, teken %lu."),
                    {static_cast<unsigned long>(line), static_cast<unsigned long>(column)}) +
           "\n" +
           QVText(
               "Misschien is het bestand in Windows-1252 opgeslagen. Sla het op als UTF-8 (in een "
               "rekenblad: \"CSV UTF-8\") of lees het met --encoding windows-1252.");
}

std::string trimmed(std::string_view text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) return {};
    const size_t end = text.find_last_not_of(" \t\r");
    return std::string(text.substr(begin, end - begin + 1));
}

}  // namespace

std::vector<std::string> QVEncodingNames() { return {"utf-8", "windows-1252"}; }

std::optional<QVDataFileText> QVReadDataFileIn(const std::filesystem::path& path, const std::string& encoding,
                                               QVError* error) {
    QVDataFileText data;
    if (encoding != "windows-1252") {
        QVError own;
        data.mapped = QVMapDataFile(path, &own);
        if (!data.mapped) {
            // Only a text that could be read but is not UTF-8 has a byte to point at.
            std::string lines = own.message.find("UTF-8") != std::string::npos ? invalidUtf8Lines(path) : "";
            QVFail(error, lines.empty() ? own.message : own.message + "\n" + lines);
            return std::nullopt;
        }
        return data;
    }
    QVError readError;
    std::optional<QVMappedFile> bytes = QVMapWholeFile(path, kQVMaxDataFileBytes, &readError);
    if (!bytes) {
        QVFail(error, QVFormat(QVText("CSV lezen mislukt: %@"), {readError.message}));
        return std::nullopt;
    }
    data.converted = QVWindows1252ToUTF8(bytes->bytes());
    return data;
}

std::optional<std::vector<std::string>> QVReadMappingFile(const std::filesystem::path& path, QVError* error) {
    const std::string name = QVFileDisplayName(path);
    QVError readError;
    std::optional<std::string> bytes = QVReadWholeFile(path, kMaxMappingFileBytes, &readError);
    if (!bytes) {
        QVFail(error, QVFormat(QVText("Koppelingsbestand lezen mislukt: %@"), {readError.message}));
        return std::nullopt;
    }
    std::string_view text = *bytes;
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
    if (std::optional<size_t> bad = QVFirstInvalidUTF8(text)) {
        QVFail(error, QVFormat(QVText("Het bestand '%@' is geen geldige UTF-8-tekst (ongeldige byte op positie %lu)."),
                               {name, static_cast<unsigned long>(*bad)}));
        return std::nullopt;
    }

    // Lines of FIELD=COLUMN when the first line that says anything holds an equals sign.
    std::vector<std::string> lines;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        lines.push_back(trimmed(text.substr(start, end - start)));
        start = end + 1;
    }
    bool entries = false;
    for (const std::string& line : lines) {
        if (line.empty() || line[0] == '#') continue;
        entries = line.find('=') != std::string::npos;
        break;
    }
    std::vector<std::string> out;
    if (entries) {
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::string& line = lines[i];
            if (line.empty() || line[0] == '#') continue;
            const size_t equals = line.find('=');
            if (equals == std::string::npos || equals == 0) {
                QVFail(error, QVFormat(QVText("Regel %lu van het koppelingsbestand '%@' is geen VELD=KOLOM."),
                                       {static_cast<unsigned long>(i + 1), name}));
                return std::nullopt;
            }
            // Spaces around the equals sign are layout, not part of the names.
            out.push_back(trimmed(std::string_view(line).substr(0, equals)) + "=" +
                          trimmed(std::string_view(line).substr(equals + 1)));
        }
        return out;
    }

    QVError csvError;
    std::optional<QVRecordTable> table = QVParseDelimitedText(text, QVGuessSeparator(text), &csvError);
    if (!table || table->columnCount() != 2) {
        QVFail(error, QVFormat(QVText("Het koppelingsbestand '%@' heeft geen regels VELD=KOLOM en is geen CSV van "
                                      "twee kolommen (veld, kolom)."),
                               {name}));
        return std::nullopt;
    }
    for (size_t r = 1; r < table->rowCount(); ++r) {
        const std::string_view field = table->cell(r, 0), column = table->cell(r, 1);
        if (field.empty()) {
            QVFail(error, QVFormat(QVText("Regel %lu van het koppelingsbestand '%@' noemt geen veld."),
                                   {static_cast<unsigned long>(r + 1), name}));
            return std::nullopt;
        }
        out.push_back(std::string(field) + "=" + std::string(column));
    }
    return out;
}
