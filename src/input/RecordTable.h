#pragma once
// The parsed data file: row 0 is the header (column names), rows 1.. hold one record each.
// Every row has exactly as many cells as the header and there are at least two rows; once
// built, a table never changes. Cells are UTF-8, exactly as in the file less the quoting.
//
// Cells are views into the data text: the table keeps four bytes per cell (where the cell
// starts in the text) and copies only cells that hold a doubled quote, so a table of millions
// of cells costs little beyond the text itself. A table made by QVParseDelimitedText owns a
// copy of its text; one made by QVParseDelimitedTextInPlace refers to the caller's text, which
// must outlive it and every view taken from it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QVRecordTable {
public:
    QVRecordTable() = default;

    size_t rowCount() const { return columns_ ? (bounds_.size() - 1) / columns_ : 0; }
    size_t columnCount() const { return columns_; }

    std::string_view cell(size_t row, size_t column) const { return cellAt(row * columns_ + column); }
    // Views into the table of one whole row (row 0 = the column names).
    std::vector<std::string_view> row(size_t r) const {
        std::vector<std::string_view> out;
        out.reserve(columns_);
        for (size_t c = 0; c < columns_; ++c) out.push_back(cell(r, c));
        return out;
    }
    std::vector<std::string_view> header() const { return row(0); }

    // The most text a table can index (its offsets are 32 bits wide).
    static constexpr size_t kMaxTextBytes = UINT32_MAX - 1;

    // Building, for the parser only. `text` is what the offsets count in. Cell i spans the text
    // from bounds_[i] up to the delimiter that precedes bounds_[i + 1]: a separator, LF, CR,
    // CR LF, or the end of the text (then bounds_[i + 1] is one past the end).
    void begin(std::string_view text, size_t expectedCells) {
        text_ = text;
        bounds_.clear();
        bounds_.reserve(expectedCells + 1);
        bounds_.push_back(0);
    }
    // Ends the current cell; the next one starts at `next` (an offset in the text).
    void endCell(size_t next) { bounds_.push_back(static_cast<uint32_t>(next)); }
    size_t cellCount() const { return bounds_.size() - 1; }
    // Cells of a doubled quote are unquoted into this arena; the last cell ended keeps
    // arena()[from, arena().size()).
    std::string& arena() { return arena_; }
    void keepUnquoted(size_t from) { unquoted_.push_back({cellCount() - 1, from, arena_.size()}); }
    void setColumnCount(size_t n) { columns_ = n; }
    // The text the table refers to, held as long as the table (or a copy of it) lives.
    void keepAlive(std::shared_ptr<const std::string> owned) { owned_ = std::move(owned); }

    std::string_view cellAt(size_t i) const {
        const size_t start = bounds_[i];
        const size_t next = bounds_[i + 1];
        size_t end;
        if (next > text_.size()) {
            end = text_.size();
        } else if (next >= start + 2 && text_[next - 1] == '\n' && text_[next - 2] == '\r') {
            end = next - 2;  // an unquoted cell never holds a CR and a quoted one ends with a quote
        } else {
            end = next - 1;
        }
        if (start == end || text_[start] != '"') return text_.substr(start, end - start);
        if (!unquoted_.empty()) {
            auto found = std::lower_bound(unquoted_.begin(), unquoted_.end(), i,
                                          [](const Unquoted& u, size_t cell) { return u.cell < cell; });
            if (found != unquoted_.end() && found->cell == i)
                return std::string_view(arena_).substr(found->from, found->to - found->from);
        }
        return text_.substr(start + 1, end - start - 2);
    }

private:
    struct Unquoted {
        size_t cell;
        size_t from, to;  // in arena_
    };
    std::string_view text_;
    std::vector<uint32_t> bounds_ = {0};  // see begin()
    std::vector<Unquoted> unquoted_;      // by cell index
    std::string arena_;
    std::shared_ptr<const std::string> owned_;
    size_t columns_ = 0;
};
