// ELF symbol versioning: the version definition and requirement records, their dumps, their rewrite
// when the file is locked for writing, and the version names of dynamic symbols.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ofe/of_state_machine.h"

namespace OFE {

class DATA_MAP;

class ELF_FILE;
class ELF_SECTION;
class ELF_STRING_TABLE;
class ELF_SYMBOL;

// One version definition, its fields as read and its names in auxiliary order.
struct ELF_VERDEF {
    uint16_t version = 1;
    uint16_t flags = 0;
    uint16_t index = 0;
    uint16_t count = 0;  // vd_cnt as read; the names are what the chain really held
    uint32_t hash = 0;
    uint32_t aux = 0;
    uint32_t next = 0;
    std::vector<std::string> names;  // a name the string table does not hold is "(null)"
    uint32_t number = 0;             // position in its table

    // Appends a name; the first one also sets the hash to the ELF hash of the name.
    void add_name(const char* name);
};

// One version a requirement names.
struct ELF_VNDEP {
    uint32_t hash = 0;
    uint16_t flags = 0;
    uint16_t other = 0;  // the version index that symbols bound to this version carry
    std::string name;
};

// One version requirement: a file and the versions needed from it.
struct ELF_VERNEED {
    uint16_t version = 1;
    uint16_t count = 0;  // vn_cnt as read
    std::string file;
    uint32_t aux = 0;
    uint32_t next = 0;
    std::vector<ELF_VNDEP> dependencies;
    uint32_t number = 0;

    // Appends a dependency on version `name` (hash from the name) carrying the index `other`.
    ELF_VNDEP& add_dependency(const char* name, uint16_t other, uint16_t flags = 0);
};

// What the two tables share: the section, the dynamic string table, reading once on first access,
// and the rewrite on entering "locked".
class ELF_VERSION_TABLE : public OF_STATE_MACHINE {
public:
    explicit ELF_VERSION_TABLE(ELF_SECTION* section);
    ~ELF_VERSION_TABLE() override;

    // Entering "locked" rebuilds the section's bytes from the records (strings added to the dynamic
    // string table where it lacks them) and sets sh_size to their length.
    int32_t on_progress(int32_t new_state) override;
    ELF_SECTION* section() const { return section_; }
    ELF_FILE* elf_file() const;

protected:
    // Reads the records, once, for a file being read.
    void ensure_read();
    // The string at `offset` of the dynamic string table; "(null)" when it has none there.
    std::string name_at(uint32_t offset);
    // The dynamic string table: the dynamic database's, else the section named ".dynstr".
    ELF_STRING_TABLE* string_table();
    // Where a string lies in the dynamic string table, added when absent; 0 without a table.
    uint32_t string_offset(const std::string& text);
    // Charges `cost` to the reading; false once a hostile table has cost more than the object holds.
    bool spend(uint64_t cost);

    virtual void read_records(DATA_MAP& data) = 0;
    virtual void write_records(DATA_MAP& data) = 0;

private:
    ELF_SECTION* section_;
    ELF_STRING_TABLE* strings_ = nullptr;
    bool strings_looked_up_ = false;
    bool read_ = false;
    uint64_t budget_ = 0;
};

// The version definitions of a SHT_GNU_verdef section.
class ELF_VERDEF_TABLE : public ELF_VERSION_TABLE {
public:
    using ELF_VERSION_TABLE::ELF_VERSION_TABLE;

    uint32_t count();
    // The record at `i` in chain order; null past the end.
    ELF_VERDEF* record(uint32_t i);
    // The definition whose index is `index`; null when none.
    ELF_VERDEF* find_index(uint16_t index);
    // Appends an empty definition (requires "open").
    ELF_VERDEF* add_record();
    // One more than the largest vd_ndx read; 0 before any.
    uint32_t highest_version_index();
    // Prints the records under a heading with the file's name; nothing when there are none.
    void dump(FILE* out);

protected:
    void read_records(DATA_MAP& data) override;
    void write_records(DATA_MAP& data) override;

private:
    std::vector<std::unique_ptr<ELF_VERDEF>> records_;
    uint32_t highest_index_ = 0;
};

// The version requirements of a SHT_GNU_verneed section.
class ELF_VERNEED_TABLE : public ELF_VERSION_TABLE {
public:
    using ELF_VERSION_TABLE::ELF_VERSION_TABLE;

    uint32_t count();
    ELF_VERNEED* record(uint32_t i);
    // Appends a requirement of the file `file_name` without dependencies (requires "open").
    ELF_VERNEED* add_record(const char* file_name);
    // The first dependency, in record and then dependency order, whose vna_other is `index` with
    // its hidden bit cleared; null for an index below 2 or above 0xfeff.
    const ELF_VNDEP* find_dependency(uint16_t index);
    // Prints the records under a heading with the file's name.
    void dump(FILE* out);

protected:
    void read_records(DATA_MAP& data) override;
    void write_records(DATA_MAP& data) override;

private:
    std::vector<std::unique_ptr<ELF_VERNEED>> records_;
};

// "VER_DEF_NONE", "VER_DEF_CURRENT", else "VER_DEF_0x%04hx".
std::string elf_version_revision_name(uint16_t version);
// One flag bit: "VER_FLG_BASE", "VER_FLG_WEAK", else "VER_FLG_0x%04hx".
std::string elf_version_flag_name(uint16_t bit);

// The file's version tables: those of the first section of each type; null when there is none or
// the file carries no version information.
ELF_VERDEF_TABLE* elf_verdef_table(ELF_FILE* file);
ELF_VERNEED_TABLE* elf_verneed_table(ELF_FILE* file);
// The version a dynamic symbol is defined with or needs, by its version index: the first name of the
// definition, or the name of the dependency. Null when the symbol has no version index, its index is
// below 2 or reserved, or no record carries it.
const char* elf_symbol_version_defined(ELF_SYMBOL& symbol);
const char* elf_symbol_version_needed(ELF_SYMBOL& symbol);

// Size of the version records that a dynamic entry locates at `offset` in the file (`needs`: requirements,
// else definitions): the end of the furthest record or auxiliary entry reached by following at most
// `records` records and their chains. 0 when nothing can be read.
uint32_t elf_version_records_size(ELF_FILE* file, uint32_t offset, uint32_t records, bool needs);

}  // namespace OFE
