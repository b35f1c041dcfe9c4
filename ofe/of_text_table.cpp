// Aligned text tables for the information dumps.
#include "ofe/of_text_table.h"

#include <algorithm>
#include <cstdarg>

namespace OFE {

void OF_TEXT_TABLE::add_headings(std::initializer_list<const char*> headings) {
    std::vector<std::string> top;
    std::vector<std::string> dashes;
    for (const char* heading : headings) {
        top.emplace_back(heading);
        dashes.emplace_back(top.back().size(), '-');
    }
    add_row(std::move(top));
    add_row(std::move(dashes));
}

void OF_TEXT_TABLE::add_pair(std::string label, std::string value) {
    if (open_pairs_ == 0 || open_pairs_ >= pairs_per_row_) {
        rows_.emplace_back();
        open_pairs_ = 0;
    }
    rows_.back().push_back(std::move(label));
    rows_.back().push_back(std::move(value));
    ++open_pairs_;
}

void OF_TEXT_TABLE::print(FILE* out) const { std::fputs(text().c_str(), out); }

std::string OF_TEXT_TABLE::text() const {
    std::vector<size_t> width;
    for (const auto& row : rows_) {
        if (width.size() < row.size()) width.resize(row.size(), 0);
        for (size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
    }
    std::string lines;
    for (const auto& row : rows_) {
        size_t used = row.size();
        while (used > 0 && row[used - 1].empty()) --used;
        lines.append(indent_, ' ');
        for (size_t c = 0; c < used; ++c) {
            lines += row[c];
            if (c + 1 < used) lines.append(width[c] - row[c].size() + gap_, ' ');
        }
        lines += '\n';
    }
    return lines;
}

std::string text_of(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text;
    (void)DIAG::vformat_text(text, format, args);
    va_end(args);
    return text;
}

}  // namespace OFE
