// Library operations beyond reading: deleting sections and renumbering the table, section symbols,
// "near" common symbols, QX section flags, target descriptions, the byte order of each section's data,
// setting a file's type and byte order, and opening by path.
#include <cstdio>
#include <string>
#include <vector>

#include "elf_object.h"
#include "ofe/elf/elf_symbol.h"
#include "ofe/machine/of_machine_db.h"

using namespace OFE;
using namespace elf_test;

namespace {

using texts = std::vector<std::string>;

// What print_target_description prints.
std::string description(OBJECT_FILE& file) {
    FILE* out = std::tmpfile();
    file.machine_db()->print_target_description(out);
    std::string text = unit::read_all(out);
    std::fclose(out);
    return text;
}

}  // namespace

TEST(SectionTable, SectionSymbolsFoundOrMadeOnceAndDeletedIndexesSharingOnePlaceholderUntilRenumbered) {
    elf_object f("elf32 le rel\n"
                 "section .text data=00112233 flags=ax\n"
                 "section .data data=44556677 flags=wa\n"
                 "section .bss type=nobits size=8 flags=wa\n"
                 "symbol text_sym value=0 section=.text type=section bind=local\n"
                 "symbol in_bss value=4 section=.bss\n");
    // A section symbol is found by its type and section, or made once as a local section symbol: .bss has a
    // symbol in it, but not one of type "section".
    OF_SYMBOL_TABLE* symbols = f->symbol_table();
    const uint32_t symbol_count = symbols->count();
    EXPECT_STREQ(f.section(".text")->section_symbol()->name(), "text_sym");
    EXPECT_EQ(f.section(".data")->find_section_symbol(), nullptr);
    OF_SYMBOL* made = found(f.section(".bss")->section_symbol(), "a section symbol made");
    EXPECT_EQ(std::tuple(made->index(), std::string(made->name()), made->section(), made->binding(), made->type(),
                         made->value()),
              std::tuple(symbol_count, ".bss", f.section(".bss"), OF_BIND_LOCAL, OF_TYPE_SECTION, 0u));
    EXPECT_EQ(f.section(".bss")->section_symbol(), made) << "not made twice";
    EXPECT_EQ(symbols->count(), symbol_count + 1);

    // Deleted indexes share one placeholder until the table is renumbered.
    OF_SECTION_TABLE* table = f->section_table();
    const uint32_t count = table->count();  // null, .text, .data, .bss, .symtab, .strtab, .shstrtab
    OF_SECTION* bss = f.section(".bss");
    ASSERT_TRUE(table->delete_section(1));
    ASSERT_TRUE(table->delete_section(2));
    EXPECT_FALSE(table->delete_section(2)) << "deleted already";
    EXPECT_FALSE(table->delete_section(count)) << "no such section";
    EXPECT_TRUE(table->deleted());
    EXPECT_EQ(table->section_at(1), table->section_at(2));
    EXPECT_STREQ(table->section_at(1)->name(), "__QX_deleted_section");

    ASSERT_EQ(table->renumber(), 0);
    EXPECT_FALSE(table->deleted());
    EXPECT_EQ(table->count(), count - 2);
    EXPECT_EQ(std::tuple(bss->index(), bss->section_id(), table->section_at(1)), std::tuple(1u, 1u, bss));
    EXPECT_EQ(table->renumber_map(), (std::vector<uint32_t>{0, 0xFFFFFFFF, 0xFFFFFFFF, 1, 2, 3, 4}));
    EXPECT_TRUE(taken().empty());

    // An ELF table whose first section is not a null section is not renumbered.
    elf_object g("elf32 le rel\nsection .text data=00\nsectionheader 0 sh_type=1\n");
    ASSERT_TRUE(g->section_table()->delete_section(1));
    EXPECT_EQ(g->section_table()->renumber(), -1);
    EXPECT_EQ(taken(), (texts{"7: section 0 is not a NULL section"}));
    EXPECT_TRUE(g->section_table()->deleted());
}

TEST(NearCommon, OnlyGullAndKnotHaveANearCommonSection) {
    elf_object plain("elf32 le rel\nheader e_machine=3\nsymbol c\n");
    EXPECT_EQ(plain->machine_db()->near_common_index(), 0u);
    EXPECT_EQ(taken(), (texts{"7: machine doesn't support \"near\" common blocks"}));
    for (const uint32_t machine : {140u, 143u}) {  // Gull, Knot
        elf_object f("elf32 le rel\nheader e_machine=" + std::to_string(machine) + "\nsymbol c\n");
        EXPECT_EQ(f->machine_db()->near_common_index(), 0xFF00u);
        auto* symbol = found(as_elf_symbol(f->symbol_table()->find_by_name("c")), "c");
        symbol->make_near_common();
        EXPECT_EQ(symbol->entry().st_shndx, 0xFF00u);
        EXPECT_TRUE(taken().empty());
    }
    unit::opened coff("qxcoff v2 le\nsymbol c\n");
    coff.object()->symbol_table()->symbol_at(0)->make_near_common();
    EXPECT_EQ(coff.take_error(), "7: symbol does not support setting near-common");
}

TEST(QxSectionFlags, OnElfSectionsOnlyOneBitAtATime) {
    unit::diag_capture diag;
    elf_object f("elf32 le rel\nsection .text data=00112233\n"
                 "section .qx_flags type=0x7f000005 data=01000000 zeros=16 words=2 halves=4 words=0,0x30\n");
    OF_MACHINE_DB* db = f->machine_db();
    OF_SECTION* text = f.section(".text");
    EXPECT_TRUE(db->is_qx_sh_flag_set(text, 0x10));
    EXPECT_FALSE(db->is_qx_sh_flag_set(text, 0x40));
    db->set_qx_sh_flag(text, 0x40, true);
    db->set_qx_sh_flag(text, 0x10, false);
    EXPECT_EQ(f.section(".text")->ext_flags(), 0x60u);
    db->set_qx_sh_flag(text, 0x3, true);
    EXPECT_EQ(taken(), (texts{"5: qx_flag() called with more than one flag specified"}));
    EXPECT_EQ(f.section(".text")->ext_flags(), 0x63u) << "set all the same";

    // The flags of a QXCOFF section, as the Kite database's blocking of one, ask for an ELF view in vain.
    unit::opened coff("qxcoff v2 le\nsection .text data=0011\n", {}, true);
    OF_SECTION* coff_text = coff.object()->section_table()->section_at(0);
    OF_MACHINE_DB* coff_db = coff.object()->machine_db();
    EXPECT_FALSE(coff_db->is_qx_sh_flag_set(coff_text, 1));
    coff_db->set_qx_sh_flag(coff_text, 1, true);
    EXPECT_FALSE(coff_db->block(coff_text));
    EXPECT_EQ(taken(), texts(3, "3: attempting to get ELF interface for non-ELF file"));
    EXPECT_EQ(diag.take_sites(), "SITE:internal error #99924: \n"
                                 "   (OF_MACHINE_DB::is_qx_sh_flag_set: Not an ELF section)\n"
                                 "SITE:internal error #99924: (OF_MACHINE_DB::set_qx_sh_flag:\n"
                                 "   Not an ELF section)\n"
                                 "SITE:internal error #99924: (KITE_MACHINE_DB::block: Not an\n   ELF section)\n");
}

TEST(TargetDescription, FiveLinesAndTheAbiVendorOfArmGullAndSkua) {
    const std::pair<const char*, std::string> cases[] = {
        {"elf32 be exec\n", "FORMAT:ELF\nFORMAT_VER:1\nMACHINE_NAME:QX Kite\nENDIAN:BIG\n"},
        {"elf32 le rel\nheader e_machine=40 e_flags=0x05000000\n",
         "FORMAT:ELF\nFORMAT_VER:1\nMACHINE_NAME:Advanced RISC Machines ARM\nENDIAN:LITTLE\nABI_VENDOR:aeabi\n"
         "EABI_VERSION:5\n"},
        {"elf32 le rel\nheader e_machine=145 e_version=0\n",
         "FORMAT:ELF\nFORMAT_VER:unknown format version\nMACHINE_NAME:QX Skua\nENDIAN:LITTLE\nABI_VENDOR:skuaabi\n"},
        {"qxcoff v0 le\n", "FORMAT:COFF\nFORMAT_VER:0\nMACHINE_NAME:QX Kite\nENDIAN:LITTLE\n"},
    };
    for (const auto& [file, expected] : cases)
        EXPECT_EQ(description(*unit::opened(file).object()), "FILE:\"object.o\"\n" + expected) << file;
    // Made in memory: no name, no handle; a new ELF file is little endian, version 1.
    std::unique_ptr<OBJECT_FILE> unnamed(OBJECT_FILE::create({.format = OF_FORMAT_ELF}, nullptr));
    EXPECT_EQ(description(*unnamed), "FILE:\"(unknown file)\"\nFORMAT:ELF\nFORMAT_VER:1\n"
                                     "MACHINE_NAME:no machine\nENDIAN:LITTLE\n");
}

TEST(SectionDataEndian, RillCodeIsReadTheOtherWayWhenTheFileSaysSo) {
    for (const bool swapped : {false, true}) {
        elf_object f(std::string("elf32 le rel\nheader e_machine=144 e_flags=") + (swapped ? "1" : "0") +
                     "\nsection .text data=00112233 flags=ax\nsection .data data=00112233 flags=wa\n");
        f.section(".text")->data().set_cursor(0);
        f.section(".data")->data().set_cursor(0);
        EXPECT_EQ(f.section(".text")->data().read_u32(), swapped ? 0x00112233u : 0x33221100u) << "swapped " << swapped;
        EXPECT_EQ(f.section(".data")->data().read_u32(), 0x33221100u);
    }
}

TEST(FileHeaderSetters, ElfTypeAndByteOrderRefuseWhatElfCannotHold) {
    elf_object f("elf32 le rel\n");
    f->set_file_type(OF_FILE_SHARED);
    f->set_endian(OF_ENDIAN_BIG);
    EXPECT_EQ(std::tuple(f->file_type(), f->endian()), std::tuple(OF_FILE_SHARED, OF_ENDIAN_BIG));
    expect_refused({{[&] { f->set_file_type(static_cast<OF_FILE_TYPE>(5)); }, "5: invalid file type"},
                    {[&] { f->set_endian(OF_ENDIAN_UNKNOWN); }, "5: invalid endian setting"}});
    EXPECT_EQ(std::tuple(f->file_type(), f->endian()), std::tuple(OF_FILE_NONE, OF_ENDIAN_UNKNOWN));
}

TEST(OpenByPath, TheObjectOwnsItsFile) {
    unit::temp_dir dir;
    const std::string path = dir.file("x.o");
    fixture::build_to(path, "elf32 le rel\nsection .text data=00\nsymbol main section=.text\n", {});
    const std::string notes = dir.write("notes.txt", "not an object\n");
    const int open_before = pf_open_count();
    {
        std::unique_ptr<OBJECT_FILE> object(OBJECT_FILE::open_path(path.c_str()));
        ASSERT_NE(object, nullptr);
        EXPECT_STREQ(object->name(), path.c_str());
        EXPECT_NE(object->symbol_table()->find_by_name("main"), nullptr);
        EXPECT_EQ(pf_open_count(), open_before + 1);
    }
    EXPECT_EQ(pf_open_count(), open_before) << "closed with the object";
    EXPECT_EQ(OBJECT_FILE::open_path(notes.c_str()), nullptr);
    EXPECT_EQ(OBJECT_FILE::open_path(dir.file("missing.o").c_str()), nullptr);
    EXPECT_EQ(pf_open_count(), open_before);
}
