// Target descriptions of ARM, Gull and Skua; the byte order of Rill's code.
#include "ofe/machine/target_machine_dbs.h"

#include "ofe/elf/elf_file.h"
#include "ofe/object_file.h"
#include "ofe/of_section.h"

namespace OFE {

void DESCRIBED_MACHINE_DB::print_target_description(FILE* out) {
    OF_MACHINE_DB::print_target_description(out);
    std::fprintf(out, "ABI_VENDOR:%s\n", abi_vendor_name());
    if (target() == OF_TARGET_ARM && file()->format() == OF_FORMAT_ELF)
        if (const ELF_FILE* elf = as_elf_file(file())) std::fprintf(out, "EABI_VERSION:%u\n", elf->header().e_flags >> 24);
}

OF_ENDIAN RILL_MACHINE_DB::section_data_endian(const OF_SECTION* section) const {
    const OF_ENDIAN endian = OF_MACHINE_DB::section_data_endian(section);
    if (!section || file()->format() != OF_FORMAT_ELF || !section->is_code()) return endian;
    const ELF_FILE* elf = as_elf_file(file());
    if (!elf || (elf->header().e_flags & EF_RILL_CODE_SWAPPED) == 0) return endian;
    if (endian == OF_ENDIAN_LITTLE) return OF_ENDIAN_BIG;
    return endian == OF_ENDIAN_BIG ? OF_ENDIAN_LITTLE : endian;
}

}  // namespace OFE
