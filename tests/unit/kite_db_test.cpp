// The Kite database: unknown CPU flags, special sections, the relocation vocabularies of both formats,
// and code markers. (Attribute value texts, zero values included, and the plain database: the golden dumps.)
#include <set>
#include <string>
#include <vector>

#include "ofe/machine/kite_machine_db.h"
#include "ofe/of_section.h"
#include "ofe/of_symbol.h"
#include "unit_support.h"

using namespace OFE;
using unit::opened;

namespace {

// Identification (target ids, 16-bit units, the "kiteabi" vendor) shows in every golden case of a Kite file.
TEST(KiteDatabase, UnknownCpuFlagsSpecialSectionsAndRelocationVocabulariesOfBothFormats) {
    opened coff("qxcoff v2 le\nheader f_flags=0x0160\nsection .text data=0000\n");
    opened elf("elf32 le rel\nsection .text data=00\n");
    // The memory model and addressing mode of unknown CPU flags, which no dump shows (their generation and
    // the Kite section names: the golden dump of Kite names).
    for (uint32_t unknown : {0x30u, 0x70u})
        EXPECT_EQ(std::string(kite_cpu_flags(unknown).memory_model) + kite_cpu_flags(unknown).addressing_mode,
                  "(unknown)(unknown)");
    std::vector<OF_SPECIAL_SECTION> specials;
    elf.object()->machine_db()->register_special_sections(specials);
    ASSERT_EQ(specials.size(), 3u);
    EXPECT_STREQ(specials[0].name, ".kiteabi.exidx");
    EXPECT_EQ(specials[0].sh_flags, 0x82u);

    // The relocation vocabularies, and a missing template.
    const OF_RELOC_VOCABULARY& q = relocation_vocabulary(coff.object());
    const OF_RELOC_VOCABULARY& e = relocation_vocabulary(elf.object());
    EXPECT_EQ(q.size(), generic_qxcoff_reloc_names().size() + KITE_MACHINE_DB::qxcoff_reloc_names().size());
    // An ELF type 16 and a QXCOFF type 107 share one template.
    ASSERT_NE(e.find_type(16), nullptr);
    EXPECT_STREQ(e.find_type(16)->name, "R_WISP_ABS16");
    EXPECT_EQ(e.find_type(16)->templ, q.find_type(107)->templ);
    EXPECT_STREQ(q.find_name("R_ABS16_OC")->templ->name, "OFR_ABS16_OC");
    // The Kite word template replaces the generic one of the same id. (The fields each template shows
    // and unknown types: the golden dump of Kite relocations.)
    EXPECT_EQ(q.find_name("R_RELWORD")->templ->flags, 0x4004u);
    // A second file of the same format and target shares the record.
    opened again("elf32 be rel\n");
    EXPECT_EQ(&relocation_vocabulary(again.object()), &e);

    // A missing template is reported and the entry kept.
    OF_RELOC_VOCABULARY vocabulary(OF_FORMAT_QXCOFF, OF_TARGET_KITE);
    const OF_RELOC_NAME rows[] = {{"R_LOST", 7, 999}, {"R_LOW", 8, 12}, {"R_AFTER_END", OF_RELOC_END, 256}};
    vocabulary.register_names(rows, {}, coff.object());
    EXPECT_EQ(coff.take_error(), "4: cannot find relocation template 999 for QX Kite relocation type R_LOST (7)");
    ASSERT_NE(vocabulary.find_name("R_LOST"), nullptr);
    EXPECT_EQ(vocabulary.find_name("R_LOST")->templ, nullptr);
    EXPECT_EQ(vocabulary.size(), 2u);
}

TEST(KiteDatabase, CodeMarkersAreCountedOnce) {
    opened o("elf32 le rel\nsection .text data=00000000\nsection .data data=00\nsymbol $c section=.text value=0\n"
             "symbol $c section=.text value=2\nsymbol $c section=.data\nsymbol $c\nsymbol $d section=.text\n");
    auto* db = static_cast<KITE_MACHINE_DB*>(o.object()->machine_db());
    EXPECT_EQ(db->count_code_markers(), 3u);
    ASSERT_EQ(db->code_markers().size(), 2u);
    const OF_SECTION* text = o.object()->section_table()->find_by_name(".text");
    EXPECT_EQ(db->code_markers().at(text), (std::set<uint32_t>{0, 2}));
    ASSERT_NE(o.object()->symbol_table()->add_symbol(), nullptr);
    EXPECT_EQ(db->count_code_markers(), 3u);
}

}  // namespace
