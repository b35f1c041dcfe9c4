// The listing's sort orders as permutations of the listed symbols, computed from keys kept in flat arrays.
#pragma once

#include <cstddef>
#include <cstdint>

// One listed symbol as the sort sees it: its name's bytes (no NUL among them), their count, and its value.
struct NM_LISTED {
    const char* name;
    uint32_t length;
    uint32_t value;
};

// Fills `order` (room for n entries) with the positions 0 to n-1 of the n entries of `listed` in the order
// that std::sort gives the list when it compares names byte by byte as unsigned characters (strcmp rules),
// `reverse` comparing the second name with the first. Names that compare equal come out exactly where that
// sort puts them. The working memory is kept for the next call.
void order_by_name(const NM_LISTED* listed, size_t n, bool reverse, uint32_t* order);

// The same for the values, compared as unsigned 32-bit numbers.
void order_by_value(const NM_LISTED* listed, size_t n, bool reverse, uint32_t* order);
