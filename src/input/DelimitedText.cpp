#include "input/DelimitedText.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <unordered_set>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "input/ReadFile.h"
#include "localization/Text.h"
#include "platform/Error.h"
#include "platform/Format.h"
#include "platform/System.h"
#include "platform/Unicode.h"

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// Reading the data file

namespace {

// Reads the data file by `read` (a copy or a map) and checks that it is UTF-8.
template <typename Read>
auto readDataFile(const fs::path& url, QVError* error, Read read) -> decltype(read(std::declval<QVError*>())) {
    QVError readError;
    auto data = read(&readError);
    std::string& reason = readError.message;
    if (data) {
        const std::string_view text = [&] {
            if constexpr (std::is_same_v<std::decay_t<decltype(*data)>, QVMappedFile>)
                return data->bytes();
            else
                return std::string_view(*data);
        }();
        if (std::optional<size_t> bad = QVFirstInvalidUTF8(text)) {
            reason = QVFormat(QVText("Het bestand '%@' is geen geldige UTF-8-tekst (ongeldige byte op positie %lu)."),
                              {QVFileDisplayName(url), static_cast<unsigned long>(*bad)});
            data.reset();
        }
    }
    if (!data) QVFail(error, QVFormat(QVText("CSV lezen mislukt: %@"), {reason}));
    return data;
}

}  // namespace

std::optional<std::string> QVReadDataFile(const fs::path& url, QVError* error) {
    return readDataFile(url, error,
                        [&](QVError* readError) { return QVReadWholeFile(url, kQVMaxDataFileBytes, readError); });
}

std::optional<QVMappedFile> QVMapDataFile(const fs::path& url, QVError* error) {
    return readDataFile(url, error,
                        [&](QVError* readError) { return QVMapWholeFile(url, kQVMaxDataFileBytes, readError); });
}

// ---------------------------------------------------------------------------------------------
// Parsing

namespace {

constexpr char kQuote = '"';
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

enum class ScanFailure { none, misplacedQuote, unterminatedQuote, stopped };

// The bytes that matter are all ASCII (separator, CR, LF, quote), so scanning UTF-8 bytes finds
// exactly the code units a UTF-16 scan would find. Runs of other bytes are skipped sixteen at a
// time; nothing is copied, since cells are views into the text.

inline bool endsUnquotedRun(char c, char separator) { return c == separator || c == '\r' || c == '\n' || c == kQuote; }

const char* scanUnquoted(const char* p, const char* end, char separator) {
#if defined(__SSE2__)
    const __m128i sep = _mm_set1_epi8(separator);
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i quote = _mm_set1_epi8(kQuote);
    while (end - p >= 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, sep), _mm_cmpeq_epi8(x, quote)),
                                          _mm_or_si128(_mm_cmpeq_epi8(x, cr), _mm_cmpeq_epi8(x, lf)));
        if (const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits))) return p + __builtin_ctz(mask);
        p += 16;
    }
#endif
    while (p < end && !endsUnquotedRun(*p, separator)) ++p;
    return p;
}

const char* scanQuoted(const char* p, const char* end) {
    const void* found = std::memchr(p, kQuote, static_cast<size_t>(end - p));
    return found ? static_cast<const char*>(found) : end;
}

// One pass over the text. With KeepRecords, every cell's place goes into the table. Without it
// only the header is kept, and the pass stops as soon as the answer to "does this give a valid
// table of more than one column" is no.
template <bool KeepRecords>
class Scanner {
public:
    Scanner(std::string_view text, char separator) : text_(text), separator_(separator) {
        // Most data has cells of more than eight bytes; what is reserved and not used is never
        // touched, so it costs address space only.
        table_.begin(text, KeepRecords ? text.size() / 8 + 16 : 16);
    }

    ScanFailure run();

    size_t rows() const { return rows_; }
    size_t columns() const { return columns_; }
    size_t firstUnevenRow() const { return firstUnevenRow_; }
    // Where the scan failed (the misplaced quote, or the opening quote of a cell that never
    // closes), and where the first uneven row starts: offsets into the text.
    size_t failedAt() const { return failedAt_; }
    size_t unevenRowStart() const { return unevenRowStart_; }
    bool headerValid() const;
    QVRecordTable takeTable() {
        table_.setColumnCount(columns_);
        return std::move(table_);
    }

private:
    // Rows after an uneven one are not kept: the parse fails, but scanning goes on because a
    // quoting fault further on takes precedence.
    bool keeping() const { return rows_ == 0 || (KeepRecords && firstUnevenRow_ == 0); }

    // Ends the cell; the next starts at `next`, one past the end of the text when the cell
    // ended with the text.
    void endCell(const char* next) {
        if (keeping()) {
            table_.endCell(static_cast<size_t>(next - text_.data()));
            if (unquoting_) table_.keepUnquoted(unquotedFrom_);
        }
        unquoting_ = false;
        ++rowCells_;
    }
    // Answers false when a pass that keeps only the header may stop. `next` is where the next
    // row starts.
    bool endRow(const char* next);
    ScanFailure failAt(const char* p, ScanFailure failure) {
        failedAt_ = static_cast<size_t>(p - text_.data());
        return failure;
    }

    std::string_view text_;
    char separator_;
    QVRecordTable table_;
    bool unquoting_ = false;  // the current cell holds a doubled quote: it is copied, unquoted
    size_t unquotedFrom_ = 0;
    size_t rowCells_ = 0;
    size_t rows_ = 0;
    size_t columns_ = 0;
    size_t firstUnevenRow_ = 0;  // table index of the first row narrower or wider than the header
    const char* rowStart_ = text_.data();
    size_t unevenRowStart_ = 0;
    size_t failedAt_ = 0;
};

template <bool KeepRecords>
bool Scanner<KeepRecords>::headerValid() const {
    std::unordered_set<std::string_view> seen;
    seen.reserve(columns_);
    for (size_t c = 0; c < columns_; ++c) {
        const std::string_view name = table_.cellAt(c);
        if (name.empty() || !seen.insert(name).second) return false;
    }
    return true;
}

template <bool KeepRecords>
bool Scanner<KeepRecords>::endRow(const char* next) {
    if (rows_ == 0) {
        columns_ = rowCells_;
    } else if (rowCells_ != columns_ && firstUnevenRow_ == 0) {
        firstUnevenRow_ = rows_;
        unevenRowStart_ = static_cast<size_t>(rowStart_ - text_.data());
    }
    rowStart_ = next;
    ++rows_;
    rowCells_ = 0;
    if (KeepRecords) return true;
    if (rows_ == 1) return columns_ > 1 && headerValid();
    return firstUnevenRow_ == 0;
}

template <bool KeepRecords>
ScanFailure Scanner<KeepRecords>::run() {
    const char* p = text_.data();
    const char* const end = p + text_.size();
    const char* const pastEnd = end + 1;  // only ever turned into an offset

    // Each turn reads one cell and what ends it.
    for (;;) {
        if (p == end) {
            // The text ended with a line break, or was empty: nothing more to add. After a
            // separator, the row still gets its last, empty cell.
            if (rowCells_ != 0) {
                endCell(pastEnd);
                endRow(end);
            }
            return ScanFailure::none;
        }

        if (*p == kQuote) {
            const char* const content = ++p;
            for (;;) {
                const char* run = p;
                p = scanQuoted(p, end);
                if (p == end) return failAt(content - 1, ScanFailure::unterminatedQuote);
                if (unquoting_) table_.arena().append(run, static_cast<size_t>(p - run));
                ++p;
                if (p == end || *p != kQuote) break;
                // A doubled quote stands for one: from here on the cell is copied.
                if (unquoting_) {
                    table_.arena().push_back(kQuote);
                } else if (keeping()) {
                    unquoting_ = true;
                    unquotedFrom_ = table_.arena().size();
                    table_.arena().append(content, static_cast<size_t>(p - content));
                }
                ++p;
            }
            // The quote is closed: only a separator, a line break or the end may follow.
            if (p == end) {
                endCell(pastEnd);
                endRow(end);
                return ScanFailure::none;
            }
            const char c = *p++;
            if (c == separator_) {
                endCell(p);
                continue;
            }
            if (c != '\n' && c != '\r') return failAt(p - 1, ScanFailure::misplacedQuote);
            if (c == '\r' && p != end && *p == '\n') ++p;
            endCell(p);
            if (!endRow(p)) return ScanFailure::stopped;
            continue;
        }

        // An unquoted cell: at least one ordinary byte, or it ends right here.
        const char* q = scanUnquoted(p, end, separator_);
        if (q == end) {
            endCell(pastEnd);
            endRow(end);
            return ScanFailure::none;
        }
        p = q + 1;
        const char c = *q;
        if (c == separator_) {
            endCell(p);
            continue;
        }
        if (c == kQuote) return failAt(q, ScanFailure::misplacedQuote);  // the cell had already started
        if (c == '\r' && p != end && *p == '\n') ++p;
        endCell(p);
        if (!endRow(p)) return ScanFailure::stopped;
    }
}

bool isAcceptedSeparator(uint16_t separator) {
    return separator == QVSeparatorComma || separator == QVSeparatorSemicolon || separator == QVSeparatorTab;
}

std::string_view withoutByteOrderMark(std::string_view text) {
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
    return text;
}

}  // namespace

namespace {

std::optional<QVRecordTable> parse(std::string_view text, char separator, QVError* error,
                                   std::optional<QVTextPlace>* place) {
    auto fail = [&](const std::string& message) -> std::optional<QVRecordTable> {
        QVFail(error, message);
        return std::nullopt;
    };
    const std::string_view whole = text;
    text = withoutByteOrderMark(text);
    // Offsets of the scan are into the text without its byte-order mark.
    auto failAt = [&](size_t offset, const std::string& message) {
        if (place) *place = QVTextPlaceOf(whole, offset + (whole.size() - text.size()));
        return fail(message);
    };
    // The table counts in 32-bit offsets; the data file's own cap is far below.
    if (text.size() > QVRecordTable::kMaxTextBytes) return fail(QVStrError(EFBIG));
    Scanner<true> scanner(text, separator);
    switch (scanner.run()) {
    case ScanFailure::misplacedQuote: return failAt(scanner.failedAt(), QVText("Ongeldige aanhalingstekens in CSV."));
    case ScanFailure::unterminatedQuote:
        return failAt(scanner.failedAt(), QVText("Een geciteerd CSV-veld is niet afgesloten."));
    case ScanFailure::none:
    case ScanFailure::stopped: break;
    }
    if (scanner.rows() < 2) return fail(QVText("De CSV moet een kopregel en minstens één gegevensrij bevatten."));
    if (!scanner.headerValid()) return fail(QVText("CSV-kolomnamen mogen niet leeg of dubbel zijn."));
    if (size_t row = scanner.firstUnevenRow()) {
        return failAt(scanner.unevenRowStart(), QVFormat(QVText("CSV-record %lu heeft een afwijkend aantal kolommen."),
                                                         {static_cast<unsigned long>(row + 1)}));
    }
    return scanner.takeTable();
}

std::optional<QVRecordTable> parseChecked(std::string_view text, uint16_t separator, QVError* error,
                                          std::shared_ptr<const std::string> owned,
                                          std::optional<QVTextPlace>* place = nullptr) {
    if (place) place->reset();
    if (!isAcceptedSeparator(separator)) {
        QVFail(error, QVText("Ongeldig scheidingsteken."));
        return std::nullopt;
    }
    try {
        if (owned) text = *owned;
        std::optional<QVRecordTable> table = parse(text, static_cast<char>(separator), error, place);
        if (table && owned) table->keepAlive(std::move(owned));
        return table;
    } catch (const std::bad_alloc&) {
        // Say so rather than crash.
        QVFail(error, QVStrError(ENOMEM));
        return std::nullopt;
    }
}

}  // namespace

QVTextPlace QVTextPlaceOf(std::string_view text, size_t offset) {
    QVTextPlace place;
    offset = std::min(offset, text.size());
    place.offset = offset;
    // Counted only when a parse has failed, so a plain walk will do.
    for (size_t i = 0; i < offset; ++i) {
        const char c = text[i];
        if (c != '\n' && c != '\r') continue;
        if (c == '\r' && i + 1 < offset && text[i + 1] == '\n') ++i;  // CR LF ends one line
        ++place.line;
        place.lineStart = i + 1;
    }
    if (place.line == 1 && text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        place.lineStart = kByteOrderMark.size();
    place.lineStart = std::min(place.lineStart, offset);
    return place;
}

std::optional<QVRecordTable> QVParseDelimitedTextInPlace(std::string_view text, uint16_t separator, QVError* error,
                                                         std::optional<QVTextPlace>* failurePlace) {
    return parseChecked(text, separator, error, nullptr, failurePlace);
}

std::optional<QVRecordTable> QVParseDelimitedTextInPlace(std::string_view text, uint16_t separator, QVError* error) {
    return parseChecked(text, separator, error, nullptr);
}

std::optional<QVRecordTable> QVParseDelimitedText(std::string_view text, uint16_t separator, QVError* error) {
    std::shared_ptr<const std::string> owned;
    try {
        owned = std::make_shared<const std::string>(text);
    } catch (const std::bad_alloc&) {
        QVFail(error, QVStrError(ENOMEM));
        return std::nullopt;
    }
    return parseChecked(text, separator, error, std::move(owned));
}

std::optional<QVRecordTable> QVParseCSV(std::string_view text, QVError* error) {
    return QVParseDelimitedText(text, QVSeparatorComma, error);
}

namespace {

// True when `candidate` parses the whole text, without any failure, into a header of more than
// one column. A pass that keeps only the header answers the same as a full parse would, and
// stops as soon as the answer is no.
bool parsesIntoColumns(std::string_view text, uint16_t candidate) {
    try {
        text = withoutByteOrderMark(text);
        if (text.size() > QVRecordTable::kMaxTextBytes) return false;
        Scanner<false> scanner(text, static_cast<char>(candidate));
        if (scanner.run() != ScanFailure::none) return false;
        if (scanner.rows() < 2 || scanner.columns() < 2 || scanner.firstUnevenRow() != 0) return false;
        return scanner.headerValid();
    } catch (const std::bad_alloc&) {
        return false;  // a candidate that cannot be checked does not qualify
    }
}

// How often `separator` occurs in the header line, outside quotes.
size_t headerCount(std::string_view text, char separator) {
    text = withoutByteOrderMark(text);
    size_t count = 0;
    bool quoted = false;
    for (char c : text) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == '\n' || c == '\r'))
            break;
        else if (!quoted && c == separator)
            ++count;
    }
    return count;
}

}  // namespace

bool QVHasAlternativeMultiColumnParse(std::string_view text, uint16_t separator) {
    return QVAlternativeMultiColumnSeparator(text, separator).has_value();
}

std::optional<uint16_t> QVAlternativeMultiColumnSeparator(std::string_view text, uint16_t separator) {
    for (uint16_t candidate : {QVSeparatorComma, QVSeparatorSemicolon, QVSeparatorTab}) {
        if (candidate != separator && parsesIntoColumns(text, candidate)) return candidate;
    }
    return std::nullopt;
}

uint16_t QVGuessSeparator(std::string_view text) {
    std::array<uint16_t, 3> candidates = {QVSeparatorComma, QVSeparatorSemicolon, QVSeparatorTab};
    // The header line is the best evidence: the separator it holds most often is tried first.
    std::stable_sort(candidates.begin(), candidates.end(), [text](uint16_t a, uint16_t b) {
        return headerCount(text, static_cast<char>(a)) > headerCount(text, static_cast<char>(b));
    });
    for (uint16_t candidate : candidates) {
        if (headerCount(text, static_cast<char>(candidate)) == 0) break;
        if (parsesIntoColumns(text, candidate)) return candidate;
    }
    return QVSeparatorComma;
}
