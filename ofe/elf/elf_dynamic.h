// The ELF dynamic section: its entries, the tag vocabulary, and the per-file database of the
// dynamic-linking sections through which the dynamic symbol table is reached.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ofe/elf/elf_names.h"
#include "ofe/oalloc.h"
#include "ofe/of_state_machine.h"

namespace OFE {

class ELF_FILE;
class ELF_SECTION;
class ELF_DYNAMIC_TABLE;
class ELF_STRING_TABLE;
class OF_SYMBOL_TABLE;

// One entry of a dynamic section.
class ELF_DYNAMIC : public OALLOC<ELF_DYNAMIC> {
public:
    ELF_DYNAMIC(ELF_DYNAMIC_TABLE* table, uint32_t index, uint32_t tag, uint32_t d_un, const DT_INFO* info);

    uint32_t tag() const { return tag_; }
    uint32_t index() const { return index_; }
    const DT_INFO& info() const { return *info_; }
    // d_un as a value or as an address; 0 and an illegal-operation error when the tag does not use it so.
    uint32_t get_val() const;
    uint32_t get_ptr() const;
    // Stores a value or an address and rewrites the entry in the section's bytes (same rule).
    void set_val(uint32_t value);
    void set_ptr(uint32_t value);
    // The string of DT_NEEDED, DT_SONAME, DT_RPATH and DT_RUNPATH entries ("" for others).
    const char* get_string() const { return string_.c_str(); }
    void set_string(std::string text) { string_ = std::move(text); }
    // Clears d_un of an entry whose tag does not use it (when the table is finalised).
    void clear_unused();

private:
    bool uses(DT_UN_USE use, const char* what, const char* field) const;
    void write_back();

    ELF_DYNAMIC_TABLE* table_;
    uint32_t index_;
    uint32_t tag_;
    uint32_t d_un_;
    const DT_INFO* info_;
    std::string string_;
};

class ELF_DYNAMIC_TABLE : public OF_STATE_MACHINE {
public:
    // The table a SHT_DYNAMIC section holds.
    explicit ELF_DYNAMIC_TABLE(ELF_SECTION* section);
    ~ELF_DYNAMIC_TABLE() override;

    // Entering "locked" finalises the table for writing: unused fields cleared, mandatory tags checked.
    int32_t on_progress(int32_t new_state) override;

    uint32_t count() const { return count_; }
    uint32_t entry_size() const { return entry_size_; }
    // The entry at `index`, read on first access; null past the count.
    ELF_DYNAMIC* entry(uint32_t index);
    // The description of a tag; an unknown tag gets a row of its own ("DT_0x%x"). Never null.
    const DT_INFO* tag_info(uint32_t tag);
    // Prints the entries as id, tag and value rows; nothing for an empty table.
    void dump(FILE* out);
    ELF_SECTION* section() const { return section_; }
    ELF_FILE* elf_file() const;

private:
    ELF_STRING_TABLE* string_table();

    ELF_SECTION* section_;
    uint32_t entry_size_;
    uint32_t count_ = 0;
    std::vector<ELF_DYNAMIC*> entries_;
    std::map<uint32_t, const DT_INFO*> tags_;
    std::deque<DT_INFO> made_rows_;       // rows made for unknown tags
    std::deque<std::string> made_names_;  // their names
    ELF_STRING_TABLE* strings_ = nullptr;
    bool strings_looked_up_ = false;
};

// The sections of dynamic linking, by role (0 when absent).
enum DYNAMIC_ROLE : uint32_t {
    DYN_ROLE_DYNAMIC = 0,
    DYN_ROLE_HASH = 1,
    DYN_ROLE_STRINGS = 2,
    DYN_ROLE_SYMBOLS = 3,
    DYN_ROLE_RELOCS = 4,
    DYN_ROLE_PLT_RELOCS = 5,
    DYN_ROLE_VERSYM = 6,
    DYN_ROLE_VERDEF = 7,
    DYN_ROLE_VERNEED = 8,
    DYN_ROLE_COUNT = 9,
};

class ELF_DYNAMIC_DB : public OF_STATE_MACHINE {
public:
    explicit ELF_DYNAMIC_DB(ELF_FILE* file);

    // Fills the roles of a file being read from its program headers and dynamic entries.
    void fill_from_file();
    uint32_t role(uint32_t r) const { return r < DYN_ROLE_COUNT ? roles_[r] : 0; }
    // The symbol table of the section in the dynamic-symbols role; null when there is none.
    OF_SYMBOL_TABLE* dynamic_symbol_table();
    // After the section table was renumbered: the roles follow their sections (a removed one is none).
    void renumber_sections(const std::vector<uint32_t>& map);

private:
    // File offset of an address: through the PT_LOAD segment holding it when addresses are virtual.
    bool to_offset(uint32_t address, uint32_t& offset) const;
    // Makes a section for a role over `size` bytes at file offset `offset` (of `type`, else the
    // standard type of its name).
    ELF_SECTION* make_role_section(uint32_t r, const char* name, uint32_t offset, uint32_t size, uint32_t type = 0);
    // The number of dynamic symbols that a GNU hash table at `offset` reaches; false when it cannot be read.
    bool gnu_hash_symbol_count(uint32_t offset, uint32_t& count) const;
    bool use_section_headers();

    ELF_FILE* file_;
    uint32_t roles_[DYN_ROLE_COUNT] = {};
    bool virtual_addresses_ = false;
};

}  // namespace OFE
