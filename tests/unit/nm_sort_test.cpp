// The listing's sort orders against std::stable_sort with the listing's comparisons: names byte by byte as
// unsigned characters (a name that ends first comes first), values as unsigned numbers, equal ones in list
// order in both directions; on one thread and on two.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <string_view>
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

// Checks both sorts in both directions against a stable sort (string_view compares its characters as
// unsigned), with the thread counts given.
void expect_reference_orders(const std::vector<NM_LISTED>& listed, const std::string& what,
                             std::initializer_list<unsigned> thread_counts = {1}) {
    NM_SORT_SPACE space;  // one for every sort, as a run keeps it
    for (bool by_value : {false, true}) {
        for (bool reverse : {false, true}) {
            std::vector<uint32_t> expected(listed.size());
            std::iota(expected.begin(), expected.end(), 0u);
            std::stable_sort(expected.begin(), expected.end(), [&](uint32_t a, uint32_t b) {
                const NM_LISTED& x = listed[reverse ? b : a];
                const NM_LISTED& y = listed[reverse ? a : b];
                return by_value ? x.value < y.value
                                : std::string_view(x.name, x.length) < std::string_view(y.name, y.length);
            });
            for (unsigned threads : thread_counts) {
                std::vector<uint32_t> order(listed.size() + 1, 0xDEADBEEF);
                (by_value ? order_by_value : order_by_name)(space, listed.data(), listed.size(), reverse, order.data(),
                                                          threads);
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
    const std::string stems[] = {"", "a", "ab", "_ZN4llvm", "_ZN4llvm12_GLOBAL__N_1", "_ZN4llvm12_GLOBAL__N_117",
                                 "_ZNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEE", "x\xff", "x\x01",
                                 "\x80\x80\x80\x80\x80\x80\x80", "\xff\xff\xff\xff\xff\xff\xff\xff",
                                 std::string(40, 'q'), std::string(64, 'q')};
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

// Every size where the method changes is met by the groups of the long lists below, and small whole
// lists are what the golden listings sort. Here: names that agree on up to 100 bytes and then end, go on
// by one byte, or differ in their last byte, around every multiple of 8; each twice, so that the repeats
// must keep their list order.
TEST(NmSort, NamesThatDifferOnlyAtTheEndOfALongSharedPrefix) {
    std::vector<std::string> names;
    for (size_t length = 0; length <= 100; ++length) {
        const std::string stem(length, 'k');
        for (const std::string& s : {stem, stem + '\x01', stem + '\xff', stem + "k", stem + "j", stem + "kk"})
            names.insert(names.end(), 2, s);
    }
    std::shuffle(names.begin(), names.end(), std::mt19937(5));
    expect_reference_orders(as_listed(names, 5), "shared prefixes");
    expect_reference_orders({}, "no names");
}

TEST(NmSort, LongListsGiveTheSameOrderOnOneThreadAndOnTwo) {
    // Large enough to be shared between threads: distinct names, names drawn from a smaller pool, thousands
    // that agree on 200 bytes before they differ (or end), some pointing at the very same bytes as symbols
    // of a string table may, and one name (or none) repeated.
    for (size_t distinct : {size_t{0}, size_t{20000}})
        expect_reference_orders(as_listed(adversarial_names(21, 150000, distinct), 21),
                                std::to_string(distinct) + " distinct of 150000", {1, 2});
    std::mt19937 random(17);
    std::vector<std::string> prefixed = adversarial_names(17, 9000, 300);
    for (std::string& name : prefixed) name.insert(0, 200, 'z');
    std::vector<NM_LISTED> listed = as_listed(prefixed, 17);
    for (size_t i = 0; i < listed.size(); i += 3) listed[i] = listed[random() % listed.size()];
    expect_reference_orders(listed, "long shared prefix", {1, 2});
    for (const std::string& name : {std::string("_ZN4llvm2cl3optIbLb0ENS0_6parserIbEEED0Ev"), std::string()})
        expect_reference_orders(as_listed(std::vector<std::string>(70000, name), 9), "70000 equal names", {1, 2});

    // Values compare as unsigned numbers, whatever their bytes.
    const uint32_t special[] = {0, 1, 0xFF, 0x100, 0xFF00, 0x10000, 0x80000000, 0xFFFFFFFF, 0x7FFFFFFF, 0x00FF00FF};
    std::vector<NM_LISTED> values(100000, NM_LISTED{"", 0, 0});
    for (NM_LISTED& l : values)
        l.value = random() % 3 == 0 ? special[random() % std::size(special)] : static_cast<uint32_t>(random());
    expect_reference_orders(values, "values", {1, 2});
}
