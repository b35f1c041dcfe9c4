// QXCOFF relocation and line-number tables: field bytes in byte order, unknown types, bounds. (The entry
// layouts of versions 0 and 2: the golden dumps of relocations.)
#include <gtest/gtest.h>

#include <tuple>

#include "ofe/coff/qxcoff_file.h"
#include "ofe/coff/qxcoff_reloc.h"
#include "ofe/coff/qxcoff_section.h"
#include "ofe/machine/of_machine_db.h"
#include "ofe/of_symbol.h"
#include "qxcoff_test_support.h"

namespace {

using namespace OFE;

QXCOFF_RELOC* reloc(qxunit::opened& o, uint32_t section, uint32_t index) {
    QXCOFF_SECTION* s = o.file().section_table()->qxcoff_section_at(section);
    return static_cast<QXCOFF_RELOC*>(s->reloc_table()->reloc_at(index));
}

TEST(QxcoffReloc, FieldBytesOfABigEndianFileKeepTheirOrder) {
    qxunit::opened o(R"(
qxcoff v1 be
section .text halves=1,2
reloc .text vaddr=0x01020304 symndx=0x0308100a disp=0x0506 type=0x400D
)");
    QXCOFF_RELOC* r = reloc(o, 0, 0);
    EXPECT_STREQ(r->type_name(), "RE_ULDFLD");
    // Bit offset, width and word size are bytes 4, 5 and 6 as the file holds them; other fields are swapped.
    EXPECT_EQ(std::tuple(r->address(), r->field_bit_offset(), r->field_width(), r->field_word_size(), r->displacement()),
              std::tuple(0x01020304u, 3u, 8u, 16u, 0x0506u));
}

TEST(QxcoffReloc, UnknownTypesAndCountsPastTheFile) {
    qxunit::opened o(R"(
qxcoff v2 le
section .text halves=1 s_nreloc=1000
reloc .text vaddr=7 symndx=0 type=0x7777
)");
    QXCOFF_SECTION* text = o.file().section_table()->qxcoff_section_at(0);
    o.take_error();
    EXPECT_EQ(text->reloc_table()->count(), 1u);
    EXPECT_EQ(o.take_error(),
              "3: object.o: relocation table of section \".text\" at offset 0x48 claims 1000 entries of 12 bytes, "
              "but the object holds only 1");
    QXCOFF_RELOC* r = reloc(o, 0, 0);
    EXPECT_EQ(r->type_name(), nullptr);
    EXPECT_EQ(r->templ(), nullptr);
    EXPECT_FALSE(r->refers_to_symbol());
}

TEST(QxcoffLnno, EntriesAndRequestsPastTheEnd) {
    qxunit::opened o(R"(
qxcoff v2 le
section .text halves=1,2,3
lnno .text addr=12 line=0
lnno .text addr=0x20 line=3
)");
    QXCOFF_LNNO_TABLE* lines = o.file().section_table()->qxcoff_section_at(0)->lnno_table();
    ASSERT_EQ(lines->count(), 2u);
    EXPECT_EQ(std::tuple(lines->entry(0)->l_addr, lines->entry(0)->l_lnno, lines->entry(1)->l_addr, lines->entry(1)->l_lnno),
              std::tuple(12u, 0u, 0x20u, 3u));
    EXPECT_EQ(lines->entry(2), nullptr);
    EXPECT_EQ(o.take_error(), "5: request for line number entry 2 which does not exist");
}

}  // namespace
