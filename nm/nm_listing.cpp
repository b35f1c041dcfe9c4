// Listing one object's symbols: format checks, the table, filters, the sort and the short form.
#include "nm/nm_listing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "DIAG/user_msg_api.h"
#include "nm/nm_longform.h"
#include "nm/nm_sort.h"
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
#include "util/large_array.h"
#include "util/pfile.h"

using namespace OFE;

namespace {

// Kept for the whole run: the lists are emptied, not freed, between objects. `listed` holds what the sort
// and the short form need of each listed symbol, `letters` its letter, `symbol_list` the symbols themselves
// for the long form, and `order` the sorted positions.
std::vector<OF_SYMBOL*> symbol_list;
LARGE_ARRAY<NM_LISTED> listed;
LARGE_ARRAY<char> letters;
LARGE_ARRAY<uint32_t> order;
bool warned_debug = false;
bool warned_cnull = false;
bool warned_tag_info = false;
bool longform_header_printed = false;

// Copies of the names that live in their symbol objects, which the short form drops once it has read them.
class NAME_STORE {
public:
    const char* keep(const char* text, size_t length) {
        if (blocks_.empty() || length + 1 > block_size - used_) {
            blocks_.push_back(std::make_unique<char[]>(std::max(block_size, length + 1)));
            used_ = 0;
        }
        char* copy = blocks_.back().get() + used_;
        std::memcpy(copy, text, length);
        copy[length] = 0;
        used_ += length + 1;
        return copy;
    }
    void clear() {
        blocks_.clear();
        used_ = 0;
    }

private:
    static constexpr size_t block_size = 1 << 16;
    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t used_ = 0;
};
NAME_STORE name_store;

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
    explicit SHORT_FORM_WRITER(FILE* out) : out_(out) { buffer_.reserve(block + 64); }
    SHORT_FORM_WRITER(const SHORT_FORM_WRITER&) = delete;
    SHORT_FORM_WRITER& operator=(const SHORT_FORM_WRITER&) = delete;
    ~SHORT_FORM_WRITER() { flush(); }

    void line(const char* prefix, size_t prefix_length, uint32_t value, char letter, const NM_LISTED& symbol) {
        if (prefix) {
            buffer_.append(prefix, prefix_length);
            buffer_.append(": ", 2);
        }
        static const char digits[] = "0123456789abcdef";
        char head[11];
        for (int i = 0; i < 8; ++i) head[i] = digits[(value >> (28 - 4 * i)) & 15];
        head[8] = ' ';
        head[9] = letter;
        head[10] = ' ';
        buffer_.append(head, sizeof head);
        buffer_.append(symbol.name, symbol.length);
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

// Takes what the sort and the listing need of a symbol that passed the filters.
void keep(OF_SYMBOL* s, bool keep_object) {
    const char* name = s->name() ? s->name() : "";
    const size_t length = std::strlen(name);
    if (!keep_object && !s->name_outlives_symbol()) name = name_store.keep(name, length);
    listed.push_back({name, static_cast<uint32_t>(length), s->value()});
    if (keep_object)
        symbol_list.push_back(s);
    else
        letters.push_back(symbol_letter(*s));
}

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

void reset_listing_state() {
    warned_debug = warned_cnull = warned_tag_info = false;
    longform_header_printed = false;
}

void dump_symbols(OBJECT_FILE* object, PFILE* output, const char* name) {
    NM_OPTIONS o = take_option_snapshot(nm_tool().options);
    if (!format_allows(object, o)) return;
    if (o.all_symbols) o.cnull_symbols = o.debug_symbols = o.tag_info_symbols = true;
    OF_SYMBOL_TABLE* table = choose_table(object, o);
    if (!table || table->count() == 0) return;
    symbol_list.clear();
    listed.clear();
    letters.clear();
    name_store.clear();
    FILE* out = pffile(output);
    if (o.long_form && !longform_header_printed) {
        print_longform_header(out, *object, o.prepend_file_name);
        longform_header_printed = true;
    }
    // The short form keeps only what it prints of each symbol, so every symbol object goes back to its
    // table's pool as soon as it has been read; the long form keeps the symbols themselves.
    const bool keep_objects = o.long_form;
    // The count is what the object's bytes hold, so it may size the lists.
    listed.reserve(table->count());
    if (keep_objects)
        symbol_list.reserve(table->count());
    else
        letters.reserve(table->count());
    for (uint32_t i = 0; i < table->count();) {
        OF_SYMBOL* s = table->symbol_at(i);
        const uint32_t next = table->next_index(i);
        if (s && passes_filters(s, o)) keep(s, keep_objects);
        if (s && !keep_objects) table->drop_symbol(i);
        i = next;
    }
    order.resize(listed.size());
    if (o.no_sort) {
        for (uint32_t k = 0; k < order.size(); ++k) order[k] = k;
    } else if (o.sort_by_value) {
        order_by_value(listed.data(), listed.size(), o.reverse_sort, order.data());
    } else {
        order_by_name(listed.data(), listed.size(), o.reverse_sort, order.data());
    }
    if (o.long_form) {
        for (uint32_t k : order) dump_one_sym_longform(out, *symbol_list[k], name, o.prepend_file_name);
        return;
    }
    SHORT_FORM_WRITER writer(out);
    const size_t name_length = o.prepend_file_name ? std::strlen(name) : 0;
    for (uint32_t k : order)
        writer.line(o.prepend_file_name ? name : nullptr, name_length, listed[k].value, letters[k], listed[k]);
}
