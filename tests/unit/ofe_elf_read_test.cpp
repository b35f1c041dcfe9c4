// Reading ELF files: string tables, section and segment searches, symbols dropped and rebuilt, and the
// System V hash table. (Symbol fields, extended attributes and claims past the file: the golden dumps.)
#include <string>
#include <tuple>
#include <vector>

#include "elf_object.h"
#include "ofe/elf/elf_segment.h"
#include "ofe/elf/elf_symbol_hash.h"

using namespace OFE;
using namespace elf_test;

namespace {

// The index of what a search found; ~0 for nothing.
template <class T>
uint32_t at(const T* p) {
    return p ? p->index() : ~0u;
}

}  // namespace

// (The strings as read, a final one without its NUL included: the golden dumps of string tables.)
TEST(ElfStringTable, LookupsAndAddsReuseOnlyWholeStrings) {
    elf_object f("elf32 le rel\n"
                 "section .names type=strtab text=\"\\0x\\0ab\\0x\\0abc\\0\"\n");  // x at 1 and 6, ab at 3, abc at 8
    ELF_STRING_TABLE* names = found(f.section(".names")->string_table(), ".names");
    EXPECT_EQ(names->get_string(12), nullptr);
    uint32_t at = 0;
    EXPECT_FALSE(names->find_string("x", at)) << "no search before the index is built";

    EXPECT_EQ(names->add_string("x"), 6u) << "the later of two copies";
    EXPECT_EQ(names->add_string("abc"), 8u);
    EXPECT_EQ(names->add_string("bc"), 12u) << "never the tail of a longer string";
    EXPECT_STREQ(names->get_string(12), "bc");
    EXPECT_TRUE(names->find_string("ab", at));
    EXPECT_EQ(at, 3u);
}

TEST(ElfSections, FindsByNameAndAddress) {
    // Kite sections count 16-bit units: .text holds 32 bytes, 0x10 units, and .bss 0x40 bytes, 0x20.
    elf_object f("elf32 le exec\n"
                 "section .text addr=0x100 data=000102030405060708090a0b0c0d0e0f000102030405060708090a0b0c0d0e0f\n"
                 "section .data addr=0x200 data=01020304\n"
                 "section .note.x type=note addr=0x300 data=0000000000000000\n"
                 "section .data type=progbits flags=wa addr=0x400 data=05060708\n"
                 "section .bss addr=0x500 size=0x40\n"
                 "segment type=load sections=.data paddr=0x8200\n");
    OF_SECTION_TABLE* t = f->section_table();
    ASSERT_EQ(t->count(), 7u);  // with section 0 and .shstrtab

    EXPECT_EQ(std::tuple(at(t->find_by_name(".data")), at(t->find_by_name(".data", 3)), at(t->find_by_name(".text", 2))),
              std::tuple(2u, 4u, ~0u));
    // (address, first index searched, found by run address, by load address). .note.x at 0x300 is not
    // allocated; the segment holding .data moves its load address to p_paddr (as the golden dumps of
    // segments show).
    const std::tuple<uint32_t, uint32_t, uint32_t, uint32_t> by_address[] = {
        {0x10F, 0, 1, 1},       {0x110, 0, ~0u, ~0u}, {0x100, 2, ~0u, ~0u}, {0x200, 0, 2, ~0u}, {0x300, 0, ~0u, ~0u},
        {0x401, 0, 4, 4},       {0x51F, 0, 5, 5},     {0x520, 0, ~0u, ~0u}, {0x8201, 0, ~0u, 2}, {0x8202, 0, ~0u, ~0u}};
    for (const auto& [address, start, run, load] : by_address)
        EXPECT_EQ(std::pair(at(t->find_by_run_address(address, start)), at(t->find_by_load_address(address, start))),
                  std::pair(run, load))
            << address;
    EXPECT_TRUE(reports.empty());
}

TEST(ElfSegments, OverlappingLoadsAnswerTheFirstInTableOrderAndEntriesWithoutBytesAreNull) {
    elf_object f("elf32 le exec\n"
                 "section .text data=00\n"
                 "segment type=load vaddr=0x1000 memsz=0x1000\n"        // 0
                 "segment type=load vaddr=0x1800 memsz=0x1000\n"        // 1
                 "segment type=note vaddr=0 memsz=0xffffffff\n"         // 2, not PT_LOAD
                 "segment type=load vaddr=0x800 memsz=0x2000\n"         // 3, around 0 and most of 1
                 "segment type=load vaddr=0xffffff00 memsz=0x200\n"     // 4, ends past the 32-bit range
                 "segment type=load vaddr=0x2000 memsz=0\n"             // 5, holds nothing
                 "segment type=load vaddr=0x1800 memsz=0x10\n");        // 6, inside 0 and 1
    ELF_SEGMENT_TABLE* s = f->segment_table();
    ASSERT_EQ(s->count(), 7u);
    const std::pair<uint32_t, uint32_t> first[] = {{0, ~0u},      {0x7ff, ~0u},  {0x800, 3},     {0xfff, 3},
                                                   {0x1000, 0},   {0x1800, 0},   {0x1fff, 0},    {0x2000, 1},
                                                   {0x27ff, 1},   {0x2800, ~0u}, {0xfffffeff, ~0u},
                                                   {0xffffff00, 4}, {0xffffffff, 4}};
    for (const auto& [address, index] : first) EXPECT_EQ(at(s->find_load_by_address(address)), index) << address;
    // From a later index: the first of the later segments that holds the address.
    const std::tuple<uint32_t, uint32_t, uint32_t> from[] = {{0x1808, 1, 1}, {0x1808, 2, 3}, {0x1808, 4, 6},
                                                             {0x1900, 4, ~0u}, {0x2000, 2, 3}, {0xffffff00, 5, ~0u}};
    for (const auto& [address, start, index] : from)
        EXPECT_EQ(at(s->find_load_by_address(address, start)), index) << address << " from " << start;

    // A table of 1000 entries at the file's last 40 bytes: a whole entry, then the first 8 bytes of one (a
    // PT_LOAD entry at offset 0x30, the rest zeros); the others lie past the end and are null entries.
    elf_object g("elf32 le exec\nsection .text data=00\nheader e_phoff=192 e_phentsize=32 e_phnum=1000\n"
                 "append words=1,0,0x1000,0x2000,0x10,0x20,5,4,1,0x30\n");
    s = g->segment_table();
    EXPECT_EQ(s->count(), 1000u);
    EXPECT_EQ(std::tuple(s->raw_header(0).p_paddr, s->raw_header(0).p_memsz, s->raw_header(1).p_type,
                         s->raw_header(1).p_offset, s->raw_header(1).p_vaddr, s->raw_header(999).p_type),
              std::tuple(0x2000u, 0x20u, 1u, 0x30u, 0u, 0u));
    EXPECT_EQ(std::tuple(at(s->find_by_type(1, 1)), at(s->find_by_type(0)), at(s->find_by_type(0, 500)),
                         at(s->find_load_by_address(0x101f)), at(s->find_load_by_address(0x1020)),
                         at(s->find_by_offset(0xf)), at(s->find_by_offset(0x10))),
              std::tuple(1u, 2u, 500u, 0u, ~0u, 0u, ~0u));
    EXPECT_STREQ(s->segment_at(999)->type_name(), "PT_NULL");
    EXPECT_TRUE(reports.empty());
}

// Symbols built out of table order and dropped are built again the same; a name read from the file stays
// where it was when the string table grows. (Dropping each symbol once it is listed: every golden listing.)
TEST(ElfSymbols, DroppedInAnyOrderAndRebuiltNamesStayInTheStringTable) {
    elf_object f("elf32 le rel\nsection .text data=00\nsymbol a value=1 section=.text\n"
                 "symbol b value=2 section=.text\nsymbol c value=3 section=.text\nsymbol d value=4 section=.text\n");
    OF_SYMBOL_TABLE* table = f->symbol_table();
    std::vector<const char*> names;
    for (uint32_t i : {3u, 1u, 4u, 2u}) {  // downwards, then past the end, then in between
        ASSERT_NE(table->symbol_at(i), nullptr) << i;
        EXPECT_TRUE(table->symbol_at(i)->name_outlives_symbol());
        names.push_back(table->symbol_at(i)->name());
        if (i != 2) table->drop_symbol(i);
    }
    (void)f.section(".strtab")->string_table()->add_string(std::string(5000, 'z').c_str());
    EXPECT_EQ(std::string(names[0]) + names[1] + names[2] + names[3], "cadb");
    table->drop_all_symbols();
    for (uint32_t i = 1; i <= 4; ++i) EXPECT_EQ(table->symbol_at(i)->value(), i);
    EXPECT_STREQ(table->symbol_at(3)->name(), "c");
}

TEST(ElfSymbolHash, SystemVHashOfNamesAndFindFollowingTheChainUpToAnIndexPastTheTable) {
    EXPECT_EQ(elf_hash("printf"), 0x077905A6u);
    EXPECT_EQ(elf_hash("_ZN4kite5entryEv"), 0x017D7A66u);  // long enough to fold the high nibble back
    // Bytes are taken as signed: 0xFF adds -1.
    EXPECT_EQ(elf_hash("\xff"), 0x0FFFFF0Fu);

    // Find: one bucket: its chain holds every symbol in table order; in the second file chain[2] points at index 99
    // of a 4-entry table. (The chains as read and the report: the golden dump of the same tables.)
    const std::string description = "elf32 le rel\nsection .text data=00\nsymbol first section=.text\n"
                                    "symbol second section=.text\nsymbol third value=3 section=.text\n"
                                    "hash table=.symtab nbucket=1\n";
    elf_object f(description);
    ELF_SYMBOL_HASH hash(f.section(".hash"), f->symbol_table());
    EXPECT_EQ(at(hash.find("third")), 3u);
    EXPECT_EQ(hash.find("absent"), nullptr);
    elf_object broken(description + "patch sec:.hash+20 u32 99\n");
    EXPECT_EQ(ELF_SYMBOL_HASH(broken.section(".hash"), broken->symbol_table()).find("third"), nullptr);
    EXPECT_EQ(taken().size(), 1u);
}
