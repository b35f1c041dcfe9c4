// The maker's symbol alias section: pairs of symbol indexes naming one symbol as an alias of another,
// with the checks of its format version and vendor.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "ofe/of_state_machine.h"

namespace OFE {

class ELF_SECTION;

// Whether a section is the symbol alias section: by the target's alias section type.
bool is_symalias_section(const ELF_SECTION& section);

class ELF_SYMALIAS_TABLE : public OF_STATE_MACHINE {
public:
    using PAIR = std::pair<uint32_t, uint32_t>;

    // The table the alias section holds; reads it at once.
    explicit ELF_SYMALIAS_TABLE(ELF_SECTION* section);
    ~ELF_SYMALIAS_TABLE() override;

    // Entering "locked" writes a changed pair list back: the alias section type, entry size 8, format
    // version 1.0.0.0 and the vendor "QX".
    int32_t on_progress(int32_t new_state) override;

    // Reads the section, once, for a file with an input handle while no pair is held: 0, or -1 when its
    // aliases are ignored. Format and vendor problems are reported as diagnostics naming the file: warnings,
    // except the note that a newer update of the format may hold data this reader skips, which is a remark
    // and so prints only when the diagnostics show remarks (DIAG::settings().show_remarks).
    int read();
    const std::vector<PAIR>& pairs() const { return pairs_; }
    // Appends a pair (requires "open").
    void add_pair(uint32_t symbol, uint32_t alias);
    // Maps both indexes of every pair through `old_to_new`; pairs with an index that maps to 0xffffffff
    // (removed), or lies past the map, are dropped and the rest keep their order.
    void renumber(const std::vector<uint32_t>& old_to_new);
    ELF_SECTION* section() const { return section_; }

private:
    ELF_SECTION* section_;
    std::vector<PAIR> pairs_;
    bool read_ = false;
    bool changed_ = false;
};

}  // namespace OFE
