// ELF version records: lookups and the rewrite on entering "locked". (Broken chains, the dumps, dynamic
// symbols' version indexes and real linker output: the golden dumps of version sections.)
#include <filesystem>
#include <string>
#include <vector>

#include "elf_object.h"
#include "ofe/elf/elf_version.h"

using namespace OFE;
using namespace elf_test;

// The records as read, the golden dump of the same sections shows (and that a relocatable file has none);
// here the lookups, the file's table and the rewrite.
TEST(ElfVersions, DefinitionLookupsTheFilesTableAndTheRewrite) {
    // Strings at: 1 "libv.so", 9 "V1", 12 "V2".
    elf_object f(R"(elf32 le dyn
section .dynstr type=strtab text="\0libv.so\0V1\0V2\0"
# <0> the base definition; its stored hash is replaced by the hash of its first name.
# <1> V2 then a name past the string table; its next record lies past the section.
section .gnu.version_d type=0x6ffffffd link=.dynstr halves=1,1,1,1 words=0x1234,20,28 words=1,0 halves=1,0,2,2 words=0,20,0x1000 words=12,8 words=999,0
# Chains that would loop in 32-bit arithmetic: a record and an auxiliary entry that point back.
section .loops type=0x6ffffffd link=.dynstr halves=1,0,7,2 words=0,20,36 words=9,8 words=12,0xfffffff8 halves=1,2,5,1 words=0,20,0xffffffdc words=9,0
)");
    ELF_VERDEF_TABLE* table = found(f.section(".gnu.version_d")->verdef_table(), "definitions");
    ASSERT_EQ(table->count(), 2u) << "the second record's next offset leaves the section";
    EXPECT_EQ(table->highest_version_index(), 3u);
    EXPECT_EQ(table->find_index(2), table->record(1));
    EXPECT_EQ(table->find_index(3), nullptr);
    EXPECT_EQ(elf_verdef_table(f.get()), table) << "the first section of its type is the file's";
    EXPECT_EQ(f.section(".loops")->verdef_table()->highest_version_index(), 8u);
    EXPECT_TRUE(reports.empty());

    // Rewritten on entering "locked" as the requirements are (below).
    ELF_VERDEF* added = found(table->add_record(), "a record added");
    added->index = 3;
    added->add_name("V1");
    ASSERT_EQ(table->progress_to_state(OF_STATE_LOCKED), 0);
    // "(null)" was added to the string table at 15; each hash is that of the record's first name.
    EXPECT_EQ(unit::hex(table->section()->data()),
              "0100" "0100" "0100" "0100" "ef95f902" "14000000" "1c000000"  // libv.so, next at 28
              "01000000" "00000000"
              "0100" "0000" "0200" "0200" "92050000" "14000000" "24000000"  // V2, next at 64
              "0c000000" "08000000" "0f000000" "00000000"
              "0100" "0000" "0300" "0100" "91050000" "14000000" "00000000"  // V1, the last
              "09000000" "00000000");
}

TEST(ElfVersions, RequirementsAreRewrittenFromTheirRecords) {
    // Strings at: 1 "libc.so.6", 11 "libm.so.6", 21 "G1", 24 "G2", 27 "G3", 30 "M1". The records as read
    // are laid out loosely: gaps before the auxiliary entries, and a first record whose chain ends late.
    elf_object f(R"(elf32 le dyn
section .dynstr type=strtab text="\0libc.so.6\0libm.so.6\0G1\0G2\0G3\0M1\0"
section .gnu.version_r type=0x6ffffffe link=.dynstr halves=1,1 words=11,20,40 words=0xdead words=0x501 halves=0,5 words=30,0 words=0xbeef halves=1,3 words=1,16,0 words=0x4a1 halves=0,2 words=21,16 words=0x4a2 halves=2,3 words=24,16 words=0x4a3 halves=0,4 words=27,0
)");
    ELF_SECTION* s = f.section(".gnu.version_r");
    ELF_VERNEED_TABLE* table = found(s->verneed_table(), "requirements");
    ASSERT_EQ(table->count(), 2u);  // the records as read: the golden dump of the same section

    // Version indexes: the hidden bit is ignored; 0, 1 and the reserved ones name no dependency.
    const std::pair<uint32_t, std::string> by_index[] = {{0x8003, "G2"}, {5, "M1"},    {0, "-"},
                                                          {1, "-"},       {0xff00, "-"}, {6, "-"}};
    for (const auto& [index, name] : by_index)
        EXPECT_EQ(table->find_dependency(index) ? table->find_dependency(index)->name : "-", name) << index;

    table->record(0)->add_dependency("NEW", 6);
    ASSERT_EQ(table->progress_to_state(OF_STATE_LOCKED), 0);
    // Each record is followed directly by its dependencies, chained by 16. File names already in the string
    // table are found there; a new name is appended to it (at 33).
    EXPECT_EQ(unit::hex(s->data()), "0100" "0200" "0b000000" "10000000" "30000000"  // libm.so.6: 2 at 16, next at 48
                              "01050000" "0000" "0500" "1e000000" "10000000"  // M1
                              "a7520000" "0000" "0600" "21000000" "00000000"  // NEW, the hash of its name
                              "0100" "0300" "01000000" "10000000" "00000000"  // libc.so.6: 3 at 16, the last
                              "a1040000" "0000" "0200" "15000000" "10000000"  // G1
                              "a2040000" "0200" "0300" "18000000" "10000000"  // G2
                              "a3040000" "0000" "0400" "1b000000" "00000000"); // G3
    EXPECT_EQ(s->header().sh_size, 112u);
    EXPECT_STREQ(f.section(".dynstr")->string_table()->get_string(33), "NEW");
}

// The library of the golden dump of real linker output, without section headers: the dynamic entries lead
// to the same records, their names read through the dynamic string table they lead to.
TEST(ElfVersions, WithoutSectionHeadersTheDynamicEntriesLeadToTheRecords) {
    const std::filesystem::path dir = std::filesystem::path(NMKITE_SOURCE_DIR) / "tests/unit/inputs/versions";
    elf_object bare(elf_object::existing{dir / "libversioned_stripped.so"});
    ELF_DYNAMIC_DB* db = found(bare->dynamic_db(), "dynamic db");
    ASSERT_NE(db->role(DYN_ROLE_VERSYM), 0u);
    ELF_VERDEF_TABLE* defs = found(bare->section_table()->elf_section_at(db->role(DYN_ROLE_VERDEF)), "verdef")->verdef_table();
    ELF_VERNEED_TABLE* needs = found(bare->section_table()->elf_section_at(db->role(DYN_ROLE_VERNEED)), "verneed")->verneed_table();
    ASSERT_TRUE(defs && needs);
    EXPECT_EQ(defs->record(2)->names, (std::vector<std::string>{"VERS_2", "VERS_1"}));
    // The sizes the records' chains reach: those of the sections of the library with section headers.
    EXPECT_EQ(std::pair(defs->section()->header().sh_size, needs->section()->header().sh_size), std::pair(0x5cu, 0x30u));
    EXPECT_EQ(needs->record(0)->dependencies.size(), 2u);
}
