// Target selection and the identification of every target.
#include "ofe/machine/of_machine_db.h"

#include <iterator>

#include "ofe/object_file.h"

namespace OFE {

namespace {

const MACHINE_IDENT plain_ident = {OF_TARGET_NONE, 0, 0, 8, "QX"};

// Indexed by target id.
const MACHINE_IDENT idents[] = {
    plain_ident,
    {OF_TARGET_ARM, 0x97, 40, 8, "aeabi"},
    {OF_TARGET_WREN, 0xA0, 105, 8, "wrenabi"},
    {OF_TARGET_KITE, 0x9D, 141, 16, "kiteabi"},
    {OF_TARGET_ROOK, 0x98, 0, 16, "QX"},
    {OF_TARGET_LOON, 0x9C, 0, 8, "QX"},
    {OF_TARGET_GULL, 0x99, 140, 8, "gullabi"},
    {OF_TARGET_LOON_PLUS, 0xA1, 0, 8, "QX"},
    {OF_TARGET_VOLE, 0xA2, 0, 8, "QX"},
    {OF_TARGET_KNOT, 0xA2, 143, 8, "QX"},
    {OF_TARGET_RILL, 0, 144, 8, "rillabi"},
    {OF_TARGET_SKUA, 0, 145, 8, "skuaabi"},
};

}  // namespace

const MACHINE_IDENT& machine_ident(OF_TARGET target) {
    return target < std::size(idents) ? idents[target] : plain_ident;
}

OF_TARGET coff_target_of(uint32_t id) {
    switch (id) {
    case 0x97: return OF_TARGET_ARM;
    case 0x98: return OF_TARGET_ROOK;
    case 0x99: return OF_TARGET_GULL;
    case 0x9C: return OF_TARGET_LOON;
    case 0x9D: return OF_TARGET_KITE;
    case 0xA0: return OF_TARGET_WREN;
    case 0xA1: return OF_TARGET_LOON_PLUS;
    case 0xA2: return OF_TARGET_KNOT;  // Vole writes 0xA2 too, but reading it gives Knot
    default: return OF_TARGET_NONE;
    }
}

OF_TARGET elf_target_of(uint32_t machine) {
    for (OF_TARGET t = 1; t < std::size(idents); ++t)
        if (idents[t].elf_machine != 0 && idents[t].elf_machine == machine) return t;
    return OF_TARGET_NONE;
}

std::unique_ptr<OF_MACHINE_DB> OF_MACHINE_DB::create(OF_TARGET target, OBJECT_FILE* file) {
    const MACHINE_IDENT& ident = machine_ident(target);
    if (target == OF_TARGET_LOON || target == OF_TARGET_LOON_PLUS)
        return std::make_unique<LOON_MACHINE_DB>(file, ident);
    return std::make_unique<OF_MACHINE_DB>(file, ident);
}

uint32_t OF_MACHINE_DB::section_data_endian() const {
    // The order the file is read in: a file whose header names no known order is read as identified.
    const uint32_t endian = file_->endian();
    return endian == OF_ENDIAN_UNKNOWN ? file_->info().endian : endian;
}

}  // namespace OFE
