// The Kite target database: CPU flags, build-attribute vocabularies and texts, ELF names, relocations and
// code markers.
#include "ofe/machine/kite_machine_db.h"

#include <cstring>
#include <iterator>

#include "DIAG/user_msg_api.h"
#include "ofe/coff/qxcoff_file.h"
#include "ofe/elf/elf_section.h"
#include "ofe/object_file.h"
#include "ofe/of_build_attr.h"
#include "ofe/of_symbol.h"
#include "ofe/of_value_names.h"

namespace OFE {

namespace {

constexpr uint32_t SHT_KITE_UNWIND = 0x70000001;
constexpr uint32_t SHF_KITE_BLOCKED = 0x10000000;

// F_VERS1 the second generation (with F_VERS4 the 64-bit FPU), F_VERS2 the addressing mode, F_VERS3 the
// small memory model, F_VERS4 a floating-point unit.
const KITE_CPU_FLAGS cpu_flags[16] = {
    {"KiteGen1", "large", "No Amode"},        {"KiteGen2", "large", "No Amode"},
    {"KiteGen2", "large", "Amode"},           {"(unknown)", "(unknown)", "(unknown)"},
    {"KiteGen1", "small", "No Amode"},        {"KiteGen2", "small", "No Amode"},
    {"KiteGen2", "small", "Amode"},           {"(unknown)", "(unknown)", "(unknown)"},
    {"KiteFPU32", "large", "No Amode"},       {"KiteFPU64", "large", "No Amode"},
    {"KiteFPU32", "large", "Amode"},          {"KiteFPU64", "large", "Amode"},
    {"KiteFPU32", "small", "No Amode"},       {"KiteFPU64", "small", "No Amode"},
    {"KiteFPU32", "small", "Amode"},          {"KiteFPU64", "small", "Amode"},
};

const VALUE_NAME kiteabi_tags[] = {
    {TAG::KITEABI_KITE, "Tag_Kite"},           {TAG::KITEABI_FPU, "Tag_FPU"},
    {TAG::KITEABI_WISP, "Tag_WISP"},           {TAG::KITEABI_TALLY, "Tag_TALLY"},
    {TAG::KITEABI_VANE, "Tag_VANE"},           {TAG::KITEABI_FLOAT_ARGS, "Tag_float_args"},
    {TAG::KITEABI_DOUBLE_ARGS, "Tag_double_args"}, {TAG::KITEABI_IDIV, "Tag_IDIV"},
};
const VALUE_NAME kite_qx_tags[] = {
    {TAG::QX_KITE_ISA, "Tag_ISA"},     {TAG::QX_KITE_MEMORY_MODEL, "Tag_Memory_Model"},
    {TAG::QX_KITE_AMODE, "Tag_Amode"}, {TAG::QX_KITE_VANE, "Tag_VANE"},
    {TAG::QX_KITE_TALLY, "Tag_TALLY"}, {TAG::QX_KITE_IDIV, "Tag_IDIV"},
    {TAG::QX_KITE_WISP, "Tag_WISP"},   {TAG::QX_KITE_WISP_MIX, "Tag_WISP_Mix"},
};

const VALUE_NAME kite_code[] = {{0, "Kite code not present"}, {1, "Kite code present"}};
const VALUE_NAME fpu_code[] = {{0, "FPU code not present"}, {1, "FPU32 code present"}, {2, "FPU64 code present"}};
const VALUE_NAME wisp_units[] = {{1, "Wisp 0"}, {2, "Wisp 1"}, {3, "Wisp 2"}};
const VALUE_NAME tally_units[] = {{1, "Tally 0"}, {2, "Tally 1"}};
const VALUE_NAME vane_units[] = {{1, "Vane 0"}, {2, "Vane 2"}, {3, "Vane CRC"}, {4, "Vane 2.1"}};
const VALUE_NAME idiv_units[] = {{1, "IDIV 0"}};
const VALUE_NAME isas[] = {{1, "KiteGen1"}, {2, "KiteGen2"}, {3, "KiteFPU32"}, {4, "KiteFPU64"}};
const VALUE_NAME memory_models[] = {{1, "small"}, {2, "large"}};
const VALUE_NAME addressing_modes[] = {{1, "Amode"}, {2, "No Amode"}};
const VALUE_NAME wisp_mixes[] = {{1, "only Wisp"}, {2, "only Kite"}, {3, "neither"}};

bool is_vendor(const char* vendor, const char* name) { return vendor && std::strcmp(vendor, name) == 0; }

// Columns: id, name, flags, reserved, check, width, bit offset, container, shift.
const OF_RELOC_TEMPLATE kite_templates[] = {
    {1280, "OFR_KITE_PARTLS7", 0x4804, -1, 1, 7, 0, 16, 0},
    {1281, "OFR_KITE_PARTMS9", 0x804, -1, 0, 16, 0, 16, 0},
    {1282, "OFR_PARTLS6", 0x4804, -1, 1, 6, 0, 16, 0},
    {1283, "OFR_PARTLS6_BLKD", 0x4804, -1, 1, 6, 0, 16, 0},
    {1284, "OFR_PARTMID10", 0x80000804, -1, 0, 10, 0, 16, 0},
    {1285, "OFR_REL22", 0x4, -1, 0, 32, 0, 32, 0},
    {1286, "OFR_REL22_BR", 0x4, -1, 0, 32, 0, 32, 0},
    {1287, "OFR_PARTMS6", 0x80000804, -1, 0, 6, 0, 16, 16},
    {1288, "OFR_PARTMS16", 0x80000804, -1, 0, 16, 0, 16, 6},
    {1289, "OFR_ANKPCR16", 0x805, -1, 1, 16, 0, 16, 0},
    {1290, "OFR_ANKPCR8", 0x805, -1, 1, 8, 0, 8, 0},
    {1291, "OFR_ANKPTR", 0x4, -1, 0, 32, 0, 32, 0},
    {1292, "OFR_ANKHI16", 0x80004804, -1, 3, 16, 0, 16, 16},
    {1293, "OFR_ANKLOPTR", 0x4, -1, 0, 16, 0, 16, 0},
    {1294, "OFR_ANKNWORD", 0x4, -1, 0, 16, 0, 16, 0},
    {1295, "OFR_ANKNBYTE", 0x4, -1, 0, 8, 0, 8, 0},
    {1296, "OFR_ANKHIBYTE", 0x4, -1, 0, 8, 8, 16, 0},
    {1297, "OFR_REL13_SE16", 0x4, -1, 0, 16, 0, 16, 0},
    {285, "OFR_RELWORD", 0x4004, -1, 3, 16, 0, 16, 0},
    {1298, "OFR_ABS16_OC", 0x804, -1, 2, 16, 0, 16, 0},
    {1299, "OFR_KITE_PREL31", 0x4005, -1, 1, 31, 0, 32, 0},
};

const OF_RELOC_NAME kite_qxcoff_names[] = {
    {"R_PARTLS7", 40, 1280},    {"R_PARTMS9", 41, 1281},    {"R_PARTLS6", 93, 1282},
    {"R_PARTMID10", 94, 1284},  {"R_REL22", 95, 1285},      {"R_PARTMS6", 96, 1287},
    {"R_PARTMS16", 97, 1288},   {"R_ANKPCR16", 98, 1289},   {"R_ANKPCR8", 99, 1290},
    {"R_ANKPTR", 100, 1291},    {"R_ANKHI16", 101, 1292},   {"R_ANKLOPTR", 102, 1293},
    {"R_ANKNWORD", 103, 1294},  {"R_ANKNBYTE", 104, 1295},  {"R_ANKHIBYTE", 105, 1296},
    {"R_REL13_SE16", 106, 1297}, {"R_ABS16_OC", 107, 1298},
};

const OF_RELOC_NAME kite_elf_names[] = {
    {"R_KITE_NONE", 0, 256},         {"R_KITE_ABS8", 1, 284},       {"R_KITE_ABS16", 2, 285},
    {"R_KITE_ABS32", 3, 286},        {"R_KITE_ABSLO6", 4, 1282},    {"R_KITE_ABS22", 5, 1285},
    {"R_KITE_HI6", 6, 1287},         {"R_KITE_DP_HI10", 7, 1284},   {"R_KITE_DP_HI16", 8, 1288},
    {"R_KITE_PCREL16", 9, 1289},     {"R_KITE_PCREL8", 10, 1290},   {"R_KITE_HI16", 11, 1292},
    {"R_KITE_NEGWORD", 12, 1294},    {"R_KITE_NEGBYTE", 13, 1295},  {"R_KITE_ABS8_HI", 14, 1296},
    {"R_KITE_ABS13_SE16", 15, 1297}, {"R_WISP_ABS16", 16, 1298},    {"R_KITE_ABSLO7", 17, 1280},
    {"R_KITE_PREL31", 18, 1299},     {"R_KITE_ABSLO6_BLKD", 19, 1283}, {"R_KITE_ABS22_BR", 20, 1286},
};


}  // namespace

// A co-processor or accelerator whose zero value is looked up elsewhere: its tag in each vendor's vocabulary.
struct KITE_MACHINE_DB::UNIT {
    uint32_t kiteabi_tag;
    uint32_t qx_tag;
    std::span<const VALUE_NAME> texts;
};

const KITE_CPU_FLAGS& kite_cpu_flags(uint32_t f_flags) { return cpu_flags[(f_flags >> 4) & 15u]; }

KITE_MACHINE_DB::~KITE_MACHINE_DB() = default;

std::span<const OF_RELOC_TEMPLATE> KITE_MACHINE_DB::reloc_templates() { return kite_templates; }
std::span<const OF_RELOC_NAME> KITE_MACHINE_DB::qxcoff_reloc_names() { return kite_qxcoff_names; }
std::span<const OF_RELOC_NAME> KITE_MACHINE_DB::elf_reloc_names() { return kite_elf_names; }

// ---- Build attributes ----

void KITE_MACHINE_DB::register_attribute_tags(const char* vendor, OFBA_VOCABULARY& vocabulary) {
    if (is_vendor(vendor, "kiteabi")) {
        vocabulary.add_all(kiteabi_tags);
    } else if (is_vendor(vendor, "QX")) {
        OF_MACHINE_DB::register_attribute_tags(vendor, vocabulary);
        vocabulary.add_all(kite_qx_tags);
    }
}

OFBA_PARAM_KIND KITE_MACHINE_DB::attribute_parameter_kind(const char* vendor, uint32_t tag) const {
    if (is_vendor(vendor, "kiteabi")) return tag % 2 == 0 ? OFBA_KIND_NUMBER : OFBA_KIND_STRING;
    return generic_attribute_parameter_kind(vendor, tag);
}

uint32_t KITE_MACHINE_DB::attribute_value(const char* vendor, uint32_t tag) {
    const OFBA_ATTR* a = file()->find_build_attribute(vendor, tag);
    return a ? a->numeric_value() : 0;
}

const char* KITE_MACHINE_DB::unit_text(const UNIT& unit, uint32_t value) {
    if (value != 0) return value_name_or(unit.texts, value, "none");
    OBJECT_FILE* f = file();
    if (!f->has_build_attributes()) return "none";
    if (f->format() == OF_FORMAT_ELF)
        return value_name_or(unit.texts, attribute_value("kiteabi", unit.kiteabi_tag), "none");
    if (unit.qx_tag == TAG::QX_KITE_WISP) {
        const uint32_t mix = attribute_value("QX", TAG::QX_KITE_WISP_MIX);
        if (mix == 2 || mix == 3) return "none";  // only Kite, or neither: no Wisp
    }
    return value_name_or(unit.texts, attribute_value("QX", unit.qx_tag), "none");
}

const char* KITE_MACHINE_DB::idiv_text(uint32_t value) {
    if (value != 0) return value_name_or(idiv_units, value, "none");
    OBJECT_FILE* f = file();
    if (!f->has_build_attributes() || f->format() != OF_FORMAT_ELF) return "none";
    return value_name_or(idiv_units, attribute_value("kiteabi", TAG::KITEABI_IDIV), "none");
}

const char* KITE_MACHINE_DB::mode_text(uint32_t tag, uint32_t value) {
    const bool memory = tag == TAG::QX_KITE_MEMORY_MODEL;
    const std::span<const VALUE_NAME> texts = memory ? std::span<const VALUE_NAME>(memory_models)
                                                     : std::span<const VALUE_NAME>(addressing_modes);
    if (value != 0) return value_name_or(texts, value, "(unknown)");
    OBJECT_FILE* f = file();
    if (f->format() == OF_FORMAT_ELF) return memory ? "large" : "No Amode";
    if (f->has_build_attributes())
        if (const uint32_t recorded = attribute_value("QX", tag)) return value_name_or(texts, recorded, "(unknown)");
    const QXCOFF_FILE* coff = f->format() == OF_FORMAT_QXCOFF ? as_qxcoff_file(f) : nullptr;
    if (!coff) return nullptr;
    const KITE_CPU_FLAGS& cpu = kite_cpu_flags(coff->header().f_flags);
    return memory ? cpu.memory_model : cpu.addressing_mode;
}

const char* KITE_MACHINE_DB::attribute_value_text(const OFBA_ATTR& attribute) {
    static const UNIT wisp = {TAG::KITEABI_WISP, TAG::QX_KITE_WISP, wisp_units};
    static const UNIT tally = {TAG::KITEABI_TALLY, TAG::QX_KITE_TALLY, tally_units};
    static const UNIT vane = {TAG::KITEABI_VANE, TAG::QX_KITE_VANE, vane_units};
    const uint32_t value = attribute.numeric_value();
    if (is_vendor(attribute.vendor_name(), "kiteabi")) {
        switch (attribute.tag()) {
        case TAG::KITEABI_KITE: return value_name_or(kite_code, value, "(unknown)");
        case TAG::KITEABI_FPU: return value_name_or(fpu_code, value, "(unknown)");
        case TAG::KITEABI_WISP: return unit_text(wisp, value);
        case TAG::KITEABI_TALLY: return unit_text(tally, value);
        case TAG::KITEABI_VANE: return unit_text(vane, value);
        case TAG::KITEABI_FLOAT_ARGS:
        case TAG::KITEABI_DOUBLE_ARGS: return nullptr;
        case TAG::KITEABI_IDIV: return idiv_text(value);
        default: break;
        }
    } else if (is_vendor(attribute.vendor_name(), "QX")) {
        switch (attribute.tag()) {
        case TAG::QX_KITE_ISA: return value_name_or(isas, value, "(unknown)");
        case TAG::QX_KITE_MEMORY_MODEL:
        case TAG::QX_KITE_AMODE: return mode_text(attribute.tag(), value);
        case TAG::QX_KITE_VANE: return unit_text(vane, value);
        case TAG::QX_KITE_TALLY: return unit_text(tally, value);
        case TAG::QX_KITE_WISP: return unit_text(wisp, value);
        case TAG::QX_KITE_IDIV: return nullptr;
        case TAG::QX_KITE_WISP_MIX: return value_name_or(wisp_mixes, value, "both");
        default: break;
        }
    }
    return OF_MACHINE_DB::attribute_value_text(attribute);
}

// ---- Dumps and names ----

bool KITE_MACHINE_DB::add_coff_dump_rows(OF_DUMP_ROWS& rows) {
    const QXCOFF_FILE* coff = file()->format() == OF_FORMAT_QXCOFF ? as_qxcoff_file(file()) : nullptr;
    if (!coff) return false;
    rows.push_back({"CPU Generation:", kite_cpu_flags(coff->header().f_flags).generation});
    return true;
}

const char* KITE_MACHINE_DB::section_type_name(uint32_t sh_type) const {
    return sh_type == SHT_KITE_UNWIND ? "SHT_KITE_UNWIND" : nullptr;
}

const char* KITE_MACHINE_DB::section_flag_name(uint32_t flag) const {
    return flag == SHF_KITE_BLOCKED ? "SHF_KITE_BLOCKED" : nullptr;
}

void KITE_MACHINE_DB::register_special_sections(std::vector<OF_SPECIAL_SECTION>& sections) const {
    sections.push_back({".kiteabi.exidx", SHT_KITE_UNWIND, 0x82});
    sections.push_back({".kiteabi.extab", 1, 0x2});
    sections.push_back({"__QX_ICODE", 0x7F000000, 0});
}

bool KITE_MACHINE_DB::block(OF_SECTION* section) {
    const ELF_SECTION* s = elf_section_or_report(section, "KITE_MACHINE_DB::block");
    return s && (s->header().sh_flags & SHF_KITE_BLOCKED) != 0;
}

void KITE_MACHINE_DB::set_block(OF_SECTION* section) {
    if (ELF_SECTION* s = elf_section_or_report(section, "KITE_MACHINE_DB::set_block"))
        s->header().sh_flags |= SHF_KITE_BLOCKED;
}

// ---- Relocations and code markers ----

void KITE_MACHINE_DB::register_relocations(OF_RELOC_TEMPLATE_MAP& templates, OF_RELOC_VOCABULARY& vocabulary) {
    for (const OF_RELOC_TEMPLATE& t : kite_templates) templates[t.id] = &t;
    if (file()->format() == OF_FORMAT_QXCOFF) {
        vocabulary.register_names(generic_qxcoff_reloc_names(), templates, file());
        vocabulary.register_names(kite_qxcoff_names, templates, file());
    } else if (file()->format() == OF_FORMAT_ELF) {
        vocabulary.register_names(kite_elf_names, templates, file());
    }
}

uint32_t KITE_MACHINE_DB::count_code_markers() {
    if (markers_counted_) return marker_count_;
    markers_counted_ = true;
    OF_SYMBOL_TABLE* symbols = file()->symbol_table();
    if (!symbols) return 0;
    for (uint32_t i = 0; i < symbols->count();) {
        const OF_SYMBOL* s = symbols->symbol_at(i);
        if (s && s->kind() == OF_SYM_DEFINED && s->name() && std::strcmp(s->name(), "$c") == 0) {
            ++marker_count_;
            markers_[s->section()].insert(s->value());
        }
        const uint32_t next = symbols->next_index(i);
        if (next <= i) break;
        i = next;
    }
    return marker_count_;
}

}  // namespace OFE
