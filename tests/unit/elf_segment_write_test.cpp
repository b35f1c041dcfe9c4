// Writing the ELF program header table: executables built from nothing (laid out, read back, run, listed), the
// contents a table records or recomputes, deleting segments, and every message of the table's writing side.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_section.h"
#include "ofe/elf/elf_segment.h"
#include "ofe/elf/elf_symbol.h"
#include "write_support.h"

using namespace OFE;
using namespace write_test;

namespace {

constexpr OF_TARGET i386 = OF_TARGET_ELF_MACHINE_BASE + 3;
using ITEMS = std::vector<ELF_SEGMENT_ITEM>;

// The output and exit status of a shell command (standard error joined); status -1 when it did not exit.
struct SHELL {
    std::string out;
    int status = -1;
};
SHELL shell(const std::string& command) {
    SHELL r;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) r.out.append(buffer, n);
    const int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

ELF_PROGRAM_HEADER segment_header(uint32_t type, uint32_t flags, uint32_t vaddr = 0, uint32_t align = 0) {
    ELF_PROGRAM_HEADER h;
    h.p_type = type;
    h.p_flags = flags;
    h.p_vaddr = vaddr;
    h.p_align = align;
    return h;
}

OF_SECTION* add_section(OBJECT_FILE* object, const char* name, uint32_t address, uint32_t alignment) {
    OF_SECTION* s = object->section_table()->add_section(name);
    s->set_run_address(address);
    s->set_alignment(alignment);
    return s;
}

// exit(0): mov eax, 1; mov ebx, 0; int 0x80. On other machines only bytes.
constexpr uint8_t exit_code[] = {0xb8, 1, 0, 0, 0, 0xbb, 0, 0, 0, 0, 0xcd, 0x80};

// An executable: a PT_PHDR, a text PT_LOAD at 0x08048000 holding the headers and .text (at 0x080480a0),
// a data PT_LOAD whose address the layout takes from .data (0x0804a010, .bss after it), and _start.
std::unique_ptr<OBJECT_FILE> executable(OF_TARGET target, OF_ENDIAN endian) {
    auto object = created(OF_FORMAT_ELF, 4, target, endian);
    ELF_FILE* f = as_elf_file(object.get());
    f->set_endian(endian);
    f->set_file_type(OF_FILE_EXECUTABLE);
    OF_SECTION* text = add_section(f, ".text", 0x080480a0, 16);
    for (uint8_t b : exit_code) text->data().write_u8(b);
    OF_SECTION* data = add_section(f, ".data", 0x0804a010, 4);
    data->data().write_u32(7);
    OF_SECTION* bss = add_section(f, ".bss", 0x0804a014, 4);
    bss->set_size(0x100);
    auto* start = static_cast<ELF_SYMBOL*>(f->symbol_table()->add_symbol());
    start->set_name("_start");
    start->set_binding(OF_BIND_GLOBAL);
    start->set_type(OF_TYPE_FUNCTION);
    start->set_section(text);
    start->set_value(0x080480a0);
    f->set_entry_point(0x080480a0);

    ELF_SEGMENT_TABLE* segments = f->segment_table();
    ELF_SEGMENT* phdr = segments->add_segment(segment_header(ELF::PT_PHDR, ELF::PF_R));
    ELF_SEGMENT* code = segments->add_segment(segment_header(ELF::PT_LOAD, ELF::PF_R | ELF::PF_X, 0x08048000, 0x1000));
    EXPECT_TRUE(code->add_file_header());
    EXPECT_TRUE(code->add_segment(phdr));
    EXPECT_TRUE(code->add_section(text));
    ELF_SEGMENT* rw = segments->add_segment(segment_header(ELF::PT_LOAD, ELF::PF_R | ELF::PF_W, 0, 0x1000));
    EXPECT_TRUE(rw->add_section(bss));  // the layout orders what a segment holds by address
    EXPECT_TRUE(rw->add_section(data));
    return object;
}

std::vector<ELF_PROGRAM_HEADER> program_headers(OBJECT_FILE* object) {
    ELF_SEGMENT_TABLE* segments = as_elf_file(object)->segment_table();
    std::vector<ELF_PROGRAM_HEADER> headers;
    for (uint32_t i = 0; i < segments->count(); ++i) headers.push_back(segments->raw_header(i));
    return headers;
}

std::string text_of_headers(const std::vector<ELF_PROGRAM_HEADER>& headers) {
    std::string text;
    for (const ELF_PROGRAM_HEADER& h : headers) {
        char line[128];
        std::snprintf(line, sizeof line, "%u off=%x va=%x pa=%x file=%x mem=%x flags=%x align=%x\n", h.p_type,
                      h.p_offset, h.p_vaddr, h.p_paddr, h.p_filesz, h.p_memsz, h.p_flags, h.p_align);
        text += line;
    }
    return text;
}

// The layout, for each family and byte order: the table after the file header, the text segment from offset 0,
// the data segment at the first offset congruent to its address, .bss only in memory; the file reads back with
// the same dump, readelf takes it without a warning, and a second save is the same byte for byte.
TEST(ElfSegmentWrite, ExecutablesBuiltFromNothingAreLaidOutAndReadBackTheSame) {
    const std::string expected =
        "6 off=34 va=8048034 pa=8048034 file=60 mem=60 flags=4 align=4\n"
        "1 off=0 va=8048000 pa=8048000 file=ac mem=ac flags=5 align=1000\n"
        "1 off=1010 va=804a010 pa=804a010 file=4 mem=104 flags=6 align=1000\n";
    const bool readelf = shell("command -v readelf").status == 0;
    for (const auto& [target, endian] : {std::pair{i386, OF_ENDIAN_LITTLE}, std::pair{OF_TARGET_ARM, OF_ENDIAN_BIG}}) {
        SCOPED_TRACE("target " + std::to_string(target));
        unit::temp_dir dir;
        auto object = executable(target, endian);
        ASSERT_EQ(save_to(object.get(), dir.file("exe")), 0);
        EXPECT_EQ(take_reports(), std::vector<std::string>{});
        EXPECT_EQ(text_of_headers(program_headers(object.get())), expected);
        ELF_SECTION_TABLE* sections = as_elf_file(object.get())->section_table();
        EXPECT_EQ(sections->elf_section_at(1)->header().sh_offset, 0xa0u);
        EXPECT_EQ(sections->elf_section_at(2)->header().sh_offset, 0x1010u);
        EXPECT_EQ(sections->elf_section_at(3)->header().sh_offset, 0x1014u);
        EXPECT_EQ(as_elf_file(object.get())->header().e_phoff, 52u);

        reread back(dir.file("exe"));
        ASSERT_NE(back.get(), nullptr);
        EXPECT_EQ(take_reports(), std::vector<std::string>{});
        EXPECT_EQ(back->entry_point(), 0x080480a0u);
        EXPECT_EQ(text_of_headers(program_headers(back.get())), expected);
        EXPECT_EQ(contents_dump(back.get()), contents_dump(object.get()));
        ASSERT_EQ(save_to(back.get(), dir.file("again")), 0);
        EXPECT_EQ(unit::temp_dir::read(dir.file("again")), unit::temp_dir::read(dir.file("exe")));
        const SHELL list = shell(std::string("'") + NMKITE_BINARY + "' '" + dir.file("exe") + "'");
        EXPECT_EQ(list.out, "00000000 u \n080480a0 T _start\n");  // the null symbol too, as for every ELF file
        if (readelf) {
            const SHELL r = shell("readelf -a -W '" + dir.file("exe") + "'");
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.out.find("arning"), std::string::npos) << r.out;
            EXPECT_EQ(r.out.find("rror"), std::string::npos) << r.out;
        }
    }
}

TEST(ElfSegmentWrite, TheI386ExecutableRuns) {
    unit::temp_dir dir;
    ASSERT_EQ(save_to(executable(i386, OF_ENDIAN_LITTLE).get(), dir.file("exe")), 0);
    const SHELL run = shell("chmod +x '" + dir.file("exe") + "' && '" + dir.file("exe") + "'");
    // 126: the kernel would not execute it (no 32-bit support: ENOEXEC).
    if (run.status == 126) GTEST_SKIP() << "this host does not run i386 programs: " << run.out;
    EXPECT_EQ(run.status, 0) << run.out;
}

// What the layout records shows in the detailed dump; a file read back finds the same contents from the addresses
// and, laid out afresh from them, saves the same bytes.
TEST(ElfSegmentWrite, ContentsAreDumpedAndRecomputedFromAddresses) {
    unit::temp_dir dir;
    auto object = executable(i386, OF_ENDIAN_LITTLE);
    ASSERT_EQ(save_to(object.get(), dir.file("exe")), 0);
    object->set_detailed_dump(true);
    const std::string dump = unit::dump_of(as_elf_file(object.get())->segment_table());
    EXPECT_NE(dump.find("        Flags:        r-x                 Alignment:    4096\n"
                        "        Contains:     Elf File Header\n"
                        "        Contains:     Segment 0 (PT_PHDR)\n"
                        "        Contains:     Section 1 (.text)\n\n"),
              std::string::npos)
        << dump;
    EXPECT_NE(dump.find("Contains:     Section 3 (.bss)\n        Contains:     Section 2 (.data)\n\n"), std::string::npos);

    reread back(dir.file("exe"));
    ELF_SEGMENT_TABLE* segments = as_elf_file(back.get())->segment_table();
    EXPECT_FALSE(segments->lays_out_afresh());
    EXPECT_EQ(segments->find_load_by_section(1), nullptr);
    ASSERT_EQ(segments->recompute_contents(), 0);
    EXPECT_EQ(segments->segment_at(0)->contents(), ITEMS{});
    EXPECT_EQ(segments->segment_at(1)->contents(),
              (ITEMS{{ELF_ITEM_FILE_HEADER, 0}, {ELF_ITEM_SEGMENT, 0}, {ELF_ITEM_SECTION, 1}}));
    EXPECT_EQ(segments->segment_at(2)->contents(), (ITEMS{{ELF_ITEM_SECTION, 2}, {ELF_ITEM_SECTION, 3}}));
    EXPECT_EQ(segments->find_load_by_section(3), segments->segment_at(2));
    EXPECT_TRUE(segments->lays_out_afresh());
    ASSERT_EQ(save_to(back.get(), dir.file("again")), 0);
    EXPECT_EQ(take_reports(), std::vector<std::string>{});
    EXPECT_EQ(unit::temp_dir::read(dir.file("again")), unit::temp_dir::read(dir.file("exe")));
}

// A linker's shared object, its contents found from the addresses and laid out afresh: the same program headers.
TEST(ElfSegmentWrite, ALinkedSharedObjectLaidOutAfreshKeepsItsProgramHeaders) {
    unit::temp_dir dir;
    reread linked(std::string(NMKITE_SOURCE_DIR) + "/examples/libutil-i386.so", "libutil-i386.so");
    ASSERT_NE(linked.get(), nullptr);
    const std::vector<ELF_PROGRAM_HEADER> before = program_headers(linked.get());
    ASSERT_EQ(as_elf_file(linked.get())->segment_table()->recompute_contents(), 0);
    ASSERT_EQ(save_to(linked.get(), dir.file("lib.so")), 0);
    reread back(dir.file("lib.so"));
    EXPECT_EQ(text_of_headers(program_headers(back.get())), text_of_headers(before));
}

// Deleted segments leave the table when the file is locked, and what segments hold follows the sections when a
// section goes; both need the table "open".
TEST(ElfSegmentWrite, DeletedSegmentsAndSectionsLeaveTheTable) {
    unit::temp_dir dir;
    auto object = executable(i386, OF_ENDIAN_LITTLE);
    ELF_SEGMENT_TABLE* segments = as_elf_file(object.get())->segment_table();
    object->section_table()->section_at(1)->set_run_address(0x080480c0);  // room for a fourth program header
    (void)segments->add_segment(segment_header(ELF::PT_LOAD, ELF::PF_R));  // 3, holds nothing
    ELF_SEGMENT* gone = segments->add_segment(segment_header(ELF::PT_NOTE, ELF::PF_R));
    ELF_SEGMENT* note = segments->add_segment(segment_header(ELF::PT_NOTE, ELF::PF_R, 0x0804a014), segments->segment_at(2));
    EXPECT_EQ(segments->remove_empty_loads(), 1u);
    EXPECT_TRUE(segments->delete_segment(gone->index()));
    EXPECT_FALSE(segments->delete_segment(gone->index()));
    EXPECT_TRUE(segments->modified());
    EXPECT_EQ(segments->find_by_type(ELF::PT_NOTE), note);
    ASSERT_TRUE(object->section_table()->delete_section(2));  // .data: .bss becomes section 2
    ASSERT_EQ(save_to(object.get(), dir.file("exe")), 0);
    EXPECT_EQ(take_reports(), std::vector<std::string>{});
    EXPECT_EQ(segments->count(), 4u);
    EXPECT_EQ(segments->segment_at(2)->contents(), (ITEMS{{ELF_ITEM_SECTION, 2}, {ELF_ITEM_SEGMENT, 3}}));
    EXPECT_EQ(segments->raw_header(3).p_type, ELF::PT_NOTE);
    EXPECT_EQ(segments->raw_header(2).p_filesz, 0u);
    EXPECT_EQ(segments->raw_header(2).p_memsz, 0x100u);
    EXPECT_EQ(as_elf_file(object.get())->header().e_phnum, 4u);

    EXPECT_FALSE(segments->delete_segment(0));
    EXPECT_EQ(segments->recompute_contents(), -1);
    const std::string saved_state = "5: this OBJECT_FILE object is currently in the saved state, and must be in at "
                                    "most the open state to perform the requested operation ";
    EXPECT_EQ(take_reports(), (std::vector<std::string>{saved_state, saved_state}));
}

// Adding segments: after the table's size was frozen (by the layout) it is reported and done; a segment inside
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
    EXPECT_EQ(take_reports(), (std::vector<std::string>{frozen, inside, inside}));
}

// A layout refused: the first report says why, and the file stays "open".
TEST(ElfSegmentWrite, LayoutsThatCannotBeMadeAreReported) {
    struct CASE {
        const char* name;
        std::function<void(OBJECT_FILE*, ELF_SEGMENT_TABLE*)> change;
        std::string report;
    };
    const CASE cases[] = {
        {"PT_PHDR in no PT_LOAD",
         [](OBJECT_FILE*, ELF_SEGMENT_TABLE* t) { (void)t->add_segment(segment_header(ELF::PT_PHDR, ELF::PF_R)); },
         "5: a PT_PHDR segment exists, but it is not contained by a PT_LOAD segment; PT_PHDR segments are required "
         "to be allocated to memory"},
        {"section below its segment",
         [](OBJECT_FILE* o, ELF_SEGMENT_TABLE*) { o->section_table()->section_at(1)->set_run_address(0x08047000); },
         "5: program segment contains a section whose vaddr (0x08047000) is less than the program segments "
         "(0x08048000)"},
        {"segment below its segment",
         [](OBJECT_FILE*, ELF_SEGMENT_TABLE* t) {
             (void)t->add_segment(segment_header(ELF::PT_NOTE, ELF::PF_R, 0x08040000), t->segment_at(1));
         },
         "5: program segment contains a segment whose vaddr (0x08040000) is less than the program segments "
         "(0x08048000)"},
        {"section on the headers",
         [](OBJECT_FILE* o, ELF_SEGMENT_TABLE*) { o->section_table()->section_at(1)->set_run_address(0x08048040); },
         "5: made.o: section \".text\" at 0x08048040 overlaps what the PT_LOAD segment 1 holds before it"},
        {"headers at an unaligned address",
         [](OBJECT_FILE*, ELF_SEGMENT_TABLE* t) { t->segment_at(1)->header_for_change().p_vaddr = 0x08048010; },
         "5: made.o: the PT_LOAD segment 1 holds the file header at offset 0, so its address (0x08048010) must be a "
         "multiple of its alignment (4096)"},
        {"sections in no PT_LOAD",
         [](OBJECT_FILE*, ELF_SEGMENT_TABLE* t) { t->segment_at(2)->header_for_change().p_type = ELF::PT_NOTE; },
         "5: made.o: section \".data\" of the PT_NOTE segment 2 lies in no PT_LOAD segment"},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.name);
        auto object = executable(i386, OF_ENDIAN_LITTLE);
        c.change(object.get(), as_elf_file(object.get())->segment_table());
        EXPECT_EQ(object->progress_to_state(OF_STATE_FORMATTED), -1);
        EXPECT_EQ(object->state(), OF_STATE_OPEN);
        const auto got = take_reports();
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.front(), c.report);
    }
}

// A layout started again while one is under way (here by the error handler of a report it makes) refuses.
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
    const auto got = take_reports();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1], "7: recursive call detected to a method that does not support recursive calls");
}

}  // namespace
