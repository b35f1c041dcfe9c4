// The ELF value names that no dump shows: fallbacks of values a file cannot carry, names scoped by the
// machine, and fallbacks formatted for one line. (Machine names, unlisted values and version indexes: the
// golden dumps and XML descriptions of them.)
#include <gtest/gtest.h>

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_names.h"

using namespace OFE;

TEST(ElfNames, FallbacksForUnlistedValuesAndScopedTypes) {
    EXPECT_STREQ(elf_class_name(3), "ELFCLASSUNKNOWN");
    EXPECT_STREQ(elf_class_description(3), "unknown class");
    EXPECT_STREQ(elf_data_name(3), "ELFDATAUNKNOWN");
    EXPECT_STREQ(elf_osabi_description(5), "ELFOSABI_0x05");
    EXPECT_STREQ(elf_section_type_name(0x6fffffff, {.versions = true}), "SHT_GNU_versym");
    EXPECT_STREQ(elf_section_type_name(0x70000003, {.versions = true}), "SHT_0x70000003");
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
    EXPECT_STREQ(elf_machine_name(0xffff), "EM_UNKNOWN");
}
