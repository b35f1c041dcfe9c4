// QXCOFF reading beyond what the golden dumps show: the section answers no dump prints, the checked format
// views, line-number entries past the table, and the setters.
#include <string>
#include <tuple>
#include <utility>

#include "elf_object.h"
#include "ofe/coff/qxcoff_defs.h"
#include "ofe/coff/qxcoff_reloc.h"
#include "ofe/coff/qxcoff_symbol.h"
#include "ofe/elf/elf_symbol.h"

using namespace OFE;
using namespace OFE::QXCOFF;
using unit::opened;

namespace {

QXCOFF_SYMBOL* symbol(const opened& o, uint32_t index) {
    return as_qxcoff_symbol(o.file().symbol_table()->symbol_at(index));
}

QXCOFF_SECTION* section(const opened& o, uint32_t index) { return o.file().section_table()->qxcoff_section_at(index); }

// Classes, sizes, alignment and pages as the dumps and listings show them: the golden cases. Here: what
// they do not print, and a refused line-number entry.
TEST(QxcoffSections, LoadedGroupByteOrderOfTheDataAndLineNumbers) {
    opened o("qxcoff v2 le\nsection code data=00 flags=text\nsection copied data=00 flags=copy\n"
             "section noload data=00 flags=noload\nsection group data=0000000000000000 flags=is_group\n");
    EXPECT_EQ(std::tuple(section(o, 0)->loaded(), section(o, 1)->loaded(), section(o, 2)->loaded()),
              std::tuple(true, false, false));
    EXPECT_EQ(std::pair(section(o, 0)->is_group(), section(o, 3)->is_group()), std::pair(false, true));

    // The target's byte order is given by the flags alone (neither or both: unknown); section data follow it.
    const std::pair<int, OF_ENDIAN> by_flags[] = {
        {0x0100, OF_ENDIAN_LITTLE}, {0x0202, OF_ENDIAN_BIG}, {0x0000, OF_ENDIAN_UNKNOWN}, {0x0300, OF_ENDIAN_UNKNOWN}};
    for (const auto& [flags, endian] : by_flags)
        EXPECT_EQ(opened("qxcoff v2 be\nheader f_flags=" + std::to_string(flags) + "\n").file().endian(), endian);
    opened d("qxcoff v2 le\nheader f_flags=0x0200\nsection d data=12345678 flags=data\n");
    EXPECT_EQ(d.file().machine_endian(), OF_ENDIAN_LITTLE);
    EXPECT_EQ(section(d, 0)->data_swapped(), OBJECT_FILE::host_endian() == OF_ENDIAN_LITTLE);
    section(d, 0)->data().set_cursor(0);
    EXPECT_EQ(section(d, 0)->data().read_u32(), 0x12345678u);

    // A line-number entry past the table is refused. (The entries' fields, and what an unknown relocation
    // type lacks: the golden dump of relocations and line numbers.)
    opened l("qxcoff v2 le\nsection .text halves=1\nlnno .text addr=12 line=0\nlnno .text addr=0x20 line=3\n");
    QXCOFF_LNNO_TABLE* lines = section(l, 0)->lnno_table();
    ASSERT_EQ(lines->count(), 2u);
    EXPECT_EQ(lines->entry(2), nullptr);
    EXPECT_EQ(l.take_error(), "5: request for line number entry 2 which does not exist");
}

// (A section's view: the machine database tests.)
TEST(FormatViews, EachFormatsViewOnlyOfItsOwnObjectsAndTheOthersReported) {
    opened coff("qxcoff v2 le\nsection .text data=00\nsymbol a sclass=stat\n");
    opened elf("elf32 le rel\nsection .text data=00\nsymbol e section=.text\n");
    const OF_SYMBOL* c = coff.file().symbol_table()->symbol_at(0);
    const OF_SYMBOL* e = elf.object()->symbol_table()->symbol_at(1);
    EXPECT_EQ(as_qxcoff_symbol(c)->storage_class(), C_STAT);
    EXPECT_EQ(as_qxcoff_file(coff.object()), &coff.file());
    EXPECT_EQ(as_elf_symbol(e), e);
    EXPECT_NE(as_elf_file(elf.object()), nullptr);
    EXPECT_EQ(as_qxcoff_symbol(static_cast<const OF_SYMBOL*>(nullptr)), nullptr);
    EXPECT_EQ(elf.take_error() + coff.take_error(), "0: 0: ");
    // A view of the other format is null, and the object's report says why.
    const auto refused = [](const void* view, const opened& o) { return view ? "a view" : o.take_error(); };
    const std::string not_qxcoff = "3: attempting to get QX-COFF interface for non-QX-COFF file";
    EXPECT_EQ(refused(as_qxcoff_symbol(e), elf), not_qxcoff);
    EXPECT_EQ(refused(as_qxcoff_file(elf.object()), elf), not_qxcoff);
    const std::string not_elf = "3: attempting to get ELF interface for non-ELF file";
    EXPECT_EQ(refused(as_elf_symbol(c), coff), not_elf);
    EXPECT_EQ(refused(as_elf_file(coff.object()), coff), not_elf);
}

}  // namespace

// Each refused change is reported and changes nothing, or cuts the value to what the version holds.
TEST(QxcoffSetters, RefusedValuesAreReportedAndAcceptedOnesTakeEffect) {
    opened o(R"(qxcoff v2 le
section .text data=00 flags=text
symbol plain scnum=.text
symbol fn scnum=.text type=int:func auxsize=4
symbol lab scnum=.text sclass=statlab
)", {}, true);
    opened v1("qxcoff v1 le\nsection .text data=00\n", {}, true);
    QXCOFF_FILE& f = o.file();
    QXCOFF_SECTION* s = section(v1, 0);
    QXCOFF_SYMBOL* plain = symbol(o, 0);
    OF_SECTION_TABLE* table = f.section_table();  // which holds at most 65533 sections
    while (table->count() < 65533) ASSERT_NE(table->add_section("s"), nullptr) << table->count();
    elf_test::expect_refused({
        {[&] { f.set_endian(static_cast<OF_ENDIAN>(3)); }, "5: invalid endian setting"},
        {[&] { f.set_file_type(OF_FILE_SHARED); }, "5: file type \"shared object file\" is not valid for QX-COFF"},
        {[&] { f.set_file_type(static_cast<OF_FILE_TYPE>(7)); }, "5: invalid file type (0x7)"},
        {[&] { s->set_name("abcdefghij"); }, "6: QX-COFF Version 1 only supports section names of up to 8 characters"},
        {[&] { s->set_page(0x1ff); }, "6: QX-COFF Version 1 supports a maximum of 255 pages"},
        {[&] { s->set_memory_width(8); }, "5: QX-COFF Version 1 does not support the mwidth section header field"},
        {[&] { s->set_flags(STYP_PADDED | STYP_DATA); }, "6: QX-COFF Version 1 only supports up to 16 flags"},
        {[&] { plain->set_binding(OF_BIND_WEAK); }, "5: Weak symbol binding not supported for QX-COFF"},
        {[&] { plain->set_binding(static_cast<OF_SYMBOL_BINDING>(7)); }, "5: Invalid symbol binding value 0x7"},
        {[&] { plain->set_kind(OF_SYM_DEFINED); },
         "5: To mark a symbol as being defined, you must use set_section() to set its section reference"},
        {[&] { plain->set_kind(static_cast<OF_SYMBOL_KIND>(9)); }, "5: Invalid symbol kind 9"},
        {[&] { plain->set_size(8); }, "5: Cannot set size of symbols with storage class C_EXT"},
        {[&] { EXPECT_EQ(table->add_section("one too many"), nullptr); },
         "5: Attempt to create too many QX COFF sections"},
    });
    EXPECT_EQ(std::tuple(f.endian(), f.header().f_flags & 0x0300, f.file_type()),
              std::tuple(OF_ENDIAN_UNKNOWN, 0, OF_FILE_RELOCATABLE));
    EXPECT_STREQ(s->name(), "abcdefgh");
    EXPECT_EQ(std::tuple(s->page(), s->address_unit_bits(), s->flags()), std::tuple(0xff, 16u, STYP_DATA));
    EXPECT_EQ(std::tuple(plain->storage_class(), plain->kind(), table->count()),
              std::tuple(C_EXT, OF_SYM_DEFINED, 65533u));

    f.set_endian(OF_ENDIAN_BIG);
    f.set_file_type(OF_FILE_EXECUTABLE);
    EXPECT_EQ(std::pair(f.endian(), f.file_type()), std::pair(OF_ENDIAN_BIG, OF_FILE_EXECUTABLE));
    f.set_file_type(OF_FILE_RELOCATABLE);
    EXPECT_EQ(f.file_type(), OF_FILE_RELOCATABLE);
    QXCOFF_SECTION* w = section(o, 0);  // version 2 holds what version 1 refuses
    w->set_name("abcdefghij");
    w->set_page(0x1ff);
    w->set_memory_width(8);
    w->set_flags(STYP_PADDED | STYP_DATA);
    EXPECT_STREQ(w->name(), "abcdefghij");
    EXPECT_EQ(std::tuple(w->page(), w->address_unit_bits(), w->flags()), std::tuple(0x1ff, 8u, STYP_PADDED | STYP_DATA));
    w->set_allocated(false);
    EXPECT_FALSE(w->allocated());
    w->set_allocated(true);
    EXPECT_TRUE(w->allocated());

    // Labels stay labels whatever their binding.
    QXCOFF_SYMBOL* lab = symbol(o, 3);
    plain->set_binding(OF_BIND_LOCAL);
    EXPECT_EQ(std::tuple(plain->storage_class(), plain->is_label(), lab->is_label()), std::tuple(C_STAT, false, true));
    lab->set_binding(OF_BIND_GLOBAL);
    EXPECT_EQ(std::tuple(lab->storage_class(), lab->is_label()), std::tuple(C_EXTLAB, true));
    lab->set_binding(OF_BIND_LOCAL);
    EXPECT_EQ(lab->storage_class(), C_STATLAB);
    plain->set_kind(OF_SYM_ABSOLUTE);
    EXPECT_EQ(plain->section_number(), -1);
    plain->set_section_id(0);
    EXPECT_EQ(plain->section_number(), 1);
    symbol(o, 1)->set_size(8);
    EXPECT_EQ(symbol(o, 1)->size(), 8u);
    symbol(o, 1)->set_storage_class(C_LABEL);  // a label keeps no auxiliary entry, so no size
    EXPECT_EQ(symbol(o, 1)->size(), 0u);
    EXPECT_TRUE(unit::taken().empty());
}
