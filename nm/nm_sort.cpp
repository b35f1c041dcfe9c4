// The listing's sort orders. Positions are sorted by 8-byte keys, most significant byte first: for a name,
// eight of its bytes from the current depth (zero past its end); for a value, the value. A group is split
// in place by keys drawn from it (a sample sort: between two drawn keys, or equal to one), a small one is
// sorted by insertion. Keys that are all equal and do not end their names are reloaded further on, past
// the whole prefix the group's names share, so that a long shared prefix is passed once. Equal names (or
// values) are finally put in list order, which makes the result that of a stable sort.
#include "nm/nm_sort.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <functional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "util/large_array.h"
#include "util/platform.h"

using namespace OFE;

namespace {

// Groups of at most this many entries are sorted by insertion; larger ones are split by 2^k - 1 drawn
// keys, k growing with the group's size (from 2^(k + level_shift) entries on) up to 7.
constexpr size_t small_size = 16;
constexpr int level_shift = 4;
// Groups of at most this many entries whose keys are all equal pass the rest of their shared prefix at once.
constexpr size_t jump_size = 4096;
// How far ahead the names of a group are asked for: their list entries, then their bytes.
constexpr size_t entry_ahead = 16;
constexpr size_t bytes_ahead = 8;
// Lists of at least this many entries are shared between two threads, in parts of at most 1/parts of
// the list.
constexpr size_t parallel_size = size_t{1} << 16;
constexpr size_t parts = 16;

inline uint64_t load_big_endian64(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::little) {
#if defined(__GNUC__)
        v = __builtin_bswap64(v);
#else
        v = (v & 0x00000000FFFFFFFFull) << 32 | (v & 0xFFFFFFFF00000000ull) >> 32;
        v = (v & 0x0000FFFF0000FFFFull) << 16 | (v & 0xFFFF0000FFFF0000ull) >> 16;
        v = (v & 0x00FF00FF00FF00FFull) << 8 | (v & 0xFF00FF00FF00FF00ull) >> 8;
#endif
    }
    return v;
}

inline uint64_t load_big_endian32(const unsigned char* p) {
    return uint64_t{p[0]} << 24 | uint64_t{p[1]} << 16 | uint64_t{p[2]} << 8 | p[3];
}

// The index of the first byte that differs in two 8-byte words read from memory, given their XOR (not 0).
inline unsigned first_different_byte(uint64_t x) {
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<unsigned>(std::countr_zero(x)) / 8;
    else
        return static_cast<unsigned>(std::countl_zero(x)) / 8;
}

// The 8 bytes of `name` from `depth` on, most significant first, zero past the name's end. Reads only the
// name's own bytes: its last few are read as two overlapping pieces.
inline uint64_t key_at(const NM_LISTED& name, uint64_t depth) {
    const auto* p = reinterpret_cast<const unsigned char*>(name.name) + (depth < name.length ? depth : 0);
    if (name.length >= depth + 8) return load_big_endian64(p);
    if (name.length <= depth) return 0;
    const unsigned rest = static_cast<unsigned>(name.length - depth);  // 1 to 7
    if (rest >= 4) return load_big_endian32(p) << 32 | load_big_endian32(p + rest - 4) << (64 - 8 * rest);
    return uint64_t{p[0]} << 56 | uint64_t{p[rest / 2]} << (56 - 8 * (rest / 2)) |
           uint64_t{p[rest - 1]} << (64 - 8 * rest);
}

// The length of the prefix that `a` and `b` share, given that they share `known` bytes and that the answer
// is wanted only up to `limit` (at most the length of either).
uint64_t common_prefix(const unsigned char* a, const unsigned char* b, uint64_t known, uint64_t limit) {
    if (a == b) return limit;  // symbols may share a name's bytes
    uint64_t d = known;
    for (; d + 8 <= limit; d += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + d, 8);
        std::memcpy(&y, b + d, 8);
        if (x != y) return d + first_different_byte(x ^ y);
    }
    if (d >= limit) return limit;
    if (limit >= 8) {
        // The last 8 bytes before the limit, of which those before d are known to be equal.
        uint64_t x, y;
        std::memcpy(&x, a + limit - 8, 8);
        std::memcpy(&y, b + limit - 8, 8);
        return x == y ? limit : limit - 8 + first_different_byte(x ^ y);
    }
    while (d < limit && a[d] == b[d]) ++d;
    return d;
}

// Runs body(begin, end) on both halves of [0, n): the second on a thread of its own when one can be had.
template <class BODY>
void in_two_halves(size_t n, const BODY& body) {
    const size_t half = n / 2;
    std::thread helper;
    try {
        helper = std::thread([&body, half, n] { body(half, n); });
    } catch (const std::system_error&) {
        return body(0, n);  // no second thread to be had
    }
    body(0, half);
    helper.join();
}

// A group of entries still to sort: `n` entries from `at`, whose names agree on their first `depth` bytes
// and whose keys hold the bytes from there. `equal` says that all the keys are known to be equal.
struct TASK {
    size_t at;
    size_t n;
    uint64_t depth;
    bool equal;
};

// Sorts groups of a key array and the order array beside it. It keeps no state of its own, so threads may
// share one sorter as long as they sort different groups.
class KEY_SORTER {
public:
    // `names` null: the keys are whole values, never reloaded. `descending_ties`: entries with equal
    // names or values are put in descending list order (the whole order is turned round afterwards).
    // `parts` holds one byte per entry, for the sample sort's notes.
    KEY_SORTER(uint64_t* keys, uint32_t* order, uint8_t* parts, const NM_LISTED* names, bool descending_ties)
        : keys_(keys), order_(order), parts_(parts), names_(names), descending_ties_(descending_ties) {}

    // Sorts every group of `stack`, and the groups that sorting them leaves, until none is left.
    void run(std::vector<TASK>& stack) const {
        while (!stack.empty()) {
            const TASK t = stack.back();
            stack.pop_back();
            step(t, stack);
        }
    }

    // Does one step of sorting a group; the smaller groups it leaves are added to `out`, the largest first.
    // With `two_threads`, the step's passes over the group are shared with a second thread.
    void step(const TASK& t, std::vector<TASK>& out, bool two_threads = false) const {
        if (t.n < 2) return;
        if (t.equal) return equal_keys(t.at, t.n, t.depth, out, two_threads);
        if (t.n <= small_size) return insertion_sort(t, out);
        switch (std::clamp(static_cast<int>(std::bit_width(t.n)) - level_shift, 1, 7)) {
        case 1: return sample_step<1>(t, out, two_threads);
        case 2: return sample_step<2>(t, out, two_threads);
        case 3: return sample_step<3>(t, out, two_threads);
        case 4: return sample_step<4>(t, out, two_threads);
        case 5: return sample_step<5>(t, out, two_threads);
        case 6: return sample_step<6>(t, out, two_threads);
        default: return sample_step<7>(t, out, two_threads);
        }
    }

private:
    // True when two equal keys `key` say that their names are equal: the key is a whole value, or its last
    // byte lies past the names' end (names hold no zero byte).
    bool ends(uint64_t key) const { return names_ == nullptr || (key & 0xFF) == 0; }

    // A group whose keys are all equal: equal names are put in list order, the others get their next keys
    // and are left in `out`.
    void equal_keys(size_t at, size_t n, uint64_t depth, std::vector<TASK>& out,
                    bool two_threads = false) const {
        if (n < 2) return;
        if (ends(keys_[at])) return order_ties(at, n);
        if (n == 2) return order_pair(at, depth + 8);
        depth += 8;
        // A group small enough to stay in the cache first passes the whole prefix its names share; a larger
        // one does so when its next keys are all equal again.
        if (n <= jump_size) depth = shared_prefix(at, n, depth);
        bool equal = reload(at, n, depth, two_threads);
        if (equal && n > jump_size && !ends(keys_[at])) {
            depth = shared_prefix(at, n, depth + 8);
            equal = reload(at, n, depth, two_threads);
        }
        out.push_back({at, n, depth, equal});
    }

    // Puts two names that agree on their first `known` bytes in order, comparing the rest directly.
    void order_pair(size_t at, uint64_t known) const {
        uint32_t* o = order_ + at;
        const NM_LISTED& a = names_[o[0]];
        const NM_LISTED& b = names_[o[1]];
        const auto* x = reinterpret_cast<const unsigned char*>(a.name);
        const auto* y = reinterpret_cast<const unsigned char*>(b.name);
        const uint64_t shared = common_prefix(x, y, known, std::min(a.length, b.length));
        if (shared < a.length && shared < b.length) {
            if (x[shared] > y[shared]) std::swap(o[0], o[1]);
        } else if (a.length != b.length) {
            if (a.length > b.length) std::swap(o[0], o[1]);
        } else {
            order_ties(at, 2);
        }
    }

    void order_ties(size_t at, size_t n) const {
        uint32_t* o = order_ + at;
        if (descending_ties_)
            std::sort(o, o + n, std::greater<>());
        else
            std::sort(o, o + n);
    }

    // The length of the prefix that the names of a group share, which is at least `known`.
    uint64_t shared_prefix(size_t at, size_t n, uint64_t known) const {
        const uint32_t* o = order_ + at;
        const NM_LISTED& first = names_[o[0]];
        const auto* a = reinterpret_cast<const unsigned char*>(first.name);
        uint64_t shared = first.length;
        for (size_t i = 1; i < n && shared > known; ++i) {
            if (i + entry_ahead < n) platform_prefetch(&names_[o[i + entry_ahead]]);
            if (i + bytes_ahead < n) platform_prefetch(names_[o[i + bytes_ahead]].name + known);
            const NM_LISTED& other = names_[o[i]];
            shared = common_prefix(a, reinterpret_cast<const unsigned char*>(other.name), known,
                                   std::min<uint64_t>(shared, other.length));
        }
        return shared;
    }

    // Reads the keys of the group at `depth`; returns true when they are all equal.
    bool reload(size_t at, size_t n, uint64_t depth, bool two_threads) const {
        uint64_t* k = keys_ + at;
        const uint32_t* o = order_ + at;
        k[0] = key_at(names_[o[0]], depth);
        // The keys of [begin, end), and how they differ from the first.
        auto load = [=, this](size_t begin, size_t end) {
            uint64_t differ = 0;
            for (size_t i = begin; i < end; ++i) {
                // The names lie anywhere: the next ones are asked for ahead of their turn.
                if (i + entry_ahead < n) platform_prefetch(&names_[o[i + entry_ahead]]);
                if (i + bytes_ahead < n) platform_prefetch(names_[o[i + bytes_ahead]].name + depth);
                k[i] = key_at(names_[o[i]], depth);
                differ |= k[i] ^ k[0];
            }
            return differ;
        };
        if (!two_threads) return load(1, n) == 0;
        uint64_t differ[2] = {};
        in_two_halves(n, [&](size_t begin, size_t end) {
            differ[begin == 0 ? 0 : 1] = load(std::max<size_t>(begin, 1), end);
        });
        return (differ[0] | differ[1]) == 0;
    }

    // Sorts a small group by its keys, then each run of equal keys further.
    void insertion_sort(const TASK& t, std::vector<TASK>& out) const {
        uint64_t* k = keys_ + t.at;
        uint32_t* o = order_ + t.at;
        for (size_t i = 1; i < t.n; ++i) {
            const uint64_t key = k[i];
            const uint32_t position = o[i];
            size_t j = i;
            for (; j > 0 && key < k[j - 1]; --j) {
                k[j] = k[j - 1];
                o[j] = o[j - 1];
            }
            k[j] = key;
            o[j] = position;
        }
        for (size_t i = 0; i < t.n;) {
            size_t j = i + 1;
            while (j < t.n && k[j] == k[i]) ++j;
            if (j - i > 1) equal_keys(t.at + i, j - i, t.depth, out);
            i = j;
        }
    }

    // Splits a group by 2^levels - 1 keys drawn from it as evenly as it lies: into the keys between two of
    // them and the keys equal to one of them (which go on with their next keys). Each entry's part is found
    // by descending a search tree without branches, and noted for the moves that follow.
    template <int levels>
    void sample_step(const TASK& t, std::vector<TASK>& out, bool two_threads) const {
        constexpr size_t splitters = (size_t{1} << levels) - 1;
        constexpr size_t count_parts = 2 * splitters + 1;
        uint64_t* k = keys_ + t.at;
        uint32_t* o = order_ + t.at;
        uint8_t* p = parts_ + t.at;
        uint64_t sample[count_parts];
        for (size_t i = 0; i < count_parts; ++i) sample[i] = k[i * t.n / count_parts];
        std::sort(sample, sample + count_parts);
        // The drawn keys in order, one more repeating the last (which no key equal to it reaches).
        uint64_t sorted[splitters + 1];
        for (size_t i = 0; i < splitters; ++i) sorted[i] = sample[2 * i + 1];
        sorted[splitters] = sorted[splitters - 1];
        // The search tree from index 1, node j with children 2j and 2j+1, in the order of `sorted`.
        uint64_t tree[splitters + 1];
        for (size_t j = 1; j <= splitters; ++j) {
            const int level = std::bit_width(j) - 1;
            tree[j] = sorted[((2 * (j - (size_t{1} << level)) + 1) << (levels - 1 - level)) - 1];
        }
        // Notes the part of each entry of [begin, end) and counts the entries of each part.
        auto classify = [&](size_t begin, size_t end, size_t* count) {
            for (size_t i = begin; i < end; ++i) {
                const uint64_t key = k[i];
                size_t j = 1;
                // One step down per level, written out once per level.
                [&]<size_t... level>(std::index_sequence<level...>) {
                    ((j = 2 * j + (key > tree[j]), static_cast<void>(level)), ...);
                }(std::make_index_sequence<levels>{});
                const size_t below = j - (splitters + 1);  // how many drawn keys are below this key
                const size_t part = 2 * below + (key == sorted[below]);
                p[i] = static_cast<uint8_t>(part);
                ++count[part];
            }
        };
        size_t count[count_parts] = {};
        if (two_threads) {
            size_t second[count_parts] = {};
            in_two_halves(t.n, [&](size_t begin, size_t end) {
                classify(begin, end, begin == 0 ? count : second);
            });
            for (size_t d = 0; d < count_parts; ++d) count[d] += second[d];
        } else {
            classify(0, t.n, count);
        }
        size_t next[count_parts], end[count_parts];
        size_t largest = 0;
        for (size_t d = 0, sum = 0; d < count_parts; ++d) {
            next[d] = sum;
            sum += count[d];
            end[d] = sum;
            if (count[d] > count[largest]) largest = d;
        }
        // Each entry that is not yet in its part's range is swapped into it, in cycles.
        for (size_t d = 0; d < count_parts; ++d) {
            while (next[d] < end[d]) {
                uint64_t key = k[next[d]];
                uint32_t position = o[next[d]];
                uint8_t part = p[next[d]];
                while (part != d) {
                    const size_t j = next[part]++;
                    std::swap(key, k[j]);
                    std::swap(position, o[j]);
                    std::swap(part, p[j]);
                }
                k[next[d]] = key;
                o[next[d]] = position;
                ++next[d];
            }
        }
        // The largest part waits below the others, so that the work list stays short.
        auto take = [&](size_t d) {
            if (count[d] > 1) out.push_back({t.at + end[d] - count[d], count[d], t.depth, d % 2 == 1});
        };
        take(largest);
        for (size_t d = 0; d < count_parts; ++d)
            if (d != largest) take(d);
    }

    uint64_t* keys_;
    uint32_t* order_;
    uint8_t* parts_;
    const NM_LISTED* names_;
    bool descending_ties_;
};

// True when a sort of `n` entries shares its work between two threads: when `threads` allows it (0: when
// the host has two), and the list is long enough to make up for starting them.
bool use_two_threads(size_t n, unsigned threads) {
    if (n < parallel_size) return false;
    // Asking the host costs a system call or a file read: once per run is enough.
    static const unsigned host_threads = std::thread::hardware_concurrency();
    return (threads == 0 ? host_threads : threads) >= 2;
}

// Sorts the n keys and the order beside them. With two threads, the largest groups are split, both
// threads sharing each step's passes, until none holds more than 1/parts of the list; then each thread
// takes the groups left, largest first, one after the other. Which thread sorts a group does not change
// the result.
void sort_keys(NM_SORT_SPACE& space, uint32_t* order, size_t n, const NM_LISTED* names, bool descending_ties,
               bool two_threads) {
    space.parts.resize(n);
    const KEY_SORTER sorter(space.keys.data(), order, space.parts.data(), names, descending_ties);
    std::vector<TASK> tasks{{0, n, 0, false}};
    if (!two_threads) return sorter.run(tasks);
    auto by_size = [](const TASK& a, const TASK& b) { return a.n < b.n; };
    for (;;) {
        const auto largest = std::max_element(tasks.begin(), tasks.end(), by_size);
        if (largest == tasks.end() || largest->n <= n / parts) break;
        const TASK t = *largest;
        *largest = tasks.back();
        tasks.pop_back();
        sorter.step(t, tasks, true);
    }
    std::sort(tasks.begin(), tasks.end(), [](const TASK& a, const TASK& b) { return a.n > b.n; });
    std::atomic<size_t> next{0};
    in_two_halves(2, [&](size_t, size_t) {
        std::vector<TASK> stack;
        for (size_t i; (i = next.fetch_add(1)) < tasks.size();) {
            stack.push_back(tasks[i]);
            sorter.run(stack);
        }
    });
}

// Puts the positions in list order and computes each entry's first key, from `key(entry)`.
template <class KEY>
void first_keys(LARGE_ARRAY<uint64_t>& keys, const NM_LISTED* listed, size_t n, uint32_t* order, bool two_threads,
                const KEY& key) {
    keys.resize(n);
    auto fill = [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            order[i] = static_cast<uint32_t>(i);
            keys[i] = key(listed[i]);
        }
    };
    if (two_threads)
        in_two_halves(n, fill);
    else
        fill(0, n);
}

}  // namespace

void order_by_name(NM_SORT_SPACE& space, const NM_LISTED* listed, size_t n, bool reverse, uint32_t* order,
                   unsigned threads) {
    const bool two_threads = use_two_threads(n, threads);
    first_keys(space.keys, listed, n, order, two_threads, [](const NM_LISTED& entry) { return key_at(entry, 0); });
    sort_keys(space, order, n, listed, reverse, two_threads);
    if (reverse) std::reverse(order, order + n);
}

void order_by_value(NM_SORT_SPACE& space, const NM_LISTED* listed, size_t n, bool reverse, uint32_t* order,
                    unsigned threads) {
    const bool two_threads = use_two_threads(n, threads);
    first_keys(space.keys, listed, n, order, two_threads,
               [](const NM_LISTED& entry) { return uint64_t{entry.value} << 32; });
    sort_keys(space, order, n, nullptr, reverse, two_threads);
    if (reverse) std::reverse(order, order + n);
}
