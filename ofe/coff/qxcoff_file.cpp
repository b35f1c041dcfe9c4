// QXCOFF_FILE: reading the headers of the three versions, locating the tables, and the header queries.
#include "ofe/coff/qxcoff_file.h"

#include <algorithm>
#include <cstdio>

#include "ofe/coff/qxcoff_build_attr.h"
#include "ofe/coff/qxcoff_defs.h"
#include "ofe/coff/qxcoff_names.h"
#include "ofe/coff/qxcoff_string_table.h"
#include "ofe/coff/qxcoff_symbol.h"
#include "ofe/machine/of_machine_db.h"
#include "util/data_map.h"

namespace OFE {

using namespace QXCOFF;

QXCOFF_FILE::QXCOFF_FILE(const OF_FILE_INFO& info)
    : OBJECT_FILE(info), control_endian_(info.endian == OF_ENDIAN_BIG ? OF_ENDIAN_BIG : OF_ENDIAN_LITTLE) {
    // A newly made file: an empty little-endian file of the version and target. Reading replaces it all.
    const uint16_t id = machine_ident(info.target).coff_target_id;
    header_.f_magic = info.format_version == VERSION_2   ? MAGIC_VERSION_2
                      : info.format_version == VERSION_1 ? MAGIC_VERSION_1
                                                         : id;
    if (info.format_version != VERSION_0) header_.f_target_id = id;
    header_.f_flags = F_LITTLE;
    string_data_.set_big_endian(control_endian_ == OF_ENDIAN_BIG);
    symbol_data_.set_big_endian(control_endian_ == OF_ENDIAN_BIG);
}

QXCOFF_FILE::~QXCOFF_FILE() = default;

const char* QXCOFF_FILE::version_name() const { return format_version_name(format_version()); }

uint32_t QXCOFF_FILE::file_header_size() {
    switch (format_version()) {
    case VERSION_0: return FILHDR::SIZE_V0;
    case VERSION_1:
    case VERSION_2: return FILHDR::SIZE_V1;
    default: report_error(OF_ERR_CORRUPTED, "invalid file format version \"%s\"", version_name()); return 0;
    }
}

uint32_t QXCOFF_FILE::reloc_entry_size() {
    switch (format_version()) {
    case VERSION_0: return RELOC_SIZE_V0;
    case VERSION_1:
    case VERSION_2: return RELOC_SIZE_V1;
    default: report_error(OF_ERR_CORRUPTED, "invalid file format version \"%s\"", version_name()); return 0;
    }
}

bool QXCOFF_FILE::has_optional_header() const { return header_.f_opthdr == AOUTHDR::SIZE; }

void QXCOFF_FILE::map_bytes(DATA_MAP& map, uint64_t offset, uint64_t length) {
    if (!info().handle) return;
    map.attach_file(info().handle, static_cast<int64_t>(start_offset()) + static_cast<int64_t>(offset), length);
    map.set_big_endian(control_endian_ == OF_ENDIAN_BIG);
}

int QXCOFF_FILE::read(const OF_FILE_INFO& info) {
    set_info(info);
    control_endian_ = info.endian == OF_ENDIAN_BIG ? OF_ENDIAN_BIG : OF_ENDIAN_LITTLE;
    header_ = QXCOFF_FILE_HEADER{};
    optional_ = QXCOFF_OPTIONAL_HEADER{};
    symbols_valid_ = false;
    build_attr_section_ = 0;
    string_offset_ = string_length_ = 0;
    const uint32_t header_size = file_header_size();
    if (header_size == 0) return -1;

    DATA_MAP map;
    map_bytes(map, 0, FILHDR::MAP_SIZE);
    header_.f_magic = map.read_u16();
    header_.f_nscns = map.read_u16();
    header_.f_timdat = map.read_u32();
    header_.f_symptr = map.read_u32();
    header_.f_nsyms = map.read_u32();
    header_.f_opthdr = map.read_u16();
    header_.f_flags = map.read_u16();
    if (header_size > FILHDR::f_target_id) header_.f_target_id = map.read_u16();

    if (has_optional_header()) {
        DATA_MAP opt;
        map_bytes(opt, header_size, AOUTHDR::SIZE);
        optional_.o_magic = opt.read_u16();
        optional_.o_vstamp = opt.read_u16();
        optional_.o_tsize = opt.read_u32();
        optional_.o_dsize = opt.read_u32();
        optional_.o_bsize = opt.read_u32();
        optional_.o_entry = opt.read_u32();
        optional_.o_text_start = opt.read_u32();
        optional_.o_data_start = opt.read_u32();
    }

    if (section_table()->read_headers(header_size + header_.f_opthdr, header_.f_nscns) < 0) return -1;
    // A bad string table is reported, and the symbol table is still looked at.
    read_string_table();
    if (header_.f_symptr > size()) {
        report_error(OF_ERR_CORRUPTED, "invalid symbol table offset 0x%08x", header_.f_symptr);
        return 1;
    }
    // The entries themselves are mapped, as far as the object holds them, when the table is first used.
    symbols_valid_ = true;
    return 0;
}

uint64_t QXCOFF_FILE::end_of_stored_blocks() {
    // The last block of raw data, relocations or line numbers in file order ends where the string table
    // begins; each header's three offsets are compared in turn, header after header.
    uint64_t position = uint64_t{file_header_size()} + header_.f_opthdr;
    uint64_t length = 0;
    QXCOFF_SECTION_TABLE* sections = section_table();
    const uint64_t reloc_size = reloc_entry_size();
    QXCOFF_SECTION_HEADER h;
    for (uint32_t i = 0; i < sections->count(); ++i) {
        sections->decode_header(i, h);
        if (h.s_scnptr > position) {
            position = h.s_scnptr;
            length = uint64_t{h.s_size} * sections->unit_bits(h) / 8;
        }
        if (h.s_relptr > position) {
            position = h.s_relptr;
            length = uint64_t{h.s_nreloc} * reloc_size;
        }
        if (h.s_lnnoptr > position) {
            position = h.s_lnnoptr;
            length = uint64_t{h.s_nlnno} * LINENO_SIZE;
        }
    }
    return position + length;
}

void QXCOFF_FILE::read_string_table() {
    // The table follows the symbol table; a file without one keeps it after its last stored block.
    const uint64_t start = header_.f_symptr != 0
                               ? uint64_t{header_.f_symptr} + uint64_t{SYMENT::SIZE} * header_.f_nsyms
                               : end_of_stored_blocks();
    if (start >= size()) return;
    // The length word; bytes of it past the object's end read as zeros.
    uint8_t word[STRTAB_LENGTH_SIZE] = {};
    DATA_MAP raw;
    map_bytes(raw, start, std::min<uint64_t>(STRTAB_LENGTH_SIZE, size() - start));
    raw.read_bytes(word, static_cast<size_t>(raw.size()));
    DATA_MAP decoded;
    decoded.assign_bytes(word, sizeof word);
    decoded.set_big_endian(control_endian_ == OF_ENDIAN_BIG);
    const uint32_t length = decoded.read_u32();
    if (start + length > size()) {
        // The length prints as the signed 32-bit value the tool chain has always shown.
        report_error(OF_ERR_CORRUPTED, "invalid string table size %ld",
                     static_cast<long>(static_cast<int32_t>(length)));
        return;
    }
    string_offset_ = static_cast<uint32_t>(start);
    string_length_ = length;
    map_bytes(string_data_, start, length);
}

OF_FILE_TYPE QXCOFF_FILE::file_type() const {
    if (header_.f_flags & F_EXEC) return OF_FILE_EXECUTABLE;
    return (header_.f_flags & F_RELFLG) == 0 ? OF_FILE_RELOCATABLE : OF_FILE_NONE;
}

void QXCOFF_FILE::set_file_type(OF_FILE_TYPE type) {
    if (require_at_most_state(OF_STATE_LOCKED) != 0) return;
    switch (type) {
    case OF_FILE_RELOCATABLE: header_.f_flags = static_cast<uint16_t>(header_.f_flags & ~F_EXEC); break;
    case OF_FILE_EXECUTABLE: header_.f_flags = static_cast<uint16_t>(header_.f_flags | F_EXEC); break;
    case OF_FILE_SHARED:
    case OF_FILE_CORE:
        report_error(OF_ERR_ILLEGAL_OPERATION, "file type \"%s\" is not valid for QX-COFF", file_type_name(type));
        break;
    default: report_error(OF_ERR_ILLEGAL_OPERATION, "invalid file type (0x%x)", type); break;
    }
}

void QXCOFF_FILE::set_time_stamp(uint32_t seconds) {
    if (require_at_most_state(OF_STATE_LOCKED) == 0) header_.f_timdat = seconds;
}

OF_TARGET QXCOFF_FILE::target() const {
    switch (format_version()) {
    case VERSION_0: return coff_target_of(header_.f_magic);
    case VERSION_1:
    case VERSION_2: return coff_target_of(header_.f_target_id);
    default:
        const_cast<QXCOFF_FILE*>(this)->report_error(OF_ERR_CORRUPTED, "invalid file format version \"%s\"",
                                                     version_name());
        return OF_TARGET_NONE;
    }
}

OF_ENDIAN QXCOFF_FILE::endian() const {
    switch (header_.f_flags & F_ENDIAN_MASK) {
    case F_LITTLE: return OF_ENDIAN_LITTLE;
    case F_BIG: return OF_ENDIAN_BIG;
    default: return OF_ENDIAN_UNKNOWN;
    }
}

void QXCOFF_FILE::set_endian(OF_ENDIAN endian) {
    if (require_at_most_state(OF_STATE_LOCKED) != 0) return;
    header_.f_flags = static_cast<uint16_t>(header_.f_flags & ~F_ENDIAN_MASK);
    if (endian == OF_ENDIAN_LITTLE)
        header_.f_flags = static_cast<uint16_t>(header_.f_flags | F_LITTLE);
    else if (endian == OF_ENDIAN_BIG)
        header_.f_flags = static_cast<uint16_t>(header_.f_flags | F_BIG);
    else
        report_error(OF_ERR_ILLEGAL_OPERATION, "invalid endian setting");
}

bool QXCOFF_FILE::has_producer_version() { return OBJECT_FILE::has_producer_version() || has_optional_header(); }

uint32_t QXCOFF_FILE::producer_major() {
    if (OBJECT_FILE::has_producer_version()) return OBJECT_FILE::producer_major();
    if (!has_optional_header()) return 0;
    const uint32_t stamp = optional_.o_vstamp;
    return stamp >= 1000 ? stamp / 1000 : stamp / 100;
}

uint32_t QXCOFF_FILE::producer_minor() {
    if (OBJECT_FILE::has_producer_version()) return OBJECT_FILE::producer_minor();
    if (!has_optional_header()) return 0;
    const uint32_t stamp = optional_.o_vstamp;
    return stamp >= 1000 ? stamp % 1000 : stamp % 100;
}

std::string QXCOFF_FILE::producer_version() {
    if (OBJECT_FILE::has_producer_version()) return OBJECT_FILE::producer_version();
    if (!has_optional_header()) return "";
    char text[24];
    std::snprintf(text, sizeof text, "%u.%u", producer_major(), producer_minor());
    return text;
}

OF_BUILD_ATTR_TABLE* QXCOFF_FILE::build_attribute_table() {
    if (!build_attributes_supported()) return nullptr;
    if (build_attr_section_ == 0) {
        const OF_SECTION* s = section_table()->find_by_name("$build.attributes");
        if (!s) return nullptr;
        build_attr_section_ = s->index() + 1;
    }
    QXCOFF_SECTION* s = section_table()->qxcoff_section_at(build_attr_section_ - 1);
    return s ? s->build_attribute_table() : nullptr;
}

OF_BUILD_ATTR_TABLE* QXCOFF_FILE::build_attribute_table_for_change() {
    if (OF_BUILD_ATTR_TABLE* table = build_attribute_table()) return table;
    if (!build_attributes_supported()) return nullptr;
    auto* s = static_cast<QXCOFF_SECTION*>(section_table()->add_section("$build.attributes"));
    if (!s) return nullptr;
    s->set_allocated(false);
    s->set_memory_width(8);
    build_attr_section_ = s->index() + 1;
    return s->build_attribute_table();
}

void QXCOFF_FILE::set_producer(const char* name, uint32_t major, uint32_t minor, uint32_t patch) {
    OBJECT_FILE::set_producer(name, major, minor, patch);
    set_producer_version(major, minor);
}

void QXCOFF_FILE::set_producer_version(uint32_t major, uint32_t minor) {
    if (require_at_most_state(OF_STATE_LOCKED) != 0) return;
    optional_.o_vstamp = static_cast<uint16_t>(minor % 1000 + major * 1000);
}

const char* QXCOFF_FILE::flag_name(uint32_t value) { return qxcoff_file_flag_name(value); }

QXCOFF_SECTION_TABLE* QXCOFF_FILE::section_table() {
    if (!sections_) sections_ = std::make_unique<QXCOFF_SECTION_TABLE>(this);
    return sections_.get();
}

QXCOFF_STRING_TABLE* QXCOFF_FILE::string_table() {
    if (!strings_) strings_ = std::make_unique<QXCOFF_STRING_TABLE>(this, &string_data_);
    return strings_.get();
}

QXCOFF_SYMBOL_TABLE* QXCOFF_FILE::qxcoff_symbol_table() {
    if (!symbols_) symbols_ = std::make_unique<QXCOFF_SYMBOL_TABLE>(this);
    return symbols_.get();
}

OF_SYMBOL_TABLE* QXCOFF_FILE::symbol_table() { return qxcoff_symbol_table(); }

bool QXCOFF_FILE::identify(DATA_MAP& head, OF_FILE_INFO& info) {
    head.set_cursor(FILHDR::f_magic);
    const uint8_t first = head.read_u8();
    const uint8_t second = head.read_u8();
    const uint32_t little = uint32_t{second} << 8 | first;
    const uint32_t big = uint32_t{first} << 8 | second;
    const auto is_version_0 = [](uint32_t magic) {
        return magic >= VERSION_0_TARGET_FIRST && magic <= VERSION_0_TARGET_LAST;
    };
    struct RULE {
        uint32_t magic;
        uint32_t version;
        OF_ENDIAN endian;
    };
    const RULE rules[] = {
        {MAGIC_VERSION_2, VERSION_2, OF_ENDIAN_LITTLE}, {MAGIC_VERSION_2, VERSION_2, OF_ENDIAN_BIG},
        {MAGIC_VERSION_1, VERSION_1, OF_ENDIAN_LITTLE}, {MAGIC_VERSION_1, VERSION_1, OF_ENDIAN_BIG},
    };
    const RULE* found = nullptr;
    for (const RULE& r : rules)
        if ((r.endian == OF_ENDIAN_LITTLE ? little : big) == r.magic) {
            found = &r;
            break;
        }
    if (found) {
        info.format_version = found->version;
        info.endian = found->endian;
        head.set_big_endian(found->endian == OF_ENDIAN_BIG);
        head.set_cursor(FILHDR::f_target_id);
        info.target = coff_target_of(head.read_u16());
    } else if (is_version_0(little) || is_version_0(big)) {
        const bool is_little = is_version_0(little);
        info.format_version = VERSION_0;
        info.endian = is_little ? OF_ENDIAN_LITTLE : OF_ENDIAN_BIG;
        info.target = coff_target_of(is_little ? little : big);
    } else {
        return false;
    }
    info.format = OF_FORMAT_QXCOFF;
    return true;
}

QXCOFF_FILE* as_qxcoff_file(OBJECT_FILE* object) {
    return object && object->require_format(OF_FORMAT_QXCOFF, not_qxcoff_message) ? static_cast<QXCOFF_FILE*>(object)
                                                                                    : nullptr;
}

const QXCOFF_FILE* as_qxcoff_file(const OBJECT_FILE* object) {
    return as_qxcoff_file(const_cast<OBJECT_FILE*>(object));
}

}  // namespace OFE
