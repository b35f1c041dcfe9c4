// The System V symbol hash table.
#include "ofe/elf/elf_symbol_hash.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ofe/elf/elf_section.h"
#include "ofe/object_file.h"
#include "ofe/of_symbol.h"
#include "ofe/of_text_table.h"
#include "util/str_util.h"

namespace OFE {

uint32_t elf_hash(const char* name) {
    uint32_t h = 0;
    for (const signed char* p = reinterpret_cast<const signed char*>(name); *p; ++p) {
        h = (h << 4) + static_cast<uint32_t>(static_cast<int32_t>(*p));
        const uint32_t g = h & 0xF0000000u;
        if (g != 0) h ^= g >> 24;
        h &= ~g;
    }
    return h;
}

ELF_SYMBOL_HASH::ELF_SYMBOL_HASH(ELF_SECTION* section, OF_SYMBOL_TABLE* symbols)
    : OF_STATE_MACHINE(section->owner()), section_(section), symbols_(symbols) {
    nbucket_ = word(0);
    nchain_ = word(1);
}

uint32_t ELF_SYMBOL_HASH::word(uint64_t index) const {
    DATA_MAP& data = section_->data();
    data.load();
    // Words past the bytes the file holds read as 0 without a search through a claimed size.
    if (index * 4 + 4 > data.bytes_held()) return 0;
    data.set_cursor(index * 4);
    return data.read_u32();
}

uint32_t ELF_SYMBOL_HASH::bucket(uint32_t i) const { return i < nbucket_ ? word(2 + uint64_t{i}) : 0; }

uint32_t ELF_SYMBOL_HASH::chain(uint32_t i) const {
    return i < nchain_ ? word(2 + uint64_t{nbucket_} + i) : 0;
}

bool ELF_SYMBOL_HASH::in_table(uint32_t index) {
    if (index < symbols_->count()) return true;
    owner()->report_error(OF_ERR_CORRUPTED, "symbol index %ld in \"%s\" is beyond the end of symbol table \"%s\"",
                          static_cast<long>(index), section_->name() ? section_->name() : "",
                          symbols_->table_name());
    return false;
}

OF_SYMBOL* ELF_SYMBOL_HASH::find(const char* name) {
    if (nbucket_ == 0) return nullptr;
    // A chain never holds more links than the table has chain words or symbols; that bounds a looping chain.
    const uint32_t limit = std::min(nchain_, symbols_->count());
    uint32_t steps = 0;
    for (uint32_t y = bucket(elf_hash(name) % nbucket_); y != 0 && steps <= limit; y = chain(y), ++steps) {
        if (!in_table(y)) return nullptr;
        OF_SYMBOL* s = symbols_->symbol_at(y);
        if (s && std::strcmp(s->name() ? s->name() : "", name) == 0) return s;
    }
    return nullptr;
}

void ELF_SYMBOL_HASH::dump(FILE* out) {
    std::fprintf(out, " Symbol Hash Table in \"%s\"\n\n", section_->name() ? section_->name() : "");
    OF_TEXT_TABLE table;
    table.add_headings({"Row", "Symbol Name(s)"});
    // Rows only for the buckets whose words the file holds, however many it claims.
    const uint64_t held_words = section_->data().bytes_held() / 4;
    const uint64_t rows = std::min<uint64_t>(nbucket_, held_words > 2 ? held_words - 2 : 0);
    // A symbol belongs to one chain only: a chain that reaches one already listed has looped or joined
    // another, and ends there. That keeps the dump linear in the table's size.
    std::vector<bool> listed(symbols_->count());
    for (uint32_t b = 0; b < rows; ++b) {
        std::string names;
        for (uint32_t y = bucket(b); y != 0; y = chain(y)) {
            if (!in_table(y) || listed[y]) break;
            listed[y] = true;
            const OF_SYMBOL* s = symbols_->symbol_at(y);
            if (!names.empty()) names += ", ";
            names += enclosed('"', s ? s->name() : nullptr, '"');
        }
        table.add_row({text_of("%u", b), names});
    }
    table.print(out);
}

}  // namespace OFE
