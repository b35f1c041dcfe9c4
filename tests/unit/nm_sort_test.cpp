// The listing's sort orders: the same permutation as std::sort with the listing's comparisons, ties included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "nm/nm_sort.h"

namespace {

// Names with long shared prefixes, names that end where others go on, repeats and empty names; with
// `distinct` 0 every name is different.
std::vector<std::string> sample_names(unsigned seed, size_t count, size_t distinct) {
    std::mt19937 random(seed);
    const char* const stems[] = {"", "a", "ab", "_ZN4core6Parser", "_ZN4core6Parser6open_", "x\xff", "x\x01",
                                 "net_read_header_with_a_long_tail_"};
    std::vector<std::string> pool;
    for (size_t i = 0; i < distinct; ++i) {
        std::string s = stems[random() % std::size(stems)];
        const size_t extra = random() % 12;
        for (size_t k = 0; k < extra; ++k) s += static_cast<char>("ab\x80\xfe"[random() % 4]);
        pool.push_back(s);
    }
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i)
        names.push_back(distinct == 0 ? stems[random() % std::size(stems)] + std::to_string(i)
                                      : pool[random() % pool.size()]);
    return names;
}

std::vector<NM_LISTED> as_listed(const std::vector<std::string>& names, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<NM_LISTED> listed;
    for (const std::string& s : names)
        listed.push_back({s.c_str(), static_cast<uint32_t>(s.size()), static_cast<uint32_t>(random() % 7)});
    return listed;
}

std::vector<uint32_t> reference(const std::vector<NM_LISTED>& listed, bool by_value, bool reverse) {
    std::vector<const NM_LISTED*> list;
    for (const NM_LISTED& l : listed) list.push_back(&l);
    auto name_less = [](const NM_LISTED* a, const NM_LISTED* b) { return std::strcmp(a->name, b->name) < 0; };
    auto value_less = [](const NM_LISTED* a, const NM_LISTED* b) { return a->value < b->value; };
    if (by_value)
        std::sort(list.begin(), list.end(), [&](auto a, auto b) { return reverse ? value_less(b, a) : value_less(a, b); });
    else
        std::sort(list.begin(), list.end(), [&](auto a, auto b) { return reverse ? name_less(b, a) : name_less(a, b); });
    std::vector<uint32_t> order;
    for (const NM_LISTED* l : list) order.push_back(static_cast<uint32_t>(l - listed.data()));
    return order;
}

}  // namespace

TEST(NmSort, GivesTheComparisonSortsPermutationWithAndWithoutRepeatedKeys) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        const size_t count = seed % 3 == 0 ? 20 : 3000;  // small lists take the insertion path only
        const size_t distinct = seed % 2 == 0 ? 0 : 40;
        const std::vector<std::string> names = sample_names(seed, count, distinct);
        const std::vector<NM_LISTED> listed = as_listed(names, seed);
        for (bool by_value : {false, true}) {
            for (bool reverse : {false, true}) {
                std::vector<uint32_t> order(listed.size());
                if (by_value)
                    order_by_value(listed.data(), listed.size(), reverse, order.data());
                else
                    order_by_name(listed.data(), listed.size(), reverse, order.data());
                EXPECT_EQ(order, reference(listed, by_value, reverse))
                    << "seed " << seed << (by_value ? " by value" : " by name") << (reverse ? " reversed" : "");
            }
        }
    }
}

TEST(NmSort, EmptyList) {
    uint32_t order[1] = {7};
    order_by_name(nullptr, 0, false, order);
    order_by_value(nullptr, 0, true, order);
    EXPECT_EQ(order[0], 7u);
}
