// The databases of the targets other than Kite whose answers differ from the plain database's: ARM, Gull
// and Skua describe themselves with more lines, Gull and Knot have "near" common blocks, and Rill may keep
// its code the other way round.
#pragma once

#include <cstdint>
#include <cstdio>

#include "ofe/machine/of_machine_db.h"

namespace OFE {

// A target whose target description ends with its ABI vendor (and, for ARM, the EABI version).
class DESCRIBED_MACHINE_DB : public OF_MACHINE_DB {
public:
    using OF_MACHINE_DB::OF_MACHINE_DB;
    // The five lines, then "ABI_VENDOR:" with the ABI vendor name; ARM adds "EABI_VERSION:" with the top
    // byte of an ELF file's e_flags.
    void print_target_description(FILE* out) override;
};

// Gull: "near" common symbols take the section index 0xFF00.
class GULL_MACHINE_DB : public DESCRIBED_MACHINE_DB {
public:
    using DESCRIBED_MACHINE_DB::DESCRIBED_MACHINE_DB;
    uint32_t near_common_index() override { return NEAR_COMMON_INDEX; }
    static constexpr uint32_t NEAR_COMMON_INDEX = 0xFF00;
};

// Knot: "near" common symbols as on Gull.
class KNOT_MACHINE_DB : public OF_MACHINE_DB {
public:
    using OF_MACHINE_DB::OF_MACHINE_DB;
    uint32_t near_common_index() override { return GULL_MACHINE_DB::NEAR_COMMON_INDEX; }
};

// Rill: e_flags bit 0 of an ELF file says that its code sections hold their data in the other byte order.
class RILL_MACHINE_DB : public OF_MACHINE_DB {
public:
    using OF_MACHINE_DB::OF_MACHINE_DB;
    OF_ENDIAN section_data_endian(const OF_SECTION* section = nullptr) const override;
    static constexpr uint32_t EF_RILL_CODE_SWAPPED = 0x1;
};

}  // namespace OFE
