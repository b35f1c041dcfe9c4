// The ELF value names: machine table coverage, scoped and fallback names, flags texts, dynamic tag rules.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_names.h"

using namespace OFE;

namespace {

bool machine_without_entry(uint32_t e_machine) {
    return e_machine == 6 || (e_machine >= 11 && e_machine <= 14) || e_machine == 16 ||
           (e_machine >= 23 && e_machine <= 35) || (e_machine >= 111 && e_machine <= 139);
}

}  // namespace

TEST(ElfMachineNames, EveryValueWithAnEntryHasADistinctNameAndADescription) {
    std::set<std::string> names;
    for (uint32_t e_machine = 0; e_machine < 160; ++e_machine) {
        const std::string name = elf_machine_name(e_machine), description = elf_machine_description(e_machine);
        const bool listed = !machine_without_entry(e_machine);
        EXPECT_EQ(name != "EM_UNKNOWN", listed) << e_machine;
        EXPECT_EQ(description != "unknown machine", listed) << e_machine;
        if (listed) {
            EXPECT_TRUE(names.insert(name).second) << name << " twice";
        }
    }
    for (uint32_t e_machine : {160u, 200u, 0x8000u, 0xffffu}) EXPECT_STREQ(elf_machine_name(e_machine), "EM_UNKNOWN");
}

TEST(ElfMachineNames, SpotChecksAcrossTheTable) {
    // 3, 20 and 40 are the e_machine of objects from gcc -m32 and clang for powerpc-linux-gnu and arm-none-eabi.
    EXPECT_STREQ(elf_machine_description(0), "no machine");
    EXPECT_STREQ(elf_machine_name(3), "EM_386");
    EXPECT_STREQ(elf_machine_description(3), "Intel 80386");
    EXPECT_STREQ(elf_machine_name(20), "EM_PPC");
    EXPECT_STREQ(elf_machine_description(40), "Advanced RISC Machines ARM");
    EXPECT_STREQ(elf_machine_name(62), "EM_X86_64");
    EXPECT_STREQ(elf_machine_description(105), "Norvane embedded microcontroller wren");
    EXPECT_STREQ(elf_machine_name(110), "EM_UNICORE");
    EXPECT_STREQ(elf_machine_name(ELF::EM_QX_KITE), "EM_QX_KITE");
    EXPECT_STREQ(elf_machine_description(145), "Norvane Skua family");
    EXPECT_STREQ(elf_machine_name(146), "EM_QX_UNUSED07");
    EXPECT_STREQ(elf_machine_name(159), "EM_QX_UNUSED20");
    EXPECT_STREQ(elf_machine_description(159), "Reserved for Norvane; unused");
}

TEST(ElfHeaderNames, FallbacksForUnlistedValues) {
    EXPECT_STREQ(elf_class_description(2), "64-bit objects");
    EXPECT_STREQ(elf_class_name(3), "ELFCLASSUNKNOWN");
    EXPECT_STREQ(elf_class_description(3), "unknown class");
    EXPECT_STREQ(elf_data_description(2), "big endian");
    EXPECT_STREQ(elf_data_name(3), "ELFDATAUNKNOWN");
    EXPECT_STREQ(elf_type_description(ELF::ET_DYN), "shared object file");
    EXPECT_STREQ(elf_type_name(5), "unknown file type");
    EXPECT_STREQ(elf_osabi_description(15), "Amiga Research OS");
    EXPECT_STREQ(elf_osabi_name(4), "ELFOSABI_0x04");
    EXPECT_STREQ(elf_osabi_description(5), "ELFOSABI_0x05");
    EXPECT_STREQ(elf_osabi_name(255), "ELFOSABI_0xff");
}

TEST(ElfSectionNames, ScopedTypesAndFallbacks) {
    EXPECT_STREQ(elf_section_type_name(18, {}), "SHT_SYMTAB_SHNDX");
    EXPECT_STREQ(elf_section_type_name(12, {}), "SHT_0x0000000c");
    EXPECT_STREQ(elf_section_type_name(0x6fffffff, {}), "SHT_0x6fffffff");
    EXPECT_STREQ(elf_section_type_name(0x6fffffff, {.versions = true}), "SHT_GNU_versym");
    EXPECT_STREQ(elf_section_type_name(0x70000003, {.versions = true}), "SHT_0x70000003");
    EXPECT_STREQ(elf_section_type_name(0x70000003, {.build_attributes = true}), "SHT_ATTRIBUTES");
    EXPECT_STREQ(elf_section_type_name(0x7f000007, {.qx_flags_type = true}), "SHT_0x7f000007");
    EXPECT_STREQ(elf_section_type_name(0x7f000007, {.qx_page_type = true}), "SHT_QX_SH_PAGE");
    // Two fallbacks formatted for one line must not overwrite each other.
    const char* first = elf_section_type_name(0x100, {});
    const char* second = elf_section_type_name(0x200, {});
    EXPECT_STREQ(first, "SHT_0x00000100");
    EXPECT_STREQ(second, "SHT_0x00000200");

    EXPECT_STREQ(elf_section_flag_name(ELF::SHF_TLS), "SHF_TLS");
    EXPECT_STREQ(elf_section_flag_name(0x800), "SHF_0x00000800");
    EXPECT_STREQ(elf_ext_flag_name(0), "QX_SHF_NONE");
    EXPECT_STREQ(elf_ext_flag_name(0x40), "QX_SHF_UPDATE");
    EXPECT_STREQ(elf_ext_flag_name(0x80), "QX_SHF_0x00000080");
    EXPECT_STREQ(elf_special_index_name(ELF::SHN_COMMON), "SHN_COMMON");
    EXPECT_EQ(elf_special_index_name(ELF::SHN_XINDEX), nullptr);
}

TEST(ElfSymbolNames, FieldsDecodedFromTheirBytes) {
    EXPECT_STREQ(elf_symbol_binding_name(0x12), "STB_GLOBAL");
    EXPECT_STREQ(elf_symbol_type_name(0x12), "STT_FUNC");
    EXPECT_STREQ(elf_symbol_binding_name(0x2f), "STB_WEAK");
    EXPECT_STREQ(elf_symbol_type_name(0x2f), "STT_UNKNOWN");
    EXPECT_STREQ(elf_symbol_binding_name(0x32), "STB_UNKNOWN");
    EXPECT_STREQ(elf_symbol_visibility_name(0xfe), "STV_HIDDEN");

    EXPECT_STREQ(elf_version_index_text(0x8003), "3 (deprecated)");
    EXPECT_STREQ(elf_version_index_text(0x8001), "VER_NDX_GLOBAL");
    EXPECT_STREQ(elf_version_index_text(5), "5");
    EXPECT_STREQ(elf_version_index_text(0xff01), "VER_NDX_ELIMINATE");
    EXPECT_STREQ(elf_version_index_text(0xff05), "VER_NDX_0xff05");
}

TEST(ElfSegmentNames, TypesFlagsAndFlagsText) {
    EXPECT_STREQ(elf_segment_type_name(ELF::PT_DYNAMIC), "PT_DYNAMIC");
    EXPECT_STREQ(elf_segment_type_name(0x70000000), "PT_UNKNOWN (0x70000000)");
    EXPECT_STREQ(elf_segment_flag_name(ELF::PF_R), "PF_R");
    EXPECT_STREQ(elf_segment_flag_name(8), "PF_0x8");
    EXPECT_STREQ(elf_segment_flags_text(5), "r-x");
    EXPECT_STREQ(elf_segment_flags_text(6), "rw-");
    EXPECT_STREQ(elf_segment_flags_text(0xfffffff8), "---");
}

TEST(ElfDynamicTags, TablesAndRulesForUnlistedTags) {
    ASSERT_EQ(elf_generic_dt_infos().size(), 34u);
    std::set<uint32_t> tags;
    for (const DT_INFO& info : elf_generic_dt_infos()) tags.insert(info.tag);
    EXPECT_EQ(tags.size(), 33u);  // only tag 32 is shared
    EXPECT_STREQ(find_dt_info(elf_generic_dt_infos(), 32)->name, "DT_PREINIT_ARRAY");
    EXPECT_EQ(find_dt_info(elf_generic_dt_infos(), ELF::DT_STRSZ)->d_un_use, DT_UN_VAL);
    EXPECT_EQ(find_dt_info(elf_generic_dt_infos(), ELF::DT_RELA)->exec_requirement, DT_REQ_MANDATORY);
    EXPECT_EQ(find_dt_info(elf_generic_dt_infos(), ELF::DT_RELA)->so_requirement, DT_REQ_OPTIONAL);
    EXPECT_EQ(find_dt_info(elf_generic_dt_infos(), 31), nullptr);

    EXPECT_STREQ(elf_dynamic_tag_name(31, true), "DT_0x1f");
    EXPECT_STREQ(elf_dynamic_tag_name(ELF::DT_VERNEED, false), "DT_0x6ffffffe");
    EXPECT_STREQ(elf_dynamic_tag_name(ELF::DT_VERNEED, true), "DT_VERNEED");
    EXPECT_EQ(elf_unlisted_dt_un_use(31), DT_UN_UNSPECIFIED);
    EXPECT_EQ(elf_unlisted_dt_un_use(0x6ffff001), DT_UN_UNSPECIFIED);
    EXPECT_EQ(elf_unlisted_dt_un_use(0x6ffff000), DT_UN_PTR);
    EXPECT_EQ(elf_unlisted_dt_un_use(0x70000001), DT_UN_VAL);
    EXPECT_EQ(elf_unlisted_dt_un_use(0x70000002), DT_UN_PTR);
}
