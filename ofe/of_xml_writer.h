// OF_XML_WRITER: writes a well-formed XML document, one element per line, indented by nesting.
//
// Texts and attribute values are escaped; bytes that XML 1.0 cannot carry (control characters other than
// tab, line feed and carriage return, and bytes that are not valid UTF-8) are written as "\xHH" escapes,
// so any name an object file holds gives a document every parser accepts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace OFE {

class OF_XML_WRITER {
public:
    // Writes the XML declaration.
    explicit OF_XML_WRITER(FILE* out);
    // Closes every element still open.
    ~OF_XML_WRITER();
    OF_XML_WRITER(const OF_XML_WRITER&) = delete;
    OF_XML_WRITER& operator=(const OF_XML_WRITER&) = delete;

    // Opens an element; attributes may be added until the first child or text.
    OF_XML_WRITER& open(const char* element);
    OF_XML_WRITER& attribute(const char* name, std::string_view value);
    OF_XML_WRITER& attribute(const char* name, uint32_t value);
    // An attribute in hexadecimal, "0x%08x".
    OF_XML_WRITER& attribute_hex(const char* name, uint64_t value);
    void close();
    // <element>text</element>
    void element(const char* element, std::string_view text);
    void element(const char* element, uint32_t value);
    void element_hex(const char* element, uint32_t value);

    // The text escaped for XML content and attribute values.
    static std::string escape(std::string_view text);

private:
    void finish_start_tag(bool has_content);
    void indent();

    FILE* out_;
    std::vector<std::string> open_;
    bool start_tag_open_ = false;
};

}  // namespace OFE
