// QXCOFF files: header queries, where the string and symbol tables are found, and counts and lengths that
// claim more than the object holds. (The headers of the three versions: the golden dumps of each version.)
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "ofe/coff/qxcoff_string_table.h"
#include "ofe/coff/qxcoff_symbol.h"
#include "ofe/machine/of_machine_db.h"
#include "qxcoff_test_support.h"

using namespace OFE;
using qxunit::opened;

namespace {

TEST(QxcoffFileHeader, TargetFileTypeAndEndianFromTheirFields) {
    // The target comes from the magic in version 0 and from the target id later.
    struct TARGET {
        const char* description;
        OF_TARGET target;
        uint32_t unit_bits;
    } targets[] = {
        {"qxcoff v0 le\nheader target=0x9a\n", OF_TARGET_NONE, 8},  // no target has 0x9a
        {"qxcoff v0 be\nheader target=0x97\n", OF_TARGET_ARM, 8},
        {"qxcoff v1 le\nheader target=0x9d\n", OF_TARGET_KITE, 16},
        {"qxcoff v2 be\nheader target=0xa2\n", OF_TARGET_KNOT, 8},  // Vole writes 0xa2 too; it reads as Knot
        {"qxcoff v2 le\nheader target=0x98\n", OF_TARGET_ROOK, 16},
    };
    for (const TARGET& c : targets) {
        opened o(c.description);
        EXPECT_EQ(o.file().target(), c.target) << c.description;
        EXPECT_EQ(o.file().machine_db()->address_unit_bits(), c.unit_bits) << c.description;
    }
    // The file type from the exec and relocation flags; the endian from the flags only.
    struct FLAGS {
        uint32_t flags, type, endian;
    } flags[] = {{0x0100, OF_FILE_RELOCATABLE, OF_ENDIAN_LITTLE}, {0x0101, OF_FILE_NONE, OF_ENDIAN_LITTLE},
                 {0x0103, OF_FILE_EXECUTABLE, OF_ENDIAN_LITTLE},  {0x0202, OF_FILE_EXECUTABLE, OF_ENDIAN_BIG},
                 {0x0000, OF_FILE_RELOCATABLE, OF_ENDIAN_UNKNOWN}, {0x0300, OF_FILE_RELOCATABLE, OF_ENDIAN_UNKNOWN}};
    for (const FLAGS& c : flags) {
        opened o("qxcoff v2 be\nheader f_flags=" + std::to_string(c.flags) + "\n");
        EXPECT_EQ(o.file().file_type(), c.type) << c.flags;
        EXPECT_EQ(o.file().endian(), c.endian) << c.flags;
        EXPECT_EQ(o.file().machine_endian(), OF_ENDIAN_BIG);
    }
}

TEST(QxcoffFileHeader, ProducerVersionFromTheVersionStampAndTheOptionalHeaderSize) {
    struct CASE {
        uint32_t stamp;
        const char* text;
        uint32_t major, minor;
    } cases[] = {{999, "9.99", 9, 99}, {1000, "1.0", 1, 0}, {7012, "7.12", 7, 12}, {0, "0.0", 0, 0},
                 {65535, "65.535", 65, 535}};
    for (const CASE& c : cases) {
        opened o("qxcoff v0 le\nopthdr o_vstamp=" + std::to_string(c.stamp) + "\n");
        EXPECT_EQ(o.file().producer_version(), c.text) << c.stamp;
        EXPECT_EQ(std::tuple(o.file().producer_major(), o.file().producer_minor()), std::tuple(c.major, c.minor));
    }
    opened none("qxcoff v0 le\n");
    EXPECT_FALSE(none.file().has_producer_version());
    EXPECT_EQ(none.file().producer_version(), "");
    EXPECT_FALSE(none.file().has_entry_point());

    // An optional header size other than 28 is no optional header, but moves the section headers.
    opened o("qxcoff v1 le\nopthdr o_entry=0x1234\nheader f_opthdr=8\n");
    EXPECT_FALSE(o.file().has_optional_header());
    EXPECT_EQ(o.file().entry_point(), 0u);
    EXPECT_EQ(o.file().section_table()->table_offset(), 30u);
}

TEST(QxcoffFileHeader, SettersRefuseWhatTheFormatCannotHoldAndOnlyQxcoffHasTheView) {
    opened o("qxcoff v2 le\n");
    QXCOFF_FILE& f = o.file();
    f.set_endian(static_cast<OF_ENDIAN>(3));
    EXPECT_EQ(o.take_error(), "5: invalid endian setting");
    EXPECT_EQ(f.endian(), OF_ENDIAN_UNKNOWN);
    EXPECT_EQ(f.header().f_flags & 0x0300, 0);
    f.set_endian(OF_ENDIAN_BIG);
    EXPECT_EQ(f.endian(), OF_ENDIAN_BIG);

    f.set_file_type(OF_FILE_SHARED);
    EXPECT_EQ(o.take_error(), "5: file type \"shared object file\" is not valid for QX-COFF");
    f.set_file_type(static_cast<OF_FILE_TYPE>(7));
    EXPECT_EQ(o.take_error(), "5: invalid file type (0x7)");
    EXPECT_EQ(f.file_type(), OF_FILE_RELOCATABLE);
    f.set_file_type(OF_FILE_EXECUTABLE);
    EXPECT_EQ(f.file_type(), OF_FILE_EXECUTABLE);
    f.set_file_type(OF_FILE_RELOCATABLE);
    EXPECT_EQ(f.file_type(), OF_FILE_RELOCATABLE);

    EXPECT_EQ(as_qxcoff_file(o.object()), &f);
    opened elf("elf32 le rel\nsection .text data=00\n");
    EXPECT_EQ(as_qxcoff_file(elf.object()), nullptr);
    EXPECT_EQ(elf.take_error(), "3: attempting to get QX-COFF interface for non-QX-COFF file");
}

// ---- Where the string table lies ----

TEST(QxcoffStringTable, FollowsTheSymbolsOrTheLastStoredBlockOrTheHeaders) {
    // 22-byte header, no sections, one entry at 22: the table starts at 40 and holds 4 + 19 bytes.
    opened o("qxcoff v2 le\nsymbol a_long_symbol_name\n");
    EXPECT_EQ(o.file().string_table_offset(), 40u);
    EXPECT_EQ(o.file().string_table_length(), 23u);
    EXPECT_STREQ(o.file().symbol_table()->symbol_at(0)->name(), "a_long_symbol_name");

    // Without symbols it follows the last stored block, whichever section owns it: raw data of both
    // sections, then the line numbers of the first. 22 + 2 * 48 = 118: .a data at 118 (1 unit), .b data at
    // 120 (2 units), .a line numbers (one 6-byte entry) at 124.
    opened blocks(R"(qxcoff v2 le
section .a_long_first_name data=0011 flags=text lnno_data=000000000100
section .b_long_second_name data=22334455 flags=data
)");
    EXPECT_EQ(blocks.file().header().f_symptr, 0u);
    EXPECT_EQ(blocks.file().string_table_offset(), 130u);
    EXPECT_STREQ(blocks.file().section_table()->section_at(0)->name(), ".a_long_first_name");
    EXPECT_STREQ(blocks.file().section_table()->section_at(1)->name(), ".b_long_second_name");

    // The last raw data block counts address units of its section: 22 + 48 = 70; 6 bytes of raw data end at
    // 76 whatever the unit, but s_size says 3 Kite units, 6 units of 8 bits, or 6 of an explicit 8-bit s_mwidth.
    const std::pair<const char*, uint32_t> units[] = {
        {"qxcoff v2 be\nsection .text_section_long data=001122334455\n", 3},
        {"qxcoff v2 be\nheader target=0x97\nsection .text_section_long data=001122334455\n", 6},
        {"qxcoff v2 be\nsection .text_section_long data=001122334455 mwidth=8\n", 6}};
    for (const auto& [description, size] : units) {
        opened u(description);
        QXCOFF_SECTION* s = u.file().section_table()->qxcoff_section_at(0);
        EXPECT_EQ(s->header().s_size, size) << description;
        EXPECT_EQ(u.file().string_table_offset(), 76u) << description;
        EXPECT_STREQ(s->name(), ".text_section_long");
        EXPECT_EQ(u.take_error(), "0: ");
    }

    // With nothing stored it follows the headers.
    for (int version : {0, 1, 2}) {
        opened plain("qxcoff v2 le\nstrtab force\n", qxunit::variant(version, false));
        EXPECT_EQ(plain.file().string_table_offset(), version == 0 ? 20u : 22u);
        EXPECT_EQ(plain.file().string_table_length(), 4u);
        opened optional("qxcoff v2 be\nopthdr\nstrtab force\n", qxunit::variant(version, true));
        EXPECT_EQ(optional.file().string_table_offset(), version == 0 ? 48u : 50u);
    }
}

TEST(QxcoffStringTable, LengthsPastTheObjectAreRefusedAndAStartAtTheEndIsNone) {
    // One byte past the end (the golden cases show the exact length accepted and the message).
    opened over("qxcoff v2 be\nsymbol a_long_symbol_name\nstrtab length=24\n");
    EXPECT_EQ(over.take_error(), "3: invalid string table size 24");
    EXPECT_EQ(over.file().string_data().size(), 0u);
    // The read went on: the symbol table is there, its long name is not.
    ASSERT_EQ(over.file().symbol_table()->count(), 1u);
    EXPECT_EQ(over.file().symbol_table()->symbol_at(0)->name(), nullptr);

    // A huge length is refused without reading anything; it prints as a signed 32-bit number.
    opened huge("qxcoff v1 le\nsymbol a_long_symbol_name\nstrtab length=0xffffffff\n");
    EXPECT_EQ(huge.take_error(), "3: invalid string table size -1");
    EXPECT_EQ(huge.file().string_data().size(), 0u);
    EXPECT_EQ(huge.file().string_data().bytes_held(), 0u);

    // None where it would start at or past the end, and nothing is reported.
    opened omitted("qxcoff v2 le\nsymbol a_long_symbol_name\nsymbol short\nstrtab omit\n");
    EXPECT_EQ(omitted.take_error(), "0: ");
    EXPECT_EQ(omitted.file().string_table_length(), 0u);
    EXPECT_EQ(omitted.file().symbol_table()->symbol_at(0)->name(), nullptr);
    EXPECT_STREQ(omitted.file().symbol_table()->symbol_at(1)->name(), "short");
}

TEST(QxcoffStringTable, AddingKeepsTheLengthWordInStep) {
    opened o("qxcoff v2 be\nsymbol a_long_symbol_name\n");
    QXCOFF_STRING_TABLE* t = o.file().string_table();
    EXPECT_EQ(t->add_string("a_long_symbol_name"), 4u);
    EXPECT_EQ(t->add_string("next"), 23u);
    t->data()->set_cursor(0);
    EXPECT_EQ(t->data()->read_u32(), 28u);  // big endian, as the control byte order says
    t->clear();
    EXPECT_EQ(t->data()->size(), 4u);
    EXPECT_EQ(t->add_string("x"), 4u);
}

// ---- Offsets, counts and lengths that claim more than the object holds ----

TEST(QxcoffHostileCounts, SectionAndSymbolCountsAreCutToTheEntriesPresent) {
    // 22 + 48 + 4 bytes of data + 18 = 92 bytes: room for one 48-byte header after offset 22.
    opened o("qxcoff v2 le\nsection .text data=00112233\nsymbol a scnum=.text\nheader f_nscns=0xffff\n");
    EXPECT_EQ(o.size(), 92u);
    EXPECT_EQ(o.take_error(),
              "3: object.o: section header table at offset 0x16 claims 65535 entries of 48 bytes, but the object "
              "holds only 1");
    EXPECT_EQ(o.file().section_table()->count(), 1u);
    EXPECT_STREQ(o.file().section_table()->section_at(0)->name(), ".text");

    // The symbol count is reported when the table is used; the string table would start far past the end:
    // there is none, and nothing is said at opening.
    opened huge("qxcoff v0 be\nsection .text data=00112233\nsymbol first scnum=.text\nsymbol second\n"
                "header f_nsyms=0xffffffff\n");
    EXPECT_EQ(huge.take_error(), "0: ");
    OF_SYMBOL_TABLE* t = huge.file().symbol_table();
    EXPECT_EQ(huge.take_error(),
              "3: object.o: symbol table at offset 0x40 claims 4294967295 entries of 18 bytes, but the object holds "
              "only 2");
    ASSERT_EQ(t->count(), 2u);
    EXPECT_STREQ(t->symbol_at(1)->name(), "second");
    EXPECT_EQ(huge.file().symbol_data().size(), 36u);

    // Five entries, the last 20 bytes cut off: three whole entries remain.
    opened cut("qxcoff v1 le\nsymbol a\nsymbol b\nsymbol c\nsymbol d\nsymbol e\ntruncate -20\n");
    t = cut.file().symbol_table();
    EXPECT_EQ(cut.take_error(),
              "3: object.o: symbol table at offset 0x16 claims 5 entries of 18 bytes, but the object holds only 3");
    ASSERT_EQ(t->count(), 3u);
    EXPECT_STREQ(t->symbol_at(2)->name(), "c");
    EXPECT_EQ(t->symbol_at(3), nullptr);
}

TEST(QxcoffHostileCounts, HugeSectionSizesAndCountsCostNothingUntilRead) {
    opened o(R"(qxcoff v2 le
section .text data=0011 s_nreloc=0xffffffff s_nlnno=0xffffffff
section .data data=0011 s_size=0xffffffff
)");
    QXCOFF_SECTION* text = o.file().section_table()->qxcoff_section_at(0);
    QXCOFF_SECTION* data = o.file().section_table()->qxcoff_section_at(1);
    EXPECT_EQ(text->reloc_data().size(), 0xffffffffull * 12);
    EXPECT_EQ(data->size(), 0xffffffffu);
    data->data().load();
    EXPECT_LE(data->data().bytes_held(), o.size());
}

}  // namespace
