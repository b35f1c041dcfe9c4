// QXCOFF symbol tables and symbols: 18-byte entries read one at a time on first access, each with the
// first of its auxiliary entries decoded, and their meaning for the format-neutral symbol model.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ofe/oalloc.h"
#include "ofe/of_symbol.h"

namespace OFE {

class DATA_MAP;
class QXCOFF_FILE;
class QXCOFF_SYMBOL_TABLE;

// One symbol entry, field for field, in host byte order.
struct QXCOFF_SYMBOL_ENTRY {
    uint8_t n_name[8] = {};  // as stored: the inline name, or a zero word and the string offset
    uint32_t n_offset = 0;   // with a zero first name word: the name's string-table offset
    uint32_t n_value = 0;
    int16_t n_scnum = 0;
    uint16_t n_type = 0;
    uint8_t n_sclass = 0;
    uint8_t n_numaux = 0;
};

// What the first auxiliary entry of a symbol is, from the symbol's storage class and type.
enum QXCOFF_AUX_KIND : uint8_t {
    QXCOFF_AUX_NONE = 0,
    QXCOFF_AUX_TAG = 1,
    QXCOFF_AUX_END_OF_STRUCT = 2,
    QXCOFF_AUX_FUNCTION = 3,
    QXCOFF_AUX_BLOCK = 4,
    QXCOFF_AUX_ARRAY = 5,
    QXCOFF_AUX_TYPED = 6,
    QXCOFF_AUX_FILE = 7,
    QXCOFF_AUX_SECTION = 8,
};

// The decoded first auxiliary entry; only the fields of its kind are filled, the others stay 0.
struct QXCOFF_AUX {
    uint8_t kind = QXCOFF_AUX_NONE;
    uint32_t tag_index = 0;       // end of structure, function, array, typed
    uint32_t size = 0;            // tag, end of structure, array, typed: in bits; function: in units
    uint32_t lnno_offset = 0;     // function: file offset of its line-number entries
    uint32_t next_index = 0;      // tag, function, block: index of the entry after the scope
    uint32_t register_mask = 0;   // block (".bf")
    uint16_t line = 0;            // block
    uint16_t line_entries = 0;    // block (".bf")
    uint32_t frame_size = 0;      // block (".bf")
    uint16_t dimensions[4] = {};  // array
    uint32_t section_length = 0;  // section
    uint16_t relocations = 0;     // section
    uint16_t line_numbers = 0;    // section
    char file_name[19] = {};      // file: up to 18 characters
};

class QXCOFF_SYMBOL : public OF_SYMBOL, public OALLOC<QXCOFF_SYMBOL> {
public:
    QXCOFF_SYMBOL(QXCOFF_SYMBOL_TABLE* table, uint32_t index);
    ~QXCOFF_SYMBOL() override;
    using OALLOC<QXCOFF_SYMBOL>::operator new;
    using OALLOC<QXCOFF_SYMBOL>::operator delete;

    uint32_t value() const override { return entry_.n_value; }
    // n_scnum is neither 0 (undefined), -1 (absolute) nor -2 (symbolic debug).
    bool has_section() const override;
    // n_scnum - 1.
    uint32_t section_index() const override;
    // Auxiliary kinds tag, end of structure, function, array and typed: their size field; section: the
    // section length; otherwise 0.
    uint32_t size() const override;
    // 2 with a section reference; 1, 3, 5 for n_scnum 0, -1, -2.
    OF_SYMBOL_KIND kind() const override;
    // 0 for C_NULL; 2 for the external classes (C_EXT, C_EXTREF, C_UEXT, C_EXTLAB, C_SYSTEM, C_EXTREG,
    // C_EXTREFREG, C_EXTDEF, C_EMOG); 1 for every other class.
    OF_SYMBOL_BINDING binding() const override;
    // 4 for C_FILE; 3 with a section auxiliary entry; 0 without a section reference or for C_LABEL; else 1.
    OF_SYMBOL_TYPE type() const override;
    // C_STATLAB or C_EXTLAB.
    bool is_label() const override;

    // n_sclass, the COFF storage class.
    uint32_t storage_class() const { return entry_.n_sclass; }
    // n_numaux: how many auxiliary entries follow the symbol's entry (0 for C_LABEL, whatever the file says).
    uint32_t aux_count() const { return entry_.n_numaux; }
    // n_type: basic type in bits 0-3 and the derived-type fields above.
    uint32_t coff_type() const { return entry_.n_type; }
    // n_scnum, signed.
    int32_t section_number() const { return entry_.n_scnum; }
    // n_type is 0x8080.
    bool is_blocked() const;
    // The first auxiliary entry; null when the symbol has none.
    const QXCOFF_AUX* aux() const { return aux_.get(); }
    uint32_t aux_kind() const { return aux_ ? aux_->kind : uint32_t{QXCOFF_AUX_NONE}; }
    // Storage class, basic and derived types, and the rows of the first auxiliary entry's kind.
    void add_dump_rows(OF_TEXT_TABLE& rows) const override;
    const QXCOFF_SYMBOL_ENTRY& entry() const { return entry_; }

    // Setters: each requires the file at most "locked"; refused values are reported (code 5) and change
    // nothing. While the table is "locked", each change is written back to the entry at once.
    void set_value(uint32_t value) override;
    void set_section_id(uint32_t index) override;
    void set_size(uint32_t size) override;
    void set_kind(OF_SYMBOL_KIND kind) override;
    void set_binding(OF_SYMBOL_BINDING binding) override;
    void set_blocked();
    // n_sclass and n_type as they are stored.
    void set_storage_class(uint8_t storage_class);
    void set_coff_type(uint16_t type);
    // Fills the first auxiliary entry; its kind follows from the symbol's class and type. A symbol without
    // auxiliary entries is refused (code 5).
    void set_aux(const QXCOFF_AUX& aux);
    // The first auxiliary entry as it is kept, to be changed in place by the library's writer; null without.
    QXCOFF_AUX* aux_for_change() { return aux_.get(); }

    // Writes the entry and its auxiliary entries (the first one rebuilt from its fields over the bytes it was
    // read with, the others as read) at `base` of `data`.
    void encode(DATA_MAP& data, uint64_t base) const;
    // Keeps the bytes of the auxiliary entries as the table holds them now, for encode.
    void capture_aux_bytes(DATA_MAP& data);

protected:
    void write_back() override;

private:
    friend class QXCOFF_SYMBOL_TABLE;
    QXCOFF_SYMBOL_TABLE* qxcoff_table() const;
    // Takes the name kept inline in the entry: the 8 bytes, cut at the first NUL.
    void name_from_entry();

    QXCOFF_SYMBOL_ENTRY entry_;
    char inline_name_[9] = {};  // a name kept in the entry itself, with its terminator
    std::unique_ptr<QXCOFF_AUX> aux_;
    std::vector<uint8_t> aux_bytes_;  // the auxiliary entries as read, when the file is written; else empty
};

// The QXCOFF view of a symbol of a file's tables: null, with code 3 "attempting to get QX-COFF interface
// for non-QX-COFF file" reported on the file, when the file is of another format; null for a symbol of no
// table.
const QXCOFF_SYMBOL* as_qxcoff_symbol(const OF_SYMBOL* symbol);
QXCOFF_SYMBOL* as_qxcoff_symbol(OF_SYMBOL* symbol);

// The kind of the first auxiliary entry of a symbol with these fields in a file of `format_version`.
uint8_t qxcoff_aux_kind(uint32_t format_version, uint32_t n_sclass, uint32_t n_type, uint32_t n_numaux);

class QXCOFF_SYMBOL_TABLE : public OF_SYMBOL_TABLE {
public:
    // The file's table of f_nsyms entries at f_symptr (none when the file has no symbol table). A count
    // larger than the object's bytes can hold is reported (code 3) and cut to the entries present.
    explicit QXCOFF_SYMBOL_TABLE(QXCOFF_FILE* file);
    ~QXCOFF_SYMBOL_TABLE() override;

    uint32_t entry_size() const override;
    // index + n_numaux of the symbol at index + 1: auxiliary entries are never visited.
    uint32_t next_index(uint32_t index) const override;
    OF_SECTION_TABLE* section_table() const override;
    QXCOFF_FILE* qxcoff_file() const;
    // File offset of the table.
    uint32_t offset() const { return offset_; }
    // Builds every symbol, walking with next_index, then releases the table's raw bytes.
    void build_all_symbols() override;
    // Rewrites a symbol's entry and first auxiliary entry in the table's data.
    void write_back(const QXCOFF_SYMBOL& symbol);

    // ---- Writing ----
    // A new symbol: C_EXT, undefined, no type and no auxiliary entry (requires "open").
    OF_SYMBOL* add_symbol() override;
    // A new symbol of `storage_class` followed by `aux_entries` auxiliary entries, all zero (requires "open").
    QXCOFF_SYMBOL* add_symbol(uint8_t storage_class, uint32_t aux_entries);
    uint32_t entries_of(uint32_t index) const override;
    // Entering "locked": C_NULL symbols removed, the symbols put in their three groups and renumbered, the
    // scopes of functions, blocks and structures matched, the names stored and every entry rewritten.
    int32_t on_progress(int32_t new_state) override;
    // Maps the symbol indexes of relocations, line numbers, groups, auxiliary entries and build attributes,
    // then moves the symbols.
    void renumber_apply(const std::vector<uint32_t>& old_to_new, uint32_t new_count) override;
    // Where the table will lie, set when the file is laid out.
    void set_offset(uint32_t offset) { offset_ = offset; }
    // Writes every entry anew into the table's data.
    void write_images();

protected:
    void build_symbol(uint32_t index) override;
    OF_SYMBOL* make_symbol(uint32_t index) override;

private:
    // The steps of entering "locked".
    void remove_null_symbols();
    void arrange_groups();
    void match_scopes();
    void store_names();

    uint32_t offset_ = 0;
};

}  // namespace OFE
