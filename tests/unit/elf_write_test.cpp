// Writing ELF relocatable files: objects of several targets and both byte orders built from nothing and read
// back, the rules of entering "locked" (null section and symbol, locals first with sh_info, names in the
// string tables) and the layout.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_reloc.h"
#include "ofe/elf/elf_section.h"
#include "ofe/elf/elf_symalias.h"
#include "ofe/elf/elf_symbol.h"
#include "util/data_map.h"
#include "write_support.h"

using namespace OFE;
using namespace write_test;

namespace {

ELF_FILE* elf(OBJECT_FILE* object) { return as_elf_file(object); }
ELF_SYMBOL* esym(OBJECT_FILE* object, uint32_t index) {
    return static_cast<ELF_SYMBOL*>(object->symbol_table()->symbol_at(index));
}

// Code, data and uninitialised data; a global function, a local and a global object, an undefined symbol,
// and two relocations of the code. The global function is added before the local on purpose: the table
// must put its locals first when it is locked.
std::unique_ptr<OBJECT_FILE> small_object(OF_TARGET target, OF_ENDIAN endian, uint32_t reloc_type) {
    auto object = created(OF_FORMAT_ELF, 4, target, endian);
    ELF_FILE* f = elf(object.get());
    f->set_endian(endian);
    OF_SECTION_TABLE* sections = f->section_table();
    OF_SECTION* text = sections->add_section(".text");
    text->set_alignment(4);
    for (uint8_t b : {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}) text->data().write_u8(b);
    OF_SECTION* data = sections->add_section(".data");
    data->set_alignment(4);
    data->data().write_u32(0x2a);
    OF_SECTION* bss = sections->add_section(".bss");
    bss->set_alignment(8);
    bss->set_size(0x40);

    OF_SYMBOL_TABLE* symbols = f->symbol_table();
    auto* start = static_cast<ELF_SYMBOL*>(symbols->add_symbol());
    start->set_name("start");
    start->set_binding(OF_BIND_GLOBAL);
    start->set_type(OF_TYPE_FUNCTION);
    start->set_section(text);
    start->set_size(8);
    auto* counter = static_cast<ELF_SYMBOL*>(symbols->add_symbol());
    counter->set_name("counter");
    counter->set_binding(OF_BIND_LOCAL);
    counter->set_type(OF_TYPE_OBJECT);
    counter->set_section(data);
    counter->set_size(4);
    auto* buffer = static_cast<ELF_SYMBOL*>(symbols->add_symbol());
    buffer->set_name("buffer");
    buffer->set_binding(OF_BIND_GLOBAL);
    buffer->set_type(OF_TYPE_OBJECT);
    buffer->set_section(bss);
    buffer->set_size(0x40);
    auto* external = static_cast<ELF_SYMBOL*>(symbols->add_symbol());
    external->set_name("external");
    external->set_binding(OF_BIND_GLOBAL);

    OF_RELOC_TABLE* relocs = text->reloc_table_for_change();
    relocs->add_reloc(0, reloc_type, counter->index());
    relocs->add_reloc(4, reloc_type, external->index());
    return object;
}

std::vector<std::string> symbol_names(OBJECT_FILE* object) {
    std::vector<std::string> names;
    OF_SYMBOL_TABLE* symbols = object->symbol_table();
    for (uint32_t i = 0; i < symbols->count(); ++i)
        names.push_back(symbols->symbol_at(i)->name() ? symbols->symbol_at(i)->name() : "(null)");
    return names;
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
        auto object = small_object(c.target, c.endian, 1);
        ASSERT_EQ(save_to(object.get(), dir.file("s.o")), 0);
        EXPECT_TRUE(object->saved());
        EXPECT_EQ(taken(), std::vector<std::string>{});

        reread back(dir.file("s.o"));
        ASSERT_NE(back.get(), nullptr);
        EXPECT_EQ(std::tuple(back->target(), back->endian(), back->file_type()),
                  std::tuple(c.target, c.endian, OF_FILE_RELOCATABLE));
        // Every section, symbol and relocation, and their file offsets, as the fixture builder writes them.
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

        // Saved again unchanged, the file is the same byte for byte.
        ASSERT_EQ(save_to(back.get(), dir.file("again.o")), 0);
        EXPECT_EQ(unit::temp_dir::read(dir.file("s.o")), unit::temp_dir::read(dir.file("again.o")));
    }
}

TEST(ElfWrite, LayoutPlacesSectionsInOrderAtTheirAlignmentThenTheHeaders) {
    unit::temp_dir dir;
    auto object = small_object(OF_TARGET_KITE, OF_ENDIAN_LITTLE, 1);
    ASSERT_EQ(save_to(object.get(), dir.file("s.o")), 0);
    reread back(dir.file("s.o"));
    // The sections' offsets: the comparison with the fixture above. The header table follows the section
    // names, at a 4-byte boundary.
    const ELF_HEADER& h = elf(back.get())->header();
    const ELF_SECTION_HEADER& names = elf(back.get())->section_table()->elf_section_at(7)->header();
    EXPECT_EQ(h.e_shoff, (names.sh_offset + names.sh_size + 3) / 4 * 4);
    EXPECT_EQ(std::tuple(h.e_shnum, h.e_shstrndx, h.e_phoff), std::tuple(8u, 7u, 0u));
    EXPECT_EQ(unit::temp_dir::read(dir.file("s.o")).size(), h.e_shoff + 8u * 40);
}

// The producer goes to a build-attribute section made for it, and an alias section keeps its pairs.
TEST(ElfWrite, ProducerAndAliasesOfAFileBuiltFromNothingReadBack) {
    unit::temp_dir dir;
    auto object = small_object(OF_TARGET_KITE, OF_ENDIAN_LITTLE, 1);
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

TEST(ElfWrite, LockingChecksTheNullSectionAndTheNullSymbol) {
    {
        auto object = small_object(OF_TARGET_KITE, OF_ENDIAN_LITTLE, 1);
        esym(object.get(), 0)->set_name("not_null");
        EXPECT_EQ(object->progress_to_state(OF_STATE_LOCKED), -1);
        EXPECT_EQ(object->state(), OF_STATE_OPEN);
        const auto got = taken();
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.front(), "7: symbol 0 is not a NULL symbol");
    }
    {
        auto object = small_object(OF_TARGET_KITE, OF_ENDIAN_LITTLE, 1);
        static_cast<ELF_SECTION*>(object->section_table()->section_at(0))->header().sh_type = ELF::SHT_PROGBITS;
        EXPECT_EQ(object->progress_to_state(OF_STATE_LOCKED), -1);
        EXPECT_EQ(object->state(), OF_STATE_OPEN);
        const auto got = taken();
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.front(), "7: section 0 is not a NULL section");
    }
}

TEST(ElfWrite, ALockedFileRefusesNewSectionsAndSymbolsUntilReverted) {
    unit::temp_dir dir;
    auto object = small_object(OF_TARGET_KITE, OF_ENDIAN_LITTLE, 1);
    ASSERT_EQ(object->progress_to_state(OF_STATE_LOCKED), 0);
    EXPECT_EQ(object->section_table()->add_section(".more"), nullptr);
    EXPECT_EQ(object->symbol_table()->add_symbol(), nullptr);
    EXPECT_EQ(taken().size(), 2u);
    ASSERT_EQ(object->revert_to_state(OF_STATE_OPEN), 0);
    OF_SECTION* more = object->section_table()->add_section(".more");
    ASSERT_NE(more, nullptr);
    more->data().write_u8(9);
    OF_SYMBOL* late = object->symbol_table()->add_symbol();
    ASSERT_NE(late, nullptr);
    late->set_name("late_local");
    late->set_binding(OF_BIND_LOCAL);
    ASSERT_EQ(save_to(object.get(), dir.file("s.o")), 0);
    EXPECT_EQ(taken(), std::vector<std::string>{});
    reread back(dir.file("s.o"));
    EXPECT_EQ(symbol_names(back.get()),
              (std::vector<std::string>{"", "counter", "late_local", "start", "buffer", "external"}));
    EXPECT_NE(back->section_table()->find_by_name(".more"), nullptr);
}

}  // namespace

namespace {

using unit::shell;
bool have_tool(const char* name) { return shell(std::string("command -v ") + name).status == 0; }

// readelf's complaints about a file: its lines that warn or report an error.
std::vector<std::string> readelf_complaints(const std::string& path) {
    const auto r = shell("readelf -a -W '" + path + "'");
    std::vector<std::string> complaints;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        if (line.find("Warning") != std::string::npos || line.find("Error") != std::string::npos ||
            line.find("warning") != std::string::npos)
            complaints.push_back(line);
    if (r.status != 0) complaints.push_back("status " + std::to_string(r.status));
    return complaints;
}

TEST(ElfWrite, ReadelfReadsBuiltFilesWithoutAWarning) {
    if (!have_tool("readelf")) GTEST_SKIP() << "readelf is not installed";
    unit::temp_dir dir;
    const std::pair<OF_TARGET, OF_ENDIAN> kinds[] = {{OF_TARGET_KITE, OF_ENDIAN_LITTLE},
                                                     {OF_TARGET_KITE, OF_ENDIAN_BIG},
                                                     {OF_TARGET_ARM, OF_ENDIAN_BIG},
                                                     {OF_TARGET_ELF_MACHINE_BASE + 3, OF_ENDIAN_LITTLE}};
    int n = 0;
    for (const auto& [target, endian] : kinds) {
        const std::string path = dir.file(std::string("r").append(std::to_string(n++)).append(".o"));
        auto object = small_object(target, endian, 1);
        ASSERT_EQ(save_to(object.get(), path), 0);
        EXPECT_EQ(readelf_complaints(path), std::vector<std::string>{}) << path;
    }
}

// An i386 program: _start loads `value` (through an absolute relocation) and exits with it.
std::unique_ptr<OBJECT_FILE> i386_program() {
    auto object = created(OF_FORMAT_ELF, 4, OF_TARGET_ELF_MACHINE_BASE + 3, OF_ENDIAN_LITTLE);
    OF_SECTION_TABLE* sections = object->section_table();
    OF_SECTION* text = sections->add_section(".text");
    text->set_alignment(16);
    // mov ebx, [value]; mov eax, 1; int 0x80
    for (uint8_t b : {0x8b, 0x1d, 0, 0, 0, 0, 0xb8, 1, 0, 0, 0, 0xcd, 0x80}) text->data().write_u8(b);
    OF_SECTION* data = sections->add_section(".data");
    data->set_alignment(4);
    data->data().write_u32(42);
    OF_SYMBOL_TABLE* symbols = object->symbol_table();
    auto* file = static_cast<ELF_SYMBOL*>(symbols->add_symbol());
    file->set_name("program.s");
    file->set_binding(OF_BIND_LOCAL);
    file->set_type(OF_TYPE_FILE);
    file->set_kind(OF_SYM_ABSOLUTE);
    auto* start = static_cast<ELF_SYMBOL*>(symbols->add_symbol());
    start->set_name("_start");
    start->set_binding(OF_BIND_GLOBAL);
    start->set_type(OF_TYPE_FUNCTION);
    start->set_section(text);
    start->set_size(13);
    auto* value = static_cast<ELF_SYMBOL*>(symbols->add_symbol());
    value->set_name("value");
    value->set_binding(OF_BIND_GLOBAL);
    value->set_type(OF_TYPE_OBJECT);
    value->set_section(data);
    value->set_size(4);
    text->reloc_table_for_change()->add_reloc(2, 1 /* R_386_32 */, value->index());
    return object;
}

TEST(ElfWrite, AnI386RelocatableBuiltByTheLibraryLinks) {
    if (!have_tool("ld") || !have_tool("readelf")) GTEST_SKIP() << "ld or readelf is not installed";
    unit::temp_dir dir;
    auto object = i386_program();
    ASSERT_EQ(save_to(object.get(), dir.file("program.o")), 0);
    EXPECT_EQ(readelf_complaints(dir.file("program.o")), std::vector<std::string>{});
    const auto link = shell("ld -m elf_i386 -o '" + dir.file("program") + "' '" + dir.file("program.o") + "'");
    if (link.status != 0 && link.out.find("unrecognised emulation") != std::string::npos)
        GTEST_SKIP() << "ld cannot link i386 programs here";
    ASSERT_EQ(link.status, 0) << link.out;
    EXPECT_EQ(link.out, "");
    EXPECT_EQ(readelf_complaints(dir.file("program")), std::vector<std::string>{});

    // The library reads the executable: its symbols, and the relocated load of `value`.
    reread exe(dir.file("program"), "program");
    ASSERT_NE(exe.get(), nullptr);
    EXPECT_EQ(taken(), std::vector<std::string>{});
    EXPECT_EQ(exe->file_type(), OF_FILE_EXECUTABLE);
    OF_SYMBOL* start = exe->symbol_table()->find_by_name("_start");
    OF_SYMBOL* value = exe->symbol_table()->find_by_name("value");
    ASSERT_NE(start, nullptr);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(exe->entry_point(), start->value());
    OF_SECTION* text = exe->section_table()->find_by_name(".text");
    ASSERT_NE(text, nullptr);
    DATA_MAP& code = text->data();
    code.set_cursor(2);
    EXPECT_EQ(code.read_u32(), value->value());

    // Where the host runs i386 programs, this one exits with the value (elsewhere the shell cannot run it: 126).
    const auto run = shell("'" + dir.file("program") + "'");
    if (run.status != 126) {
        EXPECT_EQ(run.status, 42) << run.out;
    }
}

}  // namespace

namespace {

TEST(ElfWrite, DeletedSectionsAreRemovedWhenLockingAndLinksFollow) {
    unit::temp_dir dir;
    auto object = small_object(OF_TARGET_KITE, OF_ENDIAN_LITTLE, 1);
    ASSERT_TRUE(object->section_table()->delete_section(2));  // .data: "counter" loses its section
    ASSERT_EQ(save_to(object.get(), dir.file("d.o")), 0);
    EXPECT_EQ(taken(), std::vector<std::string>{});
    reread back(dir.file("d.o"));
    ELF_SECTION_TABLE* sections = as_elf_file(back.get())->section_table();
    std::vector<std::string> names;
    for (uint32_t i = 0; i < sections->count(); ++i) names.push_back(sections->section_at(i)->name());
    EXPECT_EQ(names, (std::vector<std::string>{"", ".text", ".bss", ".symtab", ".rel.text", ".strtab", ".shstrtab"}));
    EXPECT_EQ(sections->elf_section_at(4)->header().sh_link, 3u);
    EXPECT_EQ(sections->elf_section_at(4)->header().sh_info, 1u);
    EXPECT_EQ(sections->elf_section_at(3)->header().sh_link, 5u);
    EXPECT_EQ(esym(back.get(), 3)->section(), sections->section_at(2));  // "buffer" in .bss
    if (have_tool("readelf")) {
        EXPECT_EQ(readelf_complaints(dir.file("d.o")), std::vector<std::string>{});
    }
}

}  // namespace

namespace {

TEST(ElfWrite, ASavedFileCannotProgressBackwardsButRevertsAndSavesAgain) {
    unit::temp_dir dir;
    auto object = small_object(OF_TARGET_KITE, OF_ENDIAN_LITTLE, 1);
    ASSERT_EQ(save_to(object.get(), dir.file("first.o")), 0);
    EXPECT_EQ(object->progress_to_state(OF_STATE_LOCKED), -1);
    EXPECT_EQ(taken(), std::vector<std::string>{
                                  "5: this OBJECT_FILE object is currently in the saved state, and cannot revert to "
                                  "the locked state to perform the requested operation "});
    // Back to "open", changed and saved again: the change is there, the rest as before.
    ASSERT_EQ(object->revert_to_state(OF_STATE_OPEN), 0);
    object->symbol_table()->symbol_at(2)->set_value(6);  // "start"
    ASSERT_EQ(save_to(object.get(), dir.file("second.o")), 0);
    EXPECT_EQ(taken(), std::vector<std::string>{});
    reread back(dir.file("second.o"));
    EXPECT_EQ(symbol_names(back.get()), (std::vector<std::string>{"", "counter", "start", "buffer", "external"}));
    EXPECT_EQ(back->symbol_table()->symbol_at(2)->value(), 6u);
    EXPECT_EQ(unit::temp_dir::read(dir.file("first.o")).size(), unit::temp_dir::read(dir.file("second.o")).size());
}

}  // namespace
