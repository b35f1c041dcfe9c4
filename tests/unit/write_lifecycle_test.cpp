// The writing states of an object file: calls refused in each state, save and its output, saving over the
// input, failed steps, damaged objects, and reverting to "open" to save again.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ofe/coff/qxcoff_defs.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_segment.h"
#include "ofe/of_section.h"
#include "ofe/of_symbol.h"
#include "util/data_map.h"
#include "write_support.h"

using namespace OFE;
using namespace write_test;

namespace {

// A section of code and a symbol in it.
std::unique_ptr<OBJECT_FILE> small_object(OF_FORMAT format = OF_FORMAT_QXCOFF) {
    auto object = created(format, format == OF_FORMAT_ELF ? 4 : QXCOFF::VERSION_2, OF_TARGET_KITE);
    OF_SECTION* text = object->section_table()->add_section(".text");
    text->raw_data().write_u16(0x1234);
    OF_SYMBOL* s = object->symbol_table()->add_symbol();
    s->set_name("_start");
    s->set_section(text);
    return object;
}

// What each state refuses is not done, and reported: saving without an output while "open", new symbols once
// "locked", and once "saved" any change and a second progress. A step that fails leaves the state and says which.
TEST(WriteLifecycle, CallsRefusedInEachStateAndFailedSteps) {
    unit::temp_dir dir;
    auto object = small_object(OF_FORMAT_ELF);
    DATA_MAP bytes;
    bytes.write_u32(1);
    EXPECT_EQ(object->put_file_data(bytes, 0), -1);
    EXPECT_EQ(object->save(OF_FILE_INFO{}), -1);
    ASSERT_EQ(object->progress_to_state(OF_STATE_LOCKED), 0);
    EXPECT_EQ(object->symbol_table()->add_symbol(), nullptr);
    ASSERT_EQ(save_to(object.get(), dir.file("a.o")), 0);
    OF_SYMBOL* start = object->symbol_table()->find_by_name("_start");
    start->set_value(7);
    EXPECT_EQ(start->value(), 0u);
    EXPECT_EQ(object->section_table()->add_section(".more"), nullptr);
    EXPECT_EQ(object->progress_to_state(OF_STATE_LOCKED), -1);
    EXPECT_FALSE(as_elf_file(object.get())->segment_table()->delete_segment(0));
    EXPECT_EQ(as_elf_file(object.get())->segment_table()->recompute_contents(), -1);
    EXPECT_EQ(object->state(), OF_STATE_SAVED);
    const std::string in = "5: this OBJECT_FILE object is currently in the ", to = " to perform the requested operation ";
    const std::string saved_open = in + "saved state, and must be in at most the open state" + to;
    EXPECT_EQ(taken(), (REPORTS{"7: illegal call to OBJECT_FILE::put_file_data() when a valid output file pointer "
                                "is not present",
                                "2: made.o: no output file to save to",
                                in + "locked state, and must be in at most the open state" + to,
                                in + "saved state, and must be in at most the locked state" + to, saved_open,
                                in + "saved state, and cannot revert to the locked state" + to, saved_open,
                                saved_open}));

    auto bad = created(OF_FORMAT_QXCOFF, 9, OF_TARGET_KITE);  // no such version
    EXPECT_EQ(save_to(bad.get(), dir.file("bad.qx")), -1);
    EXPECT_EQ(taken(), (REPORTS{"3: invalid file format version \"unknown format version\"",
                                "7: an error was encountered while progressing an OBJECT_FILE object from the "
                                "open to the locked state"}));
    EXPECT_EQ(bad->state(), OF_STATE_OPEN);
    EXPECT_FALSE(bad->saved());
}

// Save writes at the start offset after zeros, and again after reverting to "open".
TEST(WriteLifecycle, SaveWritesAtTheStartOffsetAndAgainAfterReverting) {
    unit::temp_dir dir;
    const std::string plain = unit::temp_dir::read(reread(small_object().get()).path());
    auto placed = small_object();
    OF_FILE_INFO info;
    info.handle = pfopen(dir.file("placed.bin").c_str(), "wb");
    info.name = "placed";
    info.start_offset = 8;
    info.size = 100;  // zeros first, then the object over them
    info.close_on_destroy = true;
    ASSERT_EQ(placed->save(info), 0);
    const std::string bytes = unit::temp_dir::read(dir.file("placed.bin"));
    ASSERT_EQ(bytes.size(), 108u);
    // Eight zeros, the object (but its time stamp), zeros up to 100 bytes.
    const std::string expected = std::string(8, '\0') + plain.substr(0, 4) + bytes.substr(12, 4) + plain.substr(8);
    EXPECT_EQ(unit::hex(bytes), unit::hex(expected + std::string(100 - plain.size(), '\0')));
    EXPECT_STREQ(placed->name(), "placed");
    EXPECT_EQ(placed->info().start_offset, 8u);

    // Reverted to "open" after the save, the file takes changes and saves again.
    ASSERT_EQ(placed->revert_to_state(OF_STATE_OPEN), 0);
    EXPECT_EQ(placed->section_table()->state(), OF_STATE_OPEN);
    placed->symbol_table()->symbol_at(0)->set_value(7);
    placed->section_table()->add_section(".more")->raw_data().write_u16(9);
    const reread back(placed.get());
    EXPECT_EQ(back->symbol_table()->symbol_at(0)->value(), 7u);
    EXPECT_EQ(back->section_table()->count(), 2u);
}

TEST(WriteLifecycle, SavingOverTheInputIsRefusedAndReplacingItIsSafe) {
    unit::temp_dir dir;
    ASSERT_EQ(save_to(small_object().get(), dir.file("in.qx")), 0);
    const reread in(dir.file("in.qx"));
    // Another handle on the same file: the object still reads from there.
    PFILE* same = pfopen(dir.file("in.qx").c_str(), "r+b");
    OF_FILE_INFO info;
    info.handle = same;
    EXPECT_EQ(in->save(info), -1);
    EXPECT_EQ(taken(), REPORTS{"2: saved.o: cannot save over the file \"" + dir.file("in.qx") +
                               "\" that the object is read from; save to another file, or replace it as a "
                               "whole (save_to_path)"});
    EXPECT_EQ(in->state(), OF_STATE_OPEN);
    pfclose(same);

    // Replaced as a whole, the file reads back with a changed symbol.
    in->symbol_table()->symbol_at(0)->set_name("_renamed_start");
    ASSERT_EQ(in->save_to_path(dir.file("in.qx").c_str()), 0);
    EXPECT_EQ(taken(), REPORTS{});
    EXPECT_EQ(in->state(), OF_STATE_SAVED);
    EXPECT_STREQ(in->name(), dir.file("in.qx").c_str());
    // The object's bytes are its own: it still reads after its input was replaced.
    EXPECT_STREQ(in->symbol_table()->symbol_at(0)->name(), "_renamed_start");
    EXPECT_STREQ(reread(dir.file("in.qx"))->symbol_table()->symbol_at(0)->name(), "_renamed_start");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);  // no temporary file left

    EXPECT_EQ(small_object()->save_to_path(dir.file("missing/dir/x.qx").c_str()), -1);
    const REPORTS r = taken();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].rfind("2: made.o: cannot open \"" + dir.file("missing/dir/x.qx") + ".ofe-", 0), 0u) << r[0];
}

TEST(WriteLifecycle, DamagedObjectsThatClaimMissingBytesAreNotSaved) {
    const std::pair<const char*, std::string> cases[] = {
        {"elf32 le rel\nsection .text data=00112233 flags=ax size=0x72002e64\n",
         "3: object.o: section \".text\" claims 1912614500 bytes of raw data at file offset 0x34, beyond the end "
         "of the file; a damaged object is not saved"},
        {"elf32 le exec\nsection .text data=00112233 flags=ax\nsegment type=load sections=.text filesz=0x100000\n",
         "3: object.o: program segment 0 claims 1048576 bytes at file offset 0x54, beyond the end of the file; a "
         "damaged object is not saved"},
        {"elf32 le exec\nsection .text data=00112233 flags=ax\nsegment type=load sections=.text\n"
         "header e_phoff=0x40000000\n",
         "3: object.o: the program header table lies beyond the end of the file; a damaged object is not saved"},
        {"qxcoff v2 le\nsection .text data=00112233 size=0x10000\n",
         "3: object.o: section \".text\" claims 131072 bytes of raw data at file offset 0x46, beyond the end of the "
         "file; a damaged object is not saved"},
    };
    for (const auto& [description, report] : cases) {
        SCOPED_TRACE(description);
        unit::temp_dir dir;
        const unit::opened in(description, {}, true);
        (void)taken();
        EXPECT_EQ(in.object()->save_to_path(dir.file("out.o").c_str()), -1);
        const REPORTS r = taken();
        EXPECT_EQ(r.empty() ? "" : r.front(), report);
        EXPECT_EQ(in.object()->state(), OF_STATE_OPEN);
        EXPECT_TRUE(std::filesystem::is_empty(dir.path));
    }
}

// A section's alignment places it in the file only up to a page, so a huge one read from a damaged header
// leaves no gigabytes of gap (the alignment itself is kept).
TEST(WriteLifecycle, FileOffsetsAreAlignedUpToAPage) {
    unit::temp_dir dir;
    const unit::opened in("elf32 le rel\nsection .text data=00 sh_addralign=0x80000000\n", {}, true);
    ASSERT_EQ(in.object()->save_to_path(dir.file("out.o").c_str()), 0);
    EXPECT_LT(std::filesystem::file_size(dir.file("out.o")), 0x2000u);
    reread back(dir.file("out.o"));
    EXPECT_EQ(back->section_table()->section_at(1)->alignment(), 0x80000000u);
}

}  // namespace
