// ELF relocation entries: reading them from their section and naming their types.
#include "ofe/elf/elf_reloc.h"

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_section.h"
#include "ofe/elf/elf_symbol.h"
#include "ofe/machine/of_machine_db.h"
#include "ofe/of_symbol.h"
#include "ofe/of_text_table.h"
#include "util/data_map.h"

namespace OFE {

ELF_RELOC::ELF_RELOC(OF_RELOC_TABLE* table, uint32_t index, const ELF_RELOC_ENTRY& entry,
                     const OF_RELOC_ENTRY* vocabulary)
    : OF_RELOC(table, index), entry_(entry), vocabulary_(vocabulary) {}

void ELF_RELOC::add_dump_rows(OF_TEXT_TABLE& rows) const {
    if (static_cast<const ELF_RELOC_TABLE*>(table())->has_addends())
        rows.add_pair("Addend:", text_of("%d", entry_.r_addend));
}

void ELF_RELOC::set_address(uint32_t address) {
    if (table()->may_change()) entry_.r_offset = address;
}

void ELF_RELOC::set_type(uint32_t type) {
    if (!table()->may_change()) return;
    entry_.r_info = (entry_.r_info & ~0xFFu) | (type & 0xFFu);
    vocabulary_ = relocation_vocabulary(table()->section()->table()->file()).find_type(type & 0xFFu);
}

void ELF_RELOC::set_symbol_index(uint32_t index) {
    if (table()->may_change()) entry_.r_info = (index << 8) | (entry_.r_info & 0xFFu);
}

void ELF_RELOC::set_addend(int32_t addend) {
    if (table()->may_change()) entry_.r_addend = addend;
}

ELF_RELOC_TABLE::ELF_RELOC_TABLE(ELF_SECTION* relocations, ELF_SECTION* target)
    : OF_RELOC_TABLE(target), relocations_(relocations) {
    const ELF_SECTION_HEADER& h = relocations->header();
    const uint32_t record = h.sh_type == ELF::SHT_RELA ? ELF::REL::SIZE_A : ELF::REL::SIZE;
    entry_size_ = h.sh_entsize >= record ? h.sh_entsize : record;
    set_count(relocations->entries_held(entry_size_, record, h.sh_size / entry_size_, "relocation section"));
}

bool ELF_RELOC_TABLE::has_addends() const { return relocations_->header().sh_type == ELF::SHT_RELA; }

uint32_t ELF_RELOC_TABLE::file_offset() const { return relocations_->header().sh_offset; }

OF_SYMBOL* ELF_RELOC_TABLE::symbol_at(uint32_t index) const {
    ELF_SECTION* link = relocations_->elf_file()->section_table()->elf_section_at(relocations_->header().sh_link);
    ELF_SYMBOL_TABLE* symbols = link ? link->symbol_table() : nullptr;
    return symbols ? symbols->symbol_at(index) : nullptr;
}

std::unique_ptr<OF_RELOC> ELF_RELOC_TABLE::read_reloc(uint32_t index) {
    DATA_MAP& data = relocations_->data();
    data.set_cursor(uint64_t{index} * entry_size_);
    ELF_RELOC_ENTRY entry;
    entry.r_offset = data.read_u32();
    entry.r_info = data.read_u32();
    if (has_addends()) entry.r_addend = static_cast<int32_t>(data.read_u32());
    const OF_RELOC_ENTRY* vocabulary = relocation_vocabulary(relocations_->elf_file()).find_type(entry.r_info & 0xFFu);
    return std::make_unique<ELF_RELOC>(this, index, entry, vocabulary);
}

}  // namespace OFE

namespace OFE {

OF_RELOC* ELF_RELOC_TABLE::add_reloc(uint32_t address, uint32_t type, uint32_t symbol_index) {
    ELF_RELOC_ENTRY entry;
    entry.r_offset = address;
    entry.r_info = (symbol_index << 8) | (type & 0xFFu);
    const OF_RELOC_ENTRY* vocabulary = relocation_vocabulary(relocations_->elf_file()).find_type(type & 0xFFu);
    return append(std::make_unique<ELF_RELOC>(this, count(), entry, vocabulary));
}

void ELF_RELOC_TABLE::renumber_symbols(const std::vector<uint32_t>& old_to_new) {
    read_all();
    for (uint32_t i = 0; i < count(); ++i) {
        auto* r = static_cast<ELF_RELOC*>(reloc_at(i));
        const uint32_t old = r->entry_.r_info >> 8;
        if (old == 0) continue;
        uint32_t now = old < old_to_new.size() ? old_to_new[old] : OF_SYMBOL_TABLE::REMOVED;
        // A relocation whose symbol went refers to no symbol (index 0).
        if (now == OF_SYMBOL_TABLE::REMOVED) now = 0;
        r->entry_.r_info = (now << 8) | (r->entry_.r_info & 0xFFu);
    }
}

void ELF_RELOC_TABLE::encode() {
    read_all();
    DATA_MAP& data = relocations_->data();
    const bool big = relocations_->elf_file()->big_endian_structures();
    data.reset();
    data.set_big_endian(big);
    for (uint32_t i = 0; i < count(); ++i) {
        const ELF_RELOC_ENTRY& e = static_cast<ELF_RELOC*>(reloc_at(i))->entry();
        data.set_cursor(uint64_t{i} * entry_size_);
        data.write_u32(e.r_offset);
        data.write_u32(e.r_info);
        if (has_addends()) data.write_u32(static_cast<uint32_t>(e.r_addend));
    }
    data.set_size(uint64_t{count()} * entry_size_);
    relocations_->header().sh_size = static_cast<uint32_t>(data.size());
}

}  // namespace OFE
