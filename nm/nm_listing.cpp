// Listing one object's symbols: format checks, the table, filters, the sort and the short form.
#include "nm/nm_listing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "DIAG/user_msg_api.h"
#include "nm/nm_longform.h"
#include "nm/nm_tool.h"
#include "ofe/coff/qxcoff_symbol.h"
#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_dynamic.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_segment.h"
#include "ofe/object_file.h"
#include "ofe/of_section.h"
#include "ofe/of_symbol.h"
#include "options/GENERATED_nmkite_MSYS/optobj.h"
#include "util/pfile.h"

using namespace OFE;

namespace {

// Kept for the whole run: the list is emptied, not freed, between objects.
std::vector<OF_SYMBOL*> symbol_list;
bool warned_debug = false;
bool warned_cnull = false;
bool warned_tag_info = false;
bool longform_header_printed = false;

const char* shown_name(const OF_SYMBOL* s) { return s->name() ? s->name() : ""; }

bool by_name(const OF_SYMBOL* a, const OF_SYMBOL* b) { return std::strcmp(shown_name(a), shown_name(b)) < 0; }
bool by_name_reversed(const OF_SYMBOL* a, const OF_SYMBOL* b) { return by_name(b, a); }
bool by_value(const OF_SYMBOL* a, const OF_SYMBOL* b) { return a->value() < b->value(); }
bool by_value_reversed(const OF_SYMBOL* a, const OF_SYMBOL* b) { return b->value() < a->value(); }

// The name given at open, else the input's own name, else "(unknown file)".
const char* object_name(const OBJECT_FILE& object) {
    if (object.name()) return object.name();
    const char* handle_name = pfname(object.info().handle);
    return *handle_name ? handle_name : "(unknown file)";
}

// False when a format check ends the listing (after its warning).
bool format_allows(OBJECT_FILE* object, const NM_OPTIONS& o) {
    const char* name = object_name(*object);
    if (object->format() == OF_FORMAT_QXCOFF) {
        if (o.dynamic_symbols) {
            user_msg_warning(user_msg_context(), "Cannot access dynamic symbol table.  \"%s\" is not an ELF file.",
                             name);
            return false;
        }
        return true;
    }
    auto warn_once = [](bool asked, bool& given, const char* text) {
        if (asked && !given) {
            user_msg_warning(user_msg_context(), "%s", text);
            given = true;
        }
    };
    warn_once(o.debug_symbols, warned_debug, "Cannot dump debug symbols from an ELF file");
    warn_once(o.cnull_symbols, warned_cnull, "Cannot dump cnull symbols from an ELF file");
    warn_once(o.tag_info_symbols, warned_tag_info, "Cannot dump tag info symbols from an ELF file");
    if (o.dynamic_symbols && object->file_type() != OF_FILE_EXECUTABLE && object->file_type() != OF_FILE_SHARED) {
        user_msg_warning(user_msg_context(),
                         "Cannot access dynamic symbol table. \"%s\" is not an executable or shared object.", name);
        return false;
    }
    return true;
}

OF_SYMBOL_TABLE* choose_table(OBJECT_FILE* object, const NM_OPTIONS& o) {
    if (!o.dynamic_symbols) return object->symbol_table();
    auto* elf = static_cast<ELF_FILE*>(object);
    if (!elf->segment_table()->find_by_type(ELF::PT_DYNAMIC)) return nullptr;
    ELF_DYNAMIC_DB* db = elf->dynamic_db();
    return db ? db->dynamic_symbol_table() : nullptr;
}

// QXCOFF storage classes that only the inclusion options list.
bool is_debug_class(uint32_t c) { return c == 100 || c == 101 || c == 103 || c == 104; }

bool is_tag_class(uint32_t c) {
    switch (c) {
    case 8: case 10: case 11: case 12: case 13: case 15: case 16:
    case 102: case 107: case 108: case 109: case 110: return true;
    default: return false;
    }
}

bool passes_filters(OF_SYMBOL* s, const NM_OPTIONS& o) {
    if (o.undefined_only && s->kind() != OF_SYM_UNDEFINED) return false;
    if (o.globals_only && s->binding() != OF_BIND_GLOBAL && s->binding() != OF_BIND_WEAK) return false;
    if (const QXCOFF_SYMBOL* q = as_qxcoff_symbol(s)) {
        const uint32_t c = q->storage_class();
        if (c == 0 && !o.cnull_symbols) return false;
        if (is_debug_class(c) && !o.debug_symbols) return false;
        if (is_tag_class(c) && !o.tag_info_symbols) return false;
    }
    return true;
}

// Short-form lines are gathered and written in large blocks: the same bytes as "%08x %c %s\n" (after
// "%s: " when file names are prepended) without a formatted print per line.
class SHORT_FORM_WRITER {
public:
    explicit SHORT_FORM_WRITER(FILE* out) : out_(out) {}
    SHORT_FORM_WRITER(const SHORT_FORM_WRITER&) = delete;
    SHORT_FORM_WRITER& operator=(const SHORT_FORM_WRITER&) = delete;
    ~SHORT_FORM_WRITER() { flush(); }

    void line(const OF_SYMBOL* s, const char* name, const NM_OPTIONS& o) {
        if (o.prepend_file_name) {
            buffer_ += name;
            buffer_ += ": ";
        }
        static const char digits[] = "0123456789abcdef";
        char head[11];
        const uint32_t value = s->value();
        for (int i = 0; i < 8; ++i) head[i] = digits[(value >> (28 - 4 * i)) & 15];
        head[8] = ' ';
        head[9] = symbol_letter(*s);
        head[10] = ' ';
        buffer_.append(head, sizeof head);
        buffer_ += shown_name(s);
        buffer_ += '\n';
        if (buffer_.size() >= block) flush();
    }

private:
    static constexpr size_t block = 1 << 16;
    void flush() {
        if (!buffer_.empty()) std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
        buffer_.clear();
    }
    FILE* out_;
    std::string buffer_;
};

}  // namespace

NM_OPTIONS take_option_snapshot(OPT_STATE* state) {
    NM_OPTIONS o;
    o.prepend_file_name = opt_is_set(state, nmkite_opt::prepend_file_name);
    o.globals_only = opt_is_set(state, nmkite_opt::globals_only);
    o.undefined_only = opt_is_set(state, nmkite_opt::undefined_only);
    o.long_form = opt_is_set(state, nmkite_opt::long_form);
    o.dynamic_symbols = opt_is_set(state, nmkite_opt::dynamic_symbols);
    o.cnull_symbols = opt_is_set(state, nmkite_opt::cnull_symbols);
    o.debug_symbols = opt_is_set(state, nmkite_opt::debug_symbols);
    o.tag_info_symbols = opt_is_set(state, nmkite_opt::tag_info_symbols);
    o.all_symbols = opt_is_set(state, nmkite_opt::all_symbols);
    o.no_sort = opt_is_set(state, nmkite_opt::no_sort);
    o.reverse_sort = opt_is_set(state, nmkite_opt::reverse_sort);
    o.sort_by_value = opt_is_set(state, nmkite_opt::sort_by_value);
    return o;
}

char symbol_letter(const OF_SYMBOL& s) {
    const uint32_t binding = s.binding();
    const bool global = binding == OF_BIND_GLOBAL || binding == OF_BIND_WEAK;
    const uint32_t kind = s.kind();
    if (binding == OF_BIND_WEAK) return kind == OF_SYM_DEFINED ? 'W' : 'w';
    char letter = '?';
    switch (kind) {
    case OF_SYM_UNDEFINED: letter = 'U'; break;
    case OF_SYM_DEFINED: {
        const OF_SECTION* section = s.section();
        if (!section) return '?';
        if (section->is_code())
            letter = 'T';
        else if (section->is_data())
            letter = 'D';
        else if (section->is_bss())
            letter = 'B';
        else
            return '?';
        break;
    }
    case OF_SYM_ABSOLUTE: letter = 'A'; break;
    case OF_SYM_COMMON: letter = 'C'; break;
    case OF_SYM_DEBUG: return s.type() == OF_TYPE_FILE ? 'f' : '-';
    default: return '?';
    }
    return global ? letter : static_cast<char>(letter + 32);
}

void dump_symbols(OBJECT_FILE* object, PFILE* output, const char* name) {
    NM_OPTIONS o = take_option_snapshot(nm_tool().options);
    if (!format_allows(object, o)) return;
    if (o.all_symbols) o.cnull_symbols = o.debug_symbols = o.tag_info_symbols = true;
    OF_SYMBOL_TABLE* table = choose_table(object, o);
    if (!table || table->count() == 0) return;
    symbol_list.clear();
    FILE* out = pffile(output);
    if (o.long_form && !longform_header_printed) {
        print_longform_header(out, *object, o.prepend_file_name);
        longform_header_printed = true;
    }
    for (uint32_t i = 0; i < table->count(); i = table->next_index(i)) {
        OF_SYMBOL* s = table->symbol_at(i);
        if (s && passes_filters(s, o)) symbol_list.push_back(s);
    }
    if (!o.no_sort) {
        auto order = o.sort_by_value ? (o.reverse_sort ? by_value_reversed : by_value)
                                     : (o.reverse_sort ? by_name_reversed : by_name);
        std::sort(symbol_list.begin(), symbol_list.end(), order);
    }
    if (o.long_form) {
        for (const OF_SYMBOL* s : symbol_list) dump_one_sym_longform(out, *s, name, o.prepend_file_name);
        return;
    }
    SHORT_FORM_WRITER writer(out);
    for (const OF_SYMBOL* s : symbol_list) writer.line(s, name, o);
}
