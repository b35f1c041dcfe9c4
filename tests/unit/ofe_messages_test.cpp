// Messages a library user can provoke through the setters and queries of a file read from disk: each
// refused change leaves the old value, and each report names what it refuses.
#include <string>
#include <tuple>
#include <vector>

#include "elf_object.h"
#include "ofe/elf/elf_symbol.h"

using namespace OFE;
using namespace elf_test;

TEST(RefusedChanges, ElfSymbolsAndSectionsKeepTheirValues) {
    elf_object f("elf32 le rel\nsection .text data=00112233 flags=ax sh_addralign=4\n"
                 "symbol s section=.text bind=global\n");
    ELF_SYMBOL* s = found(as_elf_symbol(f->symbol_table()->find_by_name("s")), "s");
    ELF_SECTION* text = f.section(".text");
    const uint8_t info = s->entry().st_info;
    const uint16_t shndx = s->entry().st_shndx;
    expect_refused({
        {[&] { s->set_kind(OF_SYM_DEFINED); },
         "5: To mark a symbol as being defined, you must use set_section_id() to set its section reference"},
        {[&] { s->set_kind(static_cast<OF_SYMBOL_KIND>(9)); }, "5: Invalid symbol kind 9"},
        {[&] { s->set_binding(static_cast<OF_SYMBOL_BINDING>(0)); }, "5: Invalid symbol binding value 0x0"},
        {[&] { s->set_binding(static_cast<OF_SYMBOL_BINDING>(4)); }, "5: Invalid symbol binding value 0x4"},
        {[&] { s->set_type(static_cast<OF_SYMBOL_TYPE>(7)); }, "5: Invalid symbol type value 0x7"},
        {[&] { text->set_alignment(0); }, "5: only powers of 2 are valid alignment values"},
        {[&] { text->set_alignment(12); }, "5: only powers of 2 are valid alignment values"},
    });
    EXPECT_EQ(std::tuple(s->entry().st_info, s->entry().st_shndx, text->header().sh_addralign),
              std::tuple(info, shndx, 4u));
    // The edges of what is allowed.
    s->set_binding(OF_BIND_WEAK);
    s->set_type(OF_TYPE_TLS);
    text->set_alignment(1);
    EXPECT_TRUE(taken().empty());
    EXPECT_EQ(std::tuple(s->entry().st_info, text->header().sh_addralign), std::tuple(uint8_t{0x26}, 1u));
}

// Finding by file offset looks at each section's raw data, and a section without any says so first.
TEST(RefusedChanges, FindingByFileOffsetWarnsOfSectionsWithoutRawDataAndDumpsToAMissingFolderFail) {
    elf_object f("elf32 le rel\nsection .bss type=nobits size=8 flags=wa\nsection .data data=0011 flags=wa\n");
    const OF_SECTION* data = f.section(".data");
    EXPECT_EQ(f->section_table()->find_by_file_offset(data->raw_data_offset(), 1), data);
    (void)f.section(".bss")->raw_data();
    // A dump or description that cannot open its file reports a file-access error and fails.
    const std::string nowhere = unit::temp_dir().file("missing/dir/out.txt");
    EXPECT_EQ(f->dump_to_path(nowhere.c_str()), -1);
    EXPECT_EQ(f->write_xml_to_path(nowhere.c_str()), -1);
    const std::string uninitialized = "4: accessing the raw data of section \".bss\" which is uninitialized according "
                                      "to its section attributes; changes to raw data may be lost";
    EXPECT_EQ(taken(), (std::vector<std::string>{uninitialized, uninitialized, "2: ", "2: "}));
}
