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
    as_elf_file(object.get())->set_endian(endian);
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
std::string small_description(const char* order, uint32_t machine, uint32_t bss_bytes) {
    return std::string("elf32 ") + order + " rel\nheader e_machine=" + std::to_string(machine) +
           "\nsection .text data=1122334455667788\nsection .data words=0x2a\n"
           "section .bss size=" + std::to_string(bss_bytes) + " addralign=8\nsection .symtab\n"
           "section .rel.text type=rel flags=i link=.symtab info=.text entsize=8 addralign=4 words=0,0x101,4,0x401\n"
           "section .strtab flags=s entsize=1\nsection .shstrtab flags=s entsize=1\n"
           "symbol counter bind=local type=object section=.data size=4\nsymbol start type=func section=.text size=8\n"
           "symbol buffer type=object section=.bss size=0x40\nsymbol external\n";
}

// Each object is saved as the fixture builder writes it (the section header table follows the section names at a
// 4-byte boundary), reads back as what it was made, and readelf reads it without a warning.
TEST(ElfWrite, RelocatablesBuiltFromNothingAreWrittenForEachFamilyAndByteOrder) {
    const std::tuple<OF_TARGET, OF_ENDIAN, uint32_t, uint32_t> cases[] = {
        {OF_TARGET_KITE, OF_ENDIAN_LITTLE, 141, 0x80}, {OF_TARGET_KITE, OF_ENDIAN_BIG, 141, 0x80},
        {OF_TARGET_ARM, OF_ENDIAN_LITTLE, 40, 0x40},   {OF_TARGET_ARM, OF_ENDIAN_BIG, 40, 0x40},
        {OF_TARGET_GULL, OF_ENDIAN_LITTLE, 140, 0x40}, {OF_TARGET_ELF_MACHINE_BASE + 3, OF_ENDIAN_LITTLE, 3, 0x40}};
    for (const auto& [target, endian, machine, bss_bytes] : cases) {
        const char* order = endian == OF_ENDIAN_BIG ? "be" : "le";
        SCOPED_TRACE("target " + std::to_string(target) + " " + order);
        auto object = small_object(target, endian);
        const reread back(object.get());
        EXPECT_EQ(back.hex(), built_hex(small_description(order, machine, bss_bytes)));
        EXPECT_EQ(std::tuple(back->target(), back->endian(), back->file_type()),
                  std::tuple(target, endian, OF_FILE_RELOCATABLE));
        EXPECT_EQ(readelf_complaints(back.path()), REPORTS{});
    }
}

// The producer goes to a build-attribute section made for it, and an alias section keeps its pairs.
TEST(ElfWrite, ProducerAndAliasesOfAFileBuiltFromNothingReadBack) {
    auto object = small_object(OF_TARGET_KITE, OF_ENDIAN_LITTLE);
    object->set_producer("kas", 1, 2, 3);
    auto* aliases = as_elf_section(object->section_table()->add_section(".QX.symbol.alias"));
    ASSERT_NE(aliases->symalias_table(), nullptr);
    // start (1, a global made before the local counter) as an alias of buffer (3).
    aliases->symalias_table()->add_pair(object->symbol_table()->find_by_name("start")->index(),
                                        object->symbol_table()->find_by_name("buffer")->index());
    const reread back(object.get());
    EXPECT_EQ(back->producer_name(), "kas");
    EXPECT_EQ(back->producer_version(), "1.2.3");
    ELF_SECTION* read = as_elf_section(back->section_table()->find_by_name(".QX.symbol.alias"));
    ASSERT_NE(read, nullptr);
    // Locals first: start is symbol 2 of the saved file.
    EXPECT_EQ(read->symalias_table()->pairs(), (std::vector<ELF_SYMALIAS_TABLE::PAIR>{{2, 3}}));
}

// A deleted section leaves the table when the file is locked, and the links follow the sections to their new
// indexes: the relocations of a section after it name its new index.
TEST(ElfWrite, DeletedSectionsLeaveWhenLockingAndLinksFollowAlsoAfterReverting) {
    auto object = small_object(OF_TARGET_KITE, OF_ENDIAN_LITTLE);
    OF_SECTION* more = object->section_table()->add_section(".more");
    as_elf_section(more)->header().sh_type = ELF::SHT_PROGBITS;
    more->data().write_u32(9);
    more->reloc_table_for_change()->add_reloc(0, 1, 4);       // "external"
    ASSERT_TRUE(object->section_table()->delete_section(2));  // .data: "counter" loses its section
    const reread back(object.get());
    EXPECT_EQ(readelf_complaints(back.path()), REPORTS{});
    ELF_SECTION_TABLE* sections = as_elf_file(back.get())->section_table();
    const auto names = [](OBJECT_FILE* file) {
        std::string all;
        for (uint32_t i = 0; i < file->section_table()->count(); ++i)
            all += file->section_table()->section_at(i)->name() + std::string(",");
        return all;
    };
    EXPECT_EQ(names(back.get()), ",.text,.bss,.symtab,.rel.text,.more,.rel.more,.strtab,.shstrtab,");
    EXPECT_STREQ(back->symbol_table()->symbol_at(3)->section()->name(), ".bss");  // "buffer"
    const auto link = [&](uint32_t i) { return std::pair(sections->elf_section_at(i)->header().sh_link, sections->elf_section_at(i)->header().sh_info); };
    EXPECT_EQ((std::vector{link(3), link(4), link(6)}),
              (std::vector<std::pair<uint32_t, uint32_t>>{{7, 2}, {3, 1}, {3, 5}}));

    // Reverted after saving, it deletes again (the section-name table moves down with the others) and takes new
    // sections and symbols: a local (absolute) added last goes with the other locals.
    ASSERT_EQ(object->revert_to_state(OF_STATE_OPEN), 0);
    ASSERT_TRUE(object->section_table()->delete_section(2));  // .bss
    EXPECT_NE(object->section_table()->add_section(".late"), nullptr);
    add_symbol(object.get(), "late_local", OF_BIND_LOCAL)->set_kind(OF_SYM_ABSOLUTE);
    object->symbol_table()->symbol_at(2)->set_value(6);  // "start"
    const reread again(object.get());
    EXPECT_EQ(readelf_complaints(again.path()), REPORTS{});
    EXPECT_EQ(names(again.get()), ",.text,.symtab,.rel.text,.more,.rel.more,.strtab,.shstrtab,.late,");
    std::string symbols;
    for (uint32_t i = 0; i < again->symbol_table()->count(); ++i)
        symbols += again->symbol_table()->symbol_at(i)->name() + std::string(",");
    EXPECT_EQ(symbols, ",counter,late_local,start,buffer,external,");
    EXPECT_EQ(again->symbol_table()->symbol_at(3)->value(), 6u);
    EXPECT_EQ(again->symbol_table()->symbol_at(2)->kind(), OF_SYM_ABSOLUTE);
}

// Deleting a section of a file read: the members of a group follow their sections down, a deleted member
// leaves the group, and the section-name table keeps its names.
TEST(ElfWrite, DeletingFromAFileReadRenumbersGroupMembers) {
    for (const char* order : {"le", "be"}) {
        SCOPED_TRACE(order);
        const unit::opened read(std::string("elf32 ") + order +
                                " rel\nsection .group type=group words=1,2,3,4\nsection .comment data=00\n"
                                "section .text data=90\nsection .data words=7\n");
        ASSERT_TRUE(read.object()->section_table()->delete_section(2));  // .comment
        const reread back(read.object());
        ELF_SECTION* group = as_elf_section(back->section_table()->find_by_name(".group"));
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(unit::hex(group->data()), order == std::string("le") ? "010000000200000003000000"
                                                                       : "000000010000000200000003");
        EXPECT_STREQ(back->section_table()->section_at(3)->name(), ".data");
    }
}

}  // namespace
