// Symbol metadata: attributes the maker's tools attach to single symbols, kept per symbol table and
// read from the ".symtab_meta" section.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace OFE {

class DATA_MAP;

class ELF_FILE;

// The attributes of one symbol; the numbers are the kinds that carry them in the section.
struct ELF_SYMBOL_METADATA {
    bool mark_a = false;  // kind 1
    bool has_location = false;
    uint32_t location = 0;  // kind 2: an address
    bool mark_b = false;    // kind 6
    bool mark_c = false;    // kind 7
    bool mark_d = false;    // kind 3
    bool has_text = false;
    std::string text;               // kind 4
    std::set<std::string> strings;  // kind 5, one entry per string
};

// The records of a symbol table, by symbol index.
using ELF_SYMBOL_METADATA_MAP = std::map<uint32_t, std::unique_ptr<ELF_SYMBOL_METADATA>>;

// Reads the section named ".symtab_meta" into `records` for the symbol table of section `table_index`
// (a metadata section linked to another table is not its). Nothing for a missing or empty section; a
// wrong format byte, or an entry of an unknown kind, is a warning on the file, and the entries before
// it stay.
void read_symbol_metadata(ELF_FILE* file, uint32_t table_index, ELF_SYMBOL_METADATA_MAP& records);
// Encodes `records` as a metadata section's bytes, format byte first.
void write_symbol_metadata(const ELF_SYMBOL_METADATA_MAP& records, DATA_MAP& data);

}  // namespace OFE
