// The symbol alias section (every format-version case, the vendor check, renumbering and writing) and the
// symbol metadata section (its kinds, bad entries, the accessors and the merge rule).
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "elf_object.h"
#include "ofe/elf/elf_symalias.h"
#include "ofe/elf/elf_symmeta.h"

using namespace OFE;
using namespace elf_test;

namespace {

using PAIRS = std::vector<ELF_SYMALIAS_TABLE::PAIR>;

// A "QX" build-attribute subsection, so that the file's vendor is "QX".
const char* const qx_vendor = "section __QX_build_attributes type=0x70000003 data=41 words=7 data=515800\n";

}  // namespace

TEST(ElfSymbolAliases, VersionAndVendorCases) {
    unit::diag_capture diag;  // unwrapped, with remarks
    DIAG::settings().diag_wrap = false;
    DIAG::settings().show_remarks = true;
    elf_object f(std::string("elf32 le rel\n") + qx_vendor +
                 "section .ok type=0x7f000006 data=010000000300515800 words=5,7,5,5,2,9\n"
                 "section .update type=0x7f000006 data=010001000100515800 words=1,2\n"
                 "section .major type=0x7f000006 data=020000000000515800\n"
                 "section .minor type=0x7f000006 data=01010000\n"
                 "section .old type=0x7f000006 data=00000000\n"
                 "section .short type=0x7f000006 data=010000\n"
                 "section .five type=0x7f000006 data=0100000005\n"
                 "section .count type=0x7f000006 data=010000000500515800 words=1,2\n"
                 "section .vendor type=0x7f000006 data=0100000001004e5800 words=1,2\n"
                 "section .other type=1 data=010000000100515800 words=1,2\n");
    const std::string file = "The file \"test.o\" ", ignored = " All symbol aliases will be ignored.",
                      update = " should resolve this issue. \n";
    const std::string newer = "warning: " + file + "uses a new symbol alias table format version which is not "
                              "supported by this tool version." + ignored + " Updating your linker to the latest version" + update;
    const std::tuple<const char*, PAIRS, std::string> cases[] = {
        {".ok", {{5, 7}, {2, 9}}, ""},  // (5, 5) is dropped
        {".update", {{1, 2}}, "remark: " + file + "uses a symbol alias table format version which may contain optional data "
                              "this tool cannot interpret. Some symbol aliases may be ignored. Updating your linker to the "
                              "latest version" + update},
        {".major", {}, newer},
        {".minor", {}, newer},
        {".old", {}, "warning: " + file + "uses a symbol alias table format version which is no longer supported." +
                         ignored + " Updating your assembler to the latest version" + update},
        {".short", {}, "warning: " + file + "does not specify a valid extended symbol alias table format." + ignored +
                           " Updating your tool chain to the latest version" + update},
        {".five", {}, "warning: " + file + "does not specify a valid symbol alias table format." + ignored +
                          " Updating your tool chain to the latest version" + update},
        {".count", {}, ""},  // five pairs claimed, one present
        {".vendor", {}, "warning: " + file + "has been processed by a non-QX vendor, and its symbol aliases may be "
                        "invalid." + ignored + "\n"},
    };
    for (const auto& [section, pairs, message] : cases) {
        EXPECT_EQ(f.section(section)->symalias_table()->pairs(), pairs) << section;
        EXPECT_EQ(diag.take(), message) << section;
    }
    EXPECT_EQ(f.section(".vendor")->symalias_table()->read(), 0) << "read once only";
    EXPECT_EQ(diag.take(), "");
    EXPECT_EQ(f.section(".other")->symalias_table(), nullptr) << "identified by its type";
    EXPECT_TRUE(reports.empty());

    // A file whose build attributes name no vendor accepts only an empty vendor name.
    elf_object g("elf32 le rel\n"
                 "section .qx type=0x7f000006 data=010000000100515800 words=1,2\n"
                 "section .anon type=0x7f000006 data=01000000010000 words=3,4\n");
    EXPECT_TRUE(g.section(".qx")->symalias_table()->pairs().empty());
    EXPECT_NE(diag.take().find("non-QX vendor"), std::string::npos);
    EXPECT_EQ(g.section(".anon")->symalias_table()->pairs(), (PAIRS{{3, 4}}));
}

TEST(ElfSymbolAliases, RenumberedAndWritten) {
    elf_object f(std::string("elf32 be rel\n") + qx_vendor +
                 "section .QX.symbol.alias type=0x7f000006 data=010000000003515800 words=5,7,2,9,6,3\n");
    ELF_SECTION* s = f.section(".QX.symbol.alias");
    ELF_SYMALIAS_TABLE* table = s->symalias_table();
    ASSERT_EQ(table->pairs(), (PAIRS{{5, 7}, {2, 9}, {6, 3}}));
    table->add_pair(3, 4);
    // 7 is removed; 9 becomes 8 and 4 becomes 1.
    table->renumber({0, 1, 2, 3, 1, 5, 6, 0xFFFFFFFF, 8, 8});
    EXPECT_EQ(table->pairs(), (PAIRS{{2, 8}, {6, 3}, {3, 1}}));
    // Indexes past the map count as removed.
    table->renumber({0, 1, 2, 3, 4, 5});
    EXPECT_EQ(table->pairs(), (PAIRS{{3, 1}}));

    ASSERT_EQ(table->progress_to_state(OF_STATE_LOCKED), 0);
    EXPECT_EQ(unit::hex(s->data()), "01" "000000" "0001" "515800" "00000003" "00000001") << "in the section's byte order";
    EXPECT_EQ(std::tuple(s->header().sh_type, s->header().sh_entsize, s->header().sh_size),
              std::tuple(0x7f000006u, 8u, 17u));
}

namespace {

// Symbols 1 to 3; the metadata section's contents follow.
std::string with_metadata(const std::string& hex) {
    return "elf32 le rel\nsection .text data=00\nsymbol f section=.text\nsymbol g section=.text\n"
           "symbol h section=.text\nsection .symtab_meta type=0x6fff4c09 data=" +
           hex + "\n";
}

// A symbol's metadata in one line: marks A to D, the location, the text ("-" for none) and the strings;
// "none" without a record.
std::string metadata_of(const OF_SYMBOL* s) {
    if (!s->has_metadata()) return "none";
    std::string text = std::string(s->metadata_mark_a() ? "A" : "-") + (s->metadata_mark_b() ? "B" : "-") +
                       (s->metadata_mark_c() ? "C" : "-") + (s->metadata_mark_d() ? "D" : "-");
    text += ' ';
    text += s->has_metadata_location() ? std::to_string(s->metadata_location()) : "-";
    text += ' ';
    text += s->has_metadata_text() ? s->metadata_text() : "-";
    for (const std::string& m : s->metadata_strings()) text.append(" ").append(m);
    return text;
}

}  // namespace

TEST(ElfSymbolMetadata, KindsUpToTheFirstBadEntry) {
    // Format 1; then (kind, value, symbol): A on 1; location 0x1234 on 2; D on 3; text "txt" on 2; strings
    // "b" and "a" on 1; B on 3; C on 2; kind 9, which ends the reading; A on 3, never read.
    elf_object f(with_metadata("01" "010001" "02b42402" "030003" "0474787400" "02" "056200" "01" "056100" "01"
                               "060003" "070002" "090003" "010003"));
    const char* const expected[] = {"none", "A--- - - a b", "--C- 4660 txt", "-B-D - -"};
    for (uint32_t i = 0; i <= 3; ++i) EXPECT_EQ(metadata_of(f.symbol_at(i)), expected[i]) << i;
    EXPECT_EQ(taken(), std::vector<std::string>{"4: Invalid meta-info kind encountered in symbol metadata section "
                                                "(.symtab_meta)"});
    // The records stay with the table: a dropped symbol comes back with its metadata.
    f->symbol_table()->drop_symbol(2);
    EXPECT_EQ(metadata_of(f.symbol_at(2)), expected[2]);

    elf_object wrong(with_metadata("02010001"));
    EXPECT_EQ(metadata_of(wrong.symbol_at(1)), "none");
    EXPECT_EQ(taken(), std::vector<std::string>{"4: Invalid format specified for symbol metadata section "
                                                "(.symtab_meta)"});
}

TEST(ElfSymbolMetadata, AccessorsAndMerge) {
    elf_object f(with_metadata("01"));  // the format byte alone: no records
    OF_SYMBOL* a = f.symbol_at(1);
    OF_SYMBOL* b = f.symbol_at(2);
    OF_SYMBOL* c = f.symbol_at(3);
    EXPECT_EQ(metadata_of(a), "none");
    EXPECT_TRUE(a->metadata_strings().empty());
    EXPECT_STREQ(a->metadata_text(), "");
    a->set_metadata_mark_a(true);
    EXPECT_EQ(metadata_of(a), "A--- - -") << "a setter makes the record";
    a->set_metadata_location(0x10);
    a->set_metadata_text("t");
    a->add_metadata_string("s");
    b->set_metadata_location(0x20);
    b->set_metadata_mark_d(true);

    EXPECT_TRUE(c->merge_metadata(nullptr));
    EXPECT_TRUE(a->merge_metadata(c)) << "c has no metadata";
    EXPECT_EQ(metadata_of(c), "none");
    EXPECT_TRUE(c->merge_metadata(a));
    EXPECT_EQ(metadata_of(c), "A--- 16 t s");
    EXPECT_TRUE(reports.empty());

    EXPECT_FALSE(b->merge_metadata(a)) << "the locations differ";
    EXPECT_EQ(taken(), std::vector<std::string>{"4: Multiple location attributes applied to the same symbol must "
                                                "agree on the address argument specified for the location"});
    EXPECT_EQ(metadata_of(b), "A--D 32 t s") << "the other attributes are still merged";
}

TEST(ElfSymbolMetadata, WrittenRecords) {
    ELF_SYMBOL_METADATA_MAP records;
    records[2] = std::make_unique<ELF_SYMBOL_METADATA>(ELF_SYMBOL_METADATA{
        .has_location = true, .location = 0x1234, .mark_c = true, .text = {}, .strings = {"x", "y"}});
    records[300] =
        std::make_unique<ELF_SYMBOL_METADATA>(ELF_SYMBOL_METADATA{.has_text = true, .text = "t", .strings = {}});
    DATA_MAP data;
    write_symbol_metadata(records, data);
    // The records in the encoding the reader above takes: format 1, then (kind, value, symbol) by symbol.
    EXPECT_EQ(unit::hex(data), "01" "02b42402" "05780002" "05790002" "070102" "047400ac02");
}
