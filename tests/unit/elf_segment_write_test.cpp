// Writing the ELF program header table: executables built from nothing (laid out, read back, listed, run), the
// contents a table records or recomputes, deleting segments, and every message of the table's writing side.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_segment.h"
#include "ofe/elf/elf_symbol.h"
#include "write_support.h"

using namespace OFE;
using namespace write_test;

namespace {

constexpr OF_TARGET i386 = OF_TARGET_ELF_MACHINE_BASE + 3;
using ITEMS = std::vector<ELF_SEGMENT_ITEM>;

using unit::shell;

ELF_PROGRAM_HEADER segment_header(uint32_t type, uint32_t flags, uint32_t vaddr = 0, uint32_t align = 0) {
    ELF_PROGRAM_HEADER h;
    h.p_type = type;
    h.p_flags = flags;
    h.p_vaddr = vaddr;
    h.p_align = align;
    return h;
}

OF_SECTION* add_section(OBJECT_FILE* object, const char* name, uint32_t address) {
    OF_SECTION* s = object->section_table()->add_section(name);
    s->set_run_address(address);
    s->set_alignment(4);
    return s;
}

// An executable: PT_PHDR; a text PT_LOAD at 0x08048000 holding the headers and .text (at 0x080480a0: exit(0) in
// i386 code, mov eax, 1; mov ebx, 0; int 0x80); a data PT_LOAD whose address the layout takes from .data
// (0x0804a010, .bss after it); _start at the entry.
std::unique_ptr<OBJECT_FILE> executable(OF_TARGET target, OF_ENDIAN endian) {
    auto object = created(OF_FORMAT_ELF, 4, target, endian);
    ELF_FILE* f = as_elf_file(object.get());
    f->set_endian(endian);
    f->set_file_type(OF_FILE_EXECUTABLE);
    f->set_entry_point(0x080480a0);
    OF_SECTION* text = add_section(f, ".text", 0x080480a0);
    for (uint8_t b : {0xb8, 1, 0, 0, 0, 0xbb, 0, 0, 0, 0, 0xcd, 0x80}) text->data().write_u8(b);
    OF_SECTION* data = add_section(f, ".data", 0x0804a010);
    data->data().write_u32(7);
    OF_SECTION* bss = add_section(f, ".bss", 0x0804a014);
    bss->set_size(0x100);
    auto* start = static_cast<ELF_SYMBOL*>(f->symbol_table()->add_symbol());
    start->set_name("_start");
    start->set_binding(OF_BIND_GLOBAL);
    start->set_type(OF_TYPE_FUNCTION);
    start->set_section(text);
    start->set_value(0x080480a0);

    ELF_SEGMENT_TABLE* segments = f->segment_table();
    ELF_SEGMENT* phdr = segments->add_segment(segment_header(ELF::PT_PHDR, ELF::PF_R));
    ELF_SEGMENT* code = segments->add_segment(segment_header(ELF::PT_LOAD, ELF::PF_R | ELF::PF_X, 0x08048000, 0x1000));
    EXPECT_TRUE(code->add_file_header() && code->add_segment(phdr) && code->add_section(text));
    ELF_SEGMENT* rw = segments->add_segment(segment_header(ELF::PT_LOAD, ELF::PF_R | ELF::PF_W, 0, 0x1000));
    EXPECT_TRUE(rw->add_section(bss) && rw->add_section(data));  // the layout orders them by address
    return object;
}

// The program headers, one line each.
std::string program_headers(OBJECT_FILE* object) {
    ELF_SEGMENT_TABLE* segments = as_elf_file(object)->segment_table();
    std::string text;
    for (uint32_t i = 0; i < segments->count(); ++i) {
        const ELF_PROGRAM_HEADER& h = segments->raw_header(i);
        char line[128];
        std::snprintf(line, sizeof line, "%u off=%x va=%x pa=%x file=%x mem=%x flags=%x align=%x\n", h.p_type,
                      h.p_offset, h.p_vaddr, h.p_paddr, h.p_filesz, h.p_memsz, h.p_flags, h.p_align);
        text += line;
    }
    return text;
}

// For each family and byte order: the table after the file header, the text segment from offset 0, the data
// segment at the first offset congruent to its address, .bss in memory only. The file reads back with the same
// dump, readelf takes it without a warning and the i386 one runs; read back, it finds the same contents from
// the addresses (shown in the detailed dump) and, laid out afresh from them, saves the same bytes.
TEST(ElfSegmentWrite, ExecutablesBuiltFromNothingAreLaidOutAndReadBackTheSame) {
    const std::string expected = "6 off=34 va=8048034 pa=8048034 file=60 mem=60 flags=4 align=4\n"
                                 "1 off=0 va=8048000 pa=8048000 file=ac mem=ac flags=5 align=1000\n"
                                 "1 off=1010 va=804a010 pa=804a010 file=4 mem=104 flags=6 align=1000\n";
    for (const auto& [target, endian] : {std::pair{i386, OF_ENDIAN_LITTLE}, std::pair{OF_TARGET_ARM, OF_ENDIAN_BIG}}) {
        SCOPED_TRACE("target " + std::to_string(target));
        auto object = executable(target, endian);
        const reread back(object.get());
        EXPECT_EQ(program_headers(object.get()), expected);
        EXPECT_EQ(as_elf_file(object.get())->section_table()->elf_section_at(3)->header().sh_offset, 0x1014u);
        EXPECT_EQ(back->entry_point(), 0x080480a0u);
        EXPECT_EQ(contents_dump(back.get()), contents_dump(object.get()));  // the program headers too
        ELF_SEGMENT_TABLE* segments = as_elf_file(back.get())->segment_table();
        EXPECT_FALSE(segments->lays_out_afresh());
        EXPECT_EQ(segments->find_load_by_section(1), nullptr);
        ASSERT_EQ(segments->recompute_contents(), 0);
        EXPECT_EQ(segments->find_load_by_section(3), segments->segment_at(2));
        EXPECT_TRUE(segments->lays_out_afresh());
        back->set_detailed_dump(true);
        const std::string dump = unit::dump_of(segments);
        EXPECT_NE(dump.find("        Flags:        r-x                 Alignment:    4096\n"
                            "        Contains:     Elf File Header\n"
                            "        Contains:     Segment 0 (PT_PHDR)\n"
                            "        Contains:     Section 1 (.text)\n\n"),
                  std::string::npos)
            << dump;
        EXPECT_NE(dump.find("Section 2 (.data)\n        Contains:     Section 3 (.bss)\n\n"), std::string::npos);
        EXPECT_EQ(reread(back.get()).hex(), back.hex());
        EXPECT_EQ(readelf_complaints(back.path()), REPORTS{});
        if (target == i386) {  // status 126: the kernel did not execute it (a kernel without 32-bit support)
            const auto [out, status] = shell("chmod +x '" + back.path() + "' && '" + back.path() + "'");
            EXPECT_TRUE(status == 0 || status == 126) << status << out;
        }
    }
}

// A linker's shared object laid out afresh: its contents found from the addresses when asked, or when the
// file is locked after its PT_GNU_STACK moved to the end (deleted and added again): the same program headers.
TEST(ElfSegmentWrite, ALinkedSharedObjectLaidOutAfreshKeepsItsProgramHeaders) {
    const std::string so = std::string(NMKITE_SOURCE_DIR) + "/examples/libutil-i386.so";
    const REPORTS no_hash = {"3: a \"DT_HASH\" tag does not exist in the \".dynamic\" section; this tag is mandatory "
                             "for shared object files"};  // the linker wrote only a GNU hash table
    for (const bool move_stack : {false, true}) {
        const reread linked(so, "libutil-i386.so");
        std::string expected = program_headers(linked.get());
        ELF_SEGMENT_TABLE* segments = as_elf_file(linked.get())->segment_table();
        if (move_stack) {
            const ELF_PROGRAM_HEADER stack = segments->raw_header(7);
            const size_t line = expected.find("1685382481 ");  // PT_GNU_STACK, before PT_GNU_RELRO
            const size_t next = expected.find('\n', line) + 1;
            expected = expected.substr(0, line) + expected.substr(next) + expected.substr(line, next - line);
            EXPECT_TRUE(segments->delete_segment(7));
            EXPECT_NE(segments->add_segment(stack), nullptr);
        } else {
            ASSERT_EQ(segments->recompute_contents(), 0);
        }
        EXPECT_EQ(program_headers(reread(linked.get(), no_hash).get()), expected);
    }
}

// Deleted segments leave the table when the file is locked, and what segments hold follows both the segments
// and the sections to their new indexes.
TEST(ElfSegmentWrite, DeletedSegmentsAndSectionsLeaveTheTable) {
    auto object = executable(i386, OF_ENDIAN_LITTLE);
    ELF_SEGMENT_TABLE* segments = as_elf_file(object.get())->segment_table();
    object->section_table()->section_at(1)->set_run_address(0x080480c0);  // room for a fourth program header
    (void)segments->add_segment(segment_header(ELF::PT_LOAD, ELF::PF_R));  // 3, holds nothing
    ELF_SEGMENT* gone = segments->add_segment(segment_header(ELF::PT_NOTE, ELF::PF_R));
    ELF_SEGMENT* note =
        segments->add_segment(segment_header(ELF::PT_NOTE, ELF::PF_R, 0x0804a014), segments->segment_at(2));
    EXPECT_EQ(segments->remove_empty_loads(), 1u);
    EXPECT_TRUE(segments->delete_segment(gone->index()));
    EXPECT_FALSE(segments->delete_segment(gone->index()));
    EXPECT_TRUE(segments->modified());
    EXPECT_EQ(segments->find_by_type(ELF::PT_NOTE), note);
    ASSERT_TRUE(object->section_table()->delete_section(2));  // .data: .bss becomes section 2
    (void)reread(object.get());
    EXPECT_EQ(as_elf_file(object.get())->header().e_phnum, 4u);
    EXPECT_EQ(segments->segment_at(2)->contents(), (ITEMS{{ELF_ITEM_SECTION, 2}, {ELF_ITEM_SEGMENT, 3}}));
    EXPECT_EQ(segments->raw_header(3).p_type, ELF::PT_NOTE);
    EXPECT_EQ(segments->raw_header(2).p_filesz, 0u);
    EXPECT_EQ(segments->raw_header(2).p_memsz, 0x100u);
}

// After the table's size was frozen (by the layout) adding a segment is reported and done; a segment inside
// anything but a PT_LOAD segment is refused.
TEST(ElfSegmentWrite, AddingSegmentsReportsWhatTheTableRefuses) {
    auto object = executable(i386, OF_ENDIAN_LITTLE);
    ELF_SEGMENT_TABLE* segments = as_elf_file(object.get())->segment_table();
    EXPECT_FALSE(segments->frozen());
    ASSERT_EQ(object->progress_to_state(OF_STATE_FORMATTED), 0);
    EXPECT_TRUE(segments->frozen());
    ASSERT_EQ(object->revert_to_state(OF_STATE_OPEN), 0);
    ELF_SEGMENT* note = segments->add_segment(segment_header(ELF::PT_NOTE, ELF::PF_R));
    EXPECT_NE(note, nullptr);
    EXPECT_EQ(segments->add_segment(segment_header(ELF::PT_TLS, ELF::PF_R), note), nullptr);
    EXPECT_FALSE(note->add_segment(segments->segment_at(0)));
    EXPECT_EQ(segments->count(), 4u);
    const std::string frozen = "4: size of program header table has been frozen; cannot add new segments after the "
                               "PT_PHDR segment has been allocated";
    const std::string inside = "5: illegal attempt to add a segment to a non-PT_LOAD segment";
    EXPECT_EQ(taken(), (REPORTS{frozen, inside, inside}));
}

// A file that cannot be locked or laid out: the first report says why, and the file stays "open".
TEST(ElfSegmentWrite, FilesThatCannotBeLaidOutAreReported) {
    const std::pair<std::function<void(ELF_FILE*, ELF_SEGMENT_TABLE*)>, std::string> cases[] = {
        {[](ELF_FILE* f, ELF_SEGMENT_TABLE*) { f->symbol_table()->symbol_at(0)->set_name("not_null"); },
         "7: symbol 0 is not a NULL symbol"},
        {[](ELF_FILE* f, ELF_SEGMENT_TABLE*) { f->section_table()->elf_section_at(0)->header().sh_type = 1; },
         "7: section 0 is not a NULL section"},
        {[](ELF_FILE*, ELF_SEGMENT_TABLE* t) { (void)t->add_segment(segment_header(ELF::PT_PHDR, ELF::PF_R)); },
         "5: a PT_PHDR segment exists, but it is not contained by a PT_LOAD segment; PT_PHDR segments are required "
         "to be allocated to memory"},
        {[](ELF_FILE* f, ELF_SEGMENT_TABLE*) { f->section_table()->section_at(1)->set_run_address(0x08047000); },
         "5: program segment contains a section whose vaddr (0x08047000) is less than the program segments "
         "(0x08048000)"},
        {[](ELF_FILE*, ELF_SEGMENT_TABLE* t) {
             (void)t->add_segment(segment_header(ELF::PT_NOTE, ELF::PF_R, 0x08040000), t->segment_at(1));
         },
         "5: program segment contains a segment whose vaddr (0x08040000) is less than the program segments "
         "(0x08048000)"},
        {[](ELF_FILE* f, ELF_SEGMENT_TABLE*) { f->section_table()->section_at(1)->set_run_address(0x08048040); },
         "5: made.o: section \".text\" at 0x08048040 overlaps what the PT_LOAD segment 1 holds before it"},
        {[](ELF_FILE*, ELF_SEGMENT_TABLE* t) { t->segment_at(1)->header_for_change().p_vaddr = 0x08048010; },
         "5: made.o: the PT_LOAD segment 1 holds the file header at offset 0, so its address (0x08048010) must be a "
         "multiple of its alignment (4096)"},
        {[](ELF_FILE*, ELF_SEGMENT_TABLE* t) { t->segment_at(2)->header_for_change().p_type = ELF::PT_NOTE; },
         "5: made.o: section \".data\" of the PT_NOTE segment 2 lies in no PT_LOAD segment"},
    };
    for (const auto& [change, report] : cases) {
        SCOPED_TRACE(report);
        auto object = executable(i386, OF_ENDIAN_LITTLE);
        change(as_elf_file(object.get()), as_elf_file(object.get())->segment_table());
        EXPECT_EQ(object->progress_to_state(OF_STATE_FORMATTED), -1);
        EXPECT_EQ(object->state(), OF_STATE_OPEN);
        const REPORTS got = taken();
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.front(), report);
    }
}

// A layout started while one is under way (here by the error handler of a report it makes) is refused.
TEST(ElfSegmentWrite, ALayoutInsideALayoutIsRefused) {
    auto object = executable(i386, OF_ENDIAN_LITTLE);
    object->section_table()->section_at(1)->set_run_address(0x08047000);
    static ELF_SEGMENT_TABLE* table;
    static int nested;
    table = as_elf_file(object.get())->segment_table();
    nested = 0;
    object->set_error_handler([](OBJECT_FILE* o, OF_ERROR code, const char* message) {
        record(o, code, message);
        if (nested++ == 0) {
            EXPECT_EQ(table->layout(), -1);
        }
    });
    EXPECT_EQ(table->layout(), -1);
    const REPORTS got = taken();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1], "7: recursive call detected to a method that does not support recursive calls");
}

}  // namespace
