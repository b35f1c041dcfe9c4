// The listing's sort orders. Names are ordered by a radix sort over 8-byte keys; when names repeat, their
// ranks are then sorted with std::sort, whose comparisons give the same answers as comparing the names, so
// that repeated names come out in the very order a comparison sort of the names gives them.
#include "nm/nm_sort.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "util/large_array.h"

using namespace OFE;

namespace {

// A name during the radix sort: 8 of its bytes from the current depth, most significant first and zero
// past its end, its position in the list and its length.
struct RADIX_ITEM {
    uint64_t key;
    uint32_t position;
    uint32_t length;
};

// A key and a position, for the final comparison sort.
struct RANKED {
    uint32_t key;
    uint32_t position;
};

// Asks for the memory at `p` to be brought near the processor; only a hint.
inline void prefetch(const void* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

uint64_t key_at(const NM_LISTED& name, uint64_t depth) {
    unsigned char bytes[8] = {};
    const unsigned char* p = bytes;
    if (name.length >= depth + 8)
        p = reinterpret_cast<const unsigned char*>(name.name) + depth;
    else if (name.length > depth)
        std::memcpy(bytes, name.name + depth, static_cast<size_t>(name.length - depth));
    return uint64_t{p[0]} << 56 | uint64_t{p[1]} << 48 | uint64_t{p[2]} << 40 | uint64_t{p[3]} << 32 |
           uint64_t{p[4]} << 24 | uint64_t{p[5]} << 16 | uint64_t{p[6]} << 8 | p[7];
}

class NAME_SORTER {
public:
    // `items` holds the items to sort, `spare` as many more; `same` has one mark per item.
    NAME_SORTER(const NM_LISTED* names, RADIX_ITEM* items, RADIX_ITEM* spare, uint8_t* same)
        : names_(names), buffers_{items, spare}, same_(same) {}

    // Sorts the `n` items from position `at`, which lie in buffer `in` with keys for `depth` and whose first
    // `depth` bytes are all equal; the sorted items end in the first buffer, and every item that equals the
    // one before it is marked. `differ` is the OR of each key XOR the first key, when `known`. Each pass
    // moves the items to the other buffer; recursion goes into the smaller parts only.
    void sort(size_t at, size_t n, unsigned in, uint64_t depth, uint64_t differ, bool known) {
        for (;;) {
            RADIX_ITEM* b = buffers_[in] + at;
            if (n <= small_range) {
                RADIX_ITEM* home = settle(at, n, in);
                if (n > 1) small_sort(home, home + n, at, depth);
                return;
            }
            if (!known) {
                differ = 0;
                for (size_t i = 1; i < n; ++i) differ |= b[i].key ^ b[0].key;
            }
            if (differ == 0) {
                // A key whose last byte is zero holds the end of its name: then all of these names are equal.
                if ((b[0].key & 0xFF) == 0) {
                    settle(at, n, in);
                    return mark_same(at, n);
                }
                depth += 8;
                differ = 0;
                b[0].key = key_at(names_[b[0].position], depth);
                for (size_t i = 1; i < n; ++i) {
                    // The names lie anywhere: the next ones are asked for ahead of their turn.
                    if (i + 16 < n) prefetch(&names_[b[i + 16].position]);
                    if (i + 8 < n) prefetch(names_[b[i + 8].position].name + depth);
                    b[i].key = key_at(names_[b[i].position], depth);
                    differ |= b[i].key ^ b[0].key;
                }
                known = true;
                continue;
            }
            // Moves the items to the other buffer, in the order of the first byte in which their keys differ,
            // and notes for each part how its keys differ.
            const int shift = 56 - (std::countl_zero(differ) & ~7);
            uint32_t start[257] = {};
            for (size_t i = 0; i < n; ++i) ++start[((b[i].key >> shift) & 0xFF) + 1];
            for (int i = 0; i < 256; ++i) start[i + 1] += start[i];
            uint32_t fill[256];
            std::memcpy(fill, start, sizeof fill);
            uint64_t first[256];
            uint64_t part_differ[256] = {};
            RADIX_ITEM* out = buffers_[in ^ 1] + at;
            for (size_t i = 0; i < n; ++i) {
                const unsigned d = static_cast<unsigned>(b[i].key >> shift) & 0xFF;
                if (fill[d] == start[d]) first[d] = b[i].key;
                part_differ[d] |= b[i].key ^ first[d];
                out[fill[d]++] = b[i];
            }
            in ^= 1;
            // A zero byte ends the name: those names are equal to each other.
            if (start[1] > 0) {
                settle(at, start[1], in);
                mark_same(at, start[1]);
            }
            int largest = 1;
            for (int i = 2; i < 256; ++i)
                if (start[i + 1] - start[i] > start[largest + 1] - start[largest]) largest = i;
            for (int i = 1; i < 256; ++i)
                if (i != largest && start[i + 1] > start[i])
                    sort(at + start[i], start[i + 1] - start[i], in, depth, part_differ[i], true);
            at += start[largest];
            n = start[largest + 1] - start[largest];
            differ = part_differ[largest];
            known = true;
        }
    }

private:
    static constexpr size_t small_range = 32;

    // True when a comes before b; both keys are those at `depth`.
    bool before(const RADIX_ITEM& a, const RADIX_ITEM& b, uint64_t depth) const {
        if (a.key != b.key) return a.key < b.key;
        const uint64_t past = depth + 8;
        if (a.length <= past || b.length <= past) return a.length < b.length;
        const int c = std::memcmp(names_[a.position].name + past, names_[b.position].name + past,
                                  std::min(a.length, b.length) - past);
        return c < 0 || (c == 0 && a.length < b.length);
    }

    // Brings `n` items at `at` to the first buffer; returns where they are there.
    RADIX_ITEM* settle(size_t at, size_t n, unsigned in) {
        if (in != 0) std::copy(buffers_[1] + at, buffers_[1] + at + n, buffers_[0] + at);
        return buffers_[0] + at;
    }

    // Sorts the items [b, e) of the first buffer, which start at position `at`.
    void small_sort(RADIX_ITEM* b, RADIX_ITEM* e, size_t at, uint64_t depth) {
        for (RADIX_ITEM* i = b + 1; i < e; ++i) {
            const RADIX_ITEM item = *i;
            RADIX_ITEM* j = i;
            for (; j > b && before(item, j[-1], depth); --j) *j = j[-1];
            *j = item;
        }
        for (RADIX_ITEM* r = b + 1; r < e; ++r)
            if (!before(r[-1], *r, depth)) same_[at + static_cast<size_t>(r - b)] = 1;
    }

    void mark_same(size_t at, size_t n) {
        for (size_t i = 1; i < n; ++i) same_[at + i] = 1;
    }

    const NM_LISTED* names_;
    RADIX_ITEM* buffers_[2];
    uint8_t* same_;
};

// The working memory of the sorts, kept for the whole run like the lists of the listing.
LARGE_ARRAY<RADIX_ITEM> items;
LARGE_ARRAY<RADIX_ITEM> spare;
LARGE_ARRAY<uint8_t> same;
LARGE_ARRAY<RANKED> keyed;

// Sorts the keys in list order with std::sort and takes the positions in the order it leaves them.
void comparison_sort(size_t n, bool reverse, uint32_t* order) {
    RANKED* k = keyed.data();
    if (reverse)
        std::sort(k, k + n, [](const RANKED& a, const RANKED& b) { return b.key < a.key; });
    else
        std::sort(k, k + n, [](const RANKED& a, const RANKED& b) { return a.key < b.key; });
    for (size_t i = 0; i < n; ++i) order[i] = k[i].position;
}

}  // namespace

void order_by_name(const NM_LISTED* names, size_t n, bool reverse, uint32_t* order) {
    items.resize(n);
    spare.resize(n);
    same.resize(n);
    for (size_t i = 0; i < n; ++i) items[i] = {key_at(names[i], 0), static_cast<uint32_t>(i), names[i].length};
    if (n > 0) std::memset(same.data(), 0, n);
    NAME_SORTER(names, items.data(), spare.data(), same.data()).sort(0, n, 0, 0, 0, false);
    if (std::find(same.begin(), same.end(), 1) == same.end()) {
        // Distinct names have one order only, whatever sort makes it.
        for (size_t i = 0; i < n; ++i) order[i] = items[reverse ? n - 1 - i : i].position;
        return;
    }
    keyed.resize(n);
    uint32_t rank = 0;
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 && !same[i]) ++rank;
        keyed[items[i].position] = {rank, items[i].position};
    }
    comparison_sort(n, reverse, order);
}

void order_by_value(const NM_LISTED* listed, size_t n, bool reverse, uint32_t* order) {
    keyed.resize(n);
    for (size_t i = 0; i < n; ++i) keyed[i] = {listed[i].value, static_cast<uint32_t>(i)};
    comparison_sort(n, reverse, order);
}
