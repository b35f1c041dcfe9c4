// The format-neutral section table and sections.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ofe/of_state_machine.h"
#include "util/data_map.h"

namespace OFE {

class OF_RELOC_TABLE;
class OF_SECTION_TABLE;
class OF_SYMBOL;
class OF_SYMBOL_TABLE;
class OF_TEXT_TABLE;

class OF_SECTION : public OF_STATE_MACHINE {
public:
    OF_SECTION(OF_SECTION_TABLE* table, uint32_t index);
    ~OF_SECTION() override = default;

    // The name; null when the section has none.
    const char* name() const { return has_name_ ? name_.c_str() : nullptr; }
    // Stores a copy; requires the file at most "locked".
    virtual void set_name(const char* name);

    virtual uint32_t load_address() = 0;
    virtual uint32_t run_address() const = 0;
    // Setters of the format-neutral fields; each requires the file at most "locked".
    virtual void set_load_address(uint32_t address) = 0;
    virtual void set_run_address(uint32_t address) = 0;
    // A power of two; any other value is reported (code 5) and changes nothing.
    virtual void set_alignment(uint32_t alignment) = 0;
    // The size in address units: of the raw data when the section has initialised raw data, else the size the
    // header records.
    virtual void set_size(uint32_t units) = 0;
    // Turn the section into one of code, of initialised data, or of uninitialised data.
    virtual void make_code() = 0;
    virtual void make_data() = 0;
    virtual void make_bss() = 0;
    // The relocation table that new relocations of this section go to, made (with the section that holds it,
    // where the format keeps relocations in sections of their own) when there is none. Requires "open" to make
    // one; null when the state forbids it.
    virtual OF_RELOC_TABLE* reloc_table_for_change() = 0;
    virtual int32_t page() const { return 0; }
    // True unless the section's bytes are uninitialised (or absent).
    virtual bool has_raw_data() const = 0;
    virtual uint32_t alignment() const = 0;
    virtual bool allocated() const = 0;
    virtual void set_allocated(bool on) = 0;
    // The width of the section's memory in bits, where the format records one.
    virtual void set_memory_width(uint32_t) {}
    bool loaded_onto_device() const { return allocated(); }
    virtual bool is_code() const = 0;
    virtual bool is_data() const = 0;
    virtual bool is_bss() const = 0;
    virtual bool is_group() const { return false; }
    virtual uint32_t address_unit_bits() const = 0;
    // Size in address units.
    virtual uint32_t size() const = 0;
    virtual uint32_t raw_data_offset() const = 0;
    // The number the format gives the section (its index unless the format numbers from 1).
    virtual uint32_t section_id() const;

    uint32_t index() const { return index_; }
    OF_SECTION_TABLE* table() const { return table_; }

    // The symbol that stands for the section: the one found or made before, else the first symbol of the
    // file's table of type "section" whose section is this one and whose value is 0 or the run address,
    // else one made for it. Null when the file has no symbol table or none can be added.
    OF_SYMBOL* section_symbol();
    // The search of section_symbol alone: null when the file has no such symbol.
    OF_SYMBOL* find_section_symbol();
    // Adds the section's symbol to the file's symbol table (requires "open"): named after the section ("" for
    // none), bound to it, with the format's settings for a section symbol. Null when it cannot be added.
    OF_SYMBOL* make_section_symbol();
    // The relocation tables that apply to this section (none in the base).
    virtual uint32_t reloc_table_count() { return 0; }
    virtual OF_RELOC_TABLE* reloc_table_at(uint32_t) { return nullptr; }
    // The sum of the counts of the section's relocation tables.
    uint32_t reloc_count();
    // The section's own dump: the format's rows, then load and run address, size, alignment, whether it
    // is loaded, its address unit, file offset and relocation count.
    void dump(FILE* out);
    // Adds the format's rows to the section's dump.
    virtual void add_dump_rows(OF_TEXT_TABLE&) {}
    // Gives a section symbol the format's settings (ELF: local binding, type "section"); the base none.
    virtual void apply_section_symbol_settings(OF_SYMBOL&) {}
    // The section's bytes, read on first use. Reports that they are uninitialised when they are.
    DATA_MAP& raw_data();
    // The same map without the warning, for the library's own reads.
    DATA_MAP& data() { return raw_data_; }

protected:
    void set_name_unchecked(const char* name);
    DATA_MAP raw_data_;

private:
    friend class OF_SECTION_TABLE;  // renumbering gives sections their new indexes

    OF_SECTION_TABLE* table_;
    uint32_t index_;
    std::string name_;
    bool has_name_ = false;
    uint32_t section_symbol_index_ = 0;  // the symbol's index + 1 once found or made; symbols may be rebuilt
};

class OF_SECTION_TABLE : public OF_STATE_MACHINE {
public:
    explicit OF_SECTION_TABLE(OBJECT_FILE* file, uint32_t entry_size);
    ~OF_SECTION_TABLE() override;

    // The section at `index`, made on first access; null when the index is not below the count.
    OF_SECTION* section_at(uint32_t index);
    // The first section from `start` on that matches; null when none does.
    OF_SECTION* find_by_name(const char* name, uint32_t start = 0);
    OF_SECTION* find_by_run_address(uint32_t address, uint32_t start = 0);
    OF_SECTION* find_by_load_address(uint32_t address, uint32_t start = 0);
    OF_SECTION* find_by_file_offset(uint32_t offset, uint32_t start = 0);
    // Adds a section with a name at the end (requires "open"); returns it, or null.
    virtual OF_SECTION* add_section(const char* name);
    // Deletes the section at `index` (requires "open"): the section is destroyed, and until the table is
    // renumbered the index gives the placeholder section "__QX_deleted_section" that every deleted index
    // shares. False when there is no section there or the state forbids the change.
    virtual bool delete_section(uint32_t index);
    // Whether a section was deleted since the table was last renumbered, and whether `index` was.
    bool deleted() const { return deleted_; }
    bool is_deleted(uint32_t index) const { return index < deleted_marks_.size() && deleted_marks_[index]; }
    // Removes the deleted sections (requires "open"): the others move down in their order and take their
    // new indexes and ids, and the format maps what refers to sections (renumber_references). 0, or -1
    // after a report; a call while renumbering is under way reports code 7 "recursive call detected to a
    // method that does not support recursive calls".
    virtual int32_t renumber();
    // The old-to-new index map of the last renumbering; NO_INDEX for a removed section.
    const std::vector<uint32_t>& renumber_map() const { return renumber_map_; }
    static constexpr uint32_t NO_INDEX = 0xFFFFFFFF;
    // Loads the data of every section (only for a file read from input).
    void load_all();
    bool all_loaded() const { return all_loaded_; }
    uint32_t count() const { return count_; }
    uint32_t entry_size() const { return entry_size_; }
    uint32_t section_id(uint32_t index) const { return index < ids_.size() ? ids_[index] : index; }
    // Destroys every section; count 0 (requires "open").
    virtual void clear();
    // The dumps of the file's "sections", "rawdata" and "relocs" categories, as selected.
    void dump(FILE* out);
    // One row per section: id, name, page (when any section has one), addresses, size, alignment and
    // whether it is allocated.
    void dump_summary(FILE* out);
    OBJECT_FILE* file() const { return owner(); }

protected:
    // Makes an empty section object for an index (the format's class).
    virtual std::unique_ptr<OF_SECTION> make_section(uint32_t index) = 0;
    // Makes and fills the section at `index` from its header.
    virtual void materialise_section(uint32_t index) = 0;
    // Sets the number of sections, every one not yet made.
    void reset_sections(uint32_t count);
    void store(uint32_t index, std::unique_ptr<OF_SECTION> section);
    bool exists(uint32_t index) const { return index < sections_.size() && sections_[index]; }
    void set_entry_size(uint32_t size) { entry_size_ = size; }
    // After renumbering: the format maps the section indexes it keeps elsewhere through `map`.
    virtual void renumber_references(const std::vector<uint32_t>& map) = 0;
    // Maps the section reference of every symbol of `symbols` through `map`; a symbol whose section was
    // removed becomes undefined.
    static void renumber_symbol_sections(OF_SYMBOL_TABLE& symbols, const std::vector<uint32_t>& map);

private:
    std::vector<std::unique_ptr<OF_SECTION>> sections_;
    std::vector<uint32_t> ids_;
    uint32_t count_ = 0;
    uint32_t entry_size_;
    bool all_loaded_ = false;
    std::vector<bool> deleted_marks_;
    bool deleted_ = false;
    std::unique_ptr<OF_SECTION> deleted_placeholder_;
    bool renumbering_ = false;
    std::vector<uint32_t> renumber_map_;
};

}  // namespace OFE
