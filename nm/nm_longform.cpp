// The long-form listing's header, the fields a row keeps, and the rows.
#include "nm/nm_longform.h"

#include <algorithm>

#include "DIAG/user_msg_api.h"
#include "ofe/coff/qxcoff_names.h"
#include "ofe/coff/qxcoff_symbol.h"
#include "ofe/elf/elf_symbol.h"
#include "ofe/object_file.h"
#include "ofe/of_section.h"
#include "ofe/of_symbol.h"

using namespace OFE;

namespace {

// The texts of the ELF columns; the last of the binding and type texts stands for any other value.
const char* const binding_texts[] = {"LOCL", "GLOB", "WEAK", "UNKN"};
const char* const type_texts[] = {"NONE", "OBJT", "FUNC", "SECT", "FILE", "COMN", "UNKN"};
const char* const visibility_texts[] = {"DFLT", "INTN", "HIDN", "PROT"};

constexpr size_t block = 1 << 16;

void append_decimal(std::string& out, uint32_t value) {
    char digits[10];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) out += digits[--n];
}

}  // namespace

NM_LONG_FIELDS long_fields(const OF_SYMBOL& s, bool qxcoff) {
    NM_LONG_FIELDS f{};
    f.index = static_cast<int32_t>(s.index());
    f.kind = s.kind();
    if (qxcoff) {
        const QXCOFF_SYMBOL* q = as_qxcoff_symbol(&s);
        f.storage_class = q ? q->storage_class() : 0xFFFFFFFFu;
    } else {
        f.size = s.size();
        const uint32_t binding = s.binding();
        f.binding = static_cast<uint8_t>(binding >= 1 && binding <= 3 ? binding - 1 : 3);
        f.type = static_cast<uint8_t>(std::min<uint32_t>(s.type(), 6));
        const ELF_SYMBOL* elf = as_elf_symbol(&s);
        f.visibility = static_cast<uint8_t>(elf ? elf->visibility() & 3 : 0);
    }
    if (f.kind == OF_SYM_DEFINED) {
        f.has_section = s.has_section();
        f.section_index = s.section_index();
    }
    return f;
}

void print_longform_header(FILE* out, const OBJECT_FILE& object, bool prepend_file_name) {
    std::fputc('\n', out);
    if (prepend_file_name) std::fprintf(out, "%-15s ", "file");
    std::fprintf(out, "%-8s ", "[index]");
    std::fprintf(out, "%-10s ", "value");
    if (object.format() == OF_FORMAT_QXCOFF) {
        std::fprintf(out, "%-8s ", "sclass");
        std::fprintf(out, "%-19s ", "section name");
    } else {
        std::fprintf(out, "%-5s %-5s %-5s %-5s ", "size", "bind", "type", "vis");
        std::fprintf(out, "%-6s ", "shndx");
    }
    std::fprintf(out, "%s ", "symbol name");
    std::fputs("\n\n", out);
}

LONG_FORM_WRITER::LONG_FORM_WRITER(FILE* out, OBJECT_FILE& object, const char* name, bool prepend_file_name)
    : out_(out), qxcoff_(object.format() == OF_FORMAT_QXCOFF), sections_(object.section_table()) {
    if (prepend_file_name) {
        // "%-15s|" with the name cut to its first 15 characters.
        file_column_.assign(name ? name : "", 0, 15);
        file_column_.resize(15, ' ');
        file_column_ += '|';
    }
    buffer_.reserve(block + 256);
}

void LONG_FORM_WRITER::flush() {
    if (!buffer_.empty()) std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
    buffer_.clear();
}

void LONG_FORM_WRITER::pad(size_t from, size_t width) {
    if (buffer_.size() - from < width) buffer_.append(width - (buffer_.size() - from), ' ');
}

const OF_SECTION* LONG_FORM_WRITER::section_at(uint32_t index) {
    if (index < sections_seen_.size() && sections_seen_[index]) return sections_seen_[index];
    // Looking a section up for the first time may report a problem of the file: what is gathered goes
    // out first, as it would have row by row. A section found once is found again without a report.
    flush();
    const OF_SECTION* section = sections_ ? sections_->section_at(index) : nullptr;
    if (section && index < (size_t{1} << 16)) {
        if (sections_seen_.size() <= index) sections_seen_.resize(size_t{index} + 1, nullptr);
        sections_seen_[index] = section;
    }
    return section;
}

void LONG_FORM_WRITER::dump_one_sym_longform(const NM_LONG_FIELDS& f, const NM_LISTED& symbol) {
    buffer_ += file_column_;
    // "[%d]" in "%-8s|".
    size_t from = buffer_.size();
    buffer_ += '[';
    if (f.index < 0) {
        buffer_ += '-';
        append_decimal(buffer_, 0u - static_cast<uint32_t>(f.index));
    } else {
        append_decimal(buffer_, static_cast<uint32_t>(f.index));
    }
    buffer_ += ']';
    pad(from, 8);
    // "0x%08x|".
    static const char hex[] = "0123456789abcdef";
    char value[12] = {'|', '0', 'x'};
    for (int i = 0; i < 8; ++i) value[3 + i] = hex[(symbol.value >> (28 - 4 * i)) & 15];
    value[11] = '|';
    buffer_.append(value, sizeof value);
    if (qxcoff_) {
        from = buffer_.size();
        buffer_ += qxcoff_storage_class_name(f.storage_class);
        pad(from, 8);
        buffer_ += '|';
    } else {
        // "%u|", then the three texts, all four characters long, in "%-5s|".
        append_decimal(buffer_, f.size);
        buffer_ += '|';
        buffer_.append(binding_texts[f.binding], 4).append(" |", 2);
        buffer_.append(type_texts[f.type], 4).append(" |", 2);
        buffer_.append(visibility_texts[f.visibility], 4).append(" |", 2);
    }
    switch (f.kind) {
    case OF_SYM_UNDEFINED: buffer_ += qxcoff_ ? "UNDEFINED EXTERNAL |" : "UNDEF |"; break;
    case OF_SYM_DEFINED: {
        const OF_SECTION* section = f.has_section ? section_at(f.section_index) : nullptr;
        from = buffer_.size();
        if (qxcoff_) {
            // "%-19s|" with the name cut to 19 characters.
            const char* name = section && section->name() ? section->name() : "";
            size_t length = 0;
            while (length < 19 && name[length] != 0) ++length;
            buffer_.append(name, length);
            pad(from, 19);
        } else {
            append_decimal(buffer_, section ? section->section_id() : f.section_index);
            pad(from, 6);
        }
        buffer_ += '|';
        break;
    }
    case OF_SYM_ABSOLUTE: buffer_ += qxcoff_ ? "ABSOLUTE           |" : "ABS   |"; break;
    case OF_SYM_COMMON: buffer_ += qxcoff_ ? "COMMON             |" : "COMN  |"; break;
    case OF_SYM_DEBUG: buffer_ += qxcoff_ ? "SYMBOLIC DEBUG     |" : "DBG   |"; break;
    default:
        flush();
        user_msg_apperror(DIAG::user_msg_context(), "dump_one_sym_longform: unknown symbol kind (%d)",
                          static_cast<int>(f.kind));
        break;
    }
    buffer_.append(symbol.name, symbol.length);
    buffer_ += '\n';
    if (buffer_.size() >= block) flush();
}
