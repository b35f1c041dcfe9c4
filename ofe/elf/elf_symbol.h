// ELF symbol tables (SHT_SYMTAB and SHT_DYNSYM) and their symbols, read one at a time on first access.
#pragma once

#include <cstdint>

#include "ofe/elf/elf_symmeta.h"
#include "ofe/oalloc.h"
#include "ofe/of_symbol.h"

namespace OFE {

class ELF_FILE;
class ELF_SECTION;
class ELF_STRING_TABLE;
class ELF_SYMBOL_TABLE;

// One symbol entry, field for field, in host byte order.
struct ELF_SYMBOL_ENTRY {
    uint32_t st_name = 0;
    uint32_t st_value = 0;
    uint32_t st_size = 0;
    uint8_t st_info = 0;
    uint8_t st_other = 0;
    uint16_t st_shndx = 0;
};

class ELF_SYMBOL : public OF_SYMBOL, public OALLOC<ELF_SYMBOL> {
public:
    ELF_SYMBOL(ELF_SYMBOL_TABLE* table, uint32_t index);
    using OALLOC<ELF_SYMBOL>::operator new;
    using OALLOC<ELF_SYMBOL>::operator delete;

    uint32_t value() const override { return entry_.st_value; }
    // True when st_shndx is not 0 and is either SHN_XINDEX or below SHN_LORESERVE.
    bool has_section() const override;
    // st_shndx, or the extended index when st_shndx is SHN_XINDEX.
    uint32_t section_index() const override;
    uint32_t size() const override { return entry_.st_size; }
    OF_SYMBOL_KIND kind() const override;
    OF_SYMBOL_BINDING binding() const override;
    OF_SYMBOL_TYPE type() const override;
    // st_other & 3.
    uint32_t visibility() const { return entry_.st_other & 3u; }
    // "Size:", "Visibility:" and, for a dynamic symbol with a version index, the version rows.
    void add_dump_rows(OF_TEXT_TABLE& rows) const override;

    // Setters: each requires the file at most "locked"; bad values are reported and change nothing.
    void set_value(uint32_t value) override;
    void set_size(uint32_t size) override;
    void set_kind(OF_SYMBOL_KIND kind) override;
    void set_binding(OF_SYMBOL_BINDING binding) override;
    void set_type(OF_SYMBOL_TYPE type);
    // st_shndx := the target's near-common section index (reported by targets without one), no extended index.
    void make_near_common() override;
    void set_section_id(uint32_t index) override;
    // st_other's low 2 bits.
    void set_visibility(uint32_t visibility);

    ELF_SYMBOL_ENTRY& entry() { return entry_; }
    const ELF_SYMBOL_ENTRY& entry() const { return entry_; }
    uint32_t extended_index() const { return extended_index_; }
    void set_extended_index(uint32_t index) { extended_index_ = index; }
    // The version word of a dynamic symbol, read from its table's version symbol section.
    bool has_version_index() const { return has_version_index_; }
    uint16_t version_index() const { return version_index_; }
    void set_version_index(uint16_t index) {
        version_index_ = index;
        has_version_index_ = true;
    }

    // Metadata: the record lives in the symbol table; every setter makes it when the symbol has none.
    bool metadata_mark_a() const override { return metadata_ && metadata_->mark_a; }
    void set_metadata_mark_a(bool on) override;
    bool metadata_mark_b() const override { return metadata_ && metadata_->mark_b; }
    void set_metadata_mark_b(bool on) override;
    bool metadata_mark_c() const override { return metadata_ && metadata_->mark_c; }
    void set_metadata_mark_c(bool on) override;
    bool metadata_mark_d() const override { return metadata_ && metadata_->mark_d; }
    void set_metadata_mark_d(bool on) override;
    bool has_metadata_location() const override { return metadata_ && metadata_->has_location; }
    uint32_t metadata_location() const override { return metadata_ ? metadata_->location : 0; }
    void set_metadata_location(uint32_t address) override;
    bool has_metadata_text() const override { return metadata_ && metadata_->has_text; }
    const char* metadata_text() const override { return metadata_ ? metadata_->text.c_str() : ""; }
    void set_metadata_text(const char* text) override;
    std::set<std::string> metadata_strings() const override;
    void add_metadata_string(const char* text) override;
    bool has_metadata() const override { return metadata_ != nullptr; }
    bool merge_metadata(const OF_SYMBOL* other) override;
    void attach_metadata(ELF_SYMBOL_METADATA* record) { metadata_ = record; }

protected:
    void write_back() override;

private:
    ELF_SYMBOL_TABLE* elf_table() const;
    // The symbol's metadata record, made in the table when it has none; null when no change may be made.
    ELF_SYMBOL_METADATA* metadata_for_change();

    ELF_SYMBOL_ENTRY entry_;
    uint32_t extended_index_ = 0;
    uint16_t version_index_ = 0;
    bool has_version_index_ = false;
    ELF_SYMBOL_METADATA* metadata_ = nullptr;
};

class ELF_SYMBOL_TABLE : public OF_SYMBOL_TABLE {
public:
    // The table an SHT_SYMTAB or SHT_DYNSYM section holds; no symbol is read yet.
    explicit ELF_SYMBOL_TABLE(ELF_SECTION* section);
    ~ELF_SYMBOL_TABLE() override;

    const char* table_name() const override;
    uint32_t entry_size() const override { return entry_size_; }
    OF_SECTION_TABLE* section_table() const override;
    ELF_SECTION* section() const { return section_; }
    // Adds a symbol with the table's default visibility; an empty table first gets the null symbol.
    OF_SYMBOL* add_symbol() override;
    void set_default_visibility(uint8_t visibility) { default_visibility_ = visibility & 3u; }
    // Writes a symbol's entry back to the section's bytes.
    void write_back(const ELF_SYMBOL& symbol);
    // The metadata record of the symbol at `index`, made when there is none.
    ELF_SYMBOL_METADATA* metadata_record(uint32_t index);
    // The metadata are written anew when the table is locked.
    void mark_metadata_changed() { metadata_changed_ = true; }

    // ---- Writing ----
    // Entering "locked": symbol 0 must be the null symbol ("symbol 0 is not a NULL symbol", code 7); a static
    // table whose locals do not come first is put in order (locals first, each part in its old order); names go
    // to the linked string table where it does not hold them at st_name; sh_info becomes the index of the first
    // symbol that is not local, and every entry is written; extended section indexes and changed metadata go to
    // their sections (made when missing).
    int32_t on_progress(int32_t new_state) override;
    // Maps what refers to this table's symbols (relocations, groups, alias pairs, metadata, build attributes),
    // then moves the symbols.
    void renumber_apply(const std::vector<uint32_t>& old_to_new, uint32_t new_count) override;

protected:
    void build_symbol(uint32_t index) override;
    OF_SYMBOL* make_symbol(uint32_t index) override;

public:
    // The linked string table, found (or added, when the table has no link) on first use; null when there is none.
    ELF_STRING_TABLE* string_table();

private:
    ELF_FILE* elf_file() const;
    // The SHT_SYMTAB_SHNDX section linked to this table, looked for in files of 0xff00 sections and more.
    ELF_SECTION* shndx_section();
    // The SHT_GNU_versym section linked to a SHT_DYNSYM table of a file that carries version information.
    ELF_SECTION* versym_section();

    ELF_SECTION* section_;
    uint32_t entry_size_;
    ELF_STRING_TABLE* strings_ = nullptr;
    bool strings_looked_up_ = false;
    ELF_SECTION* shndx_ = nullptr;
    bool shndx_looked_up_ = false;
    uint8_t default_visibility_ = 0;
    ELF_SECTION* versym_ = nullptr;
    bool versym_looked_up_ = false;
    ELF_SYMBOL_METADATA_MAP metadata_;
    bool metadata_read_ = false;
    bool metadata_changed_ = false;
};

// The ELF view of a symbol of a file's tables: null, with code 3 "attempting to get ELF interface for
// non-ELF file" reported on the file, when the file is of another format; null for a symbol of no table.
ELF_SYMBOL* as_elf_symbol(OF_SYMBOL* symbol);
const ELF_SYMBOL* as_elf_symbol(const OF_SYMBOL* symbol);

}  // namespace OFE
