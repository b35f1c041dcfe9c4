// KITE_MACHINE_DB: the database of the Kite signal processors (target 3): 16-bit address units, the CPU
// flags of QXCOFF files, the "kiteabi" and Kite "QX" build attributes, ELF names and relocations.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <span>

#include "ofe/machine/of_machine_db.h"

namespace OFE {

// The Kite meaning of the QXCOFF CPU flags, (f_flags >> 4) & 15.
struct KITE_CPU_FLAGS {
    const char* generation;       // "KiteGen1", "KiteGen2", "KiteFPU32", "KiteFPU64"
    const char* memory_model;     // "large", "small"
    const char* addressing_mode;  // "Amode", "No Amode"
};
// Values 3 and 7 give "(unknown)" in all three.
const KITE_CPU_FLAGS& kite_cpu_flags(uint32_t f_flags);

class KITE_MACHINE_DB : public OF_MACHINE_DB {
public:
    using OF_MACHINE_DB::OF_MACHINE_DB;
    ~KITE_MACHINE_DB() override;

    // The "kiteabi" and Kite "QX" value texts. A zero Wisp, Tally, Vane, IDIV, memory model or addressing
    // mode says nothing by itself: the text then comes from the file's other attributes or its CPU flags.
    // Any other attribute gets the base texts.
    const char* attribute_value_text(const OFBA_ATTR& attribute) override;
    // "kiteabi": the Kite tags; "QX": the base tags, then the Kite ones from 256 on.
    void register_attribute_tags(const char* vendor, OFBA_VOCABULARY& vocabulary) override;
    // "kiteabi": 3 for even tags, 2 for odd ones; other vendors by the generic rule.
    OFBA_PARAM_KIND attribute_parameter_kind(const char* vendor, uint32_t tag) const override;

    // A QXCOFF file gets "CPU Generation:" with the generation its CPU flags name.
    bool add_coff_dump_rows(OF_DUMP_ROWS& rows) override;
    // 0x70000001 "SHT_KITE_UNWIND"; the flag 0x10000000 "SHF_KITE_BLOCKED".
    const char* section_type_name(uint32_t sh_type) const override;
    const char* section_flag_name(uint32_t flag) const override;
    // ".kiteabi.exidx", ".kiteabi.extab" and "__QX_ICODE".
    void register_special_sections(std::vector<OF_SPECIAL_SECTION>& sections) const override;
    // Whether an ELF section has SHF_KITE_BLOCKED, and setting it. A section of another format is reported
    // (code 3 and an internal error) and gives false.
    bool block(OF_SECTION* section) override;
    void set_block(OF_SECTION* section) override;

    // Adds the Kite templates (replacing generic ones of the same id), then registers the generic QXCOFF
    // names and the Kite QXCOFF names for a QXCOFF file, or the Kite ELF names for an ELF file.
    void register_relocations(OF_RELOC_TEMPLATE_MAP& templates, OF_RELOC_VOCABULARY& vocabulary) override;
    // The number of symbols named "$c" defined in a section, counted on the first request and then kept.
    uint32_t count_code_markers() override;
    // The addresses of the code markers of each section, as the count found them.
    const std::map<const OF_SECTION*, std::set<uint32_t>>& code_markers() const { return markers_; }

    static std::span<const OF_RELOC_TEMPLATE> reloc_templates();
    static std::span<const OF_RELOC_NAME> qxcoff_reloc_names();
    static std::span<const OF_RELOC_NAME> elf_reloc_names();

private:
    struct UNIT;
    const char* unit_text(const UNIT& unit, uint32_t value);
    const char* idiv_text(uint32_t value);
    const char* mode_text(uint32_t tag, uint32_t value);
    // The numeric value of a vendor's file-scope attribute; 0 when there is none.
    uint32_t attribute_value(const char* vendor, uint32_t tag);

    bool markers_counted_ = false;
    uint32_t marker_count_ = 0;
    std::map<const OF_SECTION*, std::set<uint32_t>> markers_;
};

}  // namespace OFE
