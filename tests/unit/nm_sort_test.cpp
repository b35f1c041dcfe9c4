// The listing's sort orders against std::stable_sort with the listing's comparisons: names byte by byte as
// unsigned characters (a name that ends first comes first), values as unsigned numbers, equal ones in list
// order in both directions; on one thread and on two.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "nm/nm_sort.h"

namespace {

std::vector<NM_LISTED> as_listed(const std::vector<std::string>& names, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<NM_LISTED> listed;
    for (const std::string& s : names)
        listed.push_back({s.data(), static_cast<uint32_t>(s.size()), static_cast<uint32_t>(random() % 7)});
    return listed;
}

bool name_less(const NM_LISTED& a, const NM_LISTED& b) {
    const int c = std::memcmp(a.name, b.name, std::min(a.length, b.length));
    return c < 0 || (c == 0 && a.length < b.length);
}

std::vector<uint32_t> reference(const std::vector<NM_LISTED>& listed, bool by_value, bool reverse) {
    std::vector<uint32_t> order(listed.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint32_t>(i);
    auto less = [&](uint32_t a, uint32_t b) {
        const NM_LISTED& x = listed[reverse ? b : a];
        const NM_LISTED& y = listed[reverse ? a : b];
        return by_value ? x.value < y.value : name_less(x, y);
    };
    std::stable_sort(order.begin(), order.end(), less);
    return order;
}

// Checks both sorts in both directions against the reference, with the thread counts given.
void expect_reference_orders(const std::vector<NM_LISTED>& listed, const std::string& what,
                             std::initializer_list<unsigned> thread_counts = {1}) {
    NM_SORT_SPACE space;  // one for every sort, as a run keeps it
    for (bool by_value : {false, true}) {
        for (bool reverse : {false, true}) {
            const std::vector<uint32_t> expected = reference(listed, by_value, reverse);
            for (unsigned threads : thread_counts) {
                std::vector<uint32_t> order(listed.size() + 1, 0xDEADBEEF);
                if (by_value)
                    order_by_value(space, listed.data(), listed.size(), reverse, order.data(), threads);
                else
                    order_by_name(space, listed.data(), listed.size(), reverse, order.data(), threads);
                EXPECT_EQ(order.back(), 0xDEADBEEF) << what << ": written past the end";
                order.pop_back();
                ASSERT_EQ(order, expected) << what << (by_value ? ", by value" : ", by name")
                                           << (reverse ? ", reversed" : "") << ", " << threads << " thread(s)";
            }
        }
    }
}

// Random names built to defeat shortcuts: long shared prefixes (some a multiple of 8 bytes, some not),
// names that are prefixes of others, clone suffixes, repeats, empty names and bytes of 0x80 and above.
// With `distinct` 0 every name is different; otherwise they are drawn from that many.
std::vector<std::string> adversarial_names(unsigned seed, size_t count, size_t distinct) {
    std::mt19937 random(seed);
    const std::string stems[] = {"",
                                 "a",
                                 "ab",
                                 "_ZN4llvm",
                                 "_ZN4llvm12_GLOBAL__N_1",
                                 "_ZN4llvm12_GLOBAL__N_117",
                                 "_ZNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEE",
                                 "x\xff",
                                 "x\x01",
                                 "\x80\x80\x80\x80\x80\x80\x80",
                                 "\xff\xff\xff\xff\xff\xff\xff\xff",
                                 std::string(40, 'q'),
                                 std::string(64, 'q')};
    const char* const suffixes[] = {"", ".cold", ".part.0", ".isra.0", ".constprop.0", ".part.0.cold"};
    auto fresh = [&](size_t i) {
        std::string s = stems[random() % std::size(stems)];
        const size_t extra = random() % 12;
        for (size_t k = 0; k < extra; ++k) s += "ab\x80\xfe\x01q"[random() % 6];
        if (distinct == 0) s += std::to_string(i);
        return s + suffixes[random() % std::size(suffixes)];
    };
    std::vector<std::string> pool;
    for (size_t i = 0; i < distinct; ++i) pool.push_back(fresh(i));
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) names.push_back(distinct == 0 ? fresh(i) : pool[random() % pool.size()]);
    return names;
}

}  // namespace

TEST(NmSort, AgreesWithAStableSortAroundEverySizeWhereTheMethodChanges) {
    // Insertion, quicksort and radix passes take over at different sizes; every size near those steps (the
    // empty list included),
    // with all names different, with few different names and with many repeats.
    std::vector<size_t> sizes;
    for (size_t n = 0; n <= 40; ++n) sizes.push_back(n);
    for (size_t n = 500; n <= 530; ++n) sizes.push_back(n);
    sizes.push_back(4000);
    for (size_t n : sizes) {
        for (size_t distinct : {size_t{0}, size_t{3}, n / 2 + 1}) {
            const unsigned seed = static_cast<unsigned>(n * 7 + distinct);
            const std::vector<std::string> names = adversarial_names(seed, n, distinct);
            expect_reference_orders(as_listed(names, seed),
                                    "size " + std::to_string(n) + ", " + std::to_string(distinct) + " distinct");
        }
    }
}

TEST(NmSort, NamesThatDifferOnlyAtTheEndOfALongSharedPrefix) {
    // Names that agree on up to 100 bytes and then end, go on by one byte, or differ in their last byte,
    // around every multiple of 8; each twice, so that the repeats must keep their list order.
    std::vector<std::string> names;
    for (size_t length = 0; length <= 100; ++length) {
        const std::string stem(length, 'k');
        for (const std::string& s : {stem, stem + '\x01', stem + '\xff', stem + "k", stem + "j", stem + "kk"}) {
            names.push_back(s);
            names.push_back(s);
        }
    }
    std::shuffle(names.begin(), names.end(), std::mt19937(5));
    expect_reference_orders(as_listed(names, 5), "shared prefixes");
}

TEST(NmSort, LargeGroupsWithALongSharedPrefixAndSharedNameBytes) {
    // Thousands of names that agree on 200 bytes before they differ (or end), and entries that point at
    // the very same bytes, as symbols of a string table may.
    std::mt19937 random(17);
    const std::string prefix(200, 'z');
    std::vector<std::string> names;
    for (size_t i = 0; i < 9000; ++i) {
        std::string tail;
        const size_t length = random() % 5;
        for (size_t k = 0; k < length; ++k) tail += "az\x80"[random() % 3];
        names.push_back(prefix + tail);
    }
    std::vector<NM_LISTED> listed = as_listed(names, 17);
    for (size_t i = 0; i < listed.size(); i += 3) listed[i] = listed[random() % listed.size()];
    expect_reference_orders(listed, "long shared prefix", {1, 2});
}

TEST(NmSort, IdenticalNamesAndValuesKeepListOrder) {
    for (size_t n : {size_t{2}, size_t{17}, size_t{600}, size_t{70000}}) {
        const std::vector<std::string> same(n, "_ZN4llvm2cl3optIbLb0ENS0_6parserIbEEED0Ev");
        expect_reference_orders(as_listed(same, 9), std::to_string(n) + " equal names", {1, 2});
        const std::vector<std::string> empty(n);
        expect_reference_orders(as_listed(empty, 9), std::to_string(n) + " empty names", {1, 2});
    }
}

TEST(NmSort, ValuesCompareAsUnsignedNumbersWhateverTheirBytes) {
    std::mt19937 random(11);
    const uint32_t special[] = {0, 1, 0xFF, 0x100, 0xFF00, 0x10000, 0x80000000, 0xFFFFFFFF, 0x7FFFFFFF, 0x00FF00FF};
    for (size_t n : {size_t{15}, size_t{300}, size_t{5000}, size_t{100000}}) {
        std::vector<NM_LISTED> listed(n, NM_LISTED{"", 0, 0});
        for (NM_LISTED& l : listed)
            l.value = random() % 3 == 0 ? special[random() % std::size(special)] : static_cast<uint32_t>(random());
        expect_reference_orders(listed, std::to_string(n) + " values", {1, 2});
    }
}

TEST(NmSort, LongListsGiveTheSameOrderOnOneThreadAndOnTwo) {
    // Large enough to be shared between threads: distinct names, and names drawn from a smaller pool.
    for (size_t distinct : {size_t{0}, size_t{20000}}) {
        const std::vector<std::string> names = adversarial_names(21, 150000, distinct);
        expect_reference_orders(as_listed(names, 21), std::to_string(distinct) + " distinct of 150000", {1, 2});
    }
}
