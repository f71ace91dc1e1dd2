#pragma once
// The parsed data file: row 0 is the header (column names), rows 1.. hold one record each.
// Every row has exactly as many cells as the header and there are at least two rows; once
// built, a table never changes. Cells are UTF-8, exactly as in the file less the quoting.
//
// All cells live in one buffer with an offset table, so a table of millions of cells costs
// little more than its text.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QVRecordTable {
public:
    QVRecordTable() = default;
    // Takes over a finished buffer: `ends` holds the end offset in `text` of every cell, row by
    // row, and its size is a multiple of `columns`.
    QVRecordTable(std::string text, std::vector<size_t> ends, size_t columns)
        : text_(std::move(text)), ends_(std::move(ends)), columns_(columns) {}

    size_t rowCount() const { return columns_ ? ends_.size() / columns_ : 0; }
    size_t columnCount() const { return columns_; }

    std::string_view cell(size_t row, size_t column) const {
        size_t i = row * columns_ + column;
        size_t begin = i == 0 ? 0 : ends_[i - 1];
        return std::string_view(text_).substr(begin, ends_[i] - begin);
    }
    // Views into the table of one whole row (row 0 = the column names).
    std::vector<std::string_view> row(size_t r) const {
        std::vector<std::string_view> out;
        out.reserve(columns_);
        for (size_t c = 0; c < columns_; ++c) out.push_back(cell(r, c));
        return out;
    }
    std::vector<std::string_view> header() const { return row(0); }

    // Building, for the parser only: cells are appended row by row.
    void appendCell(std::string_view text) {
        text_.append(text);
        ends_.push_back(text_.size());
    }
    void setColumnCount(size_t n) { columns_ = n; }
    void reserve(size_t textBytes, size_t cells) {
        text_.reserve(textBytes);
        ends_.reserve(cells);
    }

private:
    std::string text_;           // all cells, back to back
    std::vector<size_t> ends_;   // end offset of each cell in text_, row by row
    size_t columns_ = 0;
};
