// String tables: lookups, adds with the index of whole strings, and the dump.
#include "ofe/of_string_table.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "ofe/of_text_table.h"
#include "ofe/of_xml_writer.h"
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

uint64_t OF_STRING_TABLE_MANAGER::strings_end() {
    data_->load();
    return std::min<uint64_t>(data_->size(), data_->bytes_held());
}

void OF_STRING_TABLE_MANAGER::build_index() {
    const uint64_t end = strings_end();
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
    const uint64_t end = strings_end();
    if (end == 0) return;
    std::fprintf(out, "\n String Table");
    if (*table_name()) std::fprintf(out, " \"%s\"", table_name());
    std::fprintf(out, "\n\n");
    OF_TEXT_TABLE rows(4, 2);
    rows.add_headings({"offset", "string"});
    for (uint64_t at = first_string_offset(); at < end;) {
        data_->set_cursor(at);
        const std::string s = data_->read_string();
        const uint64_t next = data_->cursor();
        // Long strings go on in pieces of 60 characters, one row each.
        const size_t pieces = s.empty() ? 1 : (s.size() + 59) / 60;
        for (size_t p = 0; p < pieces; ++p) {
            std::string text(1, p == 0 ? '"' : ' ');
            text.append(s, p * 60, 60);
            if (p + 1 == pieces) text += "\"";
            rows.add_row({p == 0 ? std::to_string(at) : "", text});
        }
        at = next;
    }
    rows.print(out);
}

void OF_STRING_TABLE_MANAGER::write_xml(OF_XML_WRITER& xml) {
    const uint64_t end = strings_end();
    xml.open("string_table").attribute("name", table_name());
    for (uint64_t at = first_string_offset(); at < end;) {
        data_->set_cursor(at);
        const std::string s = data_->read_string();
        xml.open("string").attribute("offset", static_cast<uint32_t>(at)).attribute("text", s);
        xml.close();
        at = data_->cursor();
    }
    xml.close();
}

}  // namespace OFE
