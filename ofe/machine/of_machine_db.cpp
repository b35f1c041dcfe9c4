// Target selection and the identification of every target.
#include "ofe/machine/of_machine_db.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "DIAG/user_msg_api.h"
#include "ofe/coff/qxcoff_file.h"
#include "ofe/elf/elf_section.h"
#include "ofe/machine/kite_machine_db.h"
#include "ofe/machine/target_machine_dbs.h"
#include "ofe/object_file.h"
#include "ofe/of_build_attr.h"
#include "ofe/of_value_names.h"
#include "util/pfile.h"

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
    switch (target) {
    case OF_TARGET_KITE: return std::make_unique<KITE_MACHINE_DB>(file, ident);
    case OF_TARGET_ARM:
    case OF_TARGET_SKUA: return std::make_unique<DESCRIBED_MACHINE_DB>(file, ident);
    case OF_TARGET_GULL: return std::make_unique<GULL_MACHINE_DB>(file, ident);
    case OF_TARGET_KNOT: return std::make_unique<KNOT_MACHINE_DB>(file, ident);
    case OF_TARGET_RILL: return std::make_unique<RILL_MACHINE_DB>(file, ident);
    default: return std::make_unique<OF_MACHINE_DB>(file, ident);
    }
}

OF_ENDIAN OF_MACHINE_DB::section_data_endian(const OF_SECTION*) const {
    // The order the file is read in: a file whose header names no known order is read as identified.
    const OF_ENDIAN endian = file_->endian();
    return endian == OF_ENDIAN_UNKNOWN ? file_->info().endian : endian;
}

void OF_MACHINE_DB::print_target_description(FILE* out) {
    const char* name = file_->name();
    if (!name || !*name) name = file_->info().handle ? pfname(file_->info().handle) : nullptr;
    if (!name || !*name) name = "(unknown file)";
    const OF_FORMAT format = file_->format();
    const OF_ENDIAN endian = file_->endian();
    std::fprintf(out, "FILE:\"%s\"\n", name);
    std::fprintf(out, "FORMAT:%s\n", format == OF_FORMAT_QXCOFF ? "COFF" : format == OF_FORMAT_ELF ? "ELF" : "");
    std::fprintf(out, "FORMAT_VER:%s\n", format_version_name(file_->format_version()));
    std::fprintf(out, "MACHINE_NAME:%s\n", file_->machine_name());
    std::fprintf(out, "ENDIAN:%s\n", endian == OF_ENDIAN_LITTLE ? "LITTLE" : endian == OF_ENDIAN_BIG ? "BIG" : "");
}

ELF_SECTION* OF_MACHINE_DB::elf_section_or_report(OF_SECTION* section, const char* where) {
    if (!section) return nullptr;
    ELF_SECTION* elf = as_elf_section(section);
    if (!elf) user_msg_apperror(DIAG::user_msg_context(), "%s: %s", where, "Not an ELF section");
    return elf;
}

bool OF_MACHINE_DB::is_qx_sh_flag_set(OF_SECTION* section, uint32_t flag) {
    const ELF_SECTION* elf = elf_section_or_report(section, "OF_MACHINE_DB::is_qx_sh_flag_set");
    return elf && (elf->ext_flags() & flag) != 0;
}

void OF_MACHINE_DB::set_qx_sh_flag(OF_SECTION* section, uint32_t flag, bool on) {
    ELF_SECTION* elf = elf_section_or_report(section, "OF_MACHINE_DB::set_qx_sh_flag");
    if (!elf || elf->require_at_most_state(OF_STATE_OPEN) != 0) return;
    if ((flag & (flag - 1)) != 0)
        file_->report_error(OF_ERR_ILLEGAL_OPERATION, "qx_flag() called with more than one flag specified");
    const uint32_t flags = elf->ext_flags();
    elf->set_ext_flags(on ? flags | flag : flags & ~flag);
}

uint32_t OF_MACHINE_DB::near_common_index() {
    file_->report_error(OF_ERR_INTERNAL, "machine doesn't support \"near\" common blocks");
    return 0;
}

// ---- Build attributes ----

bool is_abi_attribute_vendor(const char* vendor) {
    static const char* const vendors[] = {"aeabi", "kiteabi", "gullabi", "wrenabi", "rillabi", "skuaabi", "QX"};
    if (!vendor) return false;
    for (const char* v : vendors)
        if (std::strcmp(v, vendor) == 0) return true;
    return false;
}

OFBA_PARAM_KIND generic_attribute_parameter_kind(const char* vendor, uint32_t tag) {
    if (!is_abi_attribute_vendor(vendor)) return OFBA_KIND_UNKNOWN;
    return tag % 2 == 0 ? OFBA_KIND_NUMBER : OFBA_KIND_STRING;
}

void OF_MACHINE_DB::register_attribute_tags(const char* vendor, OFBA_VOCABULARY& vocabulary) {
    static const VALUE_NAME qx_tags[] = {
        {TAG::QX_RTS_VENDOR, "Tag_RTS_Vendor"},          {TAG::QX_PRODUCER_NAME, "Tag_Producer_Name"},
        {TAG::QX_EXCEPTIONS, "Tag_Exceptions"},          {TAG::QX_PRODUCER_MAJOR, "Tag_Producer_VMajor"},
        {TAG::QX_PRODUCER_MINOR, "Tag_Producer_VMinor"}, {TAG::QX_PRODUCER_PATCH, "Tag_Producer_VPatch"},
    };
    if (vendor && std::strcmp(vendor, "QX") == 0) vocabulary.add_all(qx_tags);
}

OFBA_PARAM_KIND OF_MACHINE_DB::attribute_parameter_kind(const char* vendor, uint32_t tag) const {
    return generic_attribute_parameter_kind(vendor, tag);
}

bool OF_MACHINE_DB::parse_attribute_parameter(OFBA_ATTR&, DATA_MAP&, int32_t&) { return false; }

const char* OF_MACHINE_DB::attribute_value_text(const OFBA_ATTR& attribute) {
    static const VALUE_NAME rts_vendors[] = {{0, "Unknown"}, {1, "QX"}, {2, "Dinkumware"}};
    static const VALUE_NAME exceptions[] = {{0, "C++ Exception Support Not Needed"}, {1, "C++ Exceptions Supported"}};
    const uint32_t value = attribute.numeric_value();
    switch (attribute.tag()) {
    case TAG::QX_RTS_VENDOR: return find_value_name(rts_vendors, value);
    case TAG::QX_EXCEPTIONS: return find_value_name(exceptions, value);
    case TAG::QX_PRODUCER_MAJOR: return value != 0 ? "Producer Major Version + 1" : "Unknown";
    case TAG::QX_PRODUCER_MINOR: return value != 0 ? "Producer Minor Version + 1" : "Unknown";
    case TAG::QX_PRODUCER_PATCH: return value != 0 ? "Producer Patch Version + 1" : "Unknown";
    default: return nullptr;
    }
}

uint32_t OF_MACHINE_DB::rts_vendor() {
    const OFBA_ATTR* vendor = file_->find_build_attribute("QX", TAG::QX_RTS_VENDOR);
    return vendor ? vendor->numeric_value() : 0;
}

bool OF_MACHINE_DB::add_coff_dump_rows(OF_DUMP_ROWS& rows) {
    const QXCOFF_FILE* coff = file_->format() == OF_FORMAT_QXCOFF ? as_qxcoff_file(file_) : nullptr;
    if (!coff) return false;
    const uint32_t flags = coff->header().f_flags;
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", (flags >> 4) & 15u);
    rows.push_back({"CPU Generation:", text});
    return true;
}

// ---- Relocation vocabularies ----

namespace {

// Columns: id, name, flags, reserved, check, width, bit offset, container, shift.
const OF_RELOC_TEMPLATE generic_templates[] = {
    {256, "OFR_NONE", 0x41004, -1, 0, 0, 0, 0, 0},
    {257, "OFR_ABS", 0x4, -1, 0, 0, 0, 0, 0},
    {258, "OFRE_ADD", 0x8, -1, 0, 0, 0, 0, 0},
    {259, "OFRE_SUB", 0x8, -1, 0, 0, 0, 0, 0},
    {260, "OFRE_NEG", 0xA, -1, 0, 0, 0, 0, 0},
    {261, "OFRE_MPY", 0x8, -1, 0, 0, 0, 0, 0},
    {262, "OFRE_DIV", 0x8, -1, 0, 0, 0, 0, 0},
    {263, "OFRE_MOD", 0x8, -1, 0, 0, 0, 0, 0},
    {264, "OFRE_SR", 0x8, -1, 0, 0, 0, 0, 0},
    {265, "OFRE_ASR", 0x8, -1, 0, 0, 0, 0, 0},
    {266, "OFRE_SL", 0x8, -1, 0, 0, 0, 0, 0},
    {267, "OFRE_AND", 0x8, -1, 0, 0, 0, 0, 0},
    {268, "OFRE_OR", 0x8, -1, 0, 0, 0, 0, 0},
    {269, "OFRE_XOR", 0x8, -1, 0, 0, 0, 0, 0},
    {270, "OFRE_NOTB", 0xA, -1, 0, 0, 0, 0, 0},
    {271, "OFRE_ULDFLD", 0x120, -1, 2, 0, 0, 0, 0},
    {272, "OFRE_SLDFLD", 0x120, -1, 1, 0, 0, 0, 0},
    {273, "OFRE_USTFLD", 0x140, -1, 2, 0, 0, 0, 0},
    {274, "OFRE_SSTFLD", 0x140, -1, 1, 0, 0, 0, 0},
    {275, "OFRE_PUSH", 0x14, -1, 0, 0, 0, 0, 0},
    {276, "OFRE_PUSHSK", 0x210, -1, 0, 0, 0, 0, 0},
    {277, "OFRE_PUSHUK", 0x210, -1, 0, 0, 0, 0, 0},
    {278, "OFRE_PUSHPC", 0x410, -1, 0, 0, 0, 0, 0},
    {279, "OFRE_DUP", 0x10, -1, 0, 0, 0, 0, 0},
    {280, "OFRE_XSTFLD", 0x140, -1, 3, 0, 0, 0, 0},
    {281, "OFRM_RANGE", 0x280, -1, 0, 0, 0, 0, 0},
    {282, "OFRM_OBJ", 0x84, -1, 0, 0, 0, 0, 0},
    {283, "OFRM_DWARF_LENGTH", 0x280, -1, 0, 0, 0, 0, 0},
    {284, "OFR_RELBYTE", 0x4, -1, 0, 8, 0, 8, 0},
    {285, "OFR_RELWORD", 0x4, -1, 3, 16, 0, 16, 0},
    {286, "OFR_RELLONG", 0x4, -1, 0, 32, 0, 32, 0},
    {287, "OFR_PCRBYTE", 0x5, -1, 1, 8, 0, 8, 0},
    {288, "OFR_PCRWORD", 0x5, -1, 1, 16, 0, 16, 0},
    {289, "OFR_PCRLONG", 0x5, -1, 0, 32, 0, 32, 0},
    {290, "OFR_ABS64", 0x4, -1, 0, 64, 0, 64, 0},
};

const OF_RELOC_NAME generic_qxcoff_names[] = {
    {"R_ABS", 0, 257},         {"R_NONE", 150, 256},          {"RE_ADD", 0x4000, 258},
    {"RE_SUB", 0x4001, 259},   {"RE_NEG", 0x4002, 260},       {"RE_MPY", 0x4003, 261},
    {"RE_DIV", 0x4004, 262},   {"RE_MOD", 0x4005, 263},       {"RE_SR", 0x4006, 264},
    {"RE_ASR", 0x4007, 265},   {"RE_SL", 0x4008, 266},        {"RE_AND", 0x4009, 267},
    {"RE_OR", 0x400A, 268},    {"RE_XOR", 0x400B, 269},       {"RE_NOTB", 0x400C, 270},
    {"RE_ULDFLD", 0x400D, 271}, {"RE_SLDFLD", 0x400E, 272},   {"RE_USTFLD", 0x400F, 273},
    {"RE_SSTFLD", 0x4010, 274}, {"RE_PUSH", 0x4011, 275},     {"RE_PUSHSK", 0x4012, 276},
    {"RE_PUSHUK", 0x4013, 277}, {"RE_PUSHPC", 0x4014, 278},   {"RE_DUP", 0x4015, 279},
    {"RE_XSTFLD", 0x4016, 280}, {"RM_RANGE", 0x5000, 281},    {"RM_OBJ", 0x5001, 282},
    {"RM_DWARF_LENGTH", 0x5002, 283}, {"R_RELBYTE", 15, 284}, {"R_RELWORD", 16, 285},
    {"R_RELLONG", 17, 286},    {"R_PCRBYTE", 18, 287},        {"R_PCRWORD", 19, 288},
    {"R_PCRLONG", 20, 289},    {"R_ABS64", 21, 290},
};

}  // namespace

std::span<const OF_RELOC_TEMPLATE> generic_reloc_templates() { return generic_templates; }
std::span<const OF_RELOC_NAME> generic_qxcoff_reloc_names() { return generic_qxcoff_names; }

const OF_RELOC_ENTRY* OF_RELOC_VOCABULARY::find_type(uint32_t type) const {
    const auto it = by_type_.find(type);
    return it == by_type_.end() ? nullptr : &it->second;
}

const OF_RELOC_ENTRY* OF_RELOC_VOCABULARY::find_name(const char* name) const {
    if (!name) return nullptr;
    const auto it = by_name_.find(std::string_view(name));
    return it == by_name_.end() ? nullptr : &it->second;
}

void OF_RELOC_VOCABULARY::register_names(std::span<const OF_RELOC_NAME> table, const OF_RELOC_TEMPLATE_MAP& templates,
                                         OBJECT_FILE* file) {
    for (const OF_RELOC_NAME& row : table) {
        if (row.type == OF_RELOC_END) break;
        const OF_RELOC_TEMPLATE* templ = nullptr;
        if (row.template_id >= 256) {
            const auto it = templates.find(row.template_id);
            if (it != templates.end()) {
                templ = it->second;
            } else if (file) {
                const char* machine = target_machine_name(target_);
                file->report_error(OF_ERR_WARNING,
                                   "cannot find relocation template %ld for %s relocation type %s (%ld)",
                                   static_cast<long>(row.template_id), machine ? machine : "unknown machine", row.name,
                                   static_cast<long>(row.type));
            }
        }
        const OF_RELOC_ENTRY entry{row.name, row.type, templ};
        by_type_.insert_or_assign(row.type, entry);
        by_name_.insert_or_assign(row.name, entry);
    }
}

void OF_MACHINE_DB::register_relocations(OF_RELOC_TEMPLATE_MAP& templates, OF_RELOC_VOCABULARY& vocabulary) {
    if (file_->format() == OF_FORMAT_QXCOFF) vocabulary.register_names(generic_qxcoff_names, templates, file_);
}

const OF_RELOC_VOCABULARY& relocation_vocabulary(OBJECT_FILE* file) {
    // The list only grows; its records are never freed, so entries may be kept by any file.
    static std::vector<std::unique_ptr<OF_RELOC_VOCABULARY>> records;
    const OF_FORMAT format = file->format();
    const OF_TARGET target = file->machine_db()->target();
    for (const auto& record : records)
        if (record->format() == format && record->target() == target) return *record;
    auto record = std::make_unique<OF_RELOC_VOCABULARY>(format, target);
    OF_RELOC_TEMPLATE_MAP templates;
    for (const OF_RELOC_TEMPLATE& t : generic_templates) templates[t.id] = &t;
    file->machine_db()->register_relocations(templates, *record);
    records.push_back(std::move(record));
    return *records.back();
}

}  // namespace OFE
