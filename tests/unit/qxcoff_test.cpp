// QXCOFF reading beyond what the golden dumps show: huge claimed sizes, section classification and
// alignment, the auxiliary kind rules, storage-class bindings, the checked format views, relocations of
// unknown types, and the setters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <tuple>
#include <vector>

#include "ofe/coff/qxcoff_defs.h"
#include "ofe/coff/qxcoff_reloc.h"
#include "ofe/coff/qxcoff_symbol.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_section.h"
#include "ofe/elf/elf_symbol.h"
#include "unit_support.h"

using namespace OFE;
using namespace OFE::QXCOFF;
using unit::opened;

namespace {

const QXCOFF_SYMBOL* symbol(const opened& o, uint32_t index) {
    return as_qxcoff_symbol(o.file().symbol_table()->symbol_at(index));
}

// Where the string table lies, counts past the file and names at its end: the golden dumps. Here: a huge
// claimed size costs nothing until the data are read, and then no more than the file holds.
TEST(QxcoffHostileCounts, HugeSizesCostNothing) {
    opened sizes("qxcoff v2 le\nsection .text data=0011 s_nreloc=0xffffffff s_nlnno=0xffffffff\n"
                 "section .data data=0011 s_size=0xffffffff\n");
    EXPECT_EQ(sizes.file().section_table()->qxcoff_section_at(0)->reloc_data().size(), 0xffffffffull * 12);
    QXCOFF_SECTION* data = sizes.file().section_table()->qxcoff_section_at(1);
    EXPECT_EQ(data->size(), 0xffffffffu);
    data->data().load();
    EXPECT_LE(data->data().bytes_held(), sizes.size());
}

// A string table length of 0xffffffff is refused and costs nothing.
TEST(QxcoffStringTable, AHugeLengthIsRefused) {
    opened huge("qxcoff v1 le\nsymbol a_long_symbol_name\nstrtab length=0xffffffff\n");
    EXPECT_EQ(huge.take_error(), "3: invalid string table size -1");
    EXPECT_EQ(huge.file().string_data().bytes_held(), 0u);
}

// An offset at the string table's end gives no name; the one before it, the last NUL, an empty one.
TEST(QxcoffStringTable, OffsetsAtTheEnd) {
    opened ends("qxcoff v2 le\nsection x data=00 s_stroff=22\nsection .a_long_name_here data=00\n"
                "symbol at_end n_stroff=22\nsymbol last n_stroff=21\n");
    EXPECT_EQ(ends.file().string_table_length(), 22u);
    EXPECT_EQ(ends.file().section_table()->section_at(0)->name(), nullptr);
    EXPECT_EQ(symbol(ends, 0)->name(), nullptr);
    EXPECT_STREQ(symbol(ends, 1)->name(), "");
}

TEST(QxcoffSections, ClassificationPageAlignmentAndByteOrderOfTheData) {
    opened o("qxcoff v2 le\nsection code data=00 flags=text\nsection init data=00 flags=data\n"
             "section zero size=8 flags=bss\nsection other data=0011 flags=0\nsection copied data=00 flags=copy\n"
             "section dummy data=00 flags=dsect\nsection noload data=00 flags=noload\nsection empty size=5 flags=0\n"
             "section group data=0000000000000000 flags=is_group\n");
    // Code, data, bss, allocated, loaded, raw data; the size in units.
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
        EXPECT_EQ(std::pair(seen, s->size()), std::pair(std::string(expected[i].first), expected[i].second)) << i;
    }
    EXPECT_TRUE(t->qxcoff_section_at(8)->is_group());
    opened none("qxcoff v1 be\nsection .text data=00112233 s_size=0\n");  // no units, no data offset
    QXCOFF_SECTION* s = none.file().section_table()->qxcoff_section_at(0);
    EXPECT_EQ(std::tuple(s->raw_data_offset(), s->raw_data().size()), std::tuple(0u, uint64_t{0}));

    // The page field: 8 bits in versions 0 and 1, 16 in version 2. Alignment: the logarithm in bits 8 to 11.
    for (int version : {0, 1}) {
        opened v("qxcoff v2 le\nsection .text data=00 page=3\n", unit::variant(version, version == 1));
        EXPECT_EQ(v.file().section_table()->qxcoff_section_at(0)->page(), 3);
    }
    opened wide("qxcoff v2 be\nsection a data=00 page=0x1234 flags=0xf20\nsection b data=00 flags=text align=1\n");
    QXCOFF_SECTION* a = wide.file().section_table()->qxcoff_section_at(0);
    EXPECT_EQ(std::tuple(a->page(), a->alignment(), a->is_code()), std::tuple(0x1234, 32768u, true));
    EXPECT_EQ(wide.file().section_table()->qxcoff_section_at(1)->alignment(), 1u);

    // Section data follow the target's byte order, given by the flags alone (neither or both: unknown).
    const std::pair<int, uint32_t> by_flags[] = {
        {0x0100, OF_ENDIAN_LITTLE}, {0x0202, OF_ENDIAN_BIG}, {0x0000, OF_ENDIAN_UNKNOWN}, {0x0300, OF_ENDIAN_UNKNOWN}};
    for (const auto& [flags, endian] : by_flags) {
        opened e("qxcoff v2 be\nheader f_flags=" + std::to_string(flags) + "\n");
        EXPECT_EQ(e.file().endian(), endian) << flags;
        EXPECT_EQ(e.file().machine_endian(), OF_ENDIAN_BIG);
    }
    opened d("qxcoff v2 le\nheader f_flags=0x0200\nsection d data=12345678 flags=data\n");
    QXCOFF_SECTION* ds = d.file().section_table()->qxcoff_section_at(0);
    EXPECT_EQ(ds->data_swapped(), OBJECT_FILE::host_endian() == OF_ENDIAN_LITTLE);
    ds->data().set_cursor(0);
    EXPECT_EQ(ds->data().read_u32(), 0x12345678u);
}

TEST(QxcoffAuxKind, RulesApplyInOrder) {
    const uint32_t fcn = DT_FCN << N_TSHIFT, ary = DT_ARY << N_TSHIFT, ptr = DT_PTR << N_TSHIFT;
    struct CASE {
        uint32_t version, sclass, type, numaux;
        uint8_t kind;
    } cases[] = {
        {VERSION_2, C_EXT, fcn | 4, 0, QXCOFF_AUX_NONE},
        {VERSION_0, C_FILE, fcn, 1, QXCOFF_AUX_FILE},
        {VERSION_1, C_FILE, 0, 1, QXCOFF_AUX_FILE},
        {VERSION_2, C_FILE, 0, 1, QXCOFF_AUX_SECTION},  // version "2" has no file entries
        {VERSION_2, C_FILE, 4, 1, QXCOFF_AUX_TYPED},
        {VERSION_1, C_LABEL, fcn, 1, QXCOFF_AUX_NONE},
        {VERSION_1, C_STRTAG, fcn, 1, QXCOFF_AUX_TAG},  // the class decides before the derived type
        {VERSION_1, C_UNTAG, 0, 1, QXCOFF_AUX_TAG},
        {VERSION_1, C_ENTAG, 0, 1, QXCOFF_AUX_TAG},
        {VERSION_1, C_TPDEF, 0, 1, QXCOFF_AUX_TYPED},
        {VERSION_1, C_BLOCK, 0, 1, QXCOFF_AUX_BLOCK},
        {VERSION_1, C_FCN, ary, 1, QXCOFF_AUX_BLOCK},
        {VERSION_1, C_EOS, ary, 1, QXCOFF_AUX_END_OF_STRUCT},
        {VERSION_1, C_EXT, fcn | 4, 1, QXCOFF_AUX_FUNCTION},
        {VERSION_1, C_STAT, ary | 4, 1, QXCOFF_AUX_ARRAY},
        {VERSION_1, C_STAT, ptr | (fcn << 2), 1, QXCOFF_AUX_TYPED},  // only the first derived field counts
        {VERSION_1, C_EXT, 4, 1, QXCOFF_AUX_TYPED},
        {VERSION_1, C_STAT, 0, 3, QXCOFF_AUX_SECTION},
    };
    for (const CASE& c : cases)
        EXPECT_EQ(qxcoff_aux_kind(c.version, c.sclass, c.type, c.numaux), c.kind)
            << "version " << c.version << " class " << c.sclass << " type 0x" << std::hex << c.type;
}

TEST(QxcoffSymbols, BindingOfEveryStorageClassAndTypes) {
    std::string description = "qxcoff v2 be\n";
    for (int c = 0; c < 256; ++c) description += "symbol s" + std::to_string(c) + " sclass=" + std::to_string(c) + "\n";
    opened o(description);
    const std::vector<uint32_t> globals = {C_EXT, C_EXTREF, C_UEXT, C_EXTLAB, C_SYSTEM, C_EXTREG, C_EXTREFREG,
                                           C_EXTDEF, C_EMOG};
    ASSERT_EQ(o.file().symbol_table()->count(), 256u);
    for (uint32_t c = 0; c < 256; ++c) {
        const QXCOFF_SYMBOL* s = symbol(o, c);
        const bool global = std::find(globals.begin(), globals.end(), c) != globals.end();
        EXPECT_EQ(s->binding(), c == C_NULL ? OF_BIND_NONE : global ? OF_BIND_GLOBAL : OF_BIND_LOCAL) << c;
        EXPECT_EQ(s->is_label(), c == C_STATLAB || c == C_EXTLAB) << c;
    }
    opened t("qxcoff v2 le\nsection .text data=00 flags=text\nsymbol obj scnum=.text sclass=stat\nsymbol undef_ext\n"
             "symbol lab scnum=.text sclass=label\nsymbol fn scnum=.text type=int:func auxsize=4\n"
             "symbol blocked scnum=.text type=0x8080\n");
    EXPECT_EQ(std::tuple(symbol(t, 0)->type(), symbol(t, 1)->type(), symbol(t, 2)->type(), symbol(t, 3)->type()),
              std::tuple(OF_TYPE_OBJECT, OF_TYPE_NONE, OF_TYPE_NONE, OF_TYPE_OBJECT));
    EXPECT_EQ(std::tuple(symbol(t, 3)->is_blocked(), symbol(t, 5)->is_blocked()), std::tuple(false, true));
}

TEST(FormatViews, EachFormatsViewOnlyOfItsOwnObjectsAndTheOthersReported) {
    opened coff("qxcoff v2 le\nsection .text data=00\nsymbol a sclass=stat\n");
    const OF_SYMBOL* s = coff.file().symbol_table()->symbol_at(0);
    ASSERT_NE(as_qxcoff_symbol(s), nullptr);
    EXPECT_EQ(as_qxcoff_symbol(s)->storage_class(), C_STAT);
    EXPECT_EQ(as_qxcoff_file(coff.object()), &coff.file());
    opened elf("elf32 le rel\nsection .text data=00\nsymbol e section=.text\n");
    const std::string not_qxcoff = "3: attempting to get QX-COFF interface for non-QX-COFF file";
    EXPECT_EQ(as_qxcoff_symbol(elf.object()->symbol_table()->symbol_at(1)), nullptr);
    EXPECT_EQ(elf.take_error(), not_qxcoff);
    EXPECT_EQ(as_qxcoff_file(elf.object()), nullptr);
    EXPECT_EQ(elf.take_error(), not_qxcoff);
    EXPECT_NE(as_elf_symbol(elf.object()->symbol_table()->symbol_at(1)), nullptr);
    EXPECT_NE(as_elf_file(elf.object()), nullptr);
    EXPECT_EQ(as_qxcoff_symbol(static_cast<const OF_SYMBOL*>(nullptr)), nullptr);
    EXPECT_EQ(elf.take_error(), "0: ");
    const std::string not_elf = "3: attempting to get ELF interface for non-ELF file";
    EXPECT_EQ(as_elf_symbol(s), nullptr);
    EXPECT_EQ(coff.take_error(), not_elf);
    EXPECT_EQ(as_elf_file(&coff.file()), nullptr);
    EXPECT_EQ(coff.take_error(), not_elf);
    EXPECT_EQ(as_elf_section(coff.file().section_table()->section_at(0)), nullptr);
    EXPECT_EQ(coff.take_error(), not_elf);
}

QXCOFF_RELOC* reloc(opened& o, uint32_t index) {
    return static_cast<QXCOFF_RELOC*>(o.file().section_table()->qxcoff_section_at(0)->reloc_table()->reloc_at(index));
}

// The entries' fields: the golden dump of relocations and line numbers. Here: what an unknown type lacks,
// and a line-number entry past the table.
TEST(QxcoffRelocsAndLines, UnknownTypesAndEntriesPastTheTable) {
    opened o("qxcoff v2 le\nsection .text halves=1\nreloc .text vaddr=7 symndx=0 disp=0x0506 type=0x7777\n"
             "lnno .text addr=12 line=0\nlnno .text addr=0x20 line=3\n");
    EXPECT_EQ(reloc(o, 0)->displacement(), 0x0506u);
    EXPECT_EQ(reloc(o, 0)->type_name(), nullptr);
    EXPECT_EQ(reloc(o, 0)->templ(), nullptr);
    EXPECT_FALSE(reloc(o, 0)->refers_to_symbol());
    QXCOFF_LNNO_TABLE* lines = o.file().section_table()->qxcoff_section_at(0)->lnno_table();
    ASSERT_EQ(lines->count(), 2u);
    EXPECT_EQ(lines->entry(2), nullptr);
    EXPECT_EQ(o.take_error(), "5: request for line number entry 2 which does not exist");
}

}  // namespace

TEST(QxcoffFileHeader, SettersRefuseWhatTheFormatCannotHold) {
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

TEST(QxcoffSymbolSetters, RefusedValuesAreReportedAndChangeNothing) {
    opened o(R"(qxcoff v2 le
section .text data=00 flags=text
symbol plain scnum=.text
symbol fn scnum=.text type=int:func auxsize=4
symbol lab scnum=.text sclass=statlab
)");
    QXCOFF_SYMBOL* plain = as_qxcoff_symbol(o.file().symbol_table()->symbol_at(0));
    QXCOFF_SYMBOL* fn = as_qxcoff_symbol(o.file().symbol_table()->symbol_at(1));
    QXCOFF_SYMBOL* lab = as_qxcoff_symbol(o.file().symbol_table()->symbol_at(3));
    plain->set_binding(OF_BIND_WEAK);
    EXPECT_EQ(o.take_error(), "5: Weak symbol binding not supported for QX-COFF");
    plain->set_binding(static_cast<OF_SYMBOL_BINDING>(7));
    EXPECT_EQ(o.take_error(), "5: Invalid symbol binding value 0x7");
    EXPECT_EQ(plain->storage_class(), C_EXT);
    plain->set_binding(OF_BIND_LOCAL);
    EXPECT_EQ(plain->storage_class(), C_STAT);
    lab->set_binding(OF_BIND_GLOBAL);
    EXPECT_EQ(lab->storage_class(), C_EXTLAB);
    lab->set_binding(OF_BIND_LOCAL);
    EXPECT_EQ(lab->storage_class(), C_STATLAB);

    plain->set_kind(OF_SYM_DEFINED);
    EXPECT_EQ(o.take_error(),
              "5: To mark a symbol as being defined, you must use set_section() to set its section reference");
    plain->set_kind(static_cast<OF_SYMBOL_KIND>(9));
    EXPECT_EQ(o.take_error(), "5: Invalid symbol kind 9");
    EXPECT_EQ(plain->kind(), OF_SYM_DEFINED);
    plain->set_kind(OF_SYM_ABSOLUTE);
    EXPECT_EQ(plain->section_number(), -1);
    plain->set_section_id(0);
    EXPECT_EQ(plain->section_number(), 1);

    plain->set_size(8);
    EXPECT_EQ(o.take_error(), "5: Cannot set size of symbols with storage class C_STAT");
    fn->set_size(8);
    EXPECT_EQ(fn->size(), 8u);
    EXPECT_EQ(o.take_error(), "0: ");
}
