// Reading ELF files: string tables, section and segment searches, symbol kinds, bindings and types,
// unusual header layouts, tables that claim more than the file holds, and the System V hash table.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "elf_object.h"
#include "ofe/elf/elf_segment.h"
#include "ofe/elf/elf_symbol.h"
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

TEST(ElfStringTable, LookupsAndAddsReuseOnlyWholeStrings) {
    elf_object f("elf32 le rel\n"
                 "section .names type=strtab text=\"\\0x\\0ab\\0x\\0abc\\0\"\n"  // x at 1 and 6, ab at 3, abc at 8
                 "section .cut type=strtab text=\"\\0abc\\0tail\"\n"
                 "section .text data=00\n");
    ASSERT_TRUE(f.opened());
    ELF_STRING_TABLE* names = f.section(".names")->string_table();
    ASSERT_NE(names, nullptr);
    EXPECT_STREQ(names->table_name(), ".names");
    EXPECT_STREQ(names->get_string(3), "ab");
    EXPECT_EQ(names->get_string(12), nullptr);
    uint32_t at = 0;
    EXPECT_FALSE(names->find_string("x", at)) << "no search before the index is built";

    EXPECT_EQ(names->add_string("x"), 6u) << "the later of two copies";
    EXPECT_EQ(names->add_string("abc"), 8u);
    EXPECT_EQ(names->data()->size(), 12u);
    EXPECT_EQ(names->add_string("bc"), 12u) << "never the tail of a longer string";
    EXPECT_EQ(names->data()->size(), 15u);
    EXPECT_STREQ(names->get_string(12), "bc");
    EXPECT_TRUE(names->find_string("ab", at));
    EXPECT_EQ(at, 3u);

    ELF_STRING_TABLE* cut = f.section(".cut")->string_table();
    ASSERT_NE(cut, nullptr);
    EXPECT_STREQ(cut->get_string(1), "abc");
    EXPECT_STREQ(cut->get_string(5), "") << "the final string has no NUL";
    EXPECT_EQ(cut->get_string(9), nullptr);
    EXPECT_EQ(f.section(".text")->string_table(), nullptr);
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
    ASSERT_TRUE(f.opened());
    OF_SECTION_TABLE* t = f->section_table();
    ASSERT_EQ(t->count(), 7u);  // with section 0 and .shstrtab

    EXPECT_EQ(std::tuple(at(t->find_by_name(".data")), at(t->find_by_name(".data", 3)), at(t->find_by_name(".text", 2))),
              std::tuple(2u, 4u, ~0u));
    // .note.x at 0x300 is not allocated; .bss has no raw data: its size comes from sh_size.
    EXPECT_EQ(f.section(".bss")->size(), 0x20u);
    const std::pair<uint32_t, uint32_t> by_run[] = {{0x10F, 1},   {0x110, ~0u}, {0x300, ~0u},
                                                     {0x401, 4},   {0x51F, 5},   {0x520, ~0u}};
    for (const auto& [address, index] : by_run) EXPECT_EQ(at(t->find_by_run_address(address)), index) << address;
    EXPECT_EQ(t->find_by_run_address(0x100, 2), nullptr);
    EXPECT_EQ(t->find_by_load_address(0x300), nullptr);
    // The segment holding .data moves its load address to p_paddr.
    EXPECT_EQ(f.section(".data")->load_address(), 0x8200u);
    EXPECT_EQ(at(t->find_by_load_address(0x8201)), 2u);
    EXPECT_EQ(t->find_by_load_address(0x8202), nullptr);
    EXPECT_TRUE(reports.empty());
}

TEST(ElfSegments, SearchesByTypeAndAddress) {
    elf_object f("elf32 le exec\n"
                 "layout phentsize=40\n"
                 "section .text data=00\n"
                 "segment type=load vaddr=0x1000 memsz=0x100\n"
                 "segment type=dynamic vaddr=0x3000 memsz=0x10\n"
                 "segment type=load vaddr=0x2000 memsz=0x10\n"
                 "segment type=note vaddr=0x1000 memsz=0x10\n");
    ASSERT_TRUE(f.opened());
    ELF_SEGMENT_TABLE* s = f->segment_table();
    ASSERT_EQ(s->count(), 4u);
    EXPECT_EQ(s->entry_size(), 40u);
    EXPECT_EQ(std::tuple(at(s->find_by_type(2)), at(s->find_by_type(2, 2)), at(s->find_by_type(1, 1))),
              std::tuple(1u, ~0u, 2u));
    // The note segment at 0x1000 is not PT_LOAD.
    EXPECT_EQ(std::tuple(at(s->find_load_by_address(0x10FF)), at(s->find_load_by_address(0x1100)),
                         at(s->find_load_by_address(0x2000)), at(s->find_load_by_address(0x1000, 1))),
              std::tuple(0u, ~0u, 2u, ~0u));
    EXPECT_TRUE(f->has_dynamic_segment());
}

TEST(ElfSegments, OverlappingLoadsAnswerTheFirstInTableOrder) {
    elf_object f("elf32 le exec\n"
                 "section .text data=00\n"
                 "segment type=load vaddr=0x1000 memsz=0x1000\n"        // 0
                 "segment type=load vaddr=0x1800 memsz=0x1000\n"        // 1
                 "segment type=note vaddr=0 memsz=0xffffffff\n"         // 2, not PT_LOAD
                 "segment type=load vaddr=0x800 memsz=0x2000\n"         // 3, around 0 and most of 1
                 "segment type=load vaddr=0xffffff00 memsz=0x200\n"     // 4, ends past the 32-bit range
                 "segment type=load vaddr=0x2000 memsz=0\n"             // 5, holds nothing
                 "segment type=load vaddr=0x1800 memsz=0x10\n");        // 6, inside 0 and 1
    ASSERT_TRUE(f.opened());
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
}

TEST(ElfSegments, EntriesWithoutBytesAreNullEntriesThatCostNothing) {
    // An entry size of 0: every one of the 65535 entries covers no bytes and reads as zeros.
    elf_object none("elf32 le exec\nsection .text data=00\nheader e_phentsize=0 e_phnum=65535\n");
    ASSERT_TRUE(none.opened());
    ELF_SEGMENT_TABLE* z = none->segment_table();
    EXPECT_EQ(z->count(), 65535u);
    EXPECT_EQ(z->raw_header(65534).p_type, 0u);
    EXPECT_EQ(std::tuple(at(z->find_by_type(0)), at(z->find_by_type(0, 65534)), at(z->find_by_type(0, 65535)),
                         at(z->find_by_type(1)), at(z->find_load_by_address(0)), at(z->find_by_offset(0))),
              std::tuple(0u, 65534u, ~0u, ~0u, ~0u, ~0u));
    ASSERT_NE(z->segment_at(65534), nullptr);
    EXPECT_STREQ(z->segment_at(65534)->type_name(), "PT_NULL");
    EXPECT_EQ(z->segment_at(65535), nullptr);

    // A table of 1000 entries at the file's last 40 bytes: a whole entry, then the first 8 bytes of one (a
    // PT_LOAD entry at offset 0x30, the rest zeros); the others lie past the end.
    const std::string base = "elf32 le exec\nsection .text data=00\n";
    const size_t end = fixture::build(base).size();
    elf_object f(base + "header e_phoff=" + std::to_string(end) + " e_phentsize=32 e_phnum=1000\n" +
                 "append words=1,0,0x1000,0x2000,0x10,0x20,5,4,1,0x30\n");
    ASSERT_TRUE(f.opened());
    ELF_SEGMENT_TABLE* s = f->segment_table();
    EXPECT_EQ(s->count(), 1000u);
    EXPECT_EQ(std::tuple(s->raw_header(0).p_paddr, s->raw_header(0).p_memsz, s->raw_header(999).p_type),
              std::tuple(0x2000u, 0x20u, 0u));
    EXPECT_EQ(std::tuple(s->raw_header(1).p_type, s->raw_header(1).p_offset, s->raw_header(1).p_vaddr),
              std::tuple(1u, 0x30u, 0u));
    EXPECT_EQ(std::tuple(at(s->find_by_type(1, 1)), at(s->find_by_type(0)), at(s->find_by_type(0, 500)),
                         at(s->find_load_by_address(0x101f)), at(s->find_load_by_address(0x1020)),
                         at(s->find_by_offset(0xf)), at(s->find_by_offset(0x10))),
              std::tuple(1u, 2u, 500u, 0u, ~0u, 0u, ~0u));
    EXPECT_STREQ(s->segment_at(999)->type_name(), "PT_NULL");
    EXPECT_TRUE(reports.empty());
}

TEST(ElfSymbols, KindBindingAndTypeInEitherByteOrder) {
    const char* description = "elf32 le rel\n"
                              "section .text data=00112233\n"
                              "symbol loos_binding info=0x32 value=0x12345678 section=.text\n"
                              "symbol global_func info=0x12 section=.text\n"
                              "symbol weak_tls info=0x26 section=.text\n"
                              "symbol type_seven info=0x17 section=.text\n"
                              "symbol binding_48 info=0x30 section=.text\n"
                              "symbol absolute shndx=0xfff1\n"
                              "symbol common shndx=0xfff2 value=8\n"
                              "symbol undefined shndx=0\n"
                              "symbol reserved shndx=0xff05\n"
                              "symbol xindex_few shndx=0xffff xindex=1\n";
    for (fixture::byte_order order : {fixture::byte_order::little, fixture::byte_order::big}) {
        SCOPED_TRACE(order == fixture::byte_order::big ? "big endian" : "little endian");
        fixture::options opts;
        opts.order = order;
        elf_object f(description, opts);
        ASSERT_TRUE(f.opened());
        OF_SYMBOL_TABLE* table = f->symbol_table();
        ASSERT_EQ(table->count(), 11u);
        EXPECT_EQ(table->symbol_at(11), nullptr);
        const OF_SYMBOL* null_symbol = table->symbol_at(0);
        ASSERT_NE(null_symbol, nullptr);
        EXPECT_STREQ(null_symbol->name(), "");
        EXPECT_EQ(null_symbol->kind(), OF_SYM_UNDEFINED);

        // "kind binding type" of a symbol.
        auto kbt = [&](const char* name) {
            const OF_SYMBOL* s = f.symbol(name);
            return std::to_string(s->kind()) + " " + std::to_string(s->binding()) + " " + std::to_string(s->type());
        };
        std::string all;
        for (const char* name : {"loos_binding", "global_func", "weak_tls", "type_seven", "binding_48", "absolute",
                                 "common", "undefined", "reserved"})
            all += kbt(name) + ",";
        EXPECT_EQ(all, "2 0 2,2 2 2,2 3 6,2 2 0,2 0 0,3 2 0,4 2 0,1 2 0,0 2 0,");
        EXPECT_EQ(f.symbol("loos_binding")->value(), 0x12345678u);
        EXPECT_EQ(f.symbol("loos_binding")->section(), f.section(".text"));
        EXPECT_EQ(f.symbol("reserved")->section(), nullptr);

        // SHN_XINDEX in a file of fewer than 0xff00 sections: the index table is not consulted.
        const OF_SYMBOL* x = f.symbol("xindex_few");
        EXPECT_EQ(x->kind(), OF_SYM_DEFINED);
        EXPECT_EQ(x->section_index(), 0u);
        EXPECT_EQ(x->section(), f->section_table()->section_at(0));
        EXPECT_TRUE(reports.empty());
    }
}

TEST(ElfSymbols, DroppedInAnyOrderAndRebuiltNamesStayInTheStringTable) {
    std::string description = "elf32 le rel\nsection .text data=00\n";
    for (int i = 1; i <= 40; ++i)
        description += "symbol name_" + std::to_string(i) + " value=" + std::to_string(i) + " section=.text\n";
    elf_object f(description);
    ASSERT_TRUE(f.opened());
    OF_SYMBOL_TABLE* table = f->symbol_table();
    ASSERT_EQ(table->count(), 41u);
    // Built downwards, upwards and in between, each dropped or kept.
    std::vector<const char*> names(41, nullptr);
    for (uint32_t i : {30u, 12u, 11u, 10u, 31u, 40u, 1u, 20u, 39u}) {
        const OF_SYMBOL* s = table->symbol_at(i);
        ASSERT_NE(s, nullptr) << i;
        EXPECT_TRUE(s->name_outlives_symbol());
        names[i] = s->name();
        if (i % 3 != 0) table->drop_symbol(i);
    }
    // A name read from the file stays where it was when the table grows.
    (void)f.section(".strtab")->string_table()->add_string(std::string(5000, 'z').c_str());
    for (uint32_t i = 1; i <= 40; ++i) {
        const OF_SYMBOL* s = table->symbol_at(i);
        ASSERT_NE(s, nullptr) << i;
        EXPECT_EQ(s->value(), i);
        EXPECT_EQ(std::string(s->name()), "name_" + std::to_string(i));
        if (names[i]) {
            EXPECT_EQ(std::string(names[i]), "name_" + std::to_string(i));
        }
    }
    table->drop_all_symbols();
    EXPECT_STREQ(table->symbol_at(40)->name(), "name_40");
}

// Extended numbering, wide section headers and files without section headers or .symtab are read as
// the golden listings show.
TEST(ElfLayouts, EiDataZeroIsReadBigEndianThroughout) {
    // Identification takes any EI_DATA but 1 as big endian; the header, the section headers and the
    // symbols must then all be read that way, not the header alone.
    elf_object f("elf32 be rel\n"
                 "header ei_data=0\n"
                 "section .text data=00112233\n"
                 "symbol main value=0x10 section=.text type=func\n");
    ASSERT_TRUE(f.opened());
    EXPECT_EQ(f->info().endian, OF_ENDIAN_BIG);
    EXPECT_EQ(f->section_table()->count(), 5u);
    EXPECT_EQ(at(f->section_table()->find_by_name(".symtab")), 2u);
    ASSERT_EQ(f->symbol_table()->count(), 2u);
    EXPECT_EQ(f.symbol("main")->value(), 0x10u);
    EXPECT_EQ(f.symbol("main")->section(), f.section(".text"));
}

TEST(ElfClaims, CountsBeyondTheFileAreCutToItsBytes) {
    // Extended numbering claiming 0xFFFFFFFF headers where 5 stand; no handler, so the error stays.
    elf_object f("elf32 le rel\n"
                 "xnum shnum\n"
                 "section .text data=00112233\n"
                 "symbol main section=.text\n"
                 "sectionheader 0 sh_size=0xffffffff\n",
                 {}, false);
    ASSERT_TRUE(f.opened());
    EXPECT_EQ(f->error_code(), OF_ERR_CORRUPTED);
    EXPECT_NE(std::string(f->error_message()).find("claims 4294967295 entries"), std::string::npos)
        << f->error_message();
    EXPECT_EQ(f->section_table()->count(), 5u);
    EXPECT_EQ(at(f.section(".shstrtab")), 4u);
}

TEST(ElfExtendedAttributes, FlagsOfTheReadFormatAndWarningsForTheOthers) {
    // The flags section holds a version (major, minor, update, one reserved byte), reserved bytes to 20,
    // the entry count and size, then one entry per section: 2 entries of 4 bytes, .text (index 1) 0x30.
    const std::string body = "00000000000000000000000000000000" "02000000" "0400" "00000000" "30000000";
    const std::string tail = " All extended section attributes will be ignored.";
    const std::string tool = " Name Utility update recommended.";
    const struct {
        std::string data;
        uint32_t flags;
        std::string warning;
    } cases[] = {
        {"01000000" + body, 0x30, ""},
        {"01000100" + body, 0x30,
         "Updated extended section attributes format. Some extended section attributes may be ignored." + tool},
        {"02000000" + body, 0, "Unrecognized QX extended section attributes format." + tail + tool},
        {"01010000" + body, 0, "Unrecognized QX extended section attributes format." + tail + tool},
        {"00000000" + body, 0, "Obsolete QX extended section attributes format." + tail + tool},
        {"0100", 0, "Invalid QX extended section attributes format." + tail + " Tool chain update recommended."},
        {"0100000000000000", 0,
         "Invalid QX extended section attributes format." + tail + " Tool chain update recommended."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data);
        elf_object f("elf32 le rel\nsection .text data=00112233\nsection .qx_flags type=0x7f000005 data=" + c.data +
                     "\n");
        EXPECT_EQ(f.section(".text")->ext_flags(), c.flags);
        if (c.warning.empty())
            EXPECT_TRUE(reports.empty());
        else
            EXPECT_EQ(reports, (std::vector<std::pair<uint32_t, std::string>>{{OF_ERR_WARNING, c.warning}}));
    }
}

TEST(ElfSymbolHash, SystemVHashOfNames) {
    EXPECT_EQ(elf_hash(""), 0u);
    EXPECT_EQ(elf_hash("printf"), 0x077905A6u);
    EXPECT_EQ(elf_hash("exit"), 0x0006CF04u);
    EXPECT_EQ(elf_hash("_ZN4kite5entryEv"), 0x017D7A66u);  // long enough to fold the high nibble back
    // Bytes are taken as signed: 0xFF adds -1.
    EXPECT_EQ(elf_hash("\xff"), 0x0FFFFF0Fu);
}

TEST(ElfSymbolHash, FindFollowsTheChainAndStopsAtAnIndexPastTheTable) {
    // One bucket: its chain holds every symbol in table order.
    const char* description = "elf32 le rel\n"
                              "section .text data=00\n"
                              "symbol first section=.text\n"
                              "symbol second section=.text\n"
                              "symbol third value=3 section=.text\n"
                              "hash table=.symtab nbucket=1\n";
    {
        elf_object f(description);
        ELF_SYMBOL_HASH hash(f.section(".hash"), f->symbol_table());
        EXPECT_EQ(hash.nbucket(), 1u);
        EXPECT_EQ(hash.nchain(), 4u);
        EXPECT_EQ(at(hash.find("third")), 3u);
        EXPECT_EQ(hash.find("absent"), nullptr);
        EXPECT_TRUE(reports.empty());
    }
    // chain[2] (the word after "second") points at index 99 of a 4-entry table.
    elf_object f(std::string(description) + "patch sec:.hash+20 u32 99\n");
    ELF_SYMBOL_HASH hash(f.section(".hash"), f->symbol_table());
    EXPECT_EQ(hash.find("third"), nullptr);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], (std::pair<uint32_t, std::string>{
                              OF_ERR_CORRUPTED,
                              "symbol index 99 in \".hash\" is beyond the end of symbol table \".symtab\""}));
}
