// An ELF object for the library's unit tests: written from a fixture description (or an existing file),
// opened as "test.o", with every report it makes recorded.
#pragma once

#include <stdexcept>
#include <string>

#include "fixture.h"
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
    // The dynamic symbol table through the dynamic database, as the dynamic listing reaches it.
    OF_SYMBOL_TABLE* dynamic_symbols() const {
        return found(found(get()->dynamic_db(), "dynamic db")->dynamic_symbol_table(), "dynamic symbols");
    }
};

}  // namespace elf_test
