// The "Object File Information" dump: categories, the header table, and the format-neutral dumps of the
// section table, sections, symbol tables and symbols.
#include <algorithm>
#include <cstring>
#include <ctime>
#include <iterator>

#include "ofe/machine/of_machine_db.h"
#include "ofe/object_file.h"
#include "ofe/of_build_attr.h"
#include "ofe/of_reloc.h"
#include "ofe/of_section.h"
#include "ofe/of_symbol.h"
#include "ofe/of_text_table.h"
#include "ofe/of_types.h"
#include "util/data_map.h"
#include "util/pfile.h"

namespace OFE {

namespace {

constexpr OF_DUMP_CATEGORY categories[] = {
    {"header", "file header"},
    {"optheader", "COFF optional file header"},
    {"sections", "sections"},
    {"rawdata", "section raw data"},
    {"relocs", "relocation entries"},
    {"lnnos", "COFF line number entries"},
    {"symbols", "symbols"},
    {"strings", "strings"},
    {"symhash", "ELF symbol hash table"},
    {"dynamic", "ELF .dynamic section"},
    {"symver", "Symbol version information"},
    {"groups", "groups"},
    {"battrs", "build attributes"},
    {"segments", "segments"},
};

int category_index(const char* name) {
    for (size_t i = 0; i < std::size(categories); ++i)
        if (std::strcmp(categories[i].name, name) == 0) return static_cast<int>(i);
    return -1;
}

const char* name_or(const char* name, const char* fallback) { return name && *name ? name : fallback; }

// The local time of a time stamp as "Www Mmm dd hh:mm:ss yyyy".
std::string local_time_text(uint32_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    const std::tm* tm = std::localtime(&t);
    if (!tm) return text_of("%u", seconds);
    char text[64];
    if (std::strftime(text, sizeof text, "%a %b %d %H:%M:%S %Y", tm) == 0) return text_of("%u", seconds);
    return text;
}

}  // namespace

// ---- OBJECT_FILE ----

const char* OBJECT_FILE::machine_name() const { return name_or(target_machine_name(target()), "unknown machine"); }

std::span<const OF_DUMP_CATEGORY> OBJECT_FILE::dump_categories() { return categories; }

bool OBJECT_FILE::dump_category_selected(const char* name) {
    const int i = category_index(name);
    if (i < 0) return false;
    if (dump_selection_.empty()) select_dump_category("header", true);
    return dump_selection_[static_cast<size_t>(i)] != 0;
}

bool OBJECT_FILE::select_dump_category(const char* name, bool on) {
    const int i = category_index(name);
    if (i < 0) return false;
    if (dump_selection_.empty()) {
        dump_selection_.assign(std::size(categories), 1);
        dump_selection_[static_cast<size_t>(category_index("rawdata"))] = 0;
    }
    dump_selection_[static_cast<size_t>(i)] = on ? 1 : 0;
    return true;
}

void OBJECT_FILE::dump_header_rows(OF_TEXT_TABLE& rows) {
    add_format_header_rows(rows);
    const char* handle_name = info_.handle ? pfname(info_.handle) : "";
    rows.add_row({"File Name:", name_or(name(), name_or(handle_name, "(unknown file)"))});
    rows.add_row({"Format:", text_of("%s Version %s", format_name(format()), format_version_name(format_version()))});
    rows.add_row({"File Type:", file_type_name(file_type())});
    if (time_stamp() != 0) rows.add_row({"Time Stamp:", local_time_text(time_stamp())});
    rows.add_row({"Machine:", machine_name()});
    rows.add_row({"Machine Endian:", endian_name(machine_endian())});
    rows.add_row({"Entry Point:", text_of("0x%08x", entry_point())});
    const std::string vendor = vendor_name();
    if (!vendor.empty()) rows.add_row({"Vendor:", name_or(vendor_description(vendor.c_str()), vendor.c_str())});
    const std::string producer = producer_name();
    if (!producer.empty()) rows.add_row({"Producer:", producer});
    if (has_producer_version())
        rows.add_row({text_of("%s Version:", producer.empty() ? "Tool" : producer.c_str()), producer_version()});
    OF_SECTION_TABLE* sections = section_table();
    rows.add_row({"Number of Sections:", text_of("%u", sections ? sections->count() : 0)});
    rows.add_row({"File Length:", text_of("%u", size())});
    if (start_offset() != 0) rows.add_row({"File Offset in Archive:", text_of("0x%llx", static_cast<unsigned long long>(start_offset()))});
}

void OBJECT_FILE::dump(FILE* out) {
    if (dump_category_selected("header")) {
        std::fprintf(out, "\n Object File Information\n\n");
        OF_TEXT_TABLE rows(4, 1, 1);
        dump_header_rows(rows);
        rows.print(out);
    }
    dump_contents(out);
}

void OBJECT_FILE::dump_contents(FILE* out) {
    if (OF_SECTION_TABLE* sections = section_table()) sections->dump(out);
    if (dump_category_selected("symbols"))
        if (OF_SYMBOL_TABLE* symbols = symbol_table()) symbols->dump(out);
    if (dump_category_selected("battrs"))
        if (OF_BUILD_ATTR_TABLE* attributes = build_attribute_table()) attributes->dump(out);
}

int OBJECT_FILE::dump_to_path(const char* path) {
    FILE* out = std::fopen(path, "w");
    if (!out) {
        report_error(OF_ERR_FILE_ACCESS, "%s", "");
        return -1;
    }
    dump(out);
    return std::fclose(out) == 0 ? 0 : -1;
}

// ---- Sections ----

uint32_t OF_SECTION::reloc_count() {
    uint32_t total = 0;
    for (uint32_t i = 0; i < reloc_table_count(); ++i)
        if (OF_RELOC_TABLE* relocs = reloc_table_at(i)) total += relocs->count();
    return total;
}

void OF_SECTION::dump(FILE* out) {
    OF_TEXT_TABLE rows(8);
    add_dump_rows(rows);
    rows.end_pairs();
    rows.add_pair("Load Address:", text_of("0x%08x", load_address()));
    rows.add_pair("Run Address:", text_of("0x%08x", run_address()));
    rows.add_pair("Size:", text_of("0x%x", size()));
    rows.add_pair("Alignment:", text_of("%u", alignment()));
    rows.add_pair("Loaded Onto Device:", loaded_onto_device() ? "Yes" : "No");
    rows.add_pair("Address Unit Size:", text_of("%u bits", address_unit_bits()));
    rows.add_pair("File Offset:", text_of("0x%x", raw_data_offset()));
    rows.add_pair("# Relocs:", text_of("%u", reloc_count()));
    rows.print(out);
}

void OF_SECTION_TABLE::dump(FILE* out) {
    OBJECT_FILE* f = file();
    if (f->dump_category_selected("sections")) {
        std::fprintf(out, "\n Section Information\n\n");
        for (uint32_t i = 0; i < count(); ++i) {
            OF_SECTION* s = section_at(i);
            std::fprintf(out, "    <%u> \"%s\"\n", i, name_or(s->name(), "(no name)"));
            s->dump(out);
        }
    }
    if (f->dump_category_selected("rawdata")) {
        for (uint32_t i = 0; i < count(); ++i) {
            OF_SECTION* s = section_at(i);
            if (!s->has_raw_data()) continue;
            DATA_MAP& data = s->raw_data();
            data.load();
            // Only the bytes the file holds: a section that claims more shows what is there.
            const uint64_t length = std::min<uint64_t>(data.size(), data.bytes_held());
            if (length == 0) continue;
            std::fprintf(out, "\n Raw Data for Section \"%s\"\n\n", s->name() ? s->name() : "");
            data.set_cursor(0);
            (void)data.hex_dump(out, length);
        }
    }
    if (f->dump_category_selected("relocs")) {
        for (uint32_t i = 0; i < count(); ++i) {
            OF_SECTION* s = section_at(i);
            const uint32_t tables = s->reloc_table_count();
            for (uint32_t t = 0; t < tables; ++t) {
                const char* name = s->name() ? s->name() : "";
                if (tables == 1)
                    std::fprintf(out, "\n Relocation Table in Section %u (\"%s\")\n\n", s->section_id(), name);
                else
                    std::fprintf(out, "\n Relocation Table %d/%d for Section %u (\"%s\")\n\n", static_cast<int>(t + 1),
                                 static_cast<int>(tables), s->section_id(), name);
                s->reloc_table_at(t)->dump(out);
            }
        }
    }
}

void OF_SECTION_TABLE::dump_summary(FILE* out) {
    bool pages = false;
    for (uint32_t i = 0; i < count(); ++i) pages = pages || section_at(i)->page() != 0;
    OF_TEXT_TABLE rows;
    if (pages)
        rows.add_headings({"id", "name", "page", "load addr", "run addr", "size", "align", "alloc"});
    else
        rows.add_headings({"id", "name", "load addr", "run addr", "size", "align", "alloc"});
    for (uint32_t i = 0; i < count(); ++i) {
        OF_SECTION* s = section_at(i);
        std::vector<std::string> row = {text_of("%u", i), name_or(s->name(), "(no name)")};
        if (pages) row.push_back(text_of("%d", s->page()));
        row.push_back(text_of("0x%08x", s->load_address()));
        row.push_back(text_of("0x%08x", s->run_address()));
        row.push_back(text_of("0x%x", s->size()));
        row.push_back(text_of("%u", s->alignment()));
        row.push_back(s->allocated() ? "Y" : "N");
        rows.add_row(std::move(row));
    }
    rows.print(out);
}

// ---- Symbols ----

void OF_SYMBOL::dump(FILE* out) const {
    OF_TEXT_TABLE rows(8);
    add_dump_rows(rows);
    rows.end_pairs();
    rows.add_pair("Value:", text_of("0x%08x", value()));
    rows.add_pair("Kind:", symbol_kind_name(kind()));
    rows.add_pair("Binding:", symbol_binding_name(binding()));
    rows.add_pair("Type:", symbol_type_name(type()));
    rows.print(out);
}

void OF_SYMBOL_TABLE::dump(FILE* out) {
    std::fprintf(out, "\n Symbol Table");
    if (*table_name()) std::fprintf(out, " \"%s\"", table_name());
    std::fprintf(out, "\n\n");
    OF_TEXT_TABLE summary;
    summary.add_headings({"id", "name", "value", "kind", "section", "binding", "type"});
    for (uint32_t i = 0; i < count(); i = next_index(i)) {
        const OF_SYMBOL* s = symbol_at(i);
        const OF_SECTION* section = s->section();
        summary.add_row({text_of("%u", i), name_or(s->name(), "(no name)"), text_of("0x%08x", s->value()),
                         symbol_kind_name(s->kind()), section ? name_or(section->name(), "(no name)") : "N/A",
                         symbol_binding_name(s->binding()), symbol_type_name(s->type())});
    }
    summary.print(out);
    for (uint32_t i = 0; i < count(); i = next_index(i)) {
        const OF_SYMBOL* s = symbol_at(i);
        std::fprintf(out, "    <%d> \"%s\"", static_cast<int>(i), s->name() ? s->name() : "");
        if (const OF_SECTION* section = s->section())
            std::fprintf(out, " (defined in section \"%s\" (%u))", section->name() ? section->name() : "",
                         section->index());
        std::fputc('\n', out);
        s->dump(out);
    }
}

}  // namespace OFE
