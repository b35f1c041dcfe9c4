// Writing QXCOFF files: objects of each version and byte order built from nothing and read back, the rules
// of entering "locked" (C_NULL removal, the three groups, scopes, names), the version limits of the counts, and
// the layout.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ofe/coff/qxcoff_defs.h"
#include "ofe/coff/qxcoff_file.h"
#include "ofe/coff/qxcoff_reloc.h"
#include "ofe/coff/qxcoff_string_table.h"
#include "ofe/coff/qxcoff_symbol.h"
#include "write_support.h"

using namespace OFE;
using namespace write_test;

namespace {

// n_type of a function returning int, and of an int.
constexpr uint16_t int_function = 4 | (QXCOFF::DT_FCN << QXCOFF::N_TSHIFT);
const std::string unbalanced = "3: debug symbols that delimit function and lexical block scopes are not balanced";

QXCOFF_FILE* qx(OBJECT_FILE* object) { return as_qxcoff_file(object); }
QXCOFF_SYMBOL* qsym(OBJECT_FILE* object, uint32_t index) {
    return as_qxcoff_symbol(object->symbol_table()->symbol_at(index));
}

// A Kite object of a version: code, data and uninitialised data, a function with line numbers, a long name,
// an undefined symbol and two relocations.
std::unique_ptr<OBJECT_FILE> kite_object(uint32_t version, OF_ENDIAN control) {
    auto object = created(OF_FORMAT_QXCOFF, version, OF_TARGET_KITE, control);
    QXCOFF_FILE* f = qx(object.get());
    QXCOFF_SECTION_TABLE* sections = f->section_table();
    auto* text = static_cast<QXCOFF_SECTION*>(sections->add_section(".text"));
    text->make_code();
    text->set_alignment(4);
    text->set_run_address(0x100);
    text->set_load_address(0x100);
    for (uint16_t w : {0x1111, 0x2222, 0x3333}) text->raw_data().write_u16(w);
    auto* data = static_cast<QXCOFF_SECTION*>(sections->add_section(".data"));
    data->make_data();
    data->raw_data().write_u8(0xAB);  // half a 16-bit unit: padded
    auto* bss = static_cast<QXCOFF_SECTION*>(sections->add_section(".bss"));
    bss->make_bss();
    bss->set_size(0x40);

    const auto add = [f](uint8_t storage_class, uint32_t aux, const char* name, OF_SECTION* section) {
        QXCOFF_SYMBOL* s = f->qxcoff_symbol_table()->add_symbol(storage_class, aux);
        s->set_name(name);
        s->set_section(section);
        return s;
    };
    add(QXCOFF::C_FILE, 0, "kite.c", nullptr)->set_kind(OF_SYM_DEBUG);
    QXCOFF_SYMBOL* main = add(QXCOFF::C_EXT, 1, "_main", text);
    main->set_value(0x100);
    main->set_coff_type(int_function);
    QXCOFF_AUX fn;
    fn.size = 3;
    main->set_aux(fn);
    QXCOFF_SYMBOL* counter = add(QXCOFF::C_EXT, 0, "a_counter_with_a_long_name", data);
    QXCOFF_SYMBOL* printf_ = add(QXCOFF::C_EXT, 0, "_printf", nullptr);
    add(QXCOFF::C_STAT, 0, "_buffer", bss);

    text->reloc_table()->add_reloc(0x101, 16, counter->index());                 // R_RELWORD
    text->reloc_table()->add_reloc(0x102, 16, printf_->index());
    text->lnno_table()->add_entry(main->index(), 0);
    text->lnno_table()->add_entry(0x101, 2);
    text->lnno_table()->add_entry(0x102, 3);  // a count other than the relocations', in headers of every version
    return object;
}

// The Kite object as the fixture builder lays it out: its symbols in the order of entering "locked" (locals and
// defined functions, other globals, then undefined ones), relocations and line numbers following them, the
// function's line numbers at `lines`, and F_LITTLE (which a new object has whatever its byte order).
std::string kite_description(uint32_t lines) {
    return "qxcoff v2 le\nheader f_flags=0x100\nsection .text data=111122223333 flags=text align=4 paddr=0x100\n"
           "section .data data=ab00 flags=data\nsection .bss size=0x40 flags=bss\n"
           "reloc .text vaddr=0x101 symndx=4 type=16\nreloc .text vaddr=0x102 symndx=5 type=16\n"
           "lnno .text addr=1 line=0\nlnno .text addr=0x101 line=2\nlnno .text addr=0x102 line=3\n"
           "symbol kite.c sclass=file scnum=debug\n"
           "symbol _main scnum=.text value=0x100 type=int:func auxsize=3 auxlnnoptr=" + std::to_string(lines) + "\n"
           "symbol _buffer sclass=stat scnum=.bss\nsymbol a_counter_with_a_long_name scnum=.data\nsymbol _printf\n";
}

// The bytes of a file saved are those the fixture builder writes from `description`, but for the time stamp.
void expect_built(const reread& saved, const std::string& description, const fixture::options& opts = {}) {
    std::string bytes = saved.hex();
    EXPECT_NE(bytes.substr(8, 8), "00000000");  // a zero time stamp becomes the time of writing
    EXPECT_EQ(bytes.replace(8, 8, "00000000"), built_hex(description, opts));
}

TEST(QxcoffWrite, ObjectsBuiltFromNothingAreWrittenInEveryVersionAndByteOrder) {
    for (uint32_t version : {QXCOFF::VERSION_0, QXCOFF::VERSION_1, QXCOFF::VERSION_2}) {
        for (OF_ENDIAN control : {OF_ENDIAN_LITTLE, OF_ENDIAN_BIG}) {
            SCOPED_TRACE("format version " + std::to_string(version) + (control == OF_ENDIAN_BIG ? " big" : " little"));
            auto object = kite_object(version, control);
            const reread back(object.get());
            const fixture::options opts = unit::variant(static_cast<int>(version) - 1, control == OF_ENDIAN_BIG);
            const unit::opened layout(kite_description(0), opts);
            const uint32_t lines = layout.file().section_table()->qxcoff_section_at(0)->header().s_lnnoptr;
            expect_built(back, kite_description(lines), opts);
        }
    }
}

// Names of up to eight characters stand inline, others (an empty one too) in the string table, symbols' first;
// versions "0" and "1" cut a long section name. Without symbols and strings the symbol table's offset is 0
// when a section stores a block, else the end of the file (where a reader would look for strings).
TEST(QxcoffWrite, NamesAndTheSymbolTableOffsetWithoutSymbols) {
    auto object = created(OF_FORMAT_QXCOFF, QXCOFF::VERSION_2, OF_TARGET_KITE);
    object->section_table()->add_section("exactly8");
    object->section_table()->add_section(".a_long_section_name");
    for (const char* name : {"ABCDEFGH", "ABCDEFGHI", ""}) object->symbol_table()->add_symbol()->set_name(name);
    // The string table given whole: the symbols' names first.
    expect_built(reread(object.get()),
                 "qxcoff v2 le\nsection exactly8\nsection .a_long_section_name s_stroff=15\nsymbol ABCDEFGH\n"
                 "symbol ABCDEFGHI n_stroff=4\nsymbol \"\" n_stroff=14\nstrtab omit\n"
                 "append words=36 text=\"ABCDEFGHI\\0\\0.a_long_section_name\\0\"\n");

    auto old = created(OF_FORMAT_QXCOFF, QXCOFF::VERSION_0, OF_TARGET_KITE);
    old->section_table()->add_section(".a_long_section_name");
    EXPECT_EQ(taken(), REPORTS{"6: QX-COFF Version 0 only supports section names of up to 8 characters"});
    auto stored = created(OF_FORMAT_QXCOFF, QXCOFF::VERSION_1, OF_TARGET_KITE);
    stored->section_table()->add_section(".text")->raw_data().write_u16(7);
    const reread o(old.get()), s(stored.get());
    EXPECT_STREQ(o->section_table()->section_at(0)->name(), ".a_long_");
    EXPECT_EQ(std::tuple(qx(o.get())->header().f_symptr, qx(s.get())->header().f_symptr,
                         qx(s.get())->string_table_length(), qx(s.get())->size()),
              std::tuple(20u + 40, 0u, 0u, 22u + 40 + 2));
}

// C_NULL entries go (a function's with its debugging entries), the three groups are formed, and everything that
// refers to symbols follows: relocations, line numbers, tag indexes.
TEST(QxcoffWrite, LockingRemovesNullSymbolsAndArrangesTheGroups) {
    unit::opened in(R"(qxcoff v2 le
section .text data=00112233 flags=text
section .data data=0011 flags=data
reloc .text vaddr=0 symndx=13 type=16
reloc .text vaddr=1 symndx=1 type=16
lnno .text addr=2 line=0
lnno .text addr=1 line=1
lnno .text addr=9 line=0
lnno .text addr=2 line=1
symbol _undef
symbol _global scnum=.data
symbol nullfn sclass=null type=int:func auxsize=2
symbol .bf sclass=fcn scnum=.text auxline=3 auxnext=8
symbol .ef sclass=fcn scnum=.text auxline=4
symbol lonely sclass=null
symbol _fn scnum=.text type=int:func auxsize=2
symbol local sclass=stat scnum=.data type=struct auxtag=13 auxsize=32
symbol tag sclass=strtag type=struct auxsize=32
)",
                    {}, true);
    const reread back(in.object(), {unbalanced});
    OF_SYMBOL_TABLE* symbols = back->symbol_table();
    std::vector<std::string> names;
    for (uint32_t i = 0; i < symbols->count(); i = symbols->next_index(i))
        names.push_back(std::to_string(i) + ":" + (symbols->symbol_at(i)->name() ? symbols->symbol_at(i)->name() : "(null)"));
    // nullfn (with .bf and .ef up to index 8) and lonely are gone; _fn, a defined function, stays with the locals.
    EXPECT_EQ(names, (std::vector<std::string>{"0:_fn", "2:local", "4:tag", "6:_global", "7:_undef"}));
    // The relocations and the tag index follow (tag was 13, _global 1); the removed function's lines went with it.
    QXCOFF_SECTION* text = qx(back.get())->section_table()->qxcoff_section_at(0);
    OF_RELOC_TABLE* relocs = text->reloc_table();
    QXCOFF_LNNO_TABLE* lines = text->lnno_table();
    ASSERT_EQ(std::pair(relocs->count(), lines->count()), std::pair(2u, 2u));
    EXPECT_EQ(std::tuple(relocs->reloc_at(0)->symbol_index(), relocs->reloc_at(1)->symbol_index(),
                         qsym(back.get(), 2)->aux()->tag_index, lines->entry(0)->l_addr, lines->entry(1)->l_lnno),
              std::tuple(4u, 6u, 4u, 0u, 1u));
}

TEST(QxcoffWrite, ScopesPointPastTheirClosingEntries) {
    unit::opened in(R"(qxcoff v1 be
section .text data=00112233 flags=text
symbol _fn scnum=.text type=int:func auxsize=2
symbol .bf sclass=fcn scnum=.text auxline=3
symbol .bb sclass=block scnum=.text auxline=4
symbol .eb sclass=block scnum=.text auxline=5
symbol .ef sclass=fcn scnum=.text auxline=6
symbol s sclass=strtag type=struct auxsize=64
symbol m sclass=mos
symbol .eos sclass=eos auxsize=0
symbol _plain scnum=.text type=int:func auxsize=2
)",
                    {}, true);
    const reread back(in.object());
    EXPECT_EQ(qsym(back.get(), 0)->aux()->next_index, 10u);  // _fn: past .ef
    EXPECT_EQ(qsym(back.get(), 2)->aux()->next_index, 10u);  // .bf
    EXPECT_EQ(qsym(back.get(), 4)->aux()->next_index, 8u);   // .bb: past .eb
    EXPECT_EQ(qsym(back.get(), 10)->aux()->next_index, 15u);  // the tag: past .eos
    // The end of the structure takes its tag's size and type.
    EXPECT_EQ(qsym(back.get(), 13)->size(), 64u);
    EXPECT_EQ(qsym(back.get(), 13)->coff_type(), qsym(back.get(), 10)->coff_type());

    for (const char* symbol : {"symbol .ef sclass=fcn auxline=1\n", "symbol .eb sclass=block auxline=1\n",
                               "symbol .eos sclass=eos auxsize=0\n", "symbol .bb sclass=block auxline=1\n"}) {
        SCOPED_TRACE(symbol);
        unit::opened bad(std::string("qxcoff v2 le\n") + symbol, {}, true);
        (void)reread(bad.object(), {unbalanced});
    }
}

// Versions "0" and "1" count relocations and line numbers in 16 bits: 65535 is kept, 65536 is reported and
// keeps its low 16 bits; version "2" counts in 32 bits.
TEST(QxcoffWrite, SixteenBitCountsOfVersions0And1) {
    const std::tuple<uint32_t, uint32_t, uint32_t> cases[] = {{QXCOFF::VERSION_0, 65536, 0},
                                                              {QXCOFF::VERSION_1, 65535, 65535},
                                                              {QXCOFF::VERSION_1, 65536, 0},
                                                              {QXCOFF::VERSION_2, 65536, 65536}};
    for (const auto& [version, n, kept] : cases) {
        SCOPED_TRACE(std::to_string(version) + " " + std::to_string(n));
        auto object = created(OF_FORMAT_QXCOFF, version, OF_TARGET_KITE);
        auto* text = static_cast<QXCOFF_SECTION*>(object->section_table()->add_section(".text"));
        text->raw_data().write_u16(0);
        for (uint32_t i = 0; i < n; ++i) {
            text->reloc_table()->add_reloc(0, 15, 0xFFFFFFFF);
            text->lnno_table()->add_entry(i, 1);
        }
        const std::string cut = std::string("6: QX-COFF Version ") + (version == QXCOFF::VERSION_0 ? "0" : "1") +
                                " only supports up to 65535 ";
        (void)reread(object.get(),
                     kept == n ? REPORTS{} : REPORTS{cut + "relocation entries", cut + "line number entries"});
        EXPECT_EQ(std::pair(text->header().s_nreloc, text->header().s_nlnno), std::pair(kept, kept));
    }
}

// Locking fills the optional header from .text, .data and .bss as the fixture builder does, keeps a time stamp
// that is not 0, and an ".icode" section marks the file and every other section.
TEST(QxcoffWrite, HeaderFieldsOfLocking) {
    const auto description = [](const char* text, const char* data, const char* bss) {
        return std::string("qxcoff v2 le\nheader f_timdat=1234\nopthdr o_vstamp=2012 o_entry=0x10\n") +
               "section .text data=0011223344556677 paddr=0x2000 flags=" + text +
               "\nsection .data data=aabb paddr=0x3000 flags=" + data + "\nsection .bss size=9 flags=" + bss +
               "\nsection .icode data=00 flags=copy\n";
    };
    unit::opened in(description("text", "data", "bss"));
    // The bytes of the kinds given by number, the file marked F_ICODE and its time stamp kept.
    EXPECT_EQ(reread(in.object()).hex(),
              built_hex(description("0x20020", "0x20040", "0x20080") + "header f_flags=0x2100\n"));
}

TEST(QxcoffWrite, GroupsKeepTheirSignatureAndReportAMissingOne) {
    unit::opened in(R"(qxcoff v2 le
section .text data=0011 flags=text
section .group flags=0x80000 words=1,2,1
symbol first
symbol second
symbol sig scnum=.text
)",
                    {}, true);
    const reread back(in.object());
    // The signature went first (a defined global before the undefined ones): index 2 became 0.
    EXPECT_EQ(unit::hex(back->section_table()->section_at(1)->data()), "010000000000000001000000");

    unit::opened bad("qxcoff v2 le\nsection .group flags=0x80000 words=1,5,1\nsymbol only\n", {}, true);
    (void)reread(bad.object(), {"3: a symbol has not been specified for the group section .group"});
}

}  // namespace
