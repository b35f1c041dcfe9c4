// The listing's sort orders. Names are ordered by a radix sort over 8-byte keys; when names repeat, their
// ranks are then sorted with std::sort, whose comparisons give the same answers as comparing the names, so
// that repeated names come out in the very order a comparison sort of the names gives them.
#include "nm/nm_sort.h"

#include <algorithm>
#include <bit>
#include <cstring>

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
    NAME_SORTER(const std::vector<NM_LISTED>& names, std::vector<RADIX_ITEM>& items, std::vector<uint8_t>& same)
        : names_(names), items_(items), same_(same) {}

    // Sorts items [b, e), whose keys are those at `depth` and whose first `depth` bytes are all equal,
    // and marks every item that equals the one before it. Recursion goes into the smaller parts only.
    void sort(RADIX_ITEM* b, RADIX_ITEM* e, uint64_t depth) {
        for (;;) {
            const size_t n = static_cast<size_t>(e - b);
            if (n < 2) return;
            if (n <= small_range) return small_sort(b, e, depth);
            uint64_t differ = 0;
            for (const RADIX_ITEM* r = b + 1; r != e; ++r) differ |= r->key ^ b->key;
            if (differ == 0) {
                // A key whose last byte is zero holds the end of its name: then all of these names are equal.
                if ((b->key & 0xFF) == 0) return mark_same(b, e);
                depth += 8;
                for (RADIX_ITEM* r = b; r != e; ++r) r->key = key_at(names_[r->position], depth);
                continue;
            }
            const int shift = 56 - (std::countl_zero(differ) & ~7);
            uint32_t start[257] = {};
            for (const RADIX_ITEM* r = b; r != e; ++r) ++start[((r->key >> shift) & 0xFF) + 1];
            for (int i = 0; i < 256; ++i) start[i + 1] += start[i];
            uint32_t fill[256];
            std::memcpy(fill, start, sizeof fill);
            if (scratch_.size() < n) scratch_.resize(n);
            for (const RADIX_ITEM* r = b; r != e; ++r) scratch_[fill[(r->key >> shift) & 0xFF]++] = *r;
            std::copy(scratch_.begin(), scratch_.begin() + static_cast<std::ptrdiff_t>(n), b);
            // A zero byte ends the name: those names are equal to each other.
            mark_same(b, b + start[1]);
            int largest = 1;
            for (int i = 2; i < 256; ++i)
                if (start[i + 1] - start[i] > start[largest + 1] - start[largest]) largest = i;
            for (int i = 1; i < 256; ++i)
                if (i != largest) sort(b + start[i], b + start[i + 1], depth);
            e = b + start[largest + 1];
            b = b + start[largest];
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

    void small_sort(RADIX_ITEM* b, RADIX_ITEM* e, uint64_t depth) {
        for (RADIX_ITEM* i = b + 1; i < e; ++i) {
            const RADIX_ITEM item = *i;
            RADIX_ITEM* j = i;
            for (; j > b && before(item, j[-1], depth); --j) *j = j[-1];
            *j = item;
        }
        for (RADIX_ITEM* r = b + 1; r < e; ++r)
            if (!before(r[-1], *r, depth)) same_[static_cast<size_t>(r - items_.data())] = 1;
    }

    void mark_same(RADIX_ITEM* b, RADIX_ITEM* e) {
        for (RADIX_ITEM* r = b + 1; r < e; ++r) same_[static_cast<size_t>(r - items_.data())] = 1;
    }

    const std::vector<NM_LISTED>& names_;
    std::vector<RADIX_ITEM>& items_;
    std::vector<uint8_t>& same_;
    std::vector<RADIX_ITEM> scratch_;
};

// Sorts the keys in list order with std::sort and takes the positions in the order it leaves them.
void comparison_sort(std::vector<RANKED>& keyed, bool reverse, std::vector<uint32_t>& order) {
    if (reverse)
        std::sort(keyed.begin(), keyed.end(), [](const RANKED& a, const RANKED& b) { return b.key < a.key; });
    else
        std::sort(keyed.begin(), keyed.end(), [](const RANKED& a, const RANKED& b) { return a.key < b.key; });
    order.resize(keyed.size());
    for (size_t i = 0; i < keyed.size(); ++i) order[i] = keyed[i].position;
}

}  // namespace

void order_by_name(const std::vector<NM_LISTED>& names, bool reverse, std::vector<uint32_t>& order) {
    const size_t n = names.size();
    std::vector<RADIX_ITEM> items(n);
    for (size_t i = 0; i < n; ++i) items[i] = {key_at(names[i], 0), static_cast<uint32_t>(i), names[i].length};
    std::vector<uint8_t> same(n, 0);
    NAME_SORTER(names, items, same).sort(items.data(), items.data() + n, 0);
    if (std::find(same.begin(), same.end(), 1) == same.end()) {
        // Distinct names have one order only, whatever sort makes it.
        order.resize(n);
        for (size_t i = 0; i < n; ++i) order[i] = items[reverse ? n - 1 - i : i].position;
        return;
    }
    std::vector<RANKED> ranked(n);
    uint32_t rank = 0;
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 && !same[i]) ++rank;
        ranked[items[i].position] = {rank, items[i].position};
    }
    comparison_sort(ranked, reverse, order);
}

void order_by_value(const std::vector<NM_LISTED>& listed, bool reverse, std::vector<uint32_t>& order) {
    std::vector<RANKED> keyed(listed.size());
    for (size_t i = 0; i < listed.size(); ++i) keyed[i] = {listed[i].value, static_cast<uint32_t>(i)};
    comparison_sort(keyed, reverse, order);
}
