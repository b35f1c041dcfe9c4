// The listing's sort orders as permutations of the listed symbols, computed from keys kept in flat arrays.
#pragma once

#include <cstddef>
#include <cstdint>

#include "util/large_array.h"

// One listed symbol as the sort sees it: its name's bytes (no NUL among them), their count, and its value.
struct NM_LISTED {
    const char* name;
    uint32_t length;
    uint32_t value;
};

// The sorts' working memory, kept by the caller from one sort to the next so that it is not made afresh.
struct NM_SORT_SPACE {
    OFE::LARGE_ARRAY<uint64_t> keys;
    OFE::LARGE_ARRAY<uint8_t> parts;
};

// Fills `order` (room for n entries) with the positions 0 to n-1 of the n entries of `listed`, sorted by
// name: names compare byte by byte as unsigned characters, a name that ends first coming first (strcmp
// rules); ascending, or descending with `reverse`. Entries with equal names keep their list order, in
// both directions. `threads` is the most threads the sort may use (0: as many as the host has, up to
// two); a long list is shared among them, with the same result.
void order_by_name(NM_SORT_SPACE& space, const NM_LISTED* listed, size_t n, bool reverse, uint32_t* order,
                   unsigned threads = 0);

// The same for the values, compared as unsigned 32-bit numbers.
void order_by_value(NM_SORT_SPACE& space, const NM_LISTED* listed, size_t n, bool reverse, uint32_t* order,
                    unsigned threads = 0);
