// An ELF object for the library's unit tests: written from a fixture description (or an existing file),
// opened as "test.o", with every report it makes recorded; and refused calls checked one by one.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ofe/elf/elf_dynamic.h"
#include "ofe/of_symbol.h"
#include "unit_support.h"

namespace elf_test {

using namespace OFE;

using unit::reports;
using unit::taken;

// A missing table or entry fails the test by an exception rather than a crash.
template <class T>
T* found(T* p, const char* what) {
    if (!p) throw std::runtime_error(std::string("not found: ") + what);
    return p;
}

struct elf_object : unit::opened {
    explicit elf_object(std::string_view description, const fixture::options& opts = {})
        : opened(description, opts, true, "test.o") {}
    explicit elf_object(const existing& file) : opened(file) {}
    OF_SYMBOL* symbol_at(uint32_t index) const { return get()->symbol_table()->symbol_at(index); }
    // The table of the ".dynamic" section.
    ELF_DYNAMIC_TABLE* dynamic() const { return found(section(".dynamic")->dynamic_table(), ".dynamic"); }
};

// Calls made in turn, each refused with its report and no other (of an object that records its reports).
struct refusal {
    std::function<void()> call;
    std::string report;
};
inline void expect_refused(const std::vector<refusal>& refusals) {
    for (const refusal& r : refusals) {
        r.call();
        EXPECT_EQ(taken(), std::vector<std::string>{r.report});
    }
}

}  // namespace elf_test
