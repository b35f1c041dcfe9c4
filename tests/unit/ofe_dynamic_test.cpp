// The ELF dynamic table and dynamic symbol access: entry fields, the dynamic database built from the
// program headers, the finalisation check, and the dynamic-symbol count taken from a GNU hash table.
// (Tag rows, names and the dump: the golden dumps of the tags.)
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "elf_object.h"
#include "ofe/of_state_machine.h"

using namespace OFE;
using namespace elf_test;

namespace {

using texts = std::vector<std::string>;

// The dynamic entry with `tag` (the first one); a missing tag fails the test by an exception.
ELF_DYNAMIC* entry_with(ELF_DYNAMIC_TABLE* t, uint32_t tag) {
    for (uint32_t i = 0; i < t->count(); ++i)
        if (t->entry(i)->tag() == tag) return t->entry(i);
    throw std::runtime_error("no dynamic entry with tag " + std::to_string(tag));
}

}  // namespace

TEST(ElfDynamicTable, FieldsAreReadAndWrittenOnlyAsTheTagUsesThem) {
    elf_object f("elf32 le exec\ndynsym x\ndynamic 31 0x55\ndynamic textrel 9\n");
    ELF_DYNAMIC_TABLE* t = f.dynamic();
    // Entries: 31, DT_TEXTREL, then HASH STRTAB SYMTAB STRSZ SYMENT and DT_NULL.
    ASSERT_EQ(t->count(), 8u);
    EXPECT_EQ(t->entry(8), nullptr);
    EXPECT_EQ(t->entry(0)->get_val(), 0u);
    EXPECT_EQ(t->entry(0)->get_ptr(), 0u);
    ELF_DYNAMIC* strsz = entry_with(t, 10);
    EXPECT_EQ(strsz->get_ptr(), 0u);
    EXPECT_EQ(strsz->get_val(), 3u);  // "\0x\0"
    // A refused set changes neither the entry nor the bytes; an accepted one rewrites both.
    strsz->set_ptr(0x1000);
    entry_with(t, 22)->set_val(1);  // DT_TEXTREL ignores d_un
    EXPECT_EQ(taken(), (texts{"5: invalid attempt to access the val field of a DT_0x1f dynamic entry",
                              "5: invalid attempt to access the ptr field of a DT_0x1f dynamic entry",
                              "5: invalid attempt to access the ptr field of a DT_STRSZ dynamic entry",
                              "5: invalid attempt to set the ptr field of a DT_STRSZ dynamic entry",
                              "5: invalid attempt to set the val field of a DT_TEXTREL dynamic entry"}));
    EXPECT_EQ(strsz->get_val(), 3u);
    strsz->set_val(0x01020304);
    EXPECT_EQ(strsz->get_val(), 0x01020304u);
    entry_with(t, 6)->set_ptr(0xcafe0000);
    // The bytes: 31, DT_TEXTREL (its refused set changed nothing), DT_HASH, DT_STRTAB, then DT_SYMTAB and
    // DT_STRSZ as set, DT_SYMENT and DT_NULL.
    EXPECT_EQ(unit::hex(t->section()->data()), "1f000000" "55000000" "16000000" "09000000" "04000000" "74800000"
                                               "05000000" "a8800000" "06000000" "0000feca" "0a000000" "04030201"
                                               "0b000000" "10000000" "00000000" "00000000");
}

TEST(ElfDynamicDb, RolesComeFromTheProgramHeadersOfExecutablesAndSharedObjectsOnly) {
    elf_object rel("elf32 le rel\ndynsym x\n");
    EXPECT_EQ(rel->dynamic_db(), nullptr);
    EXPECT_EQ(taken(), texts{"5: attempt to access dynamic information in an object file that is not executable or a "
                             "shared object"});
    // A SysV hash table, big endian, no section headers, a load base other than the default. (The symbols
    // read through the PT_LOAD segment: the golden listing of the same file.)
    elf_object f("elf32 be dyn\nlayout shdrs=off base=0x10000\nsection .text data=00112233\n"
                 "dynsym alpha value=0x10034 section=.text type=func\ndynsym beta\ndynsym gamma bind=weak\n"
                 "hash nbucket=3\n");
    ELF_DYNAMIC_DB* db = found(f->dynamic_db(), "dynamic db");
    EXPECT_EQ(f->dynamic_db(), db) << "made once";
    auto role = [&](uint32_t r) { return f->section_table()->elf_section_at(db->role(r)); };
    const std::pair<uint32_t, const char*> roles[] = {
        {DYN_ROLE_DYNAMIC, ".dynamic"}, {DYN_ROLE_HASH, ".hash"}, {DYN_ROLE_STRINGS, ".dynstr"}, {DYN_ROLE_SYMBOLS, ".dynsym"}};
    for (const auto& [r, name] : roles) {
        ASSERT_NE(db->role(r), 0u) << name;
        EXPECT_TRUE(role(r)->created_by_library());
        EXPECT_STREQ(role(r)->name(), name);
    }
    // Sizes: the hash table of 3 buckets and 4 chains, "\0alpha\0beta\0gamma\0", 4 symbols of 16 bytes.
    auto header = [&](uint32_t r) { return role(r)->header(); };
    EXPECT_EQ(std::tuple(header(DYN_ROLE_HASH).sh_size, header(DYN_ROLE_STRINGS).sh_size,
                         header(DYN_ROLE_SYMBOLS).sh_size, header(DYN_ROLE_SYMBOLS).sh_entsize),
              std::tuple(8u + 4u * (3u + 4u), 18u, 4u * 16u, 16u));
    EXPECT_EQ(std::tuple(header(DYN_ROLE_SYMBOLS).sh_link, header(DYN_ROLE_HASH).sh_link, header(DYN_ROLE_DYNAMIC).sh_link),
              std::tuple(db->role(DYN_ROLE_STRINGS), db->role(DYN_ROLE_SYMBOLS), db->role(DYN_ROLE_STRINGS)));
    EXPECT_TRUE(reports.empty());
}

TEST(ElfDynamicFinalise, MandatoryTagsFollowTheFileKind) {
    // REL entries and none of the RELA ones: mandatory in an executable, optional in a shared object.
    const std::string body = "dynsym x\ndynamic rel 0x8000\ndynamic relsz 0\ndynamic relent 8\ndynamic textrel 5\n";
    elf_object exec("elf32 le exec\n" + body);
    ELF_DYNAMIC_TABLE* t = exec.dynamic();
    EXPECT_EQ(t->progress_to_state(OF_STATE_LOCKED), 0);
    const std::string tail = "\" tag does not exist in the \".dynamic\" section; this tag is mandatory for ";
    EXPECT_EQ(taken(), (texts{"3: a \"DT_RELA" + tail + "executable files", "3: a \"DT_RELASZ" + tail + "executable files",
                              "3: a \"DT_RELAENT" + tail + "executable files"}));
    EXPECT_EQ(unit::hex(t->section()->data()).substr(56, 8), "00000000") << "fields the tag does not use are cleared";

    elf_object shared("elf32 le dyn\n" + body);
    EXPECT_EQ(shared.dynamic()->progress_to_state(OF_STATE_LOCKED), 0);
    EXPECT_TRUE(reports.empty());

    // Without DT_HASH a shared object misses one of its own mandatory tags.
    elf_object gnu_only("elf32 le dyn\ndynsym x\ngnuhash only\n");
    EXPECT_EQ(gnu_only.dynamic()->progress_to_state(OF_STATE_LOCKED), 0);
    EXPECT_EQ(taken(), texts{"3: a \"DT_HASH" + tail + "shared object files"});
}

// A chain without an end (the other damaged and intact tables: the golden listings of GNU hash tables).
TEST(ElfGnuHashCount, BoundedByTheFile) {
    // The table ends the file, and its chain runs through a megabyte of zeros after it: the walk stops at
    // the end of the file, and the symbol table is then cut at the file's bytes, each reported once.
    elf_object endless("elf32 le dyn\nlayout shdrs=off\nsection .dynsym\nsection .dynstr\nsection .dynamic\n"
                       "section .gnu.hash\ndynsym a\ndynsym b\ndynsym c\ngnuhash only nbuckets=1 symoffset=2\n"
                       "patch sec:.gnu.hash+28 u32 0\nappend zeros=0x100000\n");
    OF_SYMBOL_TABLE* symbols = found(found(endless->dynamic_db(), "db")->dynamic_symbol_table(), "dynamic symbols");
    EXPECT_EQ(symbols->count(), (endless.size() - 0x74) / 16) << "from .dynsym at 0x74 to the end of the file";
    EXPECT_STREQ(symbols->symbol_at(3)->name(), "c");
    EXPECT_EQ(taken(), (texts{"3: GNU hash table of \"test.o\" at offset 0xec: the chain from symbol 2 runs past the end "
                              "of the file after symbol 262147",
                              "3: test.o: symbol table \".dynsym\" at offset 0x74 claims 262148 entries of 16 bytes, but "
                              "the object holds only 65545"}));
}
