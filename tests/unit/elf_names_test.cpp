// The ELF value names: machine table coverage, scoped and fallback names. (The dynamic tag rules: the
// dynamic table's tests.)
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_names.h"

using namespace OFE;

TEST(ElfMachineNames, EveryValueWithAnEntryHasADistinctNameAndADescription) {
    auto without_entry = [](uint32_t m) {
        return m == 6 || (m >= 11 && m <= 14) || m == 16 || (m >= 23 && m <= 35) || (m >= 111 && m <= 139);
    };
    std::set<std::string> names;
    for (uint32_t e_machine = 0; e_machine < 160; ++e_machine) {
        const std::string name = elf_machine_name(e_machine), description = elf_machine_description(e_machine);
        const bool listed = !without_entry(e_machine);
        EXPECT_EQ(name != "EM_UNKNOWN", listed) << e_machine;
        EXPECT_EQ(description != "unknown machine", listed) << e_machine;
        if (listed) {
            EXPECT_TRUE(names.insert(name).second) << name << " twice";
        }
    }
    for (uint32_t e_machine : {160u, 0xffffu}) EXPECT_STREQ(elf_machine_name(e_machine), "EM_UNKNOWN");
    // 3 and 40: gcc -m32 and clang for arm-none-eabi; the Norvane range ends with reserved entries.
    EXPECT_STREQ(elf_machine_description(3), "Intel 80386");
    EXPECT_STREQ(elf_machine_description(40), "Advanced RISC Machines ARM");
    EXPECT_STREQ(elf_machine_name(ELF::EM_QX_KITE), "EM_QX_KITE");
    EXPECT_STREQ(elf_machine_name(159), "EM_QX_UNUSED20");
    EXPECT_STREQ(elf_machine_description(159), "Reserved for Norvane; unused");
}

// (Fallback names that the dump shows: the golden dump of unlisted values.)
TEST(ElfNames, FallbacksForUnlistedValuesAndScopedTypes) {
    EXPECT_STREQ(elf_class_name(3), "ELFCLASSUNKNOWN");
    EXPECT_STREQ(elf_class_description(3), "unknown class");
    EXPECT_STREQ(elf_data_name(3), "ELFDATAUNKNOWN");
    EXPECT_STREQ(elf_osabi_description(5), "ELFOSABI_0x05");
    EXPECT_STREQ(elf_osabi_name(255), "ELFOSABI_0xff");
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
    EXPECT_STREQ(elf_ext_flag_name(0), "QX_SHF_NONE");
    EXPECT_EQ(elf_special_index_name(ELF::SHN_XINDEX), nullptr);
    EXPECT_STREQ(elf_segment_flag_name(8), "PF_0x8");
    EXPECT_STREQ(elf_segment_flags_text(5), "r-x");
    EXPECT_STREQ(elf_symbol_binding_name(0x12), "STB_GLOBAL");
    EXPECT_STREQ(elf_symbol_type_name(0x2f), "STT_UNKNOWN");
    EXPECT_STREQ(elf_symbol_binding_name(0x32), "STB_UNKNOWN");
    EXPECT_STREQ(elf_version_index_text(0x8001), "VER_NDX_GLOBAL");  // the rest: the golden symbol versions
    EXPECT_STREQ(elf_version_index_text(0xff05), "VER_NDX_0xff05");
}
