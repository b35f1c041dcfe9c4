// Build-attribute sections of both formats: the parse and its result rules, vendor queries, one-based
// QXCOFF indexes and wrong-scope index access. (The dump text and the producer versions: the golden dumps.)
#include <string>
#include <tuple>
#include <vector>

#include "ofe/machine/of_machine_db.h"
#include "ofe/of_build_attr.h"
#include "ofe/of_section.h"
#include "unit_support.h"

using namespace OFE;
using unit::opened;

namespace {

using unit::hex;
using encoder = unit::attr_encoder;
std::string num(uint32_t tag, uint32_t value) { return encoder::num(tag, value); }
std::string str(uint32_t tag, const std::string& text) { return encoder::str(tag, text); }

std::string elf_with(const std::string& attributes) {
    return "elf32 le rel\nsection .text data=00000000\nsection __QX_build_attributes type=0x70000003 data=" +
           hex(attributes) + "\nsymbol main section=.text\nsymbol data section=.text\n";
}

std::string qxcoff_with(const std::string& attributes) {
    return "qxcoff v2 le\nsection .text data=0000\nsection .data data=0000 flags=data\nsection .cinit data=0000 "
           "flags=data\nsection $build.attributes mwidth=8 flags=copy data=" +
           hex(attributes) + "\nsymbol _main scnum=.text\n";
}

const encoder le;

// Whether a parse succeeded, which no dump shows; what each read, the golden dump of parses that end
// early shows: only the format byte (kept as read), a subsection claiming more than the section holds,
// and an unknown tag of an unlisted vendor, which ends its list.
TEST(BuildAttributes, ParseResultsAndQueries) {
    const std::string oversized =
        std::string("A") + le.vendor("QX", le.list(1, str(5, "cc"))) + le.u32(100) + "kiteabi" + '\0' + le.list(1, num(4, 1));
    const std::string acme = std::string("A") + le.vendor("acme", le.list(1, num(0x20, 1) + num(0x21, 2)) + le.list(1, num(1, 0))) +
                             le.vendor("kiteabi", le.list(1, num(4, 1)));
    const std::tuple<std::string, int32_t, char> cases[] = {
        {elf_with("B"), 0, 'B'}, {qxcoff_with("A"), 0, 'A'}, {elf_with(oversized), -1, 'A'}, {elf_with(acme), -1, 'A'}};
    for (const auto& [description, result, version] : cases) {
        opened o(description);
        OF_BUILD_ATTR_TABLE* t = o.object()->build_attribute_table();
        EXPECT_EQ(std::tuple(t->parse_result(), t->format_version()), std::tuple(result, version)) << description;
    }

    // Parsed once and queried. (The dump, and the vendor, producer and version that the header shows: the
    // golden dump of ELF attributes.)
    const std::string kite = le.list(1, num(4, 1) + num(6, 2) + num(70, 5));
    opened o(elf_with(std::string("A") + le.vendor("kiteabi", kite) + le.vendor("QX", le.list(1, str(5, "asm") + num(4, 1)))));
    OBJECT_FILE* f = o.object();
    OF_BUILD_ATTR_TABLE* t = f->build_attribute_table();
    // Tag 70 is unknown, but bit 6 lets it be ignored: the parse still succeeds.
    EXPECT_EQ(t->parse_result(), 0);
    EXPECT_EQ(t->parse(), 0);  // parsed once only
    EXPECT_STREQ(f->abi_vendor_section()->name(), "kiteabi");
    EXPECT_EQ(f->qx_vendor_section()->index(), 1u);
    EXPECT_EQ(f->find_build_attribute("kiteabi", 6)->numeric_value(), 2u);
    EXPECT_EQ(f->find_build_attribute("kiteabi", 99), nullptr);
    EXPECT_EQ(f->machine_db()->rts_vendor(), 1u);
}

TEST(BuildAttributes, WrongScopeIndexAccessIsRefused) {
    const std::string qx = le.vendor("QX", le.list(2, encoder::uleb(3) + '\0'));
    opened elf(elf_with(std::string("A") + qx));
    opened coff(qxcoff_with(std::string("A") + qx));
    std::vector<uint32_t> indexes;
    for (auto* o : {&elf, &coff}) {
        OFBA_ATTR_LIST* list = o->object()->build_attribute_table()->vendor_at(0)->list_at(0);
        const uint32_t missing = o == &elf ? 0u : 0xFFFFFFFFu;
        EXPECT_EQ(list->symbol_index(0), missing);
        EXPECT_EQ(o->take_error(), "5: cannot access symbol index in a Tag_Section attribute list");
        EXPECT_FALSE(list->symbol_indexes(indexes));
        EXPECT_EQ(o->take_error(), "5: cannot access symbol indexes in a Tag_Section attribute list");
        EXPECT_EQ(list->index_entry(7), missing);
        EXPECT_FALSE(OFBA_ATTR_LIST::index_valid());
        // QXCOFF lists store indexes one-based.
        EXPECT_EQ(list->section_index(0), o == &elf ? 3u : 2u);
        EXPECT_TRUE(list->section_indexes(indexes));
        EXPECT_EQ(indexes, std::vector<uint32_t>{o == &elf ? 3u : 2u});
    }
}

}  // namespace

TEST(BuildAttributes, ModifiedTableIsWrittenBackWhenLocked) {
    const std::string kite = le.vendor("kiteabi", le.list(1, num(4, 1)));
    opened o(qxcoff_with(std::string("A") + kite + le.vendor("QX", le.list(2, encoder::uleb(3) + '\0'))));
    OBJECT_FILE* f = o.object();
    OF_BUILD_ATTR_TABLE* t = f->build_attribute_table();
    OFBA_ATTR_LIST* sections = f->qx_vendor_section()->list_at(0);
    EXPECT_EQ(sections->append_index_entry(0), 1u);  // stored as 1
    EXPECT_EQ(sections->set_index_entry(5, 9), 2u);  // past the end: nothing changes
    OFBA_ATTR* model = f->get_or_add_build_attribute("QX", 258);
    ASSERT_NE(model, nullptr);
    model->set_numeric_value(1);
    f->get_or_add_build_attribute("QX", 5)->set_string_value("lnk");
    EXPECT_EQ(f->get_or_add_build_attribute("QX", 258), model);
    EXPECT_TRUE(t->modified());
    ASSERT_EQ(t->progress_to_state(OF_STATE_LOCKED), 0);
    EXPECT_FALSE(t->modified());
    const std::string qx =
        le.list(2, encoder::uleb(3) + encoder::uleb(1) + '\0') + le.list(1, num(258, 1) + str(5, "lnk"));
    EXPECT_EQ(hex(t->section()->data()), hex(std::string("A") + kite + le.vendor("QX", qx)));
    // Once locked, the table no longer changes.
    EXPECT_EQ(t->add_vendor("gnu"), nullptr);
    EXPECT_EQ(o.take_error().substr(0, 44), "5: this OBJECT_FILE object is currently in t");
}

TEST(BuildAttributes, SettingTheProducerMakesTheQxcoffSection) {
    opened o("qxcoff v2 le\nopthdr\nsection .text halves=1\n");
    ASSERT_FALSE(o.file().has_build_attributes());
    o.file().set_producer("kasm", 2, 12, 1);
    EXPECT_EQ(o.take_error(), "0: ");
    const OFE::OF_SECTION* s = o.file().section_table()->find_by_name("$build.attributes");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::tuple(s->allocated(), s->address_unit_bits()), std::tuple(false, 8u));
    EXPECT_EQ(std::tuple(o.file().vendor_name(), o.file().producer_name(), o.file().producer_version()),
              std::tuple("QX", "kasm", "2.12.1"));
    EXPECT_EQ(o.file().optional_header().o_vstamp, 2012u);

    // Versions "0" and "1" have no field for the section's 8-bit units.
    opened old("qxcoff v1 le\nsection .text halves=1\n");
    old.file().set_producer("kasm", 1, 0, 0);
    EXPECT_EQ(old.take_error(), "5: QX-COFF Version 1 does not support the mwidth section header field");
}
