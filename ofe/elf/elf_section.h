// ELF sections: the section header table, sections made from their headers on first access,
// their meaning for the format-neutral model, and their contents objects.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "ofe/of_section.h"
#include "ofe/of_string_table.h"
#include "ofe/of_types.h"

namespace OFE {

class ELF_FILE;
class ELF_SECTION;
class ELF_SYMBOL_TABLE;
class ELF_DYNAMIC_TABLE;
class ELF_BUILD_ATTR_TABLE;
class ELF_SYMALIAS_TABLE;
class ELF_VERDEF_TABLE;
class ELF_VERNEED_TABLE;
class ELF_RELOC_TABLE;

// One section header, field for field, in host byte order.
struct ELF_SECTION_HEADER {
    uint32_t sh_name = 0;
    uint32_t sh_type = 0;
    uint32_t sh_flags = 0;
    uint32_t sh_addr = 0;
    uint32_t sh_offset = 0;
    uint32_t sh_size = 0;
    uint32_t sh_link = 0;
    uint32_t sh_info = 0;
    uint32_t sh_addralign = 0;
    uint32_t sh_entsize = 0;
};

// The string table that an SHT_STRTAB section holds; it reads the section's own bytes.
class ELF_STRING_TABLE : public OF_STRING_TABLE {
public:
    explicit ELF_STRING_TABLE(ELF_SECTION* section);
    const char* table_name() const override;
    void prepare_for_writing() override;
    void clear() override;
    uint32_t add_string(const char* text) override;
    ELF_SECTION* section() const { return section_; }

private:
    ELF_SECTION* section_;
};

// Whether a target uses the extended attribute section of a role: 0 flags (every target), 1 pages.
bool role_supported(OF_TARGET target, uint32_t role);

class ELF_SECTION : public OF_SECTION {
public:
    ELF_SECTION(OF_SECTION_TABLE* table, uint32_t index);
    ~ELF_SECTION() override;

    ELF_SECTION_HEADER& header() { return header_; }
    const ELF_SECTION_HEADER& header() const { return header_; }
    ELF_FILE* elf_file() const;

    uint32_t load_address() override;
    uint32_t run_address() const override { return header_.sh_addr; }
    bool has_raw_data() const override;
    uint32_t alignment() const override { return header_.sh_addralign; }
    // Requires a power of two; anything else is reported and changes nothing.
    void set_alignment(uint32_t alignment) override;
    // sh_addr.
    void set_run_address(uint32_t address) override;
    // The explicit load address (used when no segment maps the section).
    void set_load_address(uint32_t address) override;
    // Of the raw data when the section has initialised raw data, else sh_size.
    void set_size(uint32_t units) override;
    // Type and flags of the standard ".text", ".data" and ".bss" sections.
    void make_code() override;
    void make_data() override;
    void make_bss() override;
    // The first relocation section that applies to this one; without one, a ".rel" section (".rela" when the
    // file's relocations carry addends) is added for it.
    OF_RELOC_TABLE* reloc_table_for_change() override;
    // Header fields as they are stored (each requires the file at most "locked").
    void set_type(uint32_t type);
    void set_flags(uint32_t flags);
    void set_link(uint32_t link);
    void set_info(uint32_t info);
    void set_entry_size(uint32_t size);
    // Entering "locked": sh_size follows the raw data of a section that has some.
    int32_t on_progress(int32_t new_state) override;
    bool allocated() const override;
    // Sets or clears SHF_ALLOC.
    void set_allocated(bool on) override;
    bool is_code() const override;
    bool is_data() const override;
    bool is_bss() const override;
    bool is_group() const override;
    uint32_t address_unit_bits() const override { return address_unit_bits_; }
    uint32_t size() const override;
    uint32_t raw_data_offset() const override { return header_.sh_offset; }
    void set_explicit_load_address(uint32_t address) { explicit_load_address_ = address; }
    // The extended flags and page from the file's extended section attributes (0 when absent).
    uint32_t ext_flags() const;
    // Replaces the extended flags (kept with the table, for writing).
    void set_ext_flags(uint32_t flags);
    int32_t page() const override;

    // The string table this section holds; null unless its type is SHT_STRTAB.
    ELF_STRING_TABLE* string_table();
    // The symbol table this section holds; null unless its type is SHT_SYMTAB or SHT_DYNSYM.
    ELF_SYMBOL_TABLE* symbol_table();
    // The dynamic table this section holds; null unless its type is SHT_DYNAMIC.
    ELF_DYNAMIC_TABLE* dynamic_table();
    // The build-attribute table this section holds, parsed when made; null unless its type is
    // SHT_ATTRIBUTES and the target supports build attributes.
    ELF_BUILD_ATTR_TABLE* build_attribute_table();
    // The version definitions or requirements this section holds; null unless its type is
    // SHT_GNU_verdef or SHT_GNU_verneed and the file carries version information.
    ELF_VERDEF_TABLE* verdef_table();
    ELF_VERNEED_TABLE* verneed_table();
    // The symbol alias table this section holds, read when first asked for; null unless this is the
    // symbol alias section.
    ELF_SYMALIAS_TABLE* symalias_table();
    // The relocation table this section holds; null unless its type is SHT_REL or SHT_RELA. It applies
    // to the section that sh_info names.
    ELF_RELOC_TABLE* relocation_table();
    // The relocation tables of the SHT_REL and SHT_RELA sections that apply to this section.
    uint32_t reloc_table_count() override;
    OF_RELOC_TABLE* reloc_table_at(uint32_t index) override;
    // The type's name: the target's own, else the generic one for this file.
    const char* type_name() const;
    // One sh_flags bit's name: the target's own, else the generic one.
    const char* flag_name(uint32_t bit) const;
    void add_dump_rows(OF_TEXT_TABLE& rows) override;
    // Local binding and type "section".
    void apply_section_symbol_settings(OF_SYMBOL& symbol) override;
    // Takes the address unit from the standard templates or the target.
    void compute_address_unit();
    // How many entries of `entry_size` bytes (each needing `min_entry` of them) the object holds of the
    // `claimed` ones; a shortfall is reported once as a corrupted `what`.
    uint32_t entries_held(uint32_t entry_size, uint32_t min_entry, uint32_t claimed, const char* what);
    // Made by the library (for a dynamic-linking role) rather than read from a section header.
    bool created_by_library() const { return created_by_library_; }
    void set_created_by_library(bool on) { created_by_library_ = on; }
    // Whether the section's header and bytes were read from the input (not added).
    bool from_input() const { return from_input_; }

private:
    friend class ELF_SECTION_TABLE;
    // Whether the file allows a change (at most "locked"), reported otherwise.
    bool may_change() const;

    ELF_SECTION_HEADER header_;
    uint32_t explicit_load_address_ = 0;
    uint32_t address_unit_bits_ = 8;
    std::unique_ptr<ELF_STRING_TABLE> string_table_;
    std::unique_ptr<ELF_SYMBOL_TABLE> symbol_table_;
    std::unique_ptr<ELF_DYNAMIC_TABLE> dynamic_table_;
    std::unique_ptr<ELF_BUILD_ATTR_TABLE> build_attribute_table_;
    std::unique_ptr<ELF_VERDEF_TABLE> verdef_table_;
    std::unique_ptr<ELF_VERNEED_TABLE> verneed_table_;
    std::unique_ptr<ELF_SYMALIAS_TABLE> symalias_table_;
    std::unique_ptr<ELF_RELOC_TABLE> relocation_table_;
    bool created_by_library_ = false;
    bool from_input_ = false;
};

class ELF_SECTION_TABLE : public OF_SECTION_TABLE {
public:
    explicit ELF_SECTION_TABLE(ELF_FILE* file);
    ~ELF_SECTION_TABLE() override;

    // Takes note of `count` headers of `entry_size` bytes at `offset`; no section is made yet.
    // A count larger than the bytes present can hold is reported and cut to what is there.
    [[nodiscard]] int read_headers(uint32_t offset, uint32_t entry_size, uint32_t count);
    ELF_SECTION* elf_section_at(uint32_t index) { return static_cast<ELF_SECTION*>(section_at(index)); }
    // Adds a section; a name from the standard templates takes its type, flags and entry size.
    OF_SECTION* add_section(const char* name) override;
    // Section 0 must be the null section (SHT_NULL), else code 7 "section 0 is not a NULL section" and -1.
    int32_t renumber() override;
    // The section-name string table, or null when there is none.
    ELF_STRING_TABLE* section_name_table();
    ELF_FILE* elf_file() const;
    // The first section of type SHT_ATTRIBUTES, looked up once; null when there is none.
    ELF_SECTION* build_attribute_section();
    // The SHT_REL and SHT_RELA sections whose sh_info names section `index`, found in one pass on first use.
    const std::vector<uint32_t>& relocation_sections_of(uint32_t index);
    // The extended attribute of `kind` (0 flags, 1 page) of a section, read on first use.
    uint32_t extended_value(uint32_t kind, uint32_t section_index);
    void set_extended_value(uint32_t kind, uint32_t section_index, uint32_t value);

    // ---- Writing ----
    // Adds a relocation section (".rel" or, with addends, ".rela" before the target's name) for `target`,
    // linked to the file's symbol table (requires "open"); null when the state forbids it.
    ELF_SECTION* add_relocation_section(ELF_SECTION* target, bool addends);
    // Makes every section and reads all they hold into memory, so that nothing is read from the input afterwards.
    void prepare_for_writing();
    // Each section follows the table into and out of the writing states.
    int32_t on_progress(int32_t new_state) override;
    int32_t on_revert(int32_t target_state) override;

protected:
    std::unique_ptr<OF_SECTION> make_section(uint32_t index) override;
    void materialise_section(uint32_t index) override;
    // The extended attributes and the looked-up sections follow their sections; the file's symbol table too.
    void renumber_references(const std::vector<uint32_t>& map) override;

private:
    // Reads the extended attributes that the section of `role` holds into `values`.
    void read_extended_attributes(uint32_t role, std::map<uint32_t, uint32_t>& values);

    DATA_MAP headers_;
    uint32_t offset_ = 0;
    uint32_t attributes_index_ = 0;  // the index of the attributes section + 1; 0 until looked up
    bool attributes_looked_up_ = false;
    bool extended_read_ = false;
    std::map<uint32_t, uint32_t> extended_[2];  // by section index; only values other than 0
    std::map<uint32_t, std::vector<uint32_t>> relocation_sections_;  // by the index they apply to
    bool relocation_sections_found_ = false;
};

// An index through a renumbering map: 0 for an index that was removed (or not mapped).
inline uint32_t renumbered_index(const std::vector<uint32_t>& map, uint32_t index) {
    return index < map.size() && map[index] != OF_SECTION_TABLE::NO_INDEX ? map[index] : 0;
}

// The ELF view of a section: null, with code 3 "attempting to get ELF interface for non-ELF file" reported
// on its file, when the file is of another format.
ELF_SECTION* as_elf_section(OF_SECTION* section);
const ELF_SECTION* as_elf_section(const OF_SECTION* section);

}  // namespace OFE
