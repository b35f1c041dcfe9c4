// The QXCOFF parts of the "Object File Information" dump and the QXCOFF XML description: header rows,
// section and symbol rows, and the line-number tables.
#include <cstring>

#include "ofe/coff/qxcoff_defs.h"
#include "ofe/coff/qxcoff_file.h"
#include "ofe/coff/qxcoff_names.h"
#include "ofe/coff/qxcoff_reloc.h"
#include "ofe/coff/qxcoff_section.h"
#include "ofe/coff/qxcoff_string_table.h"
#include "ofe/coff/qxcoff_symbol.h"
#include "ofe/machine/of_machine_db.h"
#include "ofe/of_build_attr.h"
#include "ofe/of_text_table.h"
#include "ofe/of_types.h"
#include "ofe/of_xml_writer.h"

namespace OFE {

using namespace QXCOFF;

// ---- File header ----

void QXCOFF_FILE::add_format_header_rows(OF_TEXT_TABLE& rows) {
    rows.add_row({"Symbol Table File Offset:", text_of("0x%08x", header_.f_symptr)});
    rows.add_row({"String Table File Offset:", text_of("0x%08x", string_offset_)});
    rows.add_row({"QX-COFF f_flags:", text_of("0x%08x", header_.f_flags)});
    struct STRIPPED {
        uint16_t flag;
        const char* meaning;
    };
    static constexpr STRIPPED stripped[] = {
        {F_RELFLG, "relocation info stripped"},
        {F_LNNO, "line numbers stripped"},
        {F_LSYMS, "local symbols stripped"},
        {F_SYMMERGE, "debug type information merged"},
    };
    for (const STRIPPED& s : stripped)
        if (header_.f_flags & s.flag)
            rows.add_row({"QX-COFF f_flag:", text_of("%s (%s)", flag_name(s.flag), s.meaning)});
    OF_DUMP_ROWS target_rows;
    machine_db()->add_coff_dump_rows(target_rows);
    for (const OF_DUMP_ROW& row : target_rows) rows.add_row({row.label, row.value});
    rows.add_row({"Control Data Endian:", text_of("%s%s", endian_name(control_endian_),
                                                  control_endian_ != host_endian() ? " (swapped)" : "")});
    if (dump_category_selected("optheader") && has_optional_header()) {
        rows.add_row({"Start of .text Section:", text_of("0x%08x", optional_.o_text_start)});
        rows.add_row({"Start of .data Section:", text_of("0x%08x", optional_.o_data_start)});
        rows.add_row({"Size of .text Section:", text_of("%d", static_cast<int>(optional_.o_tsize))});
        rows.add_row({"Size of .data Section:", text_of("%d", static_cast<int>(optional_.o_dsize))});
        rows.add_row({"Size of .bss Section:", text_of("%d", static_cast<int>(optional_.o_bsize))});
    }
}

void QXCOFF_FILE::dump_contents(FILE* out) {
    QXCOFF_SECTION_TABLE* sections = section_table();
    sections->dump(out);
    if (dump_category_selected("lnnos"))
        for (uint32_t i = 0; i < sections->count(); ++i) {
            QXCOFF_SECTION* s = sections->qxcoff_section_at(i);
            if (s->header().s_nlnno != 0 && s->lnno_table()->count() != 0) s->lnno_table()->dump(out);
        }
    if (dump_category_selected("symbols")) symbol_table()->dump(out);
    if (dump_category_selected("strings")) string_table()->dump(out);
    if (dump_category_selected("battrs"))
        if (OF_BUILD_ATTR_TABLE* attributes = build_attribute_table()) attributes->dump(out);
}

// ---- Sections ----

void QXCOFF_SECTION::add_dump_rows(OF_TEXT_TABLE& rows) {
    rows.add_pair("Reloc File Offset:", text_of("0x%08x", header_.s_relptr));
    rows.add_pair("# Lines:", text_of("%u", header_.s_nlnno));
    rows.add_pair("Line File Offset:", text_of("0x%08x", header_.s_lnnoptr));
    if (header_.s_page != 0) rows.add_pair("Page:", text_of("%u", header_.s_page));
    const uint32_t flags = header_.s_flags & ~STYP_ALIGN_MASK;
    rows.add_pair("QX-COFF s_flags:", text_of("0x%08x", flags));
    for (uint32_t bit = 0; bit < 32; ++bit)
        if (flags & (1u << bit)) rows.add_pair("QX-COFF s_flag:", qxcoff_section_flag_name(1u << bit));
}

// ---- Symbols ----

void QXCOFF_SYMBOL::add_dump_rows(OF_TEXT_TABLE& rows) const {
    const auto number = [](uint32_t value) { return text_of("%d", static_cast<int>(value)); };
    rows.add_pair("Storage Class:", qxcoff_storage_class_name(entry_.n_sclass));
    rows.add_pair("Basic Type:", qxcoff_basic_type_name(entry_.n_type & N_BTMASK));
    for (int field = 1; field <= 5; ++field) {
        const uint32_t derived = (entry_.n_type >> (N_TSHIFT + 2 * (field - 1))) & 3u;
        if (derived != 0) rows.add_pair(text_of("Derived Type %d:", field), qxcoff_derived_type_name(derived));
    }
    if (is_blocked()) rows.add_pair("Blocked:", "blocked");
    const QXCOFF_AUX* a = aux_.get();
    if (!a) return;
    switch (a->kind) {
    case QXCOFF_AUX_TAG:
        rows.add_pair("CSU Size:", text_of("%d bits", static_cast<int>(a->size)));
        rows.add_pair("Next Symbol:", number(a->next_index));
        break;
    case QXCOFF_AUX_END_OF_STRUCT:
        rows.add_pair("CSU Size:", text_of("%d bits", static_cast<int>(a->size)));
        rows.add_pair("Tag Index:", number(a->tag_index));
        break;
    case QXCOFF_AUX_FUNCTION:
        if (a->tag_index != 0) rows.add_pair("Tag Index:", number(a->tag_index));
        rows.add_pair("Size:", number(a->size));
        rows.add_pair("Line Offset:", text_of("0x%x", a->lnno_offset));
        rows.add_pair("Next Symbol:", number(a->next_index));
        break;
    case QXCOFF_AUX_BLOCK:
        rows.add_pair("Line Number:", number(a->line));
        if (name() && std::strncmp(name(), ".b", 2) == 0) rows.add_pair("Next Symbol:", number(a->next_index));
        if (name() && std::strcmp(name(), ".bf") == 0) {
            rows.add_pair("# Line Entries:", number(a->line_entries));
            rows.add_pair("Register Mask:", text_of("0x%08x", a->register_mask));
            rows.add_pair("Frame Size:", number(a->frame_size));
        }
        break;
    case QXCOFF_AUX_ARRAY:
        if (a->tag_index != 0) rows.add_pair("Tag Index:", number(a->tag_index));
        rows.add_pair("Size:", text_of("%d bits", static_cast<int>(a->size)));
        rows.add_pair("Dimensions:", text_of("[%d][%d][%d][%d]", a->dimensions[0], a->dimensions[1],
                                             a->dimensions[2], a->dimensions[3]));
        break;
    case QXCOFF_AUX_TYPED:
        rows.add_pair("Size:", text_of("%dbits", static_cast<int>(a->size)));
        if (a->tag_index != 0) rows.add_pair("Tag Index:", number(a->tag_index));
        break;
    case QXCOFF_AUX_FILE: rows.add_pair("File Name:", a->file_name); break;
    case QXCOFF_AUX_SECTION:
        rows.add_pair("Section Length:", number(a->section_length));
        rows.add_pair("# Relocs:", number(a->relocations));
        rows.add_pair("# Line Entries:", number(a->line_numbers));
        break;
    default: break;
    }
}

// ---- XML description ----

void QXCOFF_FILE::write_xml(OF_XML_WRITER& xml) {
    xml.open("qx_coff").attribute("name", name() ? name() : "");
    write_common_xml(xml);
    xml.open("file_header");
    xml.element_hex("f_magic", header_.f_magic);
    xml.element("f_nscns", header_.f_nscns);
    xml.element("f_timdat", header_.f_timdat);
    xml.element_hex("f_symptr", header_.f_symptr);
    xml.element("f_nsyms", header_.f_nsyms);
    xml.element("f_opthdr", header_.f_opthdr);
    xml.element_hex("f_flags", header_.f_flags);
    if (format_version() != VERSION_0) xml.element_hex("f_target_id", header_.f_target_id);
    xml.close();
    if (has_optional_header()) {
        xml.open("optional_file_header");
        xml.element_hex("o_magic", optional_.o_magic);
        xml.element("o_vstamp", optional_.o_vstamp);
        xml.element("o_tsize", optional_.o_tsize);
        xml.element("o_dsize", optional_.o_dsize);
        xml.element("o_bsize", optional_.o_bsize);
        xml.element_hex("o_entry", optional_.o_entry);
        xml.element_hex("o_text_start", optional_.o_text_start);
        xml.element_hex("o_data_start", optional_.o_data_start);
        xml.close();
    }
    QXCOFF_SECTION_TABLE* sections = section_table();
    xml.open("sections");
    for (uint32_t i = 0; i < sections->count(); ++i) {
        QXCOFF_SECTION* s = sections->qxcoff_section_at(i);
        const QXCOFF_SECTION_HEADER& h = s->header();
        xml.open("section")
            .attribute("number", s->section_id())
            .attribute("name", s->name() ? s->name() : "")
            .attribute_hex("s_paddr", h.s_paddr)
            .attribute_hex("s_vaddr", h.s_vaddr)
            .attribute("s_size", h.s_size)
            .attribute_hex("s_scnptr", h.s_scnptr)
            .attribute_hex("s_relptr", h.s_relptr)
            .attribute_hex("s_lnnoptr", h.s_lnnoptr)
            .attribute("s_nreloc", h.s_nreloc)
            .attribute("s_nlnno", h.s_nlnno)
            .attribute_hex("s_flags", h.s_flags)
            .attribute("s_page", h.s_page);
        if (format_version() == VERSION_2) xml.attribute("s_mwidth", h.s_mwidth);
        xml.close();
    }
    xml.close();
    OF_SYMBOL_TABLE* symbols = symbol_table();
    xml.open("symbols");
    for (uint32_t i = 0; i < symbols->count(); i = symbols->next_index(i)) {
        const QXCOFF_SYMBOL* s = as_qxcoff_symbol(symbols->symbol_at(i));
        const QXCOFF_SYMBOL_ENTRY& e = s->entry();
        xml.open("symbol")
            .attribute("index", i)
            .attribute("name", s->name() ? s->name() : "")
            .attribute_hex("n_value", e.n_value)
            .attribute("n_scnum", std::to_string(e.n_scnum))
            .attribute_hex("n_type", e.n_type)
            .attribute("n_sclass", qxcoff_storage_class_name(e.n_sclass))
            .attribute("n_numaux", e.n_numaux);
        xml.close();
    }
    xml.close();
    string_table()->write_xml(xml);
    xml.close();
}

}  // namespace OFE
