// The ELF dynamic table and dynamic symbol access: the tag vocabulary and its rule for unlisted tags,
// entry fields and strings, the dump, the dynamic database built from the program headers, the
// finalisation check, and the dynamic-symbol count taken from a GNU hash table.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "fixture.h"
#include "ofe/elf/elf_dynamic.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_section.h"
#include "ofe/object_file.h"
#include "ofe/of_state_machine.h"
#include "ofe/of_symbol.h"
#include "util/pfile.h"

#include "elf_object.h"

using namespace OFE;
using namespace elf_test;

namespace {


// The ELF file a fixture description yields, written out and opened from there as "test.so".


std::pair<uint32_t, std::string> report(uint32_t code, std::string text) { return {code, std::move(text)}; }

// The dynamic entry with `tag` (the first one); a missing tag fails the test by an exception.
ELF_DYNAMIC* entry_with(ELF_DYNAMIC_TABLE* t, uint32_t tag) {
    for (uint32_t i = 0; i < t->count(); ++i)
        if (t->entry(i)->tag() == tag) return t->entry(i);
    throw std::runtime_error("no dynamic entry with tag " + std::to_string(tag));
}

// d_un of entry `index` as the section's bytes hold it now.
uint32_t stored_d_un(ELF_DYNAMIC_TABLE* t, uint32_t index) {
    DATA_MAP& data = t->section()->data();
    data.set_cursor(uint64_t{index} * t->entry_size() + 4);
    return data.read_u32();
}

}  // namespace

TEST(ElfDynamicTable, TagRowsComeFromTheVocabulariesOrAreMadeOnce) {
    elf_object f("elf32 le dyn\ndynsym x\n");
    ASSERT_TRUE(f.opened());
    ELF_DYNAMIC_TABLE* t = f.dynamic();
    ASSERT_NE(t, nullptr);
    struct expected {
        uint32_t tag;
        const char* name;
        DT_UN_USE use;
    };
    for (const expected& e : {expected{31, "DT_0x1f", DT_UN_UNSPECIFIED},
                              {32, "DT_PREINIT_ARRAY", DT_UN_PTR},  // DT_ENCODING shares the tag and loses
                              {0x6ffff001, "DT_0x6ffff001", DT_UN_UNSPECIFIED},
                              {0x6ffffef5, "DT_GNU_HASH", DT_UN_PTR},
                              {0x6fffffff, "DT_VERNEEDNUM", DT_UN_VAL},
                              {0x70000001, "DT_0x70000001", DT_UN_VAL},
                              {0x70000002, "DT_0x70000002", DT_UN_PTR}}) {
        SCOPED_TRACE(e.name);
        const DT_INFO* info = t->tag_info(e.tag);
        ASSERT_NE(info, nullptr);
        EXPECT_STREQ(info->name, e.name);
        EXPECT_EQ(info->tag, e.tag);
        EXPECT_EQ(info->d_un_use, e.use);
        EXPECT_EQ(t->tag_info(e.tag), info) << "one row per tag, made once";
    }
    EXPECT_EQ(t->tag_info(31)->exec_requirement, DT_REQ_OPTIONAL);
    EXPECT_EQ(t->tag_info(0x70000001)->so_requirement, DT_REQ_OPTIONAL);
    EXPECT_TRUE(reports.empty());

    // A relocatable file carries no version information: the versioning tags are unlisted there.
    elf_object rel("elf32 le rel\ndynsym x\n");
    ASSERT_NE(rel.dynamic(), nullptr);
    EXPECT_STREQ(rel.dynamic()->tag_info(0x6ffffffe)->name, "DT_0x6ffffffe");
    EXPECT_EQ(rel.dynamic()->tag_info(0x6ffffffe)->d_un_use, DT_UN_UNSPECIFIED);
}

TEST(ElfDynamicTable, FieldsAreReadAndWrittenOnlyAsTheTagUsesThem) {
    for (fixture::byte_order order : {fixture::byte_order::little, fixture::byte_order::big}) {
        SCOPED_TRACE(order == fixture::byte_order::big ? "big endian" : "little endian");
        fixture::options opts;
        opts.order = order;
        elf_object f("elf32 le exec\ndynsym x\ndynamic 31 0x55\ndynamic textrel 9\n", opts);
        ASSERT_TRUE(f.opened());
        ELF_DYNAMIC_TABLE* t = f.dynamic();
        ASSERT_NE(t, nullptr);
        // Entries: 31, DT_TEXTREL, then HASH STRTAB SYMTAB STRSZ SYMENT and DT_NULL.
        ASSERT_EQ(t->count(), 8u);
        EXPECT_EQ(t->entry(8), nullptr);
        ELF_DYNAMIC* unlisted = t->entry(0);
        EXPECT_EQ(unlisted->get_val(), 0u);
        EXPECT_EQ(unlisted->get_ptr(), 0u);
        ELF_DYNAMIC* strsz = entry_with(t, 10);
        EXPECT_EQ(strsz->index(), 5u);
        EXPECT_EQ(strsz->get_ptr(), 0u);
        EXPECT_EQ(strsz->get_val(), 3u);  // "\0x\0"
        EXPECT_EQ(reports, (std::vector{
                               report(5, "invalid attempt to access the val field of a DT_0x1f dynamic entry"),
                               report(5, "invalid attempt to access the ptr field of a DT_0x1f dynamic entry"),
                               report(5, "invalid attempt to access the ptr field of a DT_STRSZ dynamic entry")}));
        reports.clear();

        // A refused set changes neither the entry nor the bytes; an accepted one rewrites both.
        strsz->set_ptr(0x1000);
        entry_with(t, 22)->set_val(1);  // DT_TEXTREL ignores d_un
        EXPECT_EQ(reports, (std::vector{
                               report(5, "invalid attempt to set the ptr field of a DT_STRSZ dynamic entry"),
                               report(5, "invalid attempt to set the val field of a DT_TEXTREL dynamic entry")}));
        EXPECT_EQ(strsz->get_val(), 3u);
        EXPECT_EQ(stored_d_un(t, 5), 3u);
        strsz->set_val(0x01020304);
        EXPECT_EQ(strsz->get_val(), 0x01020304u);
        EXPECT_EQ(stored_d_un(t, 5), 0x01020304u);
        ELF_DYNAMIC* symtab = entry_with(t, 6);
        symtab->set_ptr(0xcafe0000);
        EXPECT_EQ(stored_d_un(t, symtab->index()), 0xcafe0000u);
        EXPECT_EQ(stored_d_un(t, 3), entry_with(t, 5)->get_ptr()) << "neighbours untouched";
    }
}

TEST(ElfDynamicTable, StringTagsCopyTheirStringOrGiveEmpty) {
    elf_object f("elf32 le dyn\ndynsym x\ndynamic needed \"libc.so\"\ndynamic needed 0x1000\n"
                 "dynamic soname \"libtest.so\"\ndynamic rpath \"/opt/lib\"\ndynamic runpath \"$ORIGIN\"\n"
                 "dynamic init 0x4\n");
    ASSERT_TRUE(f.opened());
    ELF_DYNAMIC_TABLE* t = f.dynamic();
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t->entry(0)->get_string(), "libc.so");
    EXPECT_STREQ(t->entry(1)->get_string(), "") << "an offset beyond the string table";
    EXPECT_STREQ(t->entry(2)->get_string(), "libtest.so");
    EXPECT_STREQ(t->entry(3)->get_string(), "/opt/lib");
    EXPECT_STREQ(t->entry(4)->get_string(), "$ORIGIN");
    EXPECT_STREQ(t->entry(5)->get_string(), "") << "DT_INIT is not a string tag";
    EXPECT_EQ(t->entry(1)->get_val(), 0x1000u);
    EXPECT_TRUE(reports.empty());
}

TEST(ElfDynamicTable, DumpShowsEachValueAsItsTagUsesIt) {
    elf_object f("elf32 le dyn\ndynsym x\ndynamic needed \"libc.so\"\ndynamic init 0x123\ndynamic textrel 7\n"
                 "dynamic 31 5\ndynamic 0x70000001 42\n");
    ASSERT_TRUE(f.opened());
    ELF_DYNAMIC_TABLE* t = f.dynamic();
    ASSERT_NE(t, nullptr);
    auto dump = [](ELF_DYNAMIC_TABLE* table) {
        FILE* out = std::tmpfile();
        table->dump(out);
        std::string text(static_cast<size_t>(std::ftell(out)), '\0');
        std::rewind(out);
        text.resize(std::fread(text.data(), 1, text.size(), out));
        std::fclose(out);
        return text;
    };
    const uint32_t hash = entry_with(t, 4)->get_ptr(), strtab = entry_with(t, 5)->get_ptr(),
                   symtab = entry_with(t, 6)->get_ptr();
    char addresses[200];
    std::snprintf(addresses, sizeof addresses,
                  "    5  DT_HASH       0x%08x\n    6  DT_STRTAB     0x%08x\n    7  DT_SYMTAB     0x%08x\n", hash,
                  strtab, symtab);
    EXPECT_EQ(dump(t), std::string("\n Dynamic Information in \"test.o\"\n\n"
                                   "    id tag           value\n"
                                   "    -- ---           -----\n"
                                   "    0  DT_NEEDED     libc.so\n"
                                   "    1  DT_INIT       0x00000123\n"
                                   "    2  DT_TEXTREL\n"
                                   "    3  DT_0x1f\n"
                                   "    4  DT_0x70000001 42\n") +
                           addresses +
                           "    8  DT_STRSZ      11\n"
                           "    9  DT_SYMENT     16\n"
                           "    10 DT_NULL\n");
    EXPECT_TRUE(reports.empty()) << "the dump reads each field as its tag uses it";

    elf_object empty("elf32 le dyn\ndynsym x\nsectionheader .dynamic sh_size=0\n");
    ASSERT_NE(empty.dynamic(), nullptr);
    EXPECT_EQ(dump(empty.dynamic()), "");
}

TEST(ElfDynamicDb, OnlyExecutablesAndSharedObjectsHaveOne) {
    elf_object rel("elf32 le rel\ndynsym x\n");
    ASSERT_TRUE(rel.opened());
    EXPECT_EQ(rel->dynamic_db(), nullptr);
    EXPECT_EQ(reports, (std::vector{report(5,
                                           "attempt to access dynamic information in an object file that is not "
                                           "executable or a shared object")}));
    elf_object exec("elf32 le exec\ndynsym x\n");
    ASSERT_NE(exec->dynamic_db(), nullptr);
    EXPECT_EQ(exec->dynamic_db(), exec->dynamic_db()) << "made once";
}

TEST(ElfDynamicDb, RolesComeFromTheProgramHeadersWithoutSectionHeaders) {
    // A SysV hash table, big endian, no section headers, a load base other than the default.
    fixture::options be;
    be.order = fixture::byte_order::big;
    elf_object f("elf32 be dyn\nlayout shdrs=off base=0x10000\nsection .text data=00112233\n"
                 "dynsym alpha value=0x10034 section=.text type=func\ndynsym beta\ndynsym gamma bind=weak\n"
                 "hash nbucket=3\n",
                 be);
    ASSERT_TRUE(f.opened());
    ELF_DYNAMIC_DB* db = f->dynamic_db();
    ASSERT_NE(db, nullptr);
    ELF_SECTION_TABLE* sections = f->section_table();
    auto role = [&](uint32_t r) { return sections->elf_section_at(db->role(r)); };
    for (uint32_t r : {DYN_ROLE_DYNAMIC, DYN_ROLE_HASH, DYN_ROLE_STRINGS, DYN_ROLE_SYMBOLS}) {
        ASSERT_NE(db->role(r), 0u) << "role " << r;
        EXPECT_TRUE(role(r)->created_by_library());
    }
    EXPECT_STREQ(role(DYN_ROLE_DYNAMIC)->name(), ".dynamic");
    EXPECT_STREQ(role(DYN_ROLE_HASH)->name(), ".hash");
    EXPECT_STREQ(role(DYN_ROLE_STRINGS)->name(), ".dynstr");
    EXPECT_STREQ(role(DYN_ROLE_SYMBOLS)->name(), ".dynsym");
    EXPECT_EQ(role(DYN_ROLE_HASH)->header().sh_size, 8u + 4u * (3u + 4u));
    EXPECT_EQ(role(DYN_ROLE_STRINGS)->header().sh_size, 18u);  // "\0alpha\0beta\0gamma\0"
    EXPECT_EQ(role(DYN_ROLE_SYMBOLS)->header().sh_size, 4u * 16u);
    EXPECT_EQ(role(DYN_ROLE_SYMBOLS)->header().sh_entsize, 16u);
    EXPECT_EQ(role(DYN_ROLE_SYMBOLS)->header().sh_link, db->role(DYN_ROLE_STRINGS));
    EXPECT_EQ(role(DYN_ROLE_HASH)->header().sh_link, db->role(DYN_ROLE_SYMBOLS));
    EXPECT_EQ(role(DYN_ROLE_DYNAMIC)->header().sh_link, db->role(DYN_ROLE_STRINGS));
    // Virtual addresses went through the PT_LOAD segment: the names and values read right.
    OF_SYMBOL_TABLE* symbols = db->dynamic_symbol_table();
    ASSERT_NE(symbols, nullptr);
    ASSERT_EQ(symbols->count(), 4u);
    EXPECT_STREQ(symbols->symbol_at(1)->name(), "alpha");
    EXPECT_EQ(symbols->symbol_at(1)->value(), 0x10034u);
    EXPECT_STREQ(symbols->symbol_at(3)->name(), "gamma");
    EXPECT_TRUE(reports.empty());
}

TEST(ElfDynamicFinalise, MandatoryTagsFollowTheFileKind) {
    // REL entries and none of the RELA ones: mandatory in an executable, optional in a shared object.
    const std::string body = "dynsym x\ndynamic rel 0x8000\ndynamic relsz 0\ndynamic relent 8\ndynamic textrel 5\n";
    elf_object exec("elf32 le exec\n" + body);
    ASSERT_NE(exec.dynamic(), nullptr);
    EXPECT_EQ(stored_d_un(exec.dynamic(), 3), 5u);
    EXPECT_EQ(exec.dynamic()->progress_to_state(OF_STATE_LOCKED), 0);
    const char* tail = " tag does not exist in the \".dynamic\" section; this tag is mandatory for executable files";
    EXPECT_EQ(reports, (std::vector{report(3, std::string("a \"DT_RELA\"") + tail),
                                    report(3, std::string("a \"DT_RELASZ\"") + tail),
                                    report(3, std::string("a \"DT_RELAENT\"") + tail)}));
    // Fields the tag does not use are cleared, in the bytes too.
    EXPECT_EQ(stored_d_un(exec.dynamic(), 3), 0u);

    elf_object shared("elf32 le dyn\n" + body);
    ASSERT_NE(shared.dynamic(), nullptr);
    EXPECT_EQ(shared.dynamic()->progress_to_state(OF_STATE_LOCKED), 0);
    EXPECT_TRUE(reports.empty());

    // Without DT_HASH a shared object misses one of its own mandatory tags.
    elf_object gnu_only("elf32 le dyn\ndynsym x\ngnuhash only\n");
    ASSERT_NE(gnu_only.dynamic(), nullptr);
    EXPECT_EQ(gnu_only.dynamic()->progress_to_state(OF_STATE_LOCKED), 0);
    EXPECT_EQ(reports, (std::vector{report(3,
                                           "a \"DT_HASH\" tag does not exist in the \".dynamic\" section; this tag is "
                                           "mandatory for shared object files")}));
}

TEST(ElfGnuHashCount, OnePastTheEndOfTheHighestChainOrSymoffset) {
    // Every bucket empty: the symbols below symoffset are all there is.
    elf_object imports("elf32 le exec\ndynsym a\ndynsym b\ngnuhash only symoffset=3\n");
    ASSERT_NE(imports.dynamic_symbols(), nullptr);
    EXPECT_EQ(imports.dynamic_symbols()->count(), 3u);
    // Buckets emptied by hand, though hashed symbols follow: symoffset still.
    elf_object emptied("elf32 le dyn\ndynsym a\ndynsym b\ndynsym c\ngnuhash only nbuckets=2 symoffset=2\n"
                       "patch sec:.gnu.hash+20 u32 0 0\n");
    ASSERT_NE(emptied.dynamic_symbols(), nullptr);
    EXPECT_EQ(emptied.dynamic_symbols()->count(), 2u);
    // The chain that starts highest (bucket 1: beta, delta at 2 and 3) ends at the last symbol; bucket 0
    // holds gamma at 1.
    elf_object chained("elf32 le dyn\ndynsym beta\ndynsym gamma\ndynsym delta\ngnuhash only nbuckets=2 symoffset=1\n");
    ASSERT_NE(chained.dynamic_symbols(), nullptr);
    EXPECT_EQ(chained.dynamic_symbols()->count(), 4u);
    EXPECT_STREQ(chained.dynamic_symbols()->symbol_at(3)->name(), "delta");
    EXPECT_TRUE(reports.empty());
}

TEST(ElfGnuHashCount, IndexesPastTheBytesPresentAreReportedAndBounded) {
    const std::string head = "elf32 le dyn\nlayout shdrs=off\nsection .dynsym\nsection .dynstr\nsection .dynamic\n"
                             "section .gnu.hash\ndynsym a\ndynsym b\ndynsym c\ngnuhash only nbuckets=1 symoffset=2\n";
    // The hash table ends the file. A bucket far past the end: only the symbols below symoffset.
    elf_object bucket(head + "patch sec:.gnu.hash+20 u32 0xfffffff0\n");
    ASSERT_NE(bucket.dynamic_symbols(), nullptr);
    EXPECT_EQ(bucket.dynamic_symbols()->count(), 2u);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].second.find("GNU hash table of \"test.o\" at offset 0x"), 0u) << reports[0].second;
    EXPECT_NE(reports[0].second.find(": bucket 0 starts at symbol 4294967280, past the end of the file"),
              std::string::npos)
        << reports[0].second;

    // A chain without an end runs through a megabyte of zeros after the table: the walk stops at the
    // end of the file, and the symbol table is then cut at the file's bytes, each reported once.
    const auto start = std::chrono::steady_clock::now();
    elf_object endless(head + "patch sec:.gnu.hash+28 u32 0\nappend zeros=0x100000\n");
    OF_SYMBOL_TABLE* symbols = endless.dynamic_symbols();
    ASSERT_NE(symbols, nullptr);
    EXPECT_LE(symbols->count(), endless.file_size() / 16);
    EXPECT_GT(symbols->count(), 4u);
    EXPECT_STREQ(symbols->symbol_at(3)->name(), "c");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[0].second.find("the chain from symbol 2 runs past the end of the file after symbol"),
              std::string::npos)
        << reports[0].second;
    EXPECT_NE(reports[1].second.find("holds"), std::string::npos) << reports[1].second;

    // Counts that claim gigabytes: nbuckets and bloom_size.
    for (const char* patch : {"patch sec:.gnu.hash u32 0xffffffff\n", "patch sec:.gnu.hash+8 u32 0x3fffffff\n"}) {
        SCOPED_TRACE(patch);
        elf_object huge(head + patch);
        ASSERT_NE(huge.dynamic_symbols(), nullptr);
        EXPECT_EQ(huge.dynamic_symbols()->count(), 2u);
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_NE(reports[0].second.find("buckets, but the file ends after"), std::string::npos) << reports[0].second;
    }
    // The header cut by the end of the file: nothing can be counted.
    elf_object cut(head + "truncate -20\n");
    ASSERT_NE(cut.dynamic_symbols(), nullptr);
    EXPECT_EQ(cut.dynamic_symbols()->count(), 0u);
    ASSERT_FALSE(reports.empty());
    EXPECT_NE(reports.back().second.find("the file ends inside its header"), std::string::npos) << reports.back().second;
}
