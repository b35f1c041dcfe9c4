// The format-neutral relocation model: a section's relocation table and its relocations.
//
// A relocation table belongs to the section whose contents it relocates. Its entries are read on first
// access and kept for the table's life. Every relocation answers the same questions whatever its format:
// where it applies, its type and the vocabulary entry (name and template) of that type, and the symbol
// it refers to.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "ofe/of_state_machine.h"

namespace OFE {

class OF_RELOC_TABLE;
class OF_SECTION;
class OF_SYMBOL;
class OF_TEXT_TABLE;
struct OF_RELOC_ENTRY;
struct OF_RELOC_TEMPLATE;

class OF_RELOC {
public:
    OF_RELOC(OF_RELOC_TABLE* table, uint32_t index) : table_(table), index_(index) {}
    OF_RELOC(const OF_RELOC&) = delete;
    OF_RELOC& operator=(const OF_RELOC&) = delete;
    virtual ~OF_RELOC() = default;

    OF_RELOC_TABLE* table() const { return table_; }
    uint32_t index() const { return index_; }
    // The address of the place to relocate.
    virtual uint32_t address() const = 0;
    // The address less the section's load address.
    uint32_t offset_in_section() const;
    virtual uint32_t type() const = 0;
    // The vocabulary entry of the type; null for a type the file's vocabulary does not know.
    virtual const OF_RELOC_ENTRY* vocabulary_entry() const = 0;
    // The entry's template; null without one.
    const OF_RELOC_TEMPLATE* templ() const;
    // The type's name; null for an unknown type.
    const char* type_name() const;
    // Whether the relocation refers to a symbol of the file's symbol table, and its index there.
    virtual bool refers_to_symbol() const = 0;
    virtual uint32_t symbol_index() const = 0;
    // The symbol referred to; null when there is none or the index is not in the table.
    OF_SYMBOL* symbol() const;
    // Setters: each requires the file at most "locked". A type the file's vocabulary does not know is kept
    // with no name and no template.
    virtual void set_address(uint32_t address) = 0;
    virtual void set_type(uint32_t type) = 0;
    virtual void set_symbol_index(uint32_t index) = 0;
    // Adds the format's rows to the relocation's dump.
    virtual void add_dump_rows(OF_TEXT_TABLE&) const {}

private:
    OF_RELOC_TABLE* table_;
    uint32_t index_;
};

class OF_RELOC_TABLE : public OF_STATE_MACHINE {
public:
    explicit OF_RELOC_TABLE(OF_SECTION* section);
    ~OF_RELOC_TABLE() override;

    OF_SECTION* section() const { return section_; }
    // How many relocations the table holds: what the file claims, cut to the entries it really holds.
    uint32_t count() const { return count_; }
    // The relocation at `index`, read on first access; null at or past the count.
    OF_RELOC* reloc_at(uint32_t index);
    virtual uint32_t entry_size() const = 0;
    virtual uint32_t file_offset() const = 0;
    // The symbol table that symbol indexes refer to; null when the file has none.
    virtual OF_SYMBOL* symbol_at(uint32_t index) const;
    // One block per relocation: its index, then its address, type and symbol and the format's rows.
    void dump(FILE* out);

    // ---- Writing ----
    // Appends a relocation of `type` at `address` (what address() gives) referring to the symbol at
    // `symbol_index` of the file's symbol table (requires "open"); null when the state forbids it.
    virtual OF_RELOC* add_reloc(uint32_t address, uint32_t type, uint32_t symbol_index) = 0;
    // Reads every entry that has not been read yet.
    void read_all();
    // Whether relocations may change (the file at most "locked"), reported otherwise.
    bool may_change() const;
    // Maps the symbol index of every relocation that refers to a symbol through `old_to_new`; an index that
    // maps to OF_SYMBOL_TABLE::REMOVED (or lies past the map) leaves the relocation without a symbol.
    virtual void renumber_symbols(const std::vector<uint32_t>& old_to_new) = 0;

protected:
    void set_count(uint32_t count);
    virtual std::unique_ptr<OF_RELOC> read_reloc(uint32_t index) = 0;
    // Adds a relocation made by the format at the end (requires "open"); null when the state forbids it.
    OF_RELOC* append(std::unique_ptr<OF_RELOC> reloc);

private:
    OF_SECTION* section_;
    uint32_t count_ = 0;
    std::vector<std::unique_ptr<OF_RELOC>> slots_;  // grows as relocations are read
};

}  // namespace OFE
