// QXCOFF symbols: names inline and by offset, the auxiliary kind order, the symbol model's kind, binding
// and type, and the setters' refusals. (The walk over auxiliary entries and their layouts in each version
// and byte order: the golden dumps of auxiliary entries.)
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "ofe/coff/qxcoff_defs.h"
#include "ofe/coff/qxcoff_names.h"
#include "ofe/coff/qxcoff_symbol.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_section.h"
#include "ofe/elf/elf_symbol.h"
#include "qxcoff_test_support.h"

using namespace OFE;
using namespace OFE::QXCOFF;
using qxunit::opened;

namespace {

const QXCOFF_SYMBOL* symbol(const opened& o, uint32_t index) {
    return as_qxcoff_symbol(o.file().symbol_table()->symbol_at(index));
}

TEST(QxcoffSymbolNames, InlineAndByOffsetInBothByteOrders) {
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "big endian" : "little endian");
        opened o(R"(qxcoff v2 le
symbol a_long_symbol_name
symbol ABCDEFGH
symbol at_four n_stroff=4
symbol at_zero n_stroff=0
symbol at_end n_stroff=23
symbol far n_stroff=0x7fffffff
)",
                 qxunit::variant(2, big));
        ASSERT_EQ(o.file().string_table_length(), 23u);
        EXPECT_STREQ(symbol(o, 0)->name(), "a_long_symbol_name");
        EXPECT_STREQ(symbol(o, 1)->name(), "ABCDEFGH");  // all 8 bytes, no terminator
        EXPECT_STREQ(symbol(o, 2)->name(), "a_long_symbol_name");
        // Offset 0 reads the length word's bytes: 17 00 00 00 or 00 00 00 17.
        EXPECT_STREQ(symbol(o, 3)->name(), big ? "" : "\x17");
        EXPECT_EQ(symbol(o, 4)->name(), nullptr);
        EXPECT_EQ(symbol(o, 5)->name(), nullptr);
        EXPECT_EQ(o.take_error(), "0: ");
    }
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
        {VERSION_2, C_FILE, 0, 1, QXCOFF_AUX_SECTION},   // version "2" has no file entries
        {VERSION_2, C_FILE, 4, 1, QXCOFF_AUX_TYPED},
        {VERSION_1, C_LABEL, fcn, 1, QXCOFF_AUX_NONE},
        {VERSION_1, C_STRTAG, fcn, 1, QXCOFF_AUX_TAG},   // the class decides before the derived type
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

TEST(QxcoffSymbolModel, KindFromTheSectionNumber) {
    opened o(R"(qxcoff v0 be
section .text data=00 flags=text
symbol in scnum=.text
symbol undefined
symbol absolute scnum=abs
symbol debug scnum=debug sclass=stat
symbol minus_three scnum=-3
symbol beyond scnum=7
)");
    EXPECT_EQ(std::tuple(symbol(o, 0)->kind(), symbol(o, 1)->kind(), symbol(o, 2)->kind(), symbol(o, 3)->kind()),
              std::tuple(OF_SYM_DEFINED, OF_SYM_UNDEFINED, OF_SYM_ABSOLUTE, OF_SYM_DEBUG));
    EXPECT_EQ(symbol(o, 0)->section_index(), 0u);
    EXPECT_STREQ(symbol(o, 0)->section()->name(), ".text");
    EXPECT_EQ(symbol(o, 3)->binding(), OF_BIND_LOCAL);
    for (uint32_t i : {4u, 5u}) {
        // -3 and numbers past the table count as section references to sections that do not exist.
        EXPECT_TRUE(symbol(o, i)->has_section());
        EXPECT_EQ(symbol(o, i)->kind(), OF_SYM_DEFINED);
        EXPECT_EQ(symbol(o, i)->section(), nullptr);
    }
    EXPECT_EQ(symbol(o, 4)->section_number(), -3);
}

TEST(QxcoffSymbolModel, BindingOfEveryStorageClass) {
    std::string description = "qxcoff v2 be\n";
    for (int c = 0; c < 256; ++c) description += "symbol s" + std::to_string(c) + " sclass=" + std::to_string(c) + "\n";
    opened o(description);
    const std::vector<uint32_t> globals = {C_EXT,    C_EXTREF,    C_UEXT,   C_EXTLAB, C_SYSTEM,
                                           C_EXTREG, C_EXTREFREG, C_EXTDEF, C_EMOG};
    ASSERT_EQ(o.file().symbol_table()->count(), 256u);
    for (uint32_t c = 0; c < 256; ++c) {
        const QXCOFF_SYMBOL* s = symbol(o, c);
        ASSERT_EQ(s->storage_class(), c);
        const bool global = std::find(globals.begin(), globals.end(), c) != globals.end();
        EXPECT_EQ(s->binding(), c == C_NULL ? OF_BIND_NONE : global ? OF_BIND_GLOBAL : OF_BIND_LOCAL) << c;
        EXPECT_EQ(s->is_label(), c == C_STATLAB || c == C_EXTLAB) << c;
    }
}

TEST(QxcoffSymbolModel, TypeFromClassAuxiliaryEntryAndSectionAndTheQxcoffView) {
    opened o(R"(qxcoff v2 le
section .text data=00 flags=text
symbol obj scnum=.text sclass=stat
symbol undef_ext
symbol lab scnum=.text sclass=label
symbol fn scnum=.text type=int:func auxsize=4
symbol blocked scnum=.text type=0x8080
)");
    EXPECT_EQ(std::tuple(symbol(o, 0)->type(), symbol(o, 1)->type(), symbol(o, 2)->type(), symbol(o, 3)->type()),
              std::tuple(OF_TYPE_OBJECT, OF_TYPE_NONE, OF_TYPE_NONE, OF_TYPE_OBJECT));
    EXPECT_FALSE(symbol(o, 3)->is_blocked());
    EXPECT_TRUE(symbol(o, 5)->is_blocked());
    EXPECT_EQ(symbol(o, 5)->coff_type(), 0x8080u);

    // The QXCOFF view is only for QXCOFF symbols.
    opened coff("qxcoff v2 le\nsymbol a sclass=stat\n");
    const OF_SYMBOL* s = coff.file().symbol_table()->symbol_at(0);
    ASSERT_NE(as_qxcoff_symbol(s), nullptr);
    EXPECT_EQ(as_qxcoff_symbol(s)->storage_class(), C_STAT);
    EXPECT_STREQ(qxcoff_storage_class_name(as_qxcoff_symbol(s)->storage_class()), "C_STAT");
    // The other way round: the QXCOFF view of an ELF symbol, and the ELF views of QXCOFF objects, are
    // reported on the file.
    opened elf("elf32 le rel\nsection .text data=00\nsymbol e section=.text\n");
    EXPECT_EQ(as_qxcoff_symbol(elf.object()->symbol_table()->symbol_at(1)), nullptr);
    EXPECT_EQ(elf.take_error(), "3: attempting to get QX-COFF interface for non-QX-COFF file");
    EXPECT_EQ(as_qxcoff_file(elf.object()), nullptr);
    EXPECT_EQ(elf.take_error(), "3: attempting to get QX-COFF interface for non-QX-COFF file");
    EXPECT_NE(as_elf_symbol(elf.object()->symbol_table()->symbol_at(1)), nullptr);
    EXPECT_NE(as_elf_file(elf.object()), nullptr);
    EXPECT_EQ(as_qxcoff_symbol(static_cast<const OF_SYMBOL*>(nullptr)), nullptr);
    EXPECT_EQ(elf.take_error(), "0: ");
    EXPECT_EQ(as_elf_symbol(s), nullptr);
    EXPECT_EQ(coff.take_error(), "3: attempting to get ELF interface for non-ELF file");
    EXPECT_EQ(as_elf_file(&coff.file()), nullptr);
    EXPECT_EQ(coff.take_error(), "3: attempting to get ELF interface for non-ELF file");
    EXPECT_EQ(as_elf_section(coff.file().section_table()->section_at(0)), nullptr);
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

}  // namespace
