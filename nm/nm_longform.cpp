// The long-form listing's header and rows.
#include "nm/nm_longform.h"

#include <string>

#include "DIAG/user_msg_api.h"
#include "ofe/coff/qxcoff_names.h"
#include "ofe/coff/qxcoff_symbol.h"
#include "ofe/elf/elf_symbol.h"
#include "ofe/object_file.h"
#include "ofe/of_section.h"
#include "ofe/of_symbol.h"

using namespace OFE;

namespace {

const char* binding_text(uint32_t binding) {
    static const char* const names[] = {"LOCL", "GLOB", "WEAK"};
    return binding >= 1 && binding <= 3 ? names[binding - 1] : "UNKN";
}

const char* type_text(uint32_t type) {
    static const char* const names[] = {"NONE", "OBJT", "FUNC", "SECT", "FILE", "COMN"};
    return type < 6 ? names[type] : "UNKN";
}

const char* visibility_text(uint32_t visibility) {
    static const char* const names[] = {"DFLT", "INTN", "HIDN", "PROT"};
    return names[visibility & 3];
}

const OBJECT_FILE& object_of(const OF_SYMBOL& s) { return *s.table()->file(); }

}  // namespace

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

void dump_one_sym_longform(FILE* out, const OF_SYMBOL& s, const char* name, bool prepend_file_name) {
    const bool qxcoff = object_of(s).format() == OF_FORMAT_QXCOFF;
    if (prepend_file_name) std::fprintf(out, "%-15s|", std::string(name ? name : "").substr(0, 15).c_str());
    const std::string index = "[" + std::to_string(static_cast<int32_t>(s.index())) + "]";
    std::fprintf(out, "%-8s|", index.c_str());
    std::fprintf(out, "0x%08x|", s.value());
    if (qxcoff) {
        const QXCOFF_SYMBOL* q = as_qxcoff_symbol(&s);
        std::fprintf(out, "%-8s|", qxcoff_storage_class_name(q ? q->storage_class() : 0xFFFFFFFFu));
    } else {
        const ELF_SYMBOL* elf = as_elf_symbol(&s);
        std::fprintf(out, "%u|", s.size());
        std::fprintf(out, "%-5s|%-5s|%-5s|", binding_text(s.binding()), type_text(s.type()),
                     elf ? visibility_text(elf->visibility()) : "");
    }
    switch (s.kind()) {
    case OF_SYM_UNDEFINED: std::fputs(qxcoff ? "UNDEFINED EXTERNAL |" : "UNDEF |", out); break;
    case OF_SYM_DEFINED:
        if (qxcoff) {
            const OF_SECTION* section = s.section();
            const char* section_name = section && section->name() ? section->name() : "";
            std::fprintf(out, "%-19s|", std::string(section_name).substr(0, 19).c_str());
        } else {
            const OF_SECTION* section = s.section();
            std::fprintf(out, "%-6u|", section ? section->section_id() : s.section_index());
        }
        break;
    case OF_SYM_ABSOLUTE: std::fputs(qxcoff ? "ABSOLUTE           |" : "ABS   |", out); break;
    case OF_SYM_COMMON: std::fputs(qxcoff ? "COMMON             |" : "COMN  |", out); break;
    case OF_SYM_DEBUG: std::fputs(qxcoff ? "SYMBOLIC DEBUG     |" : "DBG   |", out); break;
    default:
        user_msg_apperror(DIAG::user_msg_context(), "dump_one_sym_longform: unknown symbol kind (%d)",
                          static_cast<int>(s.kind()));
        break;
    }
    std::fprintf(out, "%s\n", s.name() ? s.name() : "");
}
