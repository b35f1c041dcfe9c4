// Writing ELF files: the file's step into "locked" (the checks, the tables' own steps, section names and the
// header's counts) and the writing of "saved"; the section table's part in both.
#include <algorithm>
#include <cstring>
#include <string>

#include "ofe/elf/elf_build_attr.h"
#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_dynamic.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_reloc.h"
#include "ofe/elf/elf_section.h"
#include "ofe/elf/elf_segment.h"
#include "ofe/elf/elf_symalias.h"
#include "ofe/elf/elf_symbol.h"
#include "ofe/elf/elf_version.h"
#include "util/data_map.h"

namespace OFE {

// ---- The section table ----

ELF_SECTION* ELF_SECTION_TABLE::add_relocation_section(ELF_SECTION* target, bool addends) {
    if (!target || require_at_most_state(OF_STATE_OPEN) != 0) return nullptr;
    auto* symbols = static_cast<ELF_SYMBOL_TABLE*>(elf_file()->symbol_table());
    const std::string name = std::string(addends ? ".rela" : ".rel") + (target->name() ? target->name() : "");
    auto* s = static_cast<ELF_SECTION*>(add_section(name.c_str()));
    if (!s) return nullptr;
    ELF_SECTION_HEADER& h = s->header();
    h.sh_type = addends ? ELF::SHT_RELA : ELF::SHT_REL;
    h.sh_flags = ELF::SHF_INFO_LINK;
    h.sh_entsize = addends ? ELF::REL::SIZE_A : ELF::REL::SIZE;
    h.sh_addralign = 4;
    h.sh_info = target->index();
    h.sh_link = symbols ? symbols->section()->index() : 0;
    s->compute_address_unit();
    relocation_sections_found_ = false;
    relocation_sections_.clear();
    return s;
}

void ELF_SECTION_TABLE::prepare_for_writing() {
    for (uint32_t i = 0; i < count(); ++i) {
        ELF_SECTION* s = elf_section_at(i);
        if (!s) continue;
        // What each section's contents object reads, it reads now.
        if (ELF_SYMBOL_TABLE* symbols = s->symbol_table()) symbols->build_all_symbols();
        if (ELF_RELOC_TABLE* relocs = s->relocation_table()) relocs->read_all();
        if (ELF_DYNAMIC_TABLE* dynamic = s->dynamic_table())
            for (uint32_t k = 0; k < dynamic->count(); ++k) (void)dynamic->entry(k);
        if (ELF_VERDEF_TABLE* definitions = s->verdef_table()) (void)definitions->count();
        if (ELF_VERNEED_TABLE* needs = s->verneed_table()) (void)needs->count();
        (void)s->symalias_table();
        (void)s->build_attribute_table();
    }
    (void)extended_value(0, 0);
    for (uint32_t i = 0; i < count(); ++i)
        if (ELF_SECTION* s = elf_section_at(i)) s->data().detach();
    headers_.detach();
}

int32_t ELF_SECTION_TABLE::on_progress(int32_t new_state) {
    for (uint32_t i = 0; i < count(); ++i)
        if (OF_SECTION* s = section_at(i); s && s->progress_to_state(new_state) != 0) return -1;
    return 0;
}

int32_t ELF_SECTION_TABLE::on_revert(int32_t target_state) {
    for (uint32_t i = 0; i < count(); ++i) {
        ELF_SECTION* s = elf_section_at(i);
        if (!s) continue;
        if (s->revert_to_state(target_state) != 0) return -1;
        if (ELF_SYMBOL_TABLE* symbols = s->symbol_table(); symbols && symbols->revert_to_state(target_state) != 0)
            return -1;
        if (ELF_DYNAMIC_TABLE* dynamic = s->dynamic_table(); dynamic && dynamic->revert_to_state(target_state) != 0)
            return -1;
        if (ELF_STRING_TABLE* strings = s->string_table(); strings && strings->revert_to_state(target_state) != 0)
            return -1;
    }
    return 0;
}

// ---- The file ----

int32_t ELF_FILE::on_revert(int32_t target_state) {
    if (segment_table()->revert_to_state(target_state) != 0) return -1;
    return section_table()->revert_to_state(target_state);
}

void ELF_FILE::store_section_names() {
    ELF_SECTION_TABLE* sections = section_table();
    ELF_STRING_TABLE* names = sections->section_name_table();
    if (!names) return;
    for (uint32_t i = 0; i < sections->count(); ++i) {
        ELF_SECTION* s = sections->elf_section_at(i);
        if (!s || !s->name()) continue;
        // A name the table already holds at sh_name stays there (also the tail of a longer string).
        const char* stored = names->get_string(s->header().sh_name);
        if (!stored || std::strcmp(stored, s->name()) != 0) s->header().sh_name = names->add_string(s->name());
    }
}

int32_t ELF_FILE::lock_for_writing() {
    ELF_SECTION_TABLE* sections = section_table();
    // Deleted sections go first, and what refers to sections follows the others to their new indexes.
    if (sections->deleted() && sections->renumber() != 0) return -1;
    sections->prepare_for_writing();
    ELF_SEGMENT_TABLE* segments = segment_table();
    // Deleted segments leave the table. One laid out afresh finds what the entries it read hold.
    segments->drop_deleted();
    if (segments->lays_out_afresh() && segments->find_missing_contents() != 0) return -1;
    // A file saved in the layout it was read in keeps its program header table and its segments' bytes in
    // place, so they must be in the file: a damaged one that claims more is not saved.
    const bool keep = keeps_segment_layout();
    if (const uint64_t present = bytes_present(); keep && present > 0 &&
        uint64_t{header_.e_phoff} + uint64_t{segments->count()} * ELF::PHDR::SIZE > present) {
        report_error(OF_ERR_CORRUPTED, "%s: the program header table lies beyond the end of the file; a damaged "
                     "object is not saved", display_name());
        return -1;
    }
    for (uint32_t i = 0; i < segments->count(); ++i) {
        ELF_SEGMENT* segment = segments->segment_at(i);
        if (!segment) continue;
        if (keep && segment->data().file_backed() && segment->data().view().size() < segment->data().size()) {
            report_error(OF_ERR_CORRUPTED, "%s: program segment %u claims %u bytes at file offset 0x%x, beyond the end "
                         "of the file; a damaged object is not saved", display_name(), i, segment->header().p_filesz,
                         segment->header().p_offset);
            return -1;
        }
        segment->data().detach();
    }
    if (sections->count() > 0 && sections->elf_section_at(0)->header().sh_type != ELF::SHT_NULL) {
        report_error(OF_ERR_INTERNAL, "section 0 is not a NULL section");
        return -1;
    }

    // A symbol table made here gets its string table before the section names get theirs.
    for (uint32_t i = 0; i < sections->count(); ++i)
        if (ELF_SYMBOL_TABLE* symbols = sections->elf_section_at(i)->symbol_table()) (void)symbols->string_table();
    // A file being built gets a section-name table when it has names to store.
    if (header_.e_shstrndx == 0 && sections->count() > 1) {
        if (ELF_SECTION* names = static_cast<ELF_SECTION*>(sections->add_section(".shstrtab"))) {
            names->header().sh_addralign = 1;
            header_.e_shstrndx = static_cast<uint16_t>(names->index());
        }
    }
    // A string table made here starts with the empty string, so that offset 0 names nothing.
    for (uint32_t i = 0; i < sections->count(); ++i) {
        ELF_SECTION* s = sections->elf_section_at(i);
        if (ELF_STRING_TABLE* strings = s->string_table(); strings && strings->data()->size() == 0) {
            (void)strings->add_string("");
            if (s->header().sh_addralign == 0) s->header().sh_addralign = 1;
        }
    }

    // The symbol tables first: their order decides the indexes that relocations and the other tables use.
    for (uint32_t i = 0; i < sections->count(); ++i)
        if (ELF_SYMBOL_TABLE* symbols = sections->elf_section_at(i)->symbol_table())
            if (symbols->progress_to_state(OF_STATE_LOCKED) != 0) return -1;
    for (uint32_t i = 0; i < sections->count(); ++i) {
        ELF_SECTION* s = sections->elf_section_at(i);
        // What the segments of an executable or shared object hold keeps its bytes (their tables are not
        // encoded anew, which could change their size); the dynamic table is still checked.
        const bool fixed = keep && s->allocated();
        if (ELF_RELOC_TABLE* relocs = s->relocation_table(); relocs && !fixed) relocs->encode();
        if (ELF_DYNAMIC_TABLE* dynamic = s->dynamic_table())
            if (dynamic->progress_to_state(OF_STATE_LOCKED) != 0) return -1;
        if (!fixed) {
            if (ELF_VERDEF_TABLE* definitions = s->verdef_table())
                if (definitions->progress_to_state(OF_STATE_LOCKED) != 0) return -1;
            if (ELF_VERNEED_TABLE* needs = s->verneed_table())
                if (needs->progress_to_state(OF_STATE_LOCKED) != 0) return -1;
        }
        if (ELF_SYMALIAS_TABLE* aliases = s->symalias_table())
            if (aliases->progress_to_state(OF_STATE_LOCKED) != 0) return -1;
        if (ELF_BUILD_ATTR_TABLE* attributes = s->build_attribute_table())
            if (attributes->progress_to_state(OF_STATE_LOCKED) != 0) return -1;
    }
    store_section_names();
    if (sections->progress_to_state(OF_STATE_LOCKED) != 0) return -1;
    for (uint32_t i = 0; i < sections->count(); ++i)
        if (ELF_STRING_TABLE* strings = sections->elf_section_at(i)->string_table())
            if (strings->progress_to_state(OF_STATE_LOCKED) != 0) return -1;

    // The counts; from 0xff00 on they stand in section 0. A file that already keeps a smaller count (or the
    // name table's index) there keeps that form.
    const uint32_t count = sections->count();
    ELF_SECTION* zero = count > 0 ? sections->elf_section_at(0) : nullptr;
    const bool count_in_zero = zero && header_.e_shnum == 0 && zero->header().sh_size != 0;
    if (count >= ELF::SHN_LORESERVE || count_in_zero) {
        header_.e_shnum = 0;
        zero->header().sh_size = count;
    } else {
        header_.e_shnum = static_cast<uint16_t>(count);
    }
    const ELF_STRING_TABLE* names = sections->section_name_table();
    const uint32_t names_index = names ? names->section()->index() : header_.e_shstrndx;
    const bool names_in_zero = zero && header_.e_shstrndx == ELF::SHN_XINDEX;
    if (zero && (names_index >= ELF::SHN_LORESERVE || names_in_zero)) {
        header_.e_shstrndx = ELF::SHN_XINDEX;
        zero->header().sh_link = names_index;
    } else {
        header_.e_shstrndx = static_cast<uint16_t>(names_index);
    }
    header_.e_ehsize = ELF::EHDR::SIZE;
    header_.e_shentsize = count > 0 ? ELF::SHDR::SIZE : header_.e_shentsize;
    header_.e_phnum = segments->count();
    header_.e_phentsize = segments->count() > 0 ? ELF::PHDR::SIZE : header_.e_phentsize;
    return segments->progress_to_state(OF_STATE_LOCKED);
}

int32_t ELF_FILE::write_out() {
    const bool big = big_endian_structures();
    ELF_SEGMENT_TABLE* segments = segment_table();
    // The segments' bytes first, where they were read: what lies between the sections (and their own
    // headers, which follow) stays as it was.
    if (keeps_segment_layout())
        for (uint32_t i = 0; i < segments->count(); ++i) {
            ELF_SEGMENT* segment = segments->segment_at(i);
            const ELF_PROGRAM_HEADER& p = segment->header();
            if (p.p_type != ELF::PT_PHDR && p.p_filesz > 0 && segment->data().size() > 0 &&
                put_file_data(segment->data(), p.p_offset) != 0)
                return -1;
        }
    DATA_MAP head;
    head.set_big_endian(big);
    head.write_bytes(header_.e_ident, sizeof header_.e_ident);
    head.write_u16(header_.e_type);
    head.write_u16(header_.e_machine);
    head.write_u32(header_.e_version);
    head.write_u32(header_.e_entry);
    head.write_u32(header_.e_phoff);
    head.write_u32(header_.e_shoff);
    head.write_u32(header_.e_flags);
    head.write_u16(header_.e_ehsize);
    head.write_u16(header_.e_phentsize);
    head.write_u16(header_.e_phnum);
    head.write_u16(header_.e_shentsize);
    head.write_u16(header_.e_shnum);
    head.write_u16(header_.e_shstrndx);
    if (put_file_data(head, 0) != 0) return -1;
    if (segments->count() > 0) {
        DATA_MAP table;
        table.set_big_endian(big);
        for (uint32_t i = 0; i < segments->count(); ++i) {
            const ELF_PROGRAM_HEADER& p = segments->raw_header(i);
            table.set_cursor(uint64_t{i} * ELF::PHDR::SIZE);
            for (uint32_t field : {p.p_type, p.p_offset, p.p_vaddr, p.p_paddr, p.p_filesz, p.p_memsz, p.p_flags,
                                   p.p_align})
                table.write_u32(field);
        }
        if (put_file_data(table, header_.e_phoff) != 0) return -1;
    }
    ELF_SECTION_TABLE* sections = section_table();
    DATA_MAP table;
    table.set_big_endian(big);
    for (uint32_t i = 0; i < sections->count(); ++i) {
        ELF_SECTION* s = sections->elf_section_at(i);
        const ELF_SECTION_HEADER& h = s->header();
        if (s->has_raw_data() && h.sh_size > 0 && put_file_data(s->data(), h.sh_offset) != 0) return -1;
        table.set_cursor(uint64_t{i} * ELF::SHDR::SIZE);
        for (uint32_t field : {h.sh_name, h.sh_type, h.sh_flags, h.sh_addr, h.sh_offset, h.sh_size, h.sh_link, h.sh_info,
                               h.sh_addralign, h.sh_entsize})
            table.write_u32(field);
    }
    if (sections->count() > 0 && put_file_data(table, header_.e_shoff) != 0) return -1;
    if (sections->progress_to_state(OF_STATE_SAVED) != 0) return -1;
    return segments->progress_to_state(OF_STATE_SAVED);
}

}  // namespace OFE
