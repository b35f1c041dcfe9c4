// The XML writer of the object-file descriptions.
#include "ofe/of_xml_writer.h"

#include "ofe/of_text_table.h"

namespace OFE {

OF_XML_WRITER::OF_XML_WRITER(FILE* out) : out_(out) { std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", out_); }

OF_XML_WRITER::~OF_XML_WRITER() {
    while (!open_.empty()) close();
}

void OF_XML_WRITER::indent() {
    for (size_t i = 0; i < open_.size(); ++i) std::fputs("  ", out_);
}

void OF_XML_WRITER::finish_start_tag(bool has_content) {
    if (!start_tag_open_) return;
    std::fputs(has_content ? ">\n" : "/>\n", out_);
    start_tag_open_ = false;
}

OF_XML_WRITER& OF_XML_WRITER::open(const char* element) {
    finish_start_tag(true);
    indent();
    std::fprintf(out_, "<%s", element);
    open_.emplace_back(element);
    start_tag_open_ = true;
    return *this;
}

OF_XML_WRITER& OF_XML_WRITER::attribute(const char* name, std::string_view value) {
    if (start_tag_open_) std::fprintf(out_, " %s=\"%s\"", name, escape(value).c_str());
    return *this;
}

OF_XML_WRITER& OF_XML_WRITER::attribute(const char* name, uint32_t value) {
    return attribute(name, text_of("%u", value));
}

OF_XML_WRITER& OF_XML_WRITER::attribute_hex(const char* name, uint64_t value) {
    return attribute(name, text_of("0x%08llx", static_cast<unsigned long long>(value)));
}

void OF_XML_WRITER::close() {
    if (open_.empty()) return;
    if (start_tag_open_) {
        finish_start_tag(false);
        open_.pop_back();
        return;
    }
    const std::string element = std::move(open_.back());
    open_.pop_back();
    indent();
    std::fprintf(out_, "</%s>\n", element.c_str());
}

void OF_XML_WRITER::element(const char* element, std::string_view text) {
    finish_start_tag(true);
    indent();
    std::fprintf(out_, "<%s>%s</%s>\n", element, escape(text).c_str(), element);
}

void OF_XML_WRITER::element(const char* element, uint32_t value) { this->element(element, text_of("%u", value)); }

void OF_XML_WRITER::element_hex(const char* element, uint32_t value) {
    this->element(element, text_of("0x%08x", value));
}

namespace {

// The length of the valid UTF-8 sequence at `s`, or 0 when it is not one.
size_t utf8_length(std::string_view s) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(0);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || n > s.size() || (n == 2 && c < 0xC2) || c > 0xF4) return 0;
    for (size_t i = 1; i < n; ++i)
        if ((b(i) >> 6) != 2) return 0;
    if (n == 3 && ((c == 0xE0 && b(1) < 0xA0) || (c == 0xED && b(1) >= 0xA0))) return 0;  // overlong, surrogate
    if (n == 4 && ((c == 0xF0 && b(1) < 0x90) || (c == 0xF4 && b(1) >= 0x90))) return 0;
    return n;
}

}  // namespace

std::string OF_XML_WRITER::escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '&': out += "&amp;"; ++i; continue;
        case '<': out += "&lt;"; ++i; continue;
        case '>': out += "&gt;"; ++i; continue;
        case '"': out += "&quot;"; ++i; continue;
        case '\'': out += "&apos;"; ++i; continue;
        case '\\': out += "\\\\"; ++i; continue;
        default: break;
        }
        const size_t n = (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F ? 0 : utf8_length(text.substr(i));
        if (n == 0) {
            out += text_of("\\x%02X", c);
            ++i;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

}  // namespace OFE
