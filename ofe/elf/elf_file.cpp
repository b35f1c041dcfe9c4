// ELF_FILE: reading the file header.
#include "ofe/elf/elf_file.h"

#include "ofe/machine/of_machine_db.h"
#include "util/data_map.h"

namespace OFE {

namespace {

constexpr uint32_t header_size = 52;
constexpr uint32_t sh_size_offset = 20;  // of a section header

}  // namespace

ELF_FILE::ELF_FILE(const OF_FILE_INFO& info) : OBJECT_FILE(info) {
    // A newly made file: the header of an empty relocatable file for the target.
    header_.e_ident[0] = 0x7F;
    header_.e_ident[1] = 'E';
    header_.e_ident[2] = 'L';
    header_.e_ident[3] = 'F';
    header_.e_ident[4] = 1;
    header_.e_ident[5] = 1;
    header_.e_ident[6] = 1;
    header_.e_type = 1;
    header_.e_machine = static_cast<uint16_t>(machine_ident(info.target).elf_machine);
    header_.e_version = 1;
    header_.e_ehsize = header_size;
}

uint32_t ELF_FILE::file_type() const { return header_.e_type >= 1 && header_.e_type <= 4 ? header_.e_type : 0; }

OF_TARGET ELF_FILE::target() const {
    const OF_TARGET t = elf_target_of(header_.e_machine);
    return t != OF_TARGET_NONE ? t : OF_TARGET_ELF_MACHINE_BASE + header_.e_machine;
}

uint32_t ELF_FILE::endian() const {
    const uint8_t data = header_.e_ident[5];
    return data == 1 ? OF_ENDIAN_LITTLE : data == 2 ? OF_ENDIAN_BIG : OF_ENDIAN_UNKNOWN;
}

int ELF_FILE::read(const OF_FILE_INFO& info) {
    set_info(info);
    DATA_MAP map;
    get_file_data(map, 0, header_size);
    map.set_big_endian(info.endian == OF_ENDIAN_BIG);
    map.read_bytes(header_.e_ident, sizeof header_.e_ident);
    header_.e_type = map.read_u16();
    header_.e_machine = map.read_u16();
    header_.e_version = map.read_u32();
    header_.e_entry = map.read_u32();
    header_.e_phoff = map.read_u32();
    header_.e_shoff = map.read_u32();
    header_.e_flags = map.read_u32();
    header_.e_ehsize = map.read_u16();
    header_.e_phentsize = map.read_u16();
    header_.e_phnum = map.read_u16();
    header_.e_shentsize = map.read_u16();
    header_.e_shnum = map.read_u16();
    header_.e_shstrndx = map.read_u16();

    section_count_ = header_.e_shnum;
    if (section_count_ == 0 && header_.e_shoff != 0) {
        // Extended numbering: the count stands in the size field of section 0.
        DATA_MAP first;
        get_file_data(first, header_.e_shoff, header_.e_shentsize);
        first.set_big_endian(info.endian == OF_ENDIAN_BIG);
        first.set_cursor(sh_size_offset);
        section_count_ = first.read_u32();
    }
    return 0;
}

}  // namespace OFE
