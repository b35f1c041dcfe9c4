// ELF relocation tables: the entries of an SHT_REL or SHT_RELA section, applying to the section its
// sh_info names, with symbols from the symbol table its sh_link names.
#pragma once

#include <cstdint>

#include "ofe/oalloc.h"
#include "ofe/of_reloc.h"

namespace OFE {

class ELF_SECTION;

// One entry, in host byte order.
struct ELF_RELOC_ENTRY {
    uint32_t r_offset = 0;
    uint32_t r_info = 0;
    int32_t r_addend = 0;  // Elf32_Rela only
};

class ELF_RELOC : public OF_RELOC, public OALLOC<ELF_RELOC> {
public:
    ELF_RELOC(OF_RELOC_TABLE* table, uint32_t index, const ELF_RELOC_ENTRY& entry, const OF_RELOC_ENTRY* vocabulary);
    using OALLOC<ELF_RELOC>::operator new;
    using OALLOC<ELF_RELOC>::operator delete;

    const ELF_RELOC_ENTRY& entry() const { return entry_; }
    uint32_t address() const override { return entry_.r_offset; }
    uint32_t type() const override { return entry_.r_info & 0xFFu; }
    const OF_RELOC_ENTRY* vocabulary_entry() const override { return vocabulary_; }
    bool refers_to_symbol() const override { return symbol_index() != 0; }
    uint32_t symbol_index() const override { return entry_.r_info >> 8; }
    // The addend rows of an Elf32_Rela entry.
    void add_dump_rows(OF_TEXT_TABLE& rows) const override;
    // Setters (the file at most "locked").
    void set_address(uint32_t address) override;
    void set_type(uint32_t type) override;
    void set_symbol_index(uint32_t index) override;
    // The addend of an Elf32_Rela entry (an Elf32_Rel entry keeps it in the relocated bytes instead).
    void set_addend(int32_t addend);

private:
    friend class ELF_RELOC_TABLE;
    ELF_RELOC_ENTRY entry_;
    const OF_RELOC_ENTRY* vocabulary_;
};

class ELF_RELOC_TABLE : public OF_RELOC_TABLE {
public:
    // The entries of `relocations` (SHT_REL or SHT_RELA), applying to `target`. The count is sh_size /
    // the entry size, cut (and reported) to the entries the file holds.
    ELF_RELOC_TABLE(ELF_SECTION* relocations, ELF_SECTION* target);
    ELF_SECTION* relocation_section() const { return relocations_; }
    bool has_addends() const;
    uint32_t entry_size() const override { return entry_size_; }
    uint32_t file_offset() const override;
    // Symbols come from the table of the section sh_link names.
    OF_SYMBOL* symbol_at(uint32_t index) const override;

    // ---- Writing ----
    OF_RELOC* add_reloc(uint32_t address, uint32_t type, uint32_t symbol_index) override;
    void renumber_symbols(const std::vector<uint32_t>& old_to_new) override;
    // Rewrites the relocation section's bytes from the entries.
    void encode();

protected:
    std::unique_ptr<OF_RELOC> read_reloc(uint32_t index) override;

private:
    ELF_SECTION* relocations_;
    uint32_t entry_size_;
};

}  // namespace OFE
