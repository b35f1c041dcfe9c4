// The XML descriptions of both formats: well-formed documents that carry back the values they name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ofe/object_file.h"
#include "ofe/of_section.h"
#include "ofe/of_symbol.h"
#include "ofe/of_xml_writer.h"
#include "qxcoff_test_support.h"
#include "unit_support.h"

namespace {

// ---- A strict reader of the XML the library writes: elements, attributes, text and the five entities ----

struct element {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::string text;
    std::vector<std::unique_ptr<element>> children;

    std::vector<const element*> all(const std::string& wanted) const {
        std::vector<const element*> found;
        for (const auto& c : children)
            if (c->name == wanted) found.push_back(c.get());
        return found;
    }
    const element& one(const std::string& wanted) const {
        auto found = all(wanted);
        if (found.size() != 1) throw std::runtime_error("expected one <" + wanted + "> in <" + name + ">");
        return *found[0];
    }
};

class reader {
public:
    explicit reader(std::string doc) : s_(std::move(doc)) {}

    std::unique_ptr<element> document() {
        for (unsigned char c : s_)
            if ((c < 0x20 && c != '\n' && c != '\t' && c != '\r') || c == 0x7F) fail("control character");
        expect("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
        skip_blanks();
        auto root = parse_element();
        if (skip_blanks(), at_ != s_.size()) fail("content after the root element");
        return root;
    }

private:
    [[noreturn]] void fail(const std::string& why) { throw std::runtime_error(why + " at byte " + std::to_string(at_)); }
    bool next_is(const char* text) { return s_.compare(at_, std::strlen(text), text) == 0; }
    void expect(const char* text) {
        if (!next_is(text)) fail(std::string("expected ") + text);
        at_ += std::strlen(text);
    }
    void skip_blanks() {
        while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\n')) ++at_;
    }
    std::string name() {
        const size_t start = at_;
        while (at_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[at_])) || s_[at_] == '_')) ++at_;
        if (at_ == start) fail("expected a name");
        return s_.substr(start, at_ - start);
    }
    // Text up to `end`, with the five entities replaced; a bare '<' (or '"' in an attribute) is an error.
    std::string text_until(char end) {
        static const std::pair<const char*, char> entities[] = {
            {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
        std::string out;
        while (at_ < s_.size() && s_[at_] != end) {
            if (s_[at_] == '<' || (s_[at_] == '"' && end == '"')) fail("bare markup character");
            const auto* entity = std::find_if(std::begin(entities), std::end(entities), [&](auto& e) { return next_is(e.first); });
            if (s_[at_] == '&' && entity == std::end(entities)) fail("unknown entity");
            out += s_[at_] == '&' ? entity->second : s_[at_];
            at_ += s_[at_] == '&' ? std::strlen(entity->first) : 1;
        }
        return out;
    }
    std::unique_ptr<element> parse_element() {
        expect("<");
        auto e = std::make_unique<element>();
        e->name = name();
        for (skip_blanks(); !next_is(">"); skip_blanks()) {
            if (next_is("/>")) {
                at_ += 2;
                return e;
            }
            const std::string key = name();
            expect("=\"");
            std::string value = text_until('"');
            expect("\"");
            if (!e->attributes.emplace(key, value).second) fail("repeated attribute " + key);
        }
        for (++at_;;) {
            e->text += text_until('<');
            if (!next_is("</")) {
                e->children.push_back(parse_element());
                continue;
            }
            at_ += 2;
            if (name() != e->name) fail("mismatched end tag of <" + e->name + ">");
            expect(">");
            return e;
        }
    }

    std::string s_;
    size_t at_ = 0;
};

std::string xml_of(OFE::OBJECT_FILE* object) {
    FILE* out = std::tmpfile();
    object->write_xml_to_handle(out);
    std::string doc = unit::read_all(out);
    std::fclose(out);
    return doc;
}

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

TEST(XmlDescription, EscapesWhatXmlCannotCarry) {
    EXPECT_EQ(OFE::OF_XML_WRITER::escape("a<b>&\"'"), "a&lt;b&gt;&amp;&quot;&apos;");
    EXPECT_EQ(OFE::OF_XML_WRITER::escape(std::string("\x01\\x\xff\xc3\xa9", 6)), "\\x01\\\\x\\xFF\xc3\xa9");
}

TEST(XmlDescription, QxcoffFileRoundTripsItsHeaderSectionsAndSymbols) {
    qxunit::opened o(R"(
qxcoff v2 le
header f_flags=0x0160
opthdr o_vstamp=2012
section .text halves=1,2 flags=text
section "a<long>&\"section\"" longname flags=data halves=3
symbol _main value=0x10 scnum=.text type=int:func auxsize=2
symbol "odd\x01name&more_than_eight" value=0x22 scnum=abs
)");
    const auto root = reader(xml_of(o.object())).document();
    EXPECT_EQ(root->name, "qx_coff");
    const element& header = root->one("file_header");
    EXPECT_EQ(header.one("f_flags").text, hex(0x0160));
    EXPECT_EQ(header.one("f_nscns").text, "2");
    EXPECT_EQ(root->one("optional_file_header").one("o_vstamp").text, "2012");
    const auto sections = root->one("sections").all("section");
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[1]->attributes.at("name"), "a<long>&\"section\"");
    EXPECT_EQ(sections[1]->attributes.at("number"), "2");
    const auto symbols = root->one("symbols").all("symbol");
    OFE::OF_SYMBOL_TABLE* table = o.object()->symbol_table();
    ASSERT_EQ(symbols.size(), 2u);
    for (const element* s : symbols) {
        const OFE::OF_SYMBOL* sym = table->symbol_at(static_cast<uint32_t>(std::stoul(s->attributes.at("index"))));
        EXPECT_EQ(s->attributes.at("n_value"), hex(sym->value()));
    }
    EXPECT_EQ(symbols[0]->attributes.at("name"), "_main");
    EXPECT_EQ(symbols[1]->attributes.at("name"), "odd\\x01name&more_than_eight");
    EXPECT_EQ(root->one("string_table").all("string").size(), 2u);
}

TEST(XmlDescription, ElfFileRoundTripsItsHeaderSectionsAndSymbols) {
    qxunit::opened o(R"(
elf32 be rel
header e_flags=0x5
section .text data=00112233 flags=ax
section .kiteabi.attributes type=0x70000003 data=41000000156b697465616269000100000009040246 data=05
symbol local_one value=1 bind=local section=.text
symbol main value=0x10 size=4 type=func section=.text
symbol ext
)");
    const auto root = reader(xml_of(o.object())).document();
    EXPECT_EQ(root->name, "elf_file");
    const element& header = root->one("file_header");
    EXPECT_EQ(header.one("ei_data").text, "ELFDATA2MSB");
    EXPECT_EQ(header.one("e_machine").text, "EM_QX_KITE");
    EXPECT_EQ(header.one("e_flags").text, hex(5));
    const element& attributes = root->one("build_attributes");
    const element& vendor = attributes.one("vendor");
    EXPECT_EQ(vendor.attributes.at("name"), "kiteabi");
    const auto attrs = vendor.one("attribute_list").all("attribute");
    ASSERT_EQ(attrs.size(), 2u);
    EXPECT_EQ(attrs[1]->attributes.at("tag"), "Tag_0x46");
    EXPECT_EQ(attrs[1]->attributes.at("number"), "5");
    const auto sections = root->one("sections").all("section");
    ASSERT_EQ(sections.size(), o.object()->section_table()->count());
    EXPECT_EQ(sections[1]->attributes.at("sh_type"), "SHT_PROGBITS");
    const auto symbols = root->one("symbol_table").all("symbol");
    ASSERT_EQ(symbols.size(), 4u);
    EXPECT_EQ(symbols[1]->attributes.at("binding"), "STB_LOCAL");
    EXPECT_EQ(symbols[2]->attributes.at("name"), "main");
    EXPECT_EQ(symbols[2]->attributes.at("type"), "STT_FUNC");
    EXPECT_EQ(symbols[2]->attributes.at("section"), ".text");
    EXPECT_EQ(symbols[3]->attributes.at("section"), "SHN_UNDEF");
}

}  // namespace
