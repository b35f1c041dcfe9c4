// QXCOFF relocation and line-number tables: the entries a section's header points at, read on first
// access. A relocation's type number is looked up in the file's relocation vocabulary; its template also
// decides how the entry's middle bytes are laid out.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "ofe/oalloc.h"
#include "ofe/of_reloc.h"
#include "ofe/of_state_machine.h"

namespace OFE {

class DATA_MAP;
class QXCOFF_FILE;
class QXCOFF_SECTION;
class QXCOFF_RELOC_TABLE;
class QXCOFF_SYMBOL;

// One relocation entry, decoded in host byte order.
struct QXCOFF_RELOC_IMAGE {
    uint32_t r_vaddr = 0;
    uint32_t r_symndx = 0;   // version "0": the signed 16-bit index widened; 0xFFFFFFFF: no symbol
    uint32_t operand = 0;    // version "0" entries without a symbol: the 32-bit value at offset 4
    uint16_t r_disp = 0;
    uint16_t r_type = 0;
    uint8_t field[3] = {};   // field templates: bit offset, width and word size, never swapped
};

class QXCOFF_RELOC : public OF_RELOC, public OALLOC<QXCOFF_RELOC> {
public:
    QXCOFF_RELOC(QXCOFF_RELOC_TABLE* table, uint32_t index, const QXCOFF_RELOC_IMAGE& image,
                 const OF_RELOC_ENTRY* entry);
    using OALLOC<QXCOFF_RELOC>::operator new;
    using OALLOC<QXCOFF_RELOC>::operator delete;

    const QXCOFF_RELOC_IMAGE& image() const { return image_; }
    uint32_t address() const override { return image_.r_vaddr; }
    uint32_t type() const override { return image_.r_type; }
    const OF_RELOC_ENTRY* vocabulary_entry() const override { return entry_; }
    // Only relocations whose template has a symbol (flag 0x4) refer to one.
    bool refers_to_symbol() const override;
    uint32_t symbol_index() const override { return image_.r_symndx; }
    // The template says there is a symbol slot, but it holds 0xFFFFFFFF.
    bool has_no_symbol() const;
    // The field's bit offset, width and word size: the entry's bytes for field templates (flag 0x100),
    // else the template's.
    uint32_t field_bit_offset() const;
    uint32_t field_width() const;
    uint32_t field_word_size() const;
    uint32_t displacement() const { return image_.r_disp; }
    // Setters (the file at most "locked"). The type's vocabulary entry decides the entry's layout.
    void set_address(uint32_t address) override;
    void set_type(uint32_t type) override;
    void set_symbol_index(uint32_t index) override;
    void set_displacement(uint16_t displacement);
    // The field of a field template (flag 0x100): bit offset, width and word size, kept as single bytes.
    void set_field(uint8_t bit_offset, uint8_t width, uint8_t word_size);
    // Writes the entry at `at` of `data`: 10 bytes when `version_0`, else 12.
    void encode(DATA_MAP& data, uint64_t at, bool version_0) const;
    // The pushed value of a push relocation: the symbol's value when it refers to one, else the operand
    // (version "0") or the symbol slot.
    uint32_t push_value() const;
    void add_dump_rows(OF_TEXT_TABLE& rows) const override;

private:
    friend class QXCOFF_RELOC_TABLE;
    uint32_t template_flags() const;

    QXCOFF_RELOC_IMAGE image_;
    const OF_RELOC_ENTRY* entry_;
};

class QXCOFF_RELOC_TABLE : public OF_RELOC_TABLE {
public:
    // The table of a section's s_nreloc entries at s_relptr; a count larger than the object holds is
    // reported (code 3) and cut to the entries present.
    explicit QXCOFF_RELOC_TABLE(QXCOFF_SECTION* section);
    QXCOFF_SECTION* qxcoff_section() const;
    QXCOFF_FILE* qxcoff_file() const;
    // 10 or 12 by version; 0 with code 3 for an invalid version.
    uint32_t entry_size() const override { return entry_size_; }
    uint32_t file_offset() const override;

    // ---- Writing ----
    OF_RELOC* add_reloc(uint32_t address, uint32_t type, uint32_t symbol_index) override;
    void renumber_symbols(const std::vector<uint32_t>& old_to_new) override;
    // Rewrites the section's relocation bytes from the entries.
    void encode();

protected:
    std::unique_ptr<OF_RELOC> read_reloc(uint32_t index) override;

private:
    uint32_t entry_size_ = 0;
};

// One line-number entry.
struct QXCOFF_LNNO {
    uint32_t l_addr = 0;   // the line's address, or (l_lnno 0) the function's symbol index
    uint16_t l_lnno = 0;   // relative to the function's ".bf" line; 0 opens a function
};

class QXCOFF_LNNO_TABLE : public OF_STATE_MACHINE {
public:
    // The table of a section's s_nlnno entries at s_lnnoptr, cut (and reported) to the entries present.
    explicit QXCOFF_LNNO_TABLE(QXCOFF_SECTION* section);
    QXCOFF_SECTION* section() const { return section_; }
    uint32_t count() const { return static_cast<uint32_t>(entries_.size()); }
    uint32_t file_offset() const;
    // Entry `index`, read on first access; null, with code 5 "request for line number entry %ld which
    // does not exist", at or past the count.
    const QXCOFF_LNNO* entry(uint32_t index);
    // Removal marks, used when the file is written.
    void mark_for_removal(uint32_t index);
    bool marked_for_removal(uint32_t index) const { return index < removal_.size() && removal_[index]; }

    // ---- Writing ----
    // Reads every entry.
    void read_all();
    // Appends an entry (requires "open"): a line relative to the function's first line at `address`, or with
    // `line` 0 the start of the function whose symbol index is `address`. Its index, or -1.
    int64_t add_entry(uint32_t address, uint16_t line);
    // Maps the function symbol of every entry that starts one; a function that was removed takes its lines
    // with it (they are marked for removal).
    void renumber_symbols(const std::vector<uint32_t>& old_to_new);
    // Drops the entries marked for removal.
    void remove_marked();
    // Rewrites the section's line-number bytes from the entries.
    void encode();
    // The file offset of the entry at `index` once the table lies at `offset`.
    static uint32_t entry_offset(uint32_t offset, uint32_t index) { return offset + 6 * index; }
    // The line-number table dump: one row per entry under file, function, address and line.
    void dump(FILE* out);

private:
    QXCOFF_SECTION* section_;
    std::vector<QXCOFF_LNNO> entries_;
    std::vector<bool> read_;
    std::vector<bool> removal_;
};

}  // namespace OFE
