// Build-attribute tables: the text dump, and the encoding written back when a modified table is locked.
#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "ofe/machine/of_machine_db.h"
#include "ofe/object_file.h"
#include "ofe/of_build_attr.h"
#include "ofe/of_section.h"
#include "ofe/of_symbol.h"
#include "ofe/of_text_table.h"
#include "util/data_map.h"
#include "util/str_util.h"

namespace OFE {

namespace {

using ROWS = std::vector<std::pair<std::string, std::string>>;

// A two-column table under the list headings: the first column padded to its widest entry, two blanks.
void print_rows(FILE* out, const ROWS& rows) {
    OF_TEXT_TABLE table(16, 2);
    for (const auto& row : rows) table.add_row({row.first, row.second});
    table.print(out);
}

std::string number_text(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", value);
    return text;
}

// The database's text of the value, else the number or string itself.
std::string value_text(OF_MACHINE_DB& db, const OFBA_ATTR& attribute) {
    if (const char* text = db.attribute_value_text(attribute)) return text;
    switch (attribute.kind()) {
    case OFBA_KIND_NUMBER: return number_text(attribute.numeric_value());
    case OFBA_KIND_STRING: return attribute.string_value();
    case OFBA_KIND_NUMBER_STRING: return number_text(attribute.numeric_value()) + " " + attribute.string_value();
    default: return "";
    }
}

}  // namespace

void OF_BUILD_ATTR_TABLE::dump(FILE* out) {
    if (vendors_.empty()) return;
    dump_heading(out);
    std::fprintf(out, "\n    Format Version:  '%c'\n", format_version_);
    for (const auto& vendor : vendors_) {
        const char* description = vendor_description(vendor->name());
        std::fprintf(out, "\n    <%d>  Vendor Name:  \"%s\" (%s)\n", static_cast<int>(vendor->index()), vendor->name(),
                     description ? description : vendor->name());
        if (vendor->list_count() == 0) std::fprintf(out, "\n            (empty)\n");
        for (uint32_t i = 0; i < vendor->list_count(); ++i) dump_list(out, *vendor->list_at(i));
    }
}

void OF_BUILD_ATTR_TABLE::dump_list(FILE* out, OFBA_ATTR_LIST& list) {
    std::fprintf(out, "\n         %s:", list.tag_name().c_str());
    std::vector<uint32_t> indexes;
    ROWS rows;
    if (list.tag() == OFBA_TAG_SYMBOL && list.index_count() > 0) {
        if (!list.symbol_indexes(indexes)) return;
        std::fprintf(out, "\n            Symbols:\n");
        OF_SYMBOL_TABLE* symbols = file()->symbol_table();
        for (uint32_t index : indexes) {
            const OF_SYMBOL* s = symbols ? symbols->symbol_at(index) : nullptr;
            rows.emplace_back(number_text(index), enclosed('(', s ? s->name() : nullptr, ')'));
        }
        print_rows(out, rows);
    } else if (list.tag() == OFBA_TAG_SECTION) {
        if (!list.section_indexes(indexes)) return;
        std::fprintf(out, "\n            Sections:\n");
        OF_SECTION_TABLE* sections = file()->section_table();
        for (uint32_t index : indexes) {
            const OF_SECTION* s = sections ? sections->section_at(index) : nullptr;
            rows.emplace_back(number_text(section_number(index)),
                              enclosed('(', s ? s->name() : nullptr, ')'));
        }
        print_rows(out, rows);
    }
    std::fprintf(out, "\n            Attributes:\n");
    rows.clear();
    OF_MACHINE_DB& db = *file()->machine_db();
    for (uint32_t i = 0; i < list.attribute_count(); ++i) {
        const OFBA_ATTR& a = *list.attribute_at(i);
        rows.emplace_back(a.tag_name(), value_text(db, a));
    }
    print_rows(out, rows);
}

void OF_BUILD_ATTR_TABLE::encode(DATA_MAP& out) const {
    // Lengths and sizes are known only after their contents: a placeholder first, patched afterwards.
    auto patch = [&out](uint64_t at, uint64_t from) {
        const uint64_t end = out.cursor();
        out.set_cursor(at);
        out.write_u32(static_cast<uint32_t>(end - from));
        out.set_cursor(end);
    };
    out.write_u8(format_version_);
    for (const auto& vendor : vendors_) {
        const uint64_t start = out.cursor();
        out.write_u32(0);
        out.write_string(vendor->name());
        for (uint32_t l = 0; l < vendor->list_count(); ++l) {
            const OFBA_ATTR_LIST& list = *vendor->list_at(l);
            const uint64_t list_start = out.cursor();
            out.write_uleb128(list.tag());
            const uint64_t size_at = out.cursor();
            out.write_u32(0);
            if (list.tag() == OFBA_TAG_SECTION || list.tag() == OFBA_TAG_SYMBOL) {
                for (uint32_t number : list.stored_indexes()) out.write_uleb128(number);
                out.write_uleb128(0);
            }
            for (uint32_t i = 0; i < list.attribute_count(); ++i) {
                const OFBA_ATTR& a = *list.attribute_at(i);
                out.write_uleb128(a.tag());
                if (a.kind() == OFBA_KIND_NUMBER || a.kind() == OFBA_KIND_NUMBER_STRING)
                    out.write_uleb128(a.numeric_value());
                if (a.kind() == OFBA_KIND_STRING || a.kind() == OFBA_KIND_NUMBER_STRING)
                    out.write_string(a.string_value().c_str());
            }
            patch(size_at, list_start);
        }
        patch(start, start);
    }
}

int32_t OF_BUILD_ATTR_TABLE::on_progress(int32_t new_state) {
    if (new_state != OF_STATE_LOCKED || effective_state() >= new_state || !modified_) return 0;
    DATA_MAP& data = section_->data();
    data.reset();  // keeps the byte order
    encode(data);
    data.set_cursor(0);
    modified_ = false;
    return 0;
}

}  // namespace OFE
