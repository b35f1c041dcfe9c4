// The ELF parts of the "Object File Information" dump and the ELF XML description: header rows, section
// and symbol rows, the per-section tables, and the program segment table.
#include <cstring>

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_dynamic.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_names.h"
#include "ofe/elf/elf_reloc.h"
#include "ofe/elf/elf_section.h"
#include "ofe/elf/elf_segment.h"
#include "ofe/elf/elf_symbol.h"
#include "ofe/elf/elf_symbol_hash.h"
#include "ofe/elf/elf_version.h"
#include "ofe/machine/of_machine_db.h"
#include "ofe/of_build_attr.h"
#include "ofe/of_text_table.h"
#include "ofe/of_xml_writer.h"

namespace OFE {

namespace {

const char* name_of(const OF_SECTION* section) { return section && section->name() ? section->name() : ""; }

// The name of the section that a link field names ("" when there is none).
const char* linked_name(ELF_SECTION* section, uint32_t index) {
    return name_of(section->elf_file()->section_table()->section_at(index));
}

}  // namespace

// ---- File header ----

const char* ELF_FILE::machine_name() const {
    const OF_TARGET t = target();
    if (t >= 0x10000) return elf_machine_description(static_cast<uint32_t>(t) - 0x10000);
    return OBJECT_FILE::machine_name();
}

void ELF_FILE::add_format_header_rows(OF_TEXT_TABLE& rows) {
    const uint8_t* ident = header_.e_ident;
    rows.add_row({"ELF Class:", elf_class_description(ident[ELF::EI_CLASS])});
    if (ident[ELF::EI_OSABI] != 0) {
        const char* own = machine_db()->elf_osabi_name(ident[ELF::EI_OSABI]);
        rows.add_row({"ELF OSABI:", own ? own : elf_osabi_description(ident[ELF::EI_OSABI])});
        rows.add_row({"ELF ABIVERSION:", text_of("%d", ident[ELF::EI_ABIVERSION])});
    }
    rows.add_row({"ELF e_flags:", text_of("0x%08x", header_.e_flags)});
    for (uint32_t bit = 0; bit < 32; ++bit) {
        if (!(header_.e_flags & (1u << bit))) continue;
        const char* name = machine_db()->elf_flag_name(1u << bit);
        if (name && *name) rows.add_row({"ELF e_flag:", name});
    }
}

void ELF_FILE::dump_contents(FILE* out) {
    ELF_SECTION_TABLE* sections = section_table();
    sections->dump(out);
    const auto each_section = [&](auto&& visit) {
        for (uint32_t i = 0; i < sections->count(); ++i) visit(*sections->elf_section_at(i));
    };
    if (dump_category_selected("symbols"))
        each_section([&](ELF_SECTION& s) {
            if (ELF_SYMBOL_TABLE* symbols = s.symbol_table()) symbols->dump(out);
        });
    if (dump_category_selected("strings"))
        each_section([&](ELF_SECTION& s) {
            if (ELF_STRING_TABLE* strings = s.string_table()) strings->dump(out);
        });
    if (dump_category_selected("symhash"))
        each_section([&](ELF_SECTION& s) {
            if (s.header().sh_type != ELF::SHT_HASH) return;
            ELF_SECTION* link = sections->elf_section_at(s.header().sh_link);
            ELF_SYMBOL_TABLE* symbols = link ? link->symbol_table() : nullptr;
            if (!symbols) return;
            ELF_SYMBOL_HASH hash(&s, symbols);
            hash.dump(out);
        });
    if (dump_category_selected("dynamic"))
        each_section([&](ELF_SECTION& s) {
            if (ELF_DYNAMIC_TABLE* dynamic = s.dynamic_table()) dynamic->dump(out);
        });
    if (dump_category_selected("symver"))
        each_section([&](ELF_SECTION& s) {
            if (ELF_VERDEF_TABLE* definitions = s.verdef_table()) definitions->dump(out);
            if (ELF_VERNEED_TABLE* needs = s.verneed_table()) needs->dump(out);
        });
    if (dump_category_selected("battrs"))
        if (OF_BUILD_ATTR_TABLE* attributes = build_attribute_table()) attributes->dump(out);
    if (dump_category_selected("segments")) segment_table()->dump(out);
}

// ---- Sections ----

const char* ELF_SECTION::type_name() const {
    if (const char* own = owner()->machine_db()->section_type_name(header_.sh_type)) return own;
    ELF_SECTION_TYPE_SCOPE scope;
    scope.versions = elf_file()->carries_version_info();
    scope.build_attributes = owner()->build_attributes_supported();
    scope.qx_flags_type = role_supported(owner()->target(), 0);
    scope.qx_page_type = role_supported(owner()->target(), 1);
    return elf_section_type_name(header_.sh_type, scope);
}

const char* ELF_SECTION::flag_name(uint32_t bit) const {
    if (const char* own = owner()->machine_db()->section_flag_name(bit)) return own;
    return elf_section_flag_name(bit);
}

ELF_RELOC_TABLE* ELF_SECTION::relocation_table() {
    if (header_.sh_type != ELF::SHT_REL && header_.sh_type != ELF::SHT_RELA) return nullptr;
    if (!relocation_table_) {
        ELF_SECTION* target = elf_file()->section_table()->elf_section_at(header_.sh_info);
        relocation_table_ = std::make_unique<ELF_RELOC_TABLE>(this, target ? target : this);
    }
    return relocation_table_.get();
}

uint32_t ELF_SECTION::reloc_table_count() {
    return static_cast<uint32_t>(elf_file()->section_table()->relocation_sections_of(index()).size());
}

OF_RELOC_TABLE* ELF_SECTION::reloc_table_at(uint32_t i) {
    const std::vector<uint32_t>& list = elf_file()->section_table()->relocation_sections_of(index());
    return i < list.size() ? elf_file()->section_table()->elf_section_at(list[i])->relocation_table() : nullptr;
}

void ELF_SECTION::add_dump_rows(OF_TEXT_TABLE& rows) {
    const ELF_SECTION_HEADER& h = header_;
    rows.add_pair("Section Type:", type_name());
    switch (h.sh_type) {
    case ELF::SHT_SYMTAB:
    case ELF::SHT_DYNSYM: {
        ELF_SYMBOL_TABLE* symbols = symbol_table();
        rows.add_pair("String Table:", linked_name(this, h.sh_link));
        rows.add_pair("# Symbols:", text_of("%u", symbols ? symbols->count() : 0));
        rows.add_pair("# Local Symbols:", text_of("%u", h.sh_info));
        rows.add_pair("Symbol Size:", text_of("%d bytes", static_cast<int>(symbols ? symbols->entry_size() : h.sh_entsize)));
        break;
    }
    case ELF::SHT_REL:
    case ELF::SHT_RELA:
        rows.add_pair("Symbol Table:", linked_name(this, h.sh_link));
        rows.add_pair("Section Relocated:", linked_name(this, h.sh_info));
        rows.add_pair("Reloc Size:", text_of("%d bytes", static_cast<int>(relocation_table()->entry_size())));
        break;
    case ELF::SHT_HASH:
    case ELF::SHT_SYMTAB_SHNDX:
    case ELF::SHT_GNU_versym: rows.add_pair("Symbol Table:", linked_name(this, h.sh_link)); break;
    case ELF::SHT_DYNAMIC:
    case ELF::SHT_GNU_verdef:
    case ELF::SHT_GNU_verneed: rows.add_pair("String Table:", linked_name(this, h.sh_link)); break;
    case ELF::SHT_GROUP:
        rows.add_pair("Symbol Table:", linked_name(this, h.sh_link));
        rows.add_pair("Group Symbol ID:", text_of("%u", h.sh_info));
        break;
    case 0x70000001:
        rows.add_pair("Link:", text_of("%d", static_cast<int>(h.sh_link)));
        rows.add_pair("Info:", text_of("%d", static_cast<int>(h.sh_info)));
        rows.add_pair("Linked Scn:", linked_name(this, h.sh_link));
        break;
    default: break;
    }
    if (role_supported(owner()->target(), 1)) rows.add_pair("Page:", text_of("%d", page()));
    rows.add_pair("ELF sh_flags:", text_of("0x%08x", h.sh_flags));
    for (uint32_t bit = 0; bit < 32; ++bit) {
        if (!(h.sh_flags & (1u << bit))) continue;
        const char* name = flag_name(1u << bit);
        if (name && *name) rows.add_pair("ELF sh_flag:", name);
    }
    const uint32_t ext = ext_flags();
    rows.add_pair("QX ext_flags:", text_of("0x%x", ext));
    for (uint32_t bit = 0; bit < 32; ++bit) {
        if (!(ext & (1u << bit))) continue;
        const char* own = owner()->machine_db()->ext_flag_name(1u << bit);
        const char* name = own ? own : elf_ext_flag_name(1u << bit);
        if (name && *name) rows.add_pair("QX ext_flag:", name);
    }
}

// ---- Symbols ----

void ELF_SYMBOL::add_dump_rows(OF_TEXT_TABLE& rows) const {
    rows.add_pair("Size:", text_of("0x%x", entry_.st_size));
    rows.add_pair("Visibility:", elf_symbol_visibility_name(entry_.st_other));
    if (!has_version_index_) return;
    rows.add_pair("Version Index:", elf_version_index_text(version_index_));
    auto* self = const_cast<ELF_SYMBOL*>(this);  // the version lookups read the version tables on first use
    if (const char* defined = elf_symbol_version_defined(*self)) rows.add_pair("Version Defined:", defined);
    if (const char* needed = elf_symbol_version_needed(*self)) rows.add_pair("Version Needed:", needed);
}

// ---- Segments ----

void ELF_SEGMENT_TABLE::dump(FILE* out) {
    if (count() == 0) return;
    std::fprintf(out, "\n Program Segment Table\n\n");
    const uint32_t unit_bytes = std::max<uint32_t>(file_->machine_db()->address_unit_bits() / 8, 1);
    if (!file_->detailed_dump()) {
        OF_TEXT_TABLE rows;
        rows.add_headings({"id", "type", "load addr", "run addr", "file size", "mem size", "flags", "align"});
        const auto row = [&](uint32_t i) -> std::vector<std::string> {
            const ELF_PROGRAM_HEADER& h = raw_header(i);
            return {text_of("%u", i), type_name_of(h.p_type),
                    text_of("0x%08x", h.p_paddr), text_of("0x%08x", h.p_vaddr),
                    text_of("0x%x", h.p_filesz / unit_bytes), text_of("0x%x", h.p_memsz / unit_bytes),
                    elf_segment_flags_text(h.p_flags), text_of("%u", h.p_align)};
        };
        const uint32_t kept = static_cast<uint32_t>(headers_.size());
        for (uint32_t i = 0; i < kept; ++i) rows.add_row(row(i));
        // The entries past the kept ones are all zeros: their cells but the index are made once.
        if (kept < count()) {
            std::vector<std::string> zeros = row(kept);
            for (uint32_t i = kept; i < count(); ++i) {
                zeros[0] = text_of("%u", i);
                rows.add_row(zeros);
            }
        }
        rows.print(out);
        return;
    }
    const uint32_t kept = static_cast<uint32_t>(headers_.size());
    const auto block = [&](uint32_t i) {
        const ELF_PROGRAM_HEADER& h = raw_header(i);
        OF_TEXT_TABLE rows(8);
        rows.add_pair("Segment Type:", type_name_of(h.p_type));
        rows.add_pair("File Offset:", text_of("0x%x", h.p_offset));
        rows.add_pair("Run Address:", text_of("0x%08x", h.p_vaddr));
        rows.add_pair("Load Address:", text_of("0x%08x", h.p_paddr));
        rows.add_pair("File Size:", text_of("0x%x", h.p_filesz / unit_bytes));
        rows.add_pair("Memory Size:", text_of("0x%x", h.p_memsz / unit_bytes));
        rows.add_pair("Flags:", elf_segment_flags_text(h.p_flags));
        rows.add_pair("Alignment:", text_of("%u", h.p_align));
        const auto made = segments_.find(i);
        if (i < kept && made != segments_.end() && made->second->records_contents()) {
            ELF_SECTION_TABLE* sections = file_->section_table();
            rows.end_pairs();
            for (const ELF_SEGMENT_ITEM& item : made->second->contents()) {
                std::string text = "Elf File Header";
                if (item.kind == ELF_ITEM_SECTION) {
                    const OF_SECTION* s = item.index < sections->count() ? sections->section_at(item.index) : nullptr;
                    text = text_of("Section %u (%s)", item.index, s && s->name() ? s->name() : "");
                } else if (item.kind == ELF_ITEM_SEGMENT) {
                    text = text_of("Segment %u (%s)", item.index, type_name_of(raw_header(item.index).p_type));
                }
                rows.add_row({"Contains:", text});
            }
        }
        return rows.text();
    };
    // The entries past the kept ones are all zeros (and hold nothing): their block is made once.
    const std::string zeros = kept < count() ? block(kept) : std::string();
    for (uint32_t i = 0; i < count(); ++i) {
        std::fprintf(out, "    <%d>\n", static_cast<int>(i));
        std::fputs(i < kept ? block(i).c_str() : zeros.c_str(), out);
        std::fputc('\n', out);
    }
}

// ---- XML description ----

void ELF_FILE::write_xml(OF_XML_WRITER& xml) {
    xml.open("elf_file").attribute("name", name() ? name() : "");
    write_common_xml(xml);
    const ELF_HEADER& h = header_;
    xml.open("file_header");
    xml.element("ei_class", elf_class_name(h.e_ident[ELF::EI_CLASS]));
    xml.element("ei_data", elf_data_name(h.e_ident[ELF::EI_DATA]));
    xml.element("ei_version", h.e_ident[ELF::EI_VERSION]);
    xml.element("ei_osabi", elf_osabi_name(h.e_ident[ELF::EI_OSABI]));
    xml.element("ei_abiversion", h.e_ident[ELF::EI_ABIVERSION]);
    xml.element("e_type", elf_type_name(h.e_type));
    xml.element("e_machine", elf_machine_name(h.e_machine));
    xml.element("e_version", h.e_version);
    xml.element_hex("e_entry", h.e_entry);
    xml.element_hex("e_phoff", h.e_phoff);
    xml.element_hex("e_shoff", h.e_shoff);
    xml.element_hex("e_flags", h.e_flags);
    xml.element("e_ehsize", h.e_ehsize);
    xml.element("e_phentsize", h.e_phentsize);
    xml.element("e_phnum", h.e_phnum);
    xml.element("e_shentsize", h.e_shentsize);
    xml.element("e_shnum", h.e_shnum);
    xml.element("e_shstrndx", h.e_shstrndx);
    xml.close();

    ELF_SECTION_TABLE* sections = section_table();
    xml.open("sections");
    for (uint32_t i = 0; i < sections->count(); ++i) {
        ELF_SECTION* s = sections->elf_section_at(i);
        const ELF_SECTION_HEADER& sh = s->header();
        xml.open("section")
            .attribute("index", i)
            .attribute("name", name_of(s))
            .attribute("sh_type", s->type_name())
            .attribute_hex("sh_flags", sh.sh_flags)
            .attribute_hex("sh_addr", sh.sh_addr)
            .attribute_hex("sh_offset", sh.sh_offset)
            .attribute("sh_size", sh.sh_size)
            .attribute("sh_link", sh.sh_link)
            .attribute("sh_info", sh.sh_info)
            .attribute("sh_addralign", sh.sh_addralign)
            .attribute("sh_entsize", sh.sh_entsize);
        xml.close();
    }
    xml.close();

    for (uint32_t i = 0; i < sections->count(); ++i) {
        ELF_SECTION* s = sections->elf_section_at(i);
        ELF_SYMBOL_TABLE* symbols = s->symbol_table();
        if (!symbols) continue;
        xml.open("symbol_table").attribute("section", name_of(s));
        for (uint32_t n = 0; n < symbols->count(); ++n) {
            auto* sym = static_cast<ELF_SYMBOL*>(symbols->symbol_at(n));
            const ELF_SYMBOL_ENTRY& e = sym->entry();
            const char* special = elf_special_index_name(e.st_shndx);
            xml.open("symbol")
                .attribute("index", n)
                .attribute("name", sym->name() ? sym->name() : "")
                .attribute_hex("st_value", e.st_value)
                .attribute("st_size", e.st_size)
                .attribute("binding", elf_symbol_binding_name(e.st_info))
                .attribute("type", elf_symbol_type_name(e.st_info))
                .attribute("visibility", elf_symbol_visibility_name(e.st_other))
                .attribute("section", special ? special : name_of(sym->section()));
            xml.close();
        }
        xml.close();
    }
    for (uint32_t i = 0; i < sections->count(); ++i) {
        ELF_STRING_TABLE* strings = sections->elf_section_at(i)->string_table();
        if (strings) strings->write_xml(xml);
    }
    xml.close();
}

}  // namespace OFE
