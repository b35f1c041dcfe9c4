// QXCOFF sections: the page field, names inline and from the string table,
// the format-neutral classification, alignment bits, address units and the setters' version limits.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <tuple>

#include "ofe/coff/qxcoff_defs.h"
#include "ofe/coff/qxcoff_names.h"
#include "qxcoff_test_support.h"

using namespace OFE;
using qxunit::opened;

namespace {

// The page field, which the dump leaves out: 8 bits in versions 0 and 1, 16 in version 2 beside s_mwidth.
// (The rest of the headers at each version's stride: the golden dumps of each version.)
TEST(QxcoffSectionHeaders, PageAndMemoryWidth) {
    for (int version : {0, 1}) {
        opened o("qxcoff v2 le\nsection .text data=00 page=3\n", qxunit::variant(version, version == 1));
        EXPECT_EQ(o.file().section_table()->qxcoff_section_at(0)->page(), 3);
    }
    opened wide("qxcoff v2 be\nsection .wide data=00 page=0x1234 mwidth=8\n");
    QXCOFF_SECTION* s = wide.file().section_table()->qxcoff_section_at(0);
    EXPECT_EQ(std::tuple(s->page(), s->address_unit_bits(), s->size()), std::tuple(0x1234, 8u, 1u));
}

TEST(QxcoffSectionNames, InlineInEveryVersionFromTheStringTableOnlyInVersion2) {
    for (int version : {0, 1, 2}) {
        for (bool big : {false, true}) {
            SCOPED_TRACE(qxunit::variant_name(version, big));
            opened o("qxcoff v0 le\nsection abcdefgh data=00\nsection ab data=00\n", qxunit::variant(version, big));
            EXPECT_STREQ(o.file().section_table()->section_at(0)->name(), "abcdefgh");
            EXPECT_STREQ(o.file().section_table()->section_at(1)->name(), "ab");
            // The same header bytes: a zero first word and offset 4, where the symbol's long name stands.
            opened ref("qxcoff v2 le\nsection x data=00 s_stroff=4\nsymbol a_long_symbol_name\n",
                       qxunit::variant(version, big));
            EXPECT_STREQ(ref.file().section_table()->section_at(0)->name(), version == 2 ? "a_long_symbol_name" : "");
        }
    }
    opened long_name("qxcoff v2 be\nsection .a_rather_long_section_name data=00\n");
    EXPECT_STREQ(long_name.file().section_table()->section_at(0)->name(), ".a_rather_long_section_name");

    for (bool big : {false, true}) {
        opened o("qxcoff v2 le\nsection x data=00 s_name=0000000000000000\nsection .a_long_name_here data=00\n",
                 qxunit::variant(2, big));
        // Offset 0 reads the length bytes: the table holds 4 + 18, its length word 16 00 00 00 or 00 00 00 16.
        EXPECT_EQ(o.file().string_table_length(), 22u);
        EXPECT_STREQ(o.file().section_table()->section_at(0)->name(), big ? "" : "\x16");
        // An offset at or past the table's end gives no name.
        opened past("qxcoff v2 le\nsection x data=00 s_stroff=22\nsection .a_long_name_here data=00\n",
                    qxunit::variant(2, big));
        EXPECT_EQ(past.file().section_table()->section_at(0)->name(), nullptr);
    }
}

TEST(QxcoffSectionClassification, FlagsGiveCodeDataBssAllocationAndRawData) {
    opened o(R"(qxcoff v2 le
section code data=00 flags=text
section init data=00 flags=data
section zero size=8 flags=bss
section other data=0011 flags=0
section copied data=00 flags=copy
section dummy data=00 flags=dsect
section noload data=00 flags=noload
section empty size=5 flags=0
section group data=0000000000000000 flags=is_group
)");
    // Code, data, bss, allocated, loaded, raw data; the size in units: from the raw data's length when there
    // is raw data, else s_size.
    const std::pair<const char*, uint32_t> expected[] = {{"CdbALR", 1}, {"cDbALR", 1}, {"cdBALr", 8},
                                                         {"cdbALR", 1}, {"cdbalR", 1}, {"cdbalr", 1},
                                                         {"cdbAlr", 1}, {"cdbALr", 5}, {"cdbALR", 4}};
    QXCOFF_SECTION_TABLE* t = o.file().section_table();
    ASSERT_EQ(t->count(), std::size(expected));
    for (uint32_t i = 0; i < t->count(); ++i) {
        QXCOFF_SECTION* s = t->qxcoff_section_at(i);
        const bool bits[] = {s->is_code(), s->is_data(), s->is_bss(), s->allocated(), s->loaded(), s->has_raw_data()};
        std::string seen = "cdbalr";
        for (int b = 0; b < 6; ++b)
            if (bits[b]) seen[b] = static_cast<char>(std::toupper(static_cast<unsigned char>(seen[b])));
        EXPECT_EQ(seen, expected[i].first) << s->name();
        EXPECT_EQ(s->size(), expected[i].second) << s->name();
    }
    EXPECT_TRUE(t->qxcoff_section_at(8)->is_group());

    // A section without units has no data offset.
    opened none("qxcoff v1 be\nsection .text data=00112233 s_size=0\n");
    QXCOFF_SECTION* s = none.file().section_table()->qxcoff_section_at(0);
    EXPECT_EQ(std::tuple(s->raw_data_offset(), s->raw_data().size(), s->size()), std::tuple(0u, uint64_t{0}, 0u));
}

TEST(QxcoffSectionAlignment, TheLogarithmInBits8To11) {
    opened o("qxcoff v2 le\nsection a data=00 flags=0xf20\nsection b data=00 flags=text align=1\n");
    QXCOFF_SECTION* a = o.file().section_table()->qxcoff_section_at(0);
    EXPECT_EQ(a->alignment(), 32768u);
    EXPECT_EQ(QXCOFF_SECTION::largest_alignment(), 32768u);
    EXPECT_TRUE(a->is_code());
    EXPECT_EQ(o.file().section_table()->qxcoff_section_at(1)->alignment(), 1u);

    a->set_alignment(1);
    EXPECT_EQ(a->flags(), QXCOFF::STYP_TEXT);
    a->set_alignment(64);
    EXPECT_EQ(a->flags(), QXCOFF::STYP_TEXT | 0x600u);
    a->set_alignment(0);
    EXPECT_EQ(a->alignment(), 1u);
    a->set_alignment(64);
    a->set_alignment(3);
    EXPECT_EQ(o.take_error(), "5: only powers of 2 are valid alignment values");
    EXPECT_EQ(a->alignment(), 64u);
    a->make_data();
    EXPECT_EQ(a->flags(), QXCOFF::STYP_DATA | 0x600u) << "changing the kind keeps the alignment bits";
}

TEST(QxcoffSectionAddressUnits, KiteUnitsAre16BitsUnlessTheSectionSaysOtherwise) {
    opened kite(R"(qxcoff v2 le
section big zeros=0x200
section three data=001122334455
section bytes data=001122 mwidth=8
)");
    // Unit bits, s_size, raw bytes and size in units.
    const std::tuple<uint32_t, uint32_t, uint64_t, uint32_t> expected[] = {
        {16, 0x100, 0x200, 0x100}, {16, 3, 6, 3}, {8, 3, 3, 3}};
    for (uint32_t i = 0; i < 3; ++i) {
        QXCOFF_SECTION* s = kite.file().section_table()->qxcoff_section_at(i);
        EXPECT_EQ(std::tuple(s->address_unit_bits(), s->header().s_size, s->raw_data().size(), s->size()), expected[i])
            << s->name();
    }
    // Versions "0" and "1" have no s_mwidth: the target alone decides.
    opened v1("qxcoff v1 le\nsection three data=001122334455\n");
    EXPECT_EQ(v1.file().section_table()->section_at(0)->address_unit_bits(), 16u);
    opened arm("qxcoff v1 le\nheader target=0x97\nsection six data=001122334455\n");
    EXPECT_EQ(arm.file().section_table()->section_at(0)->address_unit_bits(), 8u);
    EXPECT_EQ(arm.file().section_table()->section_at(0)->size(), 6u);

    // Section data follow the target byte order.
    opened o("qxcoff v2 le\nheader f_flags=0x0200\nsection d data=12345678 flags=data\n");
    QXCOFF_SECTION* s = o.file().section_table()->qxcoff_section_at(0);
    EXPECT_EQ(s->data_swapped(), OBJECT_FILE::host_endian() == OF_ENDIAN_LITTLE);
    s->data().set_cursor(0);
    EXPECT_EQ(s->data().read_u32(), 0x12345678u);
}

TEST(QxcoffSectionSetters, VersionLimits) {
    opened v1("qxcoff v1 le\nsection .text data=00\n");
    QXCOFF_SECTION* s = v1.file().section_table()->qxcoff_section_at(0);
    s->set_name("abcdefghij");
    EXPECT_EQ(v1.take_error(), "6: QX-COFF Version 1 only supports section names of up to 8 characters");
    EXPECT_STREQ(s->name(), "abcdefgh");
    s->set_page(0x1ff);
    EXPECT_EQ(v1.take_error(), "6: QX-COFF Version 1 supports a maximum of 255 pages");
    EXPECT_EQ(s->page(), 0xff);
    s->set_memory_width(8);
    EXPECT_EQ(v1.take_error(), "5: QX-COFF Version 1 does not support the mwidth section header field");
    EXPECT_EQ(s->address_unit_bits(), 16u);
    s->set_flags(QXCOFF::STYP_PADDED | QXCOFF::STYP_DATA);
    EXPECT_EQ(v1.take_error(), "6: QX-COFF Version 1 only supports up to 16 flags");
    EXPECT_EQ(s->flags(), QXCOFF::STYP_DATA);

    opened v2("qxcoff v2 le\nsection .text data=00\n");
    QXCOFF_SECTION* w = v2.file().section_table()->qxcoff_section_at(0);
    w->set_name("abcdefghij");
    w->set_page(0x1ff);
    w->set_memory_width(8);
    w->set_flags(QXCOFF::STYP_PADDED | QXCOFF::STYP_DATA);
    EXPECT_EQ(v2.take_error(), "0: ");
    EXPECT_STREQ(w->name(), "abcdefghij");
    EXPECT_EQ(std::tuple(w->page(), w->address_unit_bits(), w->flags()),
              std::tuple(0x1ff, 8u, QXCOFF::STYP_PADDED | QXCOFF::STYP_DATA));
    w->set_allocated(false);
    EXPECT_FALSE(w->allocated());
    w->set_allocated(true);
    EXPECT_TRUE(w->allocated());
}

TEST(QxcoffSectionNamesOfFlags, SingleBitsAndTheFallback) {
    EXPECT_STREQ(qxcoff_section_flag_name(0), "STYP_REG");
    EXPECT_STREQ(qxcoff_section_flag_name(0x20), "STYP_TEXT");
    EXPECT_STREQ(qxcoff_section_flag_name(0x100000), "STYP_IN_GROUP");
    EXPECT_STREQ(qxcoff_section_flag_name(0x100), "STYP_UNKNOWN");  // an alignment bit, not a flag
    EXPECT_STREQ(qxcoff_section_flag_name(0x60), "STYP_UNKNOWN");
    EXPECT_STREQ(qxcoff_file_flag_name(0), "F_VERS0");
    EXPECT_STREQ(qxcoff_file_flag_name(0x2000), "F_ICODE");
    EXPECT_STREQ(qxcoff_file_flag_name(0x400), "F_UNKNOWN");
}

}  // namespace
