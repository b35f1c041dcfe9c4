// OF_TEXT_TABLE: the aligned text tables that the information dumps print through.
//
// A table is a list of rows of cells. Printing pads every cell but the last of a row to the width of
// its column, puts the gap between columns and the indent before each row, and leaves no blanks at the
// end of a line. Label/value pairs flow into rows of a fixed number of pairs, so a "four-column table"
// of labels and values is a table of two pairs per row.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "DIAG/diag.h"

namespace OFE {

class OF_TEXT_TABLE {
public:
    explicit OF_TEXT_TABLE(unsigned indent = 4, unsigned gap = 1, unsigned pairs_per_row = 2)
        : indent_(indent), gap_(gap), pairs_per_row_(pairs_per_row) {}

    void add_row(std::vector<std::string> cells) {
        rows_.push_back(std::move(cells));
        open_pairs_ = 0;
    }
    // A row of headings and, below it, each heading's length in dashes.
    void add_headings(std::initializer_list<const char*> headings);
    // A label and its value, in the current row while it has room for another pair.
    void add_pair(std::string label, std::string value);
    // Ends the current row of pairs: the next pair starts a new one.
    void end_pairs() { open_pairs_ = 0; }
    bool empty() const { return rows_.empty(); }
    size_t row_count() const { return rows_.size(); }
    void print(FILE* out) const;
    // The lines print writes.
    std::string text() const;

private:
    std::vector<std::vector<std::string>> rows_;
    unsigned indent_;
    unsigned gap_;
    unsigned pairs_per_row_;
    unsigned open_pairs_ = 0;  // pairs in the last row that more may join
};

// printf into a string.
std::string text_of(const char* format, ...) DIAG_PRINTF(1, 2);

}  // namespace OFE
