#include "input/DelimitedText.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>
#include <unordered_set>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "input/Fail.h"
#include "input/ReadFile.h"
#include "input/Utf8.h"
#include "localization/Text.h"
#include "platform/Format.h"
#include "platform/System.h"

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// Reading the data file

std::optional<std::string> QVReadDataFile(const fs::path& url, QVError* error) {
    auto fail = [&](const std::string& reason) -> std::optional<std::string> {
        QVFail(error, QVFormat(QVText("CSV lezen mislukt: %@"), {reason}));
        return std::nullopt;
    };
    std::string reason;
    std::optional<std::string> text = QVReadWholeFile(url, kQVMaxDataFileBytes, &reason);
    if (!text) return fail(reason);
    if (std::optional<size_t> bad = QVFirstInvalidUtf8(*text)) {
        return fail(QVFormat(QVText("Het bestand '%@' is geen geldige UTF-8-tekst (ongeldige byte op positie %lu)."),
                             {QVFileDisplayName(url), static_cast<unsigned long>(*bad)}));
    }
    return text;
}

// ---------------------------------------------------------------------------------------------
// Parsing

namespace {

constexpr char kQuote = '"';
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

enum class ScanFailure { none, misplacedQuote, unterminatedQuote, stopped };

// The bytes that matter are all ASCII (separator, CR, LF, quote), so scanning UTF-8 bytes finds
// exactly the code units a UTF-16 scan would find. Runs of other bytes are skipped sixteen at a
// time; with Copy, each block is also stored at `out` on the way, so a cell costs one pass.
// `out` may be written up to 16 bytes ahead of what it keeps; the caller guarantees that room
// by never being ahead of the input (its buffer is as long as the text).

inline bool endsUnquotedRun(char c, char separator) {
    return c == separator || c == '\r' || c == '\n' || c == kQuote;
}

template <bool Copy>
const char* scanUnquoted(const char* p, const char* end, char separator, char*& out) {
#if defined(__SSE2__)
    const __m128i sep = _mm_set1_epi8(separator);
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i quote = _mm_set1_epi8(kQuote);
    while (end - p >= 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if (Copy) _mm_storeu_si128(reinterpret_cast<__m128i*>(out), x);
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, sep), _mm_cmpeq_epi8(x, quote)),
                                          _mm_or_si128(_mm_cmpeq_epi8(x, cr), _mm_cmpeq_epi8(x, lf)));
        if (const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits))) {
            const int k = __builtin_ctz(mask);
            if (Copy) out += k;
            return p + k;
        }
        p += 16;
        if (Copy) out += 16;
    }
#endif
    while (p < end && !endsUnquotedRun(*p, separator)) {
        if (Copy) *out++ = *p;
        ++p;
    }
    return p;
}

template <bool Copy>
const char* scanQuoted(const char* p, const char* end, char*& out) {
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8(kQuote);
    while (end - p >= 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if (Copy) _mm_storeu_si128(reinterpret_cast<__m128i*>(out), x);
        if (const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, quote)))) {
            const int k = __builtin_ctz(mask);
            if (Copy) out += k;
            return p + k;
        }
        p += 16;
        if (Copy) out += 16;
    }
#endif
    while (p < end && *p != kQuote) {
        if (Copy) *out++ = *p;
        ++p;
    }
    return p;
}

// One pass over the text. With KeepRecords, the cells go into one buffer as long as the text
// (a cell is never longer than its source). Without it only the header is kept, and the pass
// stops as soon as the answer to "does this give a valid table of more than one column" is no.
template <bool KeepRecords>
class Scanner {
public:
    Scanner(std::string_view text, char separator) : text_(text), separator_(separator) {
        if (KeepRecords) {
            cells_.resize(text.size());
            ends_.reserve(text.size() / 8 + 16);
        }
    }

    ScanFailure run();

    size_t rows() const { return rows_; }
    size_t columns() const { return columns_; }
    size_t firstUnevenRow() const { return firstUnevenRow_; }
    bool headerValid() const;
    QVRecordTable takeTable() {
        cells_.resize(used_);
        return QVRecordTable(std::move(cells_), std::move(ends_), columns_);
    }

private:
    // Rows after an uneven one are not kept: the parse fails, but scanning goes on because a
    // quoting fault further on takes precedence.
    bool keeping() const { return rows_ == 0 || (KeepRecords && firstUnevenRow_ == 0); }

    // Reads the run up to the next byte that matters, keeping it when rows are being kept.
    const char* unquotedRun(const char* p, const char* end) {
        if (KeepRecords && keeping()) {
            char* out = cells_.data() + used_;
            const char* q = scanUnquoted<true>(p, end, separator_, out);
            used_ = static_cast<size_t>(out - cells_.data());
            return q;
        }
        const char* q = scanUnquoted<false>(p, end, separator_, discard_);
        if (keeping()) append(p, q);
        return q;
    }
    const char* quotedRun(const char* p, const char* end) {
        if (KeepRecords && keeping()) {
            char* out = cells_.data() + used_;
            const char* q = scanQuoted<true>(p, end, out);
            used_ = static_cast<size_t>(out - cells_.data());
            return q;
        }
        const char* q = scanQuoted<false>(p, end, discard_);
        if (keeping()) append(p, q);
        return q;
    }
    void append(const char* from, const char* to) {
        const size_t n = static_cast<size_t>(to - from);
        if (used_ + n > cells_.size()) cells_.resize(std::max(cells_.size() * 2, used_ + n));
        std::memcpy(cells_.data() + used_, from, n);
        used_ += n;
    }
    void appendQuote() {
        if (keeping()) append(&kQuote, &kQuote + 1);
    }
    void endCell() {
        if (keeping()) ends_.push_back(used_);
        ++rowCells_;
    }
    // Answers false when a pass that keeps only the header may stop.
    bool endRow();

    std::string_view text_;
    char separator_;
    std::string cells_;  // used_ bytes of it hold the cells kept so far
    size_t used_ = 0;
    std::vector<size_t> ends_;
    char* discard_ = nullptr;  // the output of scans that copy nothing
    size_t rowCells_ = 0;
    size_t rows_ = 0;
    size_t columns_ = 0;
    size_t firstUnevenRow_ = 0;  // table index of the first row narrower or wider than the header
};

template <bool KeepRecords>
bool Scanner<KeepRecords>::headerValid() const {
    std::unordered_set<std::string_view> seen;
    seen.reserve(columns_);
    const std::string_view all(cells_);
    size_t begin = 0;
    for (size_t c = 0; c < columns_; ++c) {
        const std::string_view name = all.substr(begin, ends_[c] - begin);
        begin = ends_[c];
        if (name.empty() || !seen.insert(name).second) return false;
    }
    return true;
}

template <bool KeepRecords>
bool Scanner<KeepRecords>::endRow() {
    if (rows_ == 0) {
        columns_ = rowCells_;
    } else if (rowCells_ != columns_ && firstUnevenRow_ == 0) {
        firstUnevenRow_ = rows_;
    }
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

    // Each turn reads one cell and what ends it; a cell starts with neither flag set.
    for (;;) {
        if (p == end) {
            // The text ended with a line break, or was empty: nothing more to add. After a
            // separator, the row still gets its last, empty cell.
            if (rowCells_ != 0) {
                endCell();
                endRow();
            }
            return ScanFailure::none;
        }

        if (*p == kQuote) {
            ++p;
            for (;;) {
                p = quotedRun(p, end);
                if (p == end) return ScanFailure::unterminatedQuote;
                ++p;
                if (p == end || *p != kQuote) break;
                appendQuote();  // a doubled quote stands for one
                ++p;
            }
            // The quote is closed: only a separator, a line break or the end may follow.
            if (p == end) {
                endCell();
                endRow();
                return ScanFailure::none;
            }
            const char c = *p++;
            if (c == separator_) {
                endCell();
                continue;
            }
            if (c != '\n' && c != '\r') return ScanFailure::misplacedQuote;
            endCell();
            if (!endRow()) return ScanFailure::stopped;
            if (c == '\r' && p != end && *p == '\n') ++p;
            continue;
        }

        // An unquoted cell: at least one ordinary byte, or it ends right here.
        const char* q = unquotedRun(p, end);
        if (q == end) {
            endCell();
            endRow();
            return ScanFailure::none;
        }
        p = q + 1;
        const char c = *q;
        if (c == separator_) {
            endCell();
            continue;
        }
        if (c == kQuote) return ScanFailure::misplacedQuote;  // the cell had already started
        endCell();
        if (!endRow()) return ScanFailure::stopped;
        if (c == '\r' && p != end && *p == '\n') ++p;
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

std::optional<QVRecordTable> parse(std::string_view text, char separator, QVError* error) {
    auto fail = [&](const std::string& message) -> std::optional<QVRecordTable> {
        QVFail(error, message);
        return std::nullopt;
    };
    Scanner<true> scanner(withoutByteOrderMark(text), separator);
    switch (scanner.run()) {
    case ScanFailure::misplacedQuote:
        return fail(QVText("Ongeldige aanhalingstekens in CSV."));
    case ScanFailure::unterminatedQuote:
        return fail(QVText("Een geciteerd CSV-veld is niet afgesloten."));
    case ScanFailure::none:
    case ScanFailure::stopped:
        break;
    }
    if (scanner.rows() < 2) return fail(QVText("De CSV moet een kopregel en minstens één gegevensrij bevatten."));
    if (!scanner.headerValid()) return fail(QVText("CSV-kolomnamen mogen niet leeg of dubbel zijn."));
    if (size_t row = scanner.firstUnevenRow()) {
        return fail(QVFormat(QVText("CSV-record %lu heeft een afwijkend aantal kolommen."),
                             {static_cast<unsigned long>(row + 1)}));
    }
    return scanner.takeTable();
}

}  // namespace

std::optional<QVRecordTable> QVParseDelimitedText(std::string_view text, uint16_t separator, QVError* error) {
    if (!isAcceptedSeparator(separator)) {
        QVFail(error, QVText("Ongeldig scheidingsteken."));
        return std::nullopt;
    }
    try {
        return parse(text, static_cast<char>(separator), error);
    } catch (const std::bad_alloc&) {
        // The table needs about as much memory again as the text; say so rather than crash.
        QVFail(error, QVStrError(ENOMEM));
        return std::nullopt;
    }
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
        Scanner<false> scanner(withoutByteOrderMark(text), static_cast<char>(candidate));
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
        if (c == '"') quoted = !quoted;
        else if (!quoted && (c == '\n' || c == '\r')) break;
        else if (!quoted && c == separator) ++count;
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
