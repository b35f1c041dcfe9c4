// The format-neutral symbol model: symbol kinds, bindings and types, the symbol table and symbols.
#pragma once

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "ofe/of_state_machine.h"

namespace OFE {

class OF_SECTION;
class OF_SECTION_TABLE;
class OF_SYMBOL_TABLE;
class OF_TEXT_TABLE;

enum OF_SYMBOL_KIND : uint32_t {
    OF_SYM_KIND_UNKNOWN = 0,
    OF_SYM_UNDEFINED = 1,
    OF_SYM_DEFINED = 2,
    OF_SYM_ABSOLUTE = 3,
    OF_SYM_COMMON = 4,
    OF_SYM_DEBUG = 5,
};

enum OF_SYMBOL_BINDING : uint32_t { OF_BIND_NONE = 0, OF_BIND_LOCAL = 1, OF_BIND_GLOBAL = 2, OF_BIND_WEAK = 3 };

enum OF_SYMBOL_TYPE : uint32_t {
    OF_TYPE_NONE = 0,
    OF_TYPE_OBJECT = 1,
    OF_TYPE_FUNCTION = 2,
    OF_TYPE_SECTION = 3,
    OF_TYPE_FILE = 4,
    OF_TYPE_COMMON = 5,
    OF_TYPE_TLS = 6,
};

// "undefined" ... "debug", "unknown" otherwise.
const char* symbol_kind_name(uint32_t kind);
// "local", "global", "weak", "unknown" otherwise.
const char* symbol_binding_name(uint32_t binding);
// "none" ... "tls", "unknown" otherwise.
const char* symbol_type_name(uint32_t type);

class OF_SYMBOL {
public:
    OF_SYMBOL(OF_SYMBOL_TABLE* table, uint32_t index) : table_(table), index_(index) {}
    OF_SYMBOL(const OF_SYMBOL&) = delete;
    OF_SYMBOL& operator=(const OF_SYMBOL&) = delete;
    virtual ~OF_SYMBOL();

    // The name; null when the symbol has none.
    const char* name() const { return name_; }
    // Names the symbol with a copy of `name` (null: no name) that the symbol owns.
    void set_name_copy(const char* name);
    // As set_name_copy, for a symbol of a file at most "locked"; while its table is "locked" the entry is
    // written back at once.
    virtual void set_name(const char* name);
    // Names the symbol with text its table keeps (string-table bytes read from the file, or null): no copy
    // is made, and the text stays valid as long as the table does, also after this object is dropped.
    void set_name_in_table(const char* name) { assign_name(name, NAME_IN_TABLE); }
    // True when the name (or its absence) does not depend on this object: it may be kept after a drop.
    bool name_outlives_symbol() const { return name_storage_ == NAME_IN_TABLE; }
    uint32_t index() const { return index_; }
    OF_SYMBOL_TABLE* table() const { return table_; }

    virtual uint32_t value() const = 0;
    virtual bool has_section() const = 0;
    // The section of the section index when the symbol has a section reference, else null.
    OF_SECTION* section() const;
    virtual uint32_t section_index() const = 0;
    virtual uint32_t size() const = 0;
    virtual OF_SYMBOL_KIND kind() const = 0;
    virtual OF_SYMBOL_BINDING binding() const = 0;
    virtual OF_SYMBOL_TYPE type() const = 0;
    virtual bool is_label() const { return false; }

    // Setters: each requires the file at most "locked" (the lifecycle message otherwise); a value outside
    // the format's range is reported (code 5) and changes nothing. While the table is exactly "locked" the
    // symbol is written back at once.
    virtual void set_value(uint32_t value) = 0;
    virtual void set_size(uint32_t size) = 0;
    // Undefined, absolute, common (and debug in QXCOFF); "defined" comes from a section reference.
    virtual void set_kind(OF_SYMBOL_KIND kind) = 0;
    virtual void set_binding(OF_SYMBOL_BINDING binding) = 0;
    // The format's number of a section (its index; QXCOFF stores index + 1).
    virtual void set_section_id(uint32_t index) = 0;
    // set_section_id with the section's index; a null section, or one of another file, changes nothing.
    void set_section(const OF_SECTION* section);
    // Makes the symbol a "near" common one (in the target's near-common section); the base reports code 7
    // "symbol does not support setting near-common".
    virtual void make_near_common();

    // Symbol metadata, where the format keeps it (ELF). The base holds none: its tests answer false,
    // its getters 0 or "", and its setters change nothing.
    virtual bool metadata_mark_a() const { return false; }
    virtual void set_metadata_mark_a(bool) {}
    virtual bool metadata_mark_b() const { return false; }
    virtual void set_metadata_mark_b(bool) {}
    virtual bool metadata_mark_c() const { return false; }
    virtual void set_metadata_mark_c(bool) {}
    virtual bool metadata_mark_d() const { return false; }
    virtual void set_metadata_mark_d(bool) {}
    virtual bool has_metadata_location() const { return false; }
    virtual uint32_t metadata_location() const { return 0; }
    virtual void set_metadata_location(uint32_t) {}
    virtual bool has_metadata_text() const { return false; }
    virtual const char* metadata_text() const { return ""; }
    virtual void set_metadata_text(const char*) {}
    // A copy of the set of strings; empty when the symbol has no metadata.
    virtual std::set<std::string> metadata_strings() const { return {}; }
    virtual void add_metadata_string(const char*) {}
    // Whether the symbol has a metadata record.
    virtual bool has_metadata() const { return false; }
    // Copies every attribute `other` has into this symbol's metadata; false, after a warning, when both
    // carry locations that differ. True when `other` is null or has none (and always in the base).
    virtual bool merge_metadata(const OF_SYMBOL*) { return true; }

    OF_SYMBOL* alias_link() const { return alias_link_; }
    // The last symbol of the alias ring reached from this one.
    OF_SYMBOL* alias_ring_last();
    // Links to the next alias; linking a symbol to itself is a broken assumption of the caller.
    void set_alias_link(OF_SYMBOL* symbol);
    // The symbol's own dump: the format's rows, then value, kind, binding and type.
    void dump(FILE* out) const;
    // Adds the format's rows to the symbol's dump.
    virtual void add_dump_rows(OF_TEXT_TABLE&) const {}

    bool mark0() const { return (marks_ & 1) != 0; }
    bool mark1() const { return (marks_ & 2) != 0; }
    bool mark2() const { return (marks_ & 4) != 0; }
    void set_mark0(bool on) { marks_ = static_cast<uint8_t>(on ? marks_ | 1 : marks_ & ~1); }
    void set_mark1(bool on) { marks_ = static_cast<uint8_t>(on ? marks_ | 2 : marks_ & ~2); }
    void set_mark2(bool on) { marks_ = static_cast<uint8_t>(on ? marks_ | 4 : marks_ & ~4); }

protected:
    // Whether the file allows a change (at most "locked"), reported otherwise.
    bool may_change() const;
    // After a change: while the table is "locked" the entry is written back at once.
    void changed();
    // Writes the symbol's entry back to its table's bytes (the format's own layout).
    virtual void write_back() {}

    // Where the name's text lives: the table's bytes, a copy on the heap, or storage of the derived object.
    enum NAME_STORAGE : uint8_t { NAME_IN_TABLE, NAME_ON_HEAP, NAME_IN_OBJECT };
    // Points the name at `name` (null: no name), kept where `storage` says; a heap copy it replaces is freed.
    void assign_name(const char* name, NAME_STORAGE storage);

private:
    friend class OF_SYMBOL_TABLE;
    OF_SYMBOL_TABLE* table_;
    const char* name_ = nullptr;
    uint32_t index_;
    NAME_STORAGE name_storage_ = NAME_IN_TABLE;
    uint8_t marks_ = 0;
    OF_SYMBOL* alias_link_ = nullptr;
};

class OF_SYMBOL_TABLE : public OF_STATE_MACHINE {
public:
    explicit OF_SYMBOL_TABLE(OBJECT_FILE* file) : OF_STATE_MACHINE(file) {}
    ~OF_SYMBOL_TABLE() override;

    virtual const char* table_name() const { return ""; }
    // The symbol at `index`, built on first access; null when the index is not below the count.
    OF_SYMBOL* symbol_at(uint32_t index);
    // The first symbol from `start` on with this exact name (null names compare as "").
    OF_SYMBOL* find_by_name(const char* name, uint32_t start = 0);
    virtual uint32_t next_index(uint32_t index) const { return index + 1; }
    // Adds an empty symbol at the end (requires "open"); null when the state forbids it.
    virtual OF_SYMBOL* add_symbol();
    uint32_t count() const { return count_; }
    virtual uint32_t entry_size() const = 0;
    // Destroys the symbol object at `index` (not one with an alias link); the next access rebuilds it.
    void drop_symbol(uint32_t index);
    void drop_all_symbols();
    // Marks an index for removal (requires "open").
    void mark_for_removal(uint32_t index);
    bool marked_for_removal(uint32_t index) const;

    // ---- Removal and renumbering (writing side) ----
    // What the old-to-new map gives an index whose symbol was removed.
    static constexpr uint32_t REMOVED = 0xFFFFFFFF;
    // Removes the symbol at `index` (and the entries it covers), then renumbers the rest (requires "open").
    void remove_symbol(uint32_t index);
    // Removes every symbol marked for removal, then renumbers the rest, keeping their order (requires "open").
    void remove_marked();
    // Puts the table in a new order: `order` lists the old indexes of the symbols to keep, in their new order;
    // every other symbol is removed. References to symbols elsewhere in the file (relocations, line numbers,
    // alias pairs ...) follow. Requires "open" or the lock step of the table itself.
    void renumber(const std::vector<uint32_t>& order);
    // The old-to-new map of `order` (REMOVED for every entry not kept) and the new count.
    virtual std::vector<uint32_t> renumber_prepare(const std::vector<uint32_t>& order, uint32_t& new_count);
    // Where the last renumbering put an old index (the index itself before any); REMOVED for a removed one.
    uint32_t renumber_map(uint32_t old_index) const;
    // Moves the symbols to their new indexes. Formats first map what refers to symbols, then call this.
    virtual void renumber_apply(const std::vector<uint32_t>& old_to_new, uint32_t new_count);
    // How many entries the symbol at `index` covers (the format may follow a symbol with entries of its own).
    virtual uint32_t entries_of(uint32_t index) const { return next_index(index) - index; }
    // Builds every symbol object, walking with next_index.
    virtual void build_all_symbols();
    virtual OF_SECTION_TABLE* section_table() const = 0;
    OBJECT_FILE* file() const { return owner(); }
    // A summary table of every symbol, then each symbol's own dump.
    void dump(FILE* out);

protected:
    // Builds the symbol at `index` from the file and stores it.
    virtual void build_symbol(uint32_t index) = 0;
    // Makes an empty symbol object of the format's class for `index`.
    virtual OF_SYMBOL* make_symbol(uint32_t index) = 0;
    void set_count(uint32_t count);
    // Grows the count by `n` entries that hold no symbol object of their own (a symbol's own extra entries).
    void reserve_entries(uint32_t n) { count_ += n; }
    void store(uint32_t index, OF_SYMBOL* symbol);
    bool exists(uint32_t index) const {
        return index >= first_ && index - first_ < symbols_.size() && symbols_[index - first_];
    }

private:
    // Owned; the slots of the indexes from first_ on, grown as symbols are built and given up at the end
    // as they are dropped, so that building and dropping in table order needs no slot per symbol.
    std::vector<OF_SYMBOL*> symbols_;
    uint32_t first_ = 0;
    std::vector<uint8_t> removal_marks_;
    bool any_marked_ = false;
    uint32_t count_ = 0;
    std::vector<uint32_t> old_to_new_;  // of the last renumbering; empty: the identity
};

}  // namespace OFE
