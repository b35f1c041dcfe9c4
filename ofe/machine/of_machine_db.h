// OF_MACHINE_DB: what the library knows about one target family, and target selection.
#pragma once

#include <cstdint>
#include <memory>

#include "ofe/of_types.h"

namespace OFE {

class OBJECT_FILE;

// The identification of a target: its numbers in both formats, address unit and ABI vendor.
struct MACHINE_IDENT {
    OF_TARGET target;
    uint16_t coff_target_id;   // 0: the target has no QXCOFF id
    uint16_t elf_machine;      // 0: the target has no ELF machine number
    uint32_t address_unit_bits;
    const char* abi_vendor_name;
};

// The identification row of a target id 1 to 11, or of the plain database for any other id.
const MACHINE_IDENT& machine_ident(OF_TARGET target);
// Target of a QXCOFF target id (0 when none).
OF_TARGET coff_target_of(uint32_t coff_target_id);
// Target of an ELF machine number at identification (0 when it has no target id of its own).
OF_TARGET elf_target_of(uint32_t elf_machine);

class OF_MACHINE_DB {
public:
    OF_MACHINE_DB(OBJECT_FILE* file, const MACHINE_IDENT& ident) : file_(file), ident_(ident) {}
    OF_MACHINE_DB(const OF_MACHINE_DB&) = delete;
    OF_MACHINE_DB& operator=(const OF_MACHINE_DB&) = delete;
    virtual ~OF_MACHINE_DB() = default;

    // Makes the database of a target (a plain one for ids outside 1 to 11), bound to `file`.
    static std::unique_ptr<OF_MACHINE_DB> create(OF_TARGET target, OBJECT_FILE* file);

    virtual OF_TARGET target() const { return ident_.target; }
    virtual uint32_t coff_target_id() const { return ident_.coff_target_id; }
    virtual uint32_t elf_machine() const { return ident_.elf_machine; }
    virtual uint32_t address_unit_bits() const { return ident_.address_unit_bits; }
    virtual const char* abi_vendor_name() const { return ident_.abi_vendor_name; }
    // Byte order of a section's data: the file's own.
    virtual uint32_t section_data_endian() const;
    // Set-up after the file has been created and read.
    virtual void file_created() {}

    OBJECT_FILE* file() const { return file_; }

private:
    OBJECT_FILE* file_;
    const MACHINE_IDENT& ident_;
};

// Databases with a width of their own per object: the two Loon families.
class LOON_MACHINE_DB : public OF_MACHINE_DB {
public:
    using OF_MACHINE_DB::OF_MACHINE_DB;
    uint32_t address_unit_bits() const override { return address_unit_bits_; }
    void set_address_unit_bits(uint32_t bits) { address_unit_bits_ = bits; }

private:
    uint32_t address_unit_bits_ = 8;
};

}  // namespace OFE
