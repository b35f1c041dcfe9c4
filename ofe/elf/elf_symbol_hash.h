// The System V symbol hash table (SHT_HASH): buckets and chains over a symbol table's indexes.
#pragma once

#include <cstdint>
#include <cstdio>

#include "ofe/of_state_machine.h"

namespace OFE {

class ELF_SECTION;
class OF_SYMBOL;
class OF_SYMBOL_TABLE;

// The standard System V ELF hash of a name (bytes taken as signed, as the format has it).
uint32_t elf_hash(const char* name);

class ELF_SYMBOL_HASH : public OF_STATE_MACHINE {
public:
    // The hash table that `section` holds, over the symbol table `symbols` (its sh_link).
    ELF_SYMBOL_HASH(ELF_SECTION* section, OF_SYMBOL_TABLE* symbols);

    uint32_t nbucket() const { return nbucket_; }
    uint32_t nchain() const { return nchain_; }
    // Bucket and chain words; 0 past the table or past the bytes the file holds.
    uint32_t bucket(uint32_t i) const;
    uint32_t chain(uint32_t i) const;
    // The symbol named `name`, following its bucket's chain; null when none. An index past the
    // symbol table ends the chain with an error.
    OF_SYMBOL* find(const char* name);
    // Prints the buckets with the names of their chains.
    void dump(FILE* out);

private:
    uint32_t word(uint64_t index) const;
    // False, after reporting, when `index` lies past the symbol table.
    bool in_table(uint32_t index);

    ELF_SECTION* section_;
    OF_SYMBOL_TABLE* symbols_;
    uint32_t nbucket_ = 0;
    uint32_t nchain_ = 0;
};

}  // namespace OFE
