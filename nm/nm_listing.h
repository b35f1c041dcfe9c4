// Symbol collection, filtering, sorting and the short-form listing of one object.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "nm/nm_longform.h"
#include "nm/nm_sort.h"
#include "util/large_array.h"

struct OPT_STATE;

namespace OFE {
struct PFILE;
class OBJECT_FILE;
class OF_SYMBOL;
}  // namespace OFE

// What one listing needs from the options, taken at the start of each listing.
struct NM_OPTIONS {
    bool prepend_file_name = false;
    bool globals_only = false;
    bool undefined_only = false;
    bool long_form = false;
    bool dynamic_symbols = false;
    bool cnull_symbols = false;
    bool debug_symbols = false;
    bool tag_info_symbols = false;
    bool all_symbols = false;
    bool no_sort = false;
    bool reverse_sort = false;
    bool sort_by_value = false;
};

// The snapshot of the options that concern the listing.
NM_OPTIONS take_option_snapshot(OPT_STATE* state);

// The one-letter kind of a symbol in the short form.
char symbol_letter(const OFE::OF_SYMBOL& symbol);

// Copies of the names that live in their symbol objects, which the listing drops once it has read them.
class NM_NAME_STORE {
public:
    const char* keep(const char* text, size_t length);
    void clear();

private:
    static constexpr size_t block_size = 1 << 16;
    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t used_ = 0;
};

// Everything the listings of one run share: the options, the output, what is said only once per run, and
// the lists, which are emptied, not freed, between objects. A run makes one and hands it to every listing;
// a new record starts a new run.
struct NM_LISTING {
    NM_OPTIONS options;
    OFE::PFILE* output = nullptr;
    // Said once per run: the warnings about QXCOFF-only options on ELF files, and the long form's header.
    bool warned_debug = false;
    bool warned_cnull = false;
    bool warned_tag_info = false;
    bool longform_header_printed = false;
    // `listed` holds what the sort and both forms need of each listed symbol, `letters` its letter for the
    // short form, `long_rows` the rest of its long-form row, and `order` the sorted positions.
    OFE::LARGE_ARRAY<NM_LISTED> listed;
    OFE::LARGE_ARRAY<char> letters;
    OFE::LARGE_ARRAY<NM_LONG_FIELDS> long_rows;
    OFE::LARGE_ARRAY<uint32_t> order;
    NM_NAME_STORE names;
    NM_SORT_SPACE sort_space;
};

// Lists the symbols of one object to the listing's output; `name` prefixes the lines when asked.
void dump_symbols(OFE::OBJECT_FILE* object, NM_LISTING& listing, const char* name);
