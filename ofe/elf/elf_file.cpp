// ELF_FILE: reading the file header and the two header tables.
#include "ofe/elf/elf_file.h"

#include <cstring>

#include "ofe/elf/elf_build_attr.h"
#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_dynamic.h"
#include "ofe/elf/elf_section.h"
#include "ofe/elf/elf_segment.h"
#include "ofe/elf/elf_symbol.h"
#include "ofe/machine/of_machine_db.h"
#include "util/data_map.h"

namespace OFE {

ELF_FILE::ELF_FILE(const OF_FILE_INFO& info) : OBJECT_FILE(info) {
    // A newly made file: the header of an empty relocatable file for the target.
    header_.e_ident[0] = 0x7F;
    header_.e_ident[1] = 'E';
    header_.e_ident[2] = 'L';
    header_.e_ident[3] = 'F';
    header_.e_ident[ELF::EI_CLASS] = 1;
    // The byte order asked for (little when none is), and the machine of the target; a target beyond the
    // known families names its e_machine itself.
    header_.e_ident[ELF::EI_DATA] = info.endian == OF_ENDIAN_BIG ? ELF::ELFDATA2MSB : ELF::ELFDATA2LSB;
    header_.e_ident[ELF::EI_VERSION] = 1;
    header_.e_type = ELF::ET_REL;
    header_.e_machine = info.target > OF_TARGET_ELF_MACHINE_BASE && info.target - OF_TARGET_ELF_MACHINE_BASE <= 0xFFFF
                            ? static_cast<uint16_t>(info.target - OF_TARGET_ELF_MACHINE_BASE)
                            : static_cast<uint16_t>(machine_ident(info.target).elf_machine);
    header_.e_version = 1;
    header_.e_ehsize = ELF::EHDR::SIZE;
}

ELF_FILE::~ELF_FILE() = default;

OF_FILE_TYPE ELF_FILE::file_type() const {
    // ET_REL to ET_CORE keep their numbers.
    return header_.e_type >= 1 && header_.e_type <= 4 ? static_cast<OF_FILE_TYPE>(header_.e_type) : OF_FILE_NONE;
}

void ELF_FILE::set_file_type(OF_FILE_TYPE type) {
    if (require_at_most_state(OF_STATE_LOCKED) != 0) return;
    if (type >= OF_FILE_RELOCATABLE && type <= OF_FILE_CORE) {
        header_.e_type = static_cast<uint16_t>(type);
        return;
    }
    header_.e_type = ELF::ET_NONE;
    report_error(OF_ERR_ILLEGAL_OPERATION, "invalid file type");
}

void ELF_FILE::set_entry_point(uint32_t address) {
    if (require_at_most_state(OF_STATE_LOCKED) == 0) header_.e_entry = address;
}

void ELF_FILE::set_endian(OF_ENDIAN endian) {
    if (require_at_most_state(OF_STATE_LOCKED) != 0) return;
    uint8_t& data = header_.e_ident[ELF::EI_DATA];
    if (endian == OF_ENDIAN_LITTLE || endian == OF_ENDIAN_BIG) {
        data = endian == OF_ENDIAN_LITTLE ? ELF::ELFDATA2LSB : ELF::ELFDATA2MSB;
        return;
    }
    data = ELF::ELFDATANONE;
    report_error(OF_ERR_ILLEGAL_OPERATION, "invalid endian setting");
}

OF_TARGET ELF_FILE::target() const {
    const OF_TARGET t = elf_target_of(header_.e_machine);
    return t != OF_TARGET_NONE ? t : OF_TARGET_ELF_MACHINE_BASE + header_.e_machine;
}

OF_ENDIAN ELF_FILE::endian() const {
    const uint8_t data = header_.e_ident[ELF::EI_DATA];
    return data == 1 ? OF_ENDIAN_LITTLE : data == 2 ? OF_ENDIAN_BIG : OF_ENDIAN_UNKNOWN;
}

bool ELF_FILE::carries_version_info() const {
    return target() == OF_TARGET_ARM || header_.e_type == ELF::ET_EXEC || header_.e_type == ELF::ET_DYN;
}

int ELF_FILE::read(const OF_FILE_INFO& info) {
    set_info(info);
    const bool big = info.endian == OF_ENDIAN_BIG;
    DATA_MAP map;
    get_file_data(map, 0, ELF::EHDR::SIZE);
    map.set_big_endian(big);
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

    uint32_t count = header_.e_shnum;
    if (count == 0 && header_.e_shoff != 0) {
        // Extended numbering: the count stands in the size field of section 0.
        DATA_MAP first;
        get_file_data(first, header_.e_shoff, ELF::SHDR::SIZE);
        first.set_big_endian(big);
        first.set_cursor(ELF::SHDR::sh_size);
        count = first.read_u32();
    }
    if (section_table()->read_headers(header_.e_shoff, header_.e_shentsize, count) < 0) return -1;
    return segment_table()->read(header_.e_phoff, header_.e_phentsize, header_.e_phnum) < 0 ? -1 : 0;
}

ELF_SECTION_TABLE* ELF_FILE::section_table() {
    if (!sections_) sections_ = std::make_unique<ELF_SECTION_TABLE>(this);
    return sections_.get();
}

ELF_SEGMENT_TABLE* ELF_FILE::segment_table() {
    if (!segments_) segments_ = std::make_unique<ELF_SEGMENT_TABLE>(this);
    return segments_.get();
}

bool ELF_FILE::has_dynamic_segment() { return segment_table()->find_by_type(ELF::PT_DYNAMIC) != nullptr; }

ELF_DYNAMIC_DB* ELF_FILE::dynamic_db() {
    if (file_type() != OF_FILE_EXECUTABLE && file_type() != OF_FILE_SHARED) {
        report_error(OF_ERR_ILLEGAL_OPERATION,
                     "attempt to access dynamic information in an object file that is not executable or a shared "
                     "object");
        return nullptr;
    }
    if (dynamic_db_) return dynamic_db_.get();
    if (making_dynamic_db_) {
        report_error(OF_ERR_INTERNAL, "recursive call detected to a method that does not support recursive calls");
        return nullptr;
    }
    making_dynamic_db_ = true;
    auto db = std::make_unique<ELF_DYNAMIC_DB>(this);
    if (info().handle) db->fill_from_file();
    dynamic_db_ = std::move(db);
    making_dynamic_db_ = false;
    return dynamic_db_.get();
}

ELF_STRING_TABLE* ELF_FILE::dynamic_string_table() {
    ELF_SECTION_TABLE* sections = section_table();
    ELF_SECTION* s = nullptr;
    if (dynamic_db_ && dynamic_db_->role(DYN_ROLE_STRINGS))
        s = sections->elf_section_at(dynamic_db_->role(DYN_ROLE_STRINGS));
    if (!s) s = static_cast<ELF_SECTION*>(sections->find_by_name(".dynstr"));
    return s ? s->string_table() : nullptr;
}

OF_SYMBOL_TABLE* ELF_FILE::symbol_table() {
    ELF_SECTION_TABLE* sections = section_table();
    ELF_SECTION* s = symtab_index_ != 0 ? sections->elf_section_at(symtab_index_) : nullptr;
    if (!s) {
        s = static_cast<ELF_SECTION*>(sections->find_by_name(".symtab"));
        if (!s) s = static_cast<ELF_SECTION*>(sections->add_section(".symtab"));
        if (!s) return nullptr;
        symtab_index_ = s->index();
    }
    return s->symbol_table();
}

bool ELF_FILE::identify(DATA_MAP& head, OF_FILE_INFO& info) {
    static constexpr uint8_t magic[] = {ELF::ELFMAG0, ELF::ELFMAG1, ELF::ELFMAG2, ELF::ELFMAG3};
    uint8_t ident[sizeof magic];
    head.set_cursor(ELF::EHDR::e_ident + ELF::EI_MAG0);
    head.read_bytes(ident, sizeof ident);
    if (std::memcmp(ident, magic, sizeof magic) != 0) return false;
    info.format = OF_FORMAT_ELF;
    head.set_cursor(ELF::EHDR::e_ident + ELF::EI_DATA);
    info.endian = head.read_u8() == ELF::ELFDATA2LSB ? OF_ENDIAN_LITTLE : OF_ENDIAN_BIG;
    head.set_big_endian(info.endian == OF_ENDIAN_BIG);
    head.set_cursor(ELF::EHDR::e_version);
    info.format_version = head.read_u32() == ELF::EV_CURRENT ? 4 : 0;
    head.set_cursor(ELF::EHDR::e_machine);
    info.target = elf_target_of(head.read_u16());
    return true;
}

ELF_FILE* as_elf_file(OBJECT_FILE* object) {
    return object && object->require_format(OF_FORMAT_ELF, not_elf_message) ? static_cast<ELF_FILE*>(object)
                                                                              : nullptr;
}

const ELF_FILE* as_elf_file(const OBJECT_FILE* object) { return as_elf_file(const_cast<OBJECT_FILE*>(object)); }

void ELF_FILE::renumber_sections(const std::vector<uint32_t>& map) {
    symtab_index_ = renumbered_index(map, symtab_index_);
    // The section-name table's index moves with it (an index kept in section 0's sh_link moves with the links).
    if (header_.e_shstrndx != ELF::SHN_XINDEX)
        header_.e_shstrndx = static_cast<uint16_t>(renumbered_index(map, header_.e_shstrndx));
    if (dynamic_db_) dynamic_db_->renumber_sections(map);
    if (segments_) segments_->renumber_sections(map);
}

OF_BUILD_ATTR_TABLE* ELF_FILE::build_attribute_table() {
    if (!build_attributes_supported()) return nullptr;
    ELF_SECTION* section = section_table()->build_attribute_section();
    return section ? section->build_attribute_table() : nullptr;
}

OF_BUILD_ATTR_TABLE* ELF_FILE::build_attribute_table_for_change() {
    if (OF_BUILD_ATTR_TABLE* table = build_attribute_table()) return table;
    if (!build_attributes_supported()) return nullptr;
    auto* section = static_cast<ELF_SECTION*>(section_table()->add_section("__QX_build_attributes"));
    return section ? section->build_attribute_table() : nullptr;
}

}  // namespace OFE
