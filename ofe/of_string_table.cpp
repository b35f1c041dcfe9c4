// String tables: lookups, adds with the index of whole strings, and the dump.
#include "ofe/of_string_table.h"

#include <cstring>
#include <vector>

#include "util/data_map.h"

namespace OFE {

const char* OF_STRING_TABLE_MANAGER::get_string(uint32_t offset) {
    if (offset >= data_->size()) return nullptr;
    data_->set_cursor(offset);
    return data_->read_string();
}

void OF_STRING_TABLE_MANAGER::prepare_for_writing() {
    data_->load();
    index_.clear();
}

void OF_STRING_TABLE_MANAGER::clear() {
    data_->reset();
    index_.clear();
}

void OF_STRING_TABLE_MANAGER::build_index() {
    const uint64_t end = data_->size();
    for (uint64_t at = first_string_offset(); at < end;) {
        data_->set_cursor(at);
        const char* s = data_->read_string();
        index_[s] = static_cast<uint32_t>(at);  // a later copy replaces an earlier one
        at = data_->cursor();
    }
}

uint32_t OF_STRING_TABLE_MANAGER::add_string(const char* text) {
    if (data_->size() != 0 && index_.empty()) build_index();
    const auto it = index_.find(text);
    if (it != index_.end()) return it->second;
    const uint32_t offset = static_cast<uint32_t>(std::max<uint64_t>(data_->size(), first_string_offset()));
    data_->set_cursor(offset);
    data_->write_string(text);
    index_[text] = offset;
    return offset;
}

bool OF_STRING_TABLE_MANAGER::find_string(const char* text, uint32_t& offset) const {
    const auto it = index_.find(text);
    if (it == index_.end()) return false;
    offset = it->second;
    return true;
}

void OF_STRING_TABLE_MANAGER::dump(FILE* out) {
    const uint64_t end = data_->size();
    if (end == 0) return;
    std::fprintf(out, "\n String Table");
    if (*table_name()) std::fprintf(out, " \"%s\"", table_name());
    std::fprintf(out, "\n\n");
    // Rows of two columns: the offset column is as wide as its widest entry.
    std::vector<std::pair<std::string, std::string>> rows = {{"offset", "string"}, {"------", "------"}};
    for (uint64_t at = first_string_offset(); at < end;) {
        data_->set_cursor(at);
        const std::string s = data_->read_string();
        const uint64_t next = data_->cursor();
        std::string offset = std::to_string(at);
        const size_t pieces = s.empty() ? 1 : (s.size() + 59) / 60;
        for (size_t p = 0; p < pieces; ++p) {
            std::string text = (p == 0 ? "\"" : " ") + s.substr(p * 60, 60);
            if (p + 1 == pieces) text += "\"";
            rows.emplace_back(p == 0 ? offset : "", text);
        }
        at = next;
    }
    size_t width = 0;
    for (const auto& r : rows) width = std::max(width, r.first.size());
    for (const auto& r : rows)
        std::fprintf(out, "    %-*s  %s\n", static_cast<int>(width), r.first.c_str(), r.second.c_str());
}

}  // namespace OFE
