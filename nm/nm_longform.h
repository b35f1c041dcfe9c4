// The long-form listing: a column header once per run and one "|"-separated row per symbol.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "nm/nm_sort.h"

namespace OFE {
class OBJECT_FILE;
class OF_SECTION;
class OF_SECTION_TABLE;
class OF_SYMBOL;
}  // namespace OFE

// What a row shows of a symbol besides its name and value, taken when the symbol is collected, so that
// the symbol object need not be kept. The section of a defined symbol is looked up when its row is
// printed, as a row always did.
struct NM_LONG_FIELDS {
    int32_t index;           // the index in its table
    uint32_t size;           // ELF
    uint32_t kind;
    uint32_t storage_class;  // QXCOFF; 0xFFFFFFFF when the symbol has no QXCOFF view
    uint32_t section_index;  // of a defined symbol that has a section reference
    bool has_section;
    uint8_t binding;         // ELF: the texts' indexes (binding, type and visibility tables)
    uint8_t type;
    uint8_t visibility;
};

// The fields of `symbol`'s row; `qxcoff` tells its object's format.
NM_LONG_FIELDS long_fields(const OFE::OF_SYMBOL& symbol, bool qxcoff);

// The header in the columns of `object`'s format (QXCOFF or ELF).
void print_longform_header(FILE* out, const OFE::OBJECT_FILE& object, bool prepend_file_name);

// The rows of one object, gathered and written in large blocks: the same bytes as the row's formatted
// prints, without a formatted print per field.
class LONG_FORM_WRITER {
public:
    // `name` is the object's name for the file-name column, printed when `prepend_file_name` is set.
    LONG_FORM_WRITER(FILE* out, OFE::OBJECT_FILE& object, const char* name, bool prepend_file_name);
    LONG_FORM_WRITER(const LONG_FORM_WRITER&) = delete;
    LONG_FORM_WRITER& operator=(const LONG_FORM_WRITER&) = delete;
    ~LONG_FORM_WRITER() { flush(); }

    // One row. A symbol of an unknown kind gets no section column and the internal error
    // "dump_one_sym_longform: unknown symbol kind (%d)"; the row goes on.
    void dump_one_sym_longform(const NM_LONG_FIELDS& fields, const NM_LISTED& symbol);

private:
    // Hands the gathered rows to the stream; done before anything that may report (and so end the run).
    void flush();
    const OFE::OF_SECTION* section_at(uint32_t index);
    void pad(size_t from, size_t width);

    FILE* out_;
    bool qxcoff_;
    OFE::OF_SECTION_TABLE* sections_;
    std::string file_column_;  // the file-name column with its "|", or empty
    std::string buffer_;
    std::vector<const OFE::OF_SECTION*> sections_seen_;  // by index: sections already looked up
};
