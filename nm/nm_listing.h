// Symbol collection, filtering, sorting and the short-form listing of one object.
#pragma once

#include <vector>

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

// Lists the symbols of one object to `output`; `name` prefixes the lines when asked.
void dump_symbols(OFE::OBJECT_FILE* object, OFE::PFILE* output, const char* name);

// Forgets what a run does only once (the warnings about QXCOFF-only options on ELF files, the long form's
// header), as before the first listing. For a caller that runs the tool more than once in one process.
void reset_listing_state();
