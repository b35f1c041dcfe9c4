// Writing ELF relocatable files: objects of several targets and both byte orders built from nothing and read
// back, the rules of entering "locked" (locals first with sh_info, names in the string tables, deleted
// sections), the layout, a producer and symbol aliases, and what readelf makes of the result.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_reloc.h"
#include "ofe/elf/elf_section.h"
#include "ofe/elf/elf_symalias.h"
#include "ofe/elf/elf_symbol.h"
#include "write_support.h"

using namespace OFE;
using namespace write_test;

namespace {

ELF_FILE* elf(OBJECT_FILE* object) { return as_elf_file(object); }

ELF_SYMBOL* add_symbol(OBJECT_FILE* object, const char* name, OF_SYMBOL_BINDING binding,
                       OF_SYMBOL_TYPE type = OF_TYPE_NONE, OF_SECTION* section = nullptr, uint32_t size = 0) {
    auto* s = as_elf_symbol(object->symbol_table()->add_symbol());
    s->set_name(name);
    s->set_binding(binding);
    s->set_type(type);
    s->set_section(section);
    s->set_size(size);
    return s;
}

// Code, data and uninitialised data; a global function, a local and a global object, an undefined symbol,
// and two relocations (type 1) of the code. The global function is added before the local on purpose: the
// table must put its locals first when it is locked.
std::unique_ptr<OBJECT_FILE> small_object(OF_TARGET target, OF_ENDIAN endian) {
    auto object = created(OF_FORMAT_ELF, 4, target, endian);
    elf(object.get())->set_endian(endian);
    OF_SECTION_TABLE* sections = object->section_table();
    OF_SECTION* text = sections->add_section(".text");
    text->set_alignment(4);
    for (uint8_t b : {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}) text->data().write_u8(b);
    OF_SECTION* data = sections->add_section(".data");
    data->set_alignment(4);
    data->data().write_u32(0x2a);
    OF_SECTION* bss = sections->add_section(".bss");
    bss->set_alignment(8);
    bss->set_size(0x40);
    add_symbol(object.get(), "start", OF_BIND_GLOBAL, OF_TYPE_FUNCTION, text, 8);
    ELF_SYMBOL* counter = add_symbol(object.get(), "counter", OF_BIND_LOCAL, OF_TYPE_OBJECT, data, 4);
    add_symbol(object.get(), "buffer", OF_BIND_GLOBAL, OF_TYPE_OBJECT, bss, 0x40);
    ELF_SYMBOL* external = add_symbol(object.get(), "external", OF_BIND_GLOBAL);
    OF_RELOC_TABLE* relocs = text->reloc_table_for_change();
    relocs->add_reloc(0, 1, counter->index());
    relocs->add_reloc(4, 1, external->index());
    return object;
}

// The small object as the fixture builder lays it out for a machine: null section, the three sections, the
// symbol table (locals first), the relocations (following their symbols), the symbol names, the section names.
std::string small_description(uint32_t machine, uint32_t bss_bytes) {
    return "elf32 le rel\nheader e_machine=" + std::to_string(machine) +
           "\nsection .text data=1122334455667788\nsection .data words=0x2a\n"
           "section .bss size=" + std::to_string(bss_bytes) + " addralign=8\nsection .symtab\n"
           "section .rel.text type=rel flags=i link=.symtab info=.text entsize=8 addralign=4 words=0,0x101,4,0x401\n"
           "section .strtab flags=s\nsection .shstrtab flags=s\nsymbol counter bind=local type=object section=.data size=4\n"
           "symbol start type=func section=.text size=8\nsymbol buffer type=object section=.bss size=0x40\n"
           "symbol external\n";
}

// Read back, each object has the sections, symbols and relocations, and the file offsets, that the fixture
// builder writes for it; the section header table follows the section names at a 4-byte boundary, and
// readelf reads it without a warning.
TEST(ElfWrite, RelocatablesBuiltFromNothingReadBackForEachFamilyAndByteOrder) {
    struct CASE {
        OF_TARGET target;
        OF_ENDIAN endian;
        uint32_t machine, bss_bytes;
    };
    const CASE cases[] = {{OF_TARGET_KITE, OF_ENDIAN_LITTLE, 141, 0x80}, {OF_TARGET_KITE, OF_ENDIAN_BIG, 141, 0x80},
                          {OF_TARGET_ARM, OF_ENDIAN_LITTLE, 40, 0x40},   {OF_TARGET_ARM, OF_ENDIAN_BIG, 40, 0x40},
                          {OF_TARGET_GULL, OF_ENDIAN_LITTLE, 140, 0x40}, {OF_TARGET_ELF_MACHINE_BASE + 3, OF_ENDIAN_LITTLE, 3, 0x40}};
    for (const CASE& c : cases) {
        SCOPED_TRACE("target " + std::to_string(c.target) + (c.endian == OF_ENDIAN_BIG ? " big" : " little"));
        unit::temp_dir dir;
        auto object = small_object(c.target, c.endian);
        ASSERT_EQ(save_to(object.get(), dir.file("s.o")), 0);
        EXPECT_EQ(taken(), std::vector<std::string>{});

        reread back(dir.file("s.o"));
        ASSERT_NE(back.get(), nullptr);
        EXPECT_EQ(std::tuple(back->target(), back->endian(), back->file_type()),
                  std::tuple(c.target, c.endian, OF_FILE_RELOCATABLE));
        fixture::options opts;
        opts.order = c.endian == OF_ENDIAN_BIG ? fixture::byte_order::big : fixture::byte_order::little;
        const unit::opened expected(small_description(c.machine, c.bss_bytes), opts);
        EXPECT_EQ(contents_dump(back.get()), contents_dump(expected.object()));
        EXPECT_EQ(taken(), std::vector<std::string>{});
        // The links the dump does not show: the symbol table's first global and strings, the relocations' targets.
        ELF_SECTION_TABLE* s = elf(back.get())->section_table();
        EXPECT_EQ(std::tuple(s->elf_section_at(4)->header().sh_info, s->elf_section_at(4)->header().sh_link,
                             s->elf_section_at(5)->header().sh_info, s->elf_section_at(5)->header().sh_link),
                  std::tuple(2u, 6u, 1u, 4u));
        const ELF_HEADER& h = elf(back.get())->header();
        const ELF_SECTION_HEADER& names = s->elf_section_at(7)->header();
        EXPECT_EQ(std::tuple(h.e_shoff, h.e_shnum, h.e_shstrndx, h.e_phoff),
                  std::tuple((names.sh_offset + names.sh_size + 3) / 4 * 4, 8u, 7u, 0u));
        EXPECT_EQ(unit::temp_dir::read(dir.file("s.o")).size(), h.e_shoff + 8u * 40);
        EXPECT_EQ(readelf_complaints(dir.file("s.o")), std::vector<std::string>{});
    }
}

// The producer goes to a build-attribute section made for it, and an alias section keeps its pairs.
TEST(ElfWrite, ProducerAndAliasesOfAFileBuiltFromNothingReadBack) {
    unit::temp_dir dir;
    auto object = small_object(OF_TARGET_KITE, OF_ENDIAN_LITTLE);
    object->set_producer("kas", 1, 2, 3);
    auto* aliases = as_elf_section(object->section_table()->add_section(".QX.symbol.alias"));
    ASSERT_NE(aliases->symalias_table(), nullptr);
    // start (1, a global made before the local counter) as an alias of buffer (3).
    aliases->symalias_table()->add_pair(object->symbol_table()->find_by_name("start")->index(),
                                        object->symbol_table()->find_by_name("buffer")->index());
    ASSERT_EQ(save_to(object.get(), dir.file("s.o")), 0);
    reread back(dir.file("s.o"));
    EXPECT_EQ(taken(), std::vector<std::string>{});
    EXPECT_EQ(back->producer_name(), "kas");
    EXPECT_EQ(back->producer_version(), "1.2.3");
    ELF_SECTION* read = as_elf_section(back->section_table()->find_by_name(".QX.symbol.alias"));
    ASSERT_NE(read, nullptr);
    // Locals first: start is symbol 2 of the saved file.
    EXPECT_EQ(read->symalias_table()->pairs(), (std::vector<ELF_SYMALIAS_TABLE::PAIR>{{2, 3}}));
}

// Reverted to "open" after a save, the file takes new sections and symbols: a local (absolute) added last goes
// with the other locals.
TEST(ElfWrite, RevertedToOpenAfterSavingItChangesAndSavesAgain) {
    unit::temp_dir dir;
    auto object = small_object(OF_TARGET_KITE, OF_ENDIAN_LITTLE);
    ASSERT_EQ(save_to(object.get(), dir.file("first.o")), 0);
    ASSERT_EQ(object->revert_to_state(OF_STATE_OPEN), 0);
    EXPECT_NE(object->section_table()->add_section(".more"), nullptr);
    add_symbol(object.get(), "late_local", OF_BIND_LOCAL)->set_kind(OF_SYM_ABSOLUTE);
    object->symbol_table()->symbol_at(2)->set_value(6);  // "start"
    ASSERT_EQ(save_to(object.get(), dir.file("second.o")), 0);
    EXPECT_EQ(taken(), std::vector<std::string>{});
    reread back(dir.file("second.o"));
    std::string names;
    for (uint32_t i = 0; i < back->symbol_table()->count(); ++i) names += back->symbol_table()->symbol_at(i)->name() + std::string(",");
    EXPECT_EQ(names, ",counter,late_local,start,buffer,external,");
    EXPECT_EQ(back->symbol_table()->symbol_at(3)->value(), 6u);
    EXPECT_EQ(back->symbol_table()->symbol_at(2)->kind(), OF_SYM_ABSOLUTE);
}

// A deleted section leaves the table when the file is locked, and the links follow the sections to their new
// indexes: the relocations of a section after it name its new index.
TEST(ElfWrite, DeletedSectionsAreRemovedWhenLockingAndLinksFollow) {
    unit::temp_dir dir;
    auto object = small_object(OF_TARGET_KITE, OF_ENDIAN_LITTLE);
    OF_SECTION* more = object->section_table()->add_section(".more");
    as_elf_section(more)->header().sh_type = ELF::SHT_PROGBITS;
    more->data().write_u32(9);
    more->reloc_table_for_change()->add_reloc(0, 1, 4);       // "external"
    ASSERT_TRUE(object->section_table()->delete_section(2));  // .data: "counter" loses its section
    ASSERT_EQ(save_to(object.get(), dir.file("d.o")), 0);
    EXPECT_EQ(taken(), std::vector<std::string>{});
    EXPECT_EQ(readelf_complaints(dir.file("d.o")), std::vector<std::string>{});
    reread back(dir.file("d.o"));
    ELF_SECTION_TABLE* sections = elf(back.get())->section_table();
    const auto names = [](OBJECT_FILE* file) {
        std::string all;
        for (uint32_t i = 0; i < file->section_table()->count(); ++i) {
            const char* name = file->section_table()->section_at(i)->name();
            all += std::string(name ? name : "(none)") + ",";
        }
        return all;
    };
    EXPECT_EQ(names(back.get()), ",.text,.bss,.symtab,.rel.text,.more,.rel.more,.strtab,.shstrtab,");
    EXPECT_STREQ(back->symbol_table()->symbol_at(3)->section()->name(), ".bss");  // "buffer"
    const auto link = [&](uint32_t i) { return std::pair(sections->elf_section_at(i)->header().sh_link, sections->elf_section_at(i)->header().sh_info); };
    EXPECT_EQ((std::vector{link(3), link(4), link(6)}),
              (std::vector<std::pair<uint32_t, uint32_t>>{{7, 2}, {3, 1}, {3, 5}}));

    // Reverted after saving, it deletes again: the section-name table moves down with the others.
    ASSERT_EQ(object->revert_to_state(OF_STATE_OPEN), 0);
    ASSERT_TRUE(object->section_table()->delete_section(2));  // .bss
    ASSERT_EQ(save_to(object.get(), dir.file("again.o")), 0);
    EXPECT_EQ(readelf_complaints(dir.file("again.o")), std::vector<std::string>{});
    EXPECT_EQ(names(reread(dir.file("again.o")).get()), ",.text,.symtab,.rel.text,.more,.rel.more,.strtab,.shstrtab,");
}

// Deleting a section of a file read: the members of a group follow their sections down, a deleted member
// leaves the group, and the section-name table keeps its names.
TEST(ElfWrite, DeletingFromAFileReadRenumbersGroupMembers) {
    for (const char* order : {"le", "be"}) {
        SCOPED_TRACE(order);
        unit::temp_dir dir;
        const unit::opened read(std::string("elf32 ") + order +
                                " rel\nsection .group type=group words=1,2,3,4\nsection .comment data=00\n"
                                "section .text data=90\nsection .data words=7\n");
        ASSERT_TRUE(read.object()->section_table()->delete_section(2));  // .comment
        ASSERT_EQ(save_to(read.object(), dir.file("g.o")), 0);
        EXPECT_EQ(taken(), std::vector<std::string>{});
        const reread back(dir.file("g.o"));
        ELF_SECTION* group = as_elf_section(back->section_table()->find_by_name(".group"));
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(unit::hex(group->data()), order == std::string("le") ? "010000000200000003000000"
                                                                       : "000000010000000200000003");
        EXPECT_STREQ(back->section_table()->section_at(3)->name(), ".data");
    }
}

}  // namespace
