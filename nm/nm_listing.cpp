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
#include "ofe/coff/qxcoff_defs.h"
#include "ofe/coff/qxcoff_symbol.h"
#include "ofe/elf/elf_dynamic.h"
#include "ofe/elf/elf_file.h"
#include "ofe/object_file.h"
#include "ofe/of_section.h"
#include "ofe/of_symbol.h"
#include "options/GENERATED_nmkite_MSYS/optobj.h"
#include "util/large_array.h"
#include "util/platform.h"
#include "util/pfile.h"

using namespace OFE;

namespace {


// The name given at open, else the input's own name, else "(unknown file)".
const char* object_name(const OBJECT_FILE& object) {
    if (object.name()) return object.name();
    const char* handle_name = pfname(object.info().handle);
    return *handle_name ? handle_name : "(unknown file)";
}

// False when a format check ends the listing (after its warning).
bool format_allows(OBJECT_FILE* object, NM_LISTING& listing) {
    const NM_OPTIONS& o = listing.options;
    const char* name = object_name(*object);
    if (object->format() == OF_FORMAT_QXCOFF) {
        if (o.dynamic_symbols) {
            user_msg_warning(DIAG::user_msg_context(), "Cannot access dynamic symbol table.  \"%s\" is not an ELF file.",
                             name);
            return false;
        }
        return true;
    }
    auto warn_once = [](bool asked, bool& given, const char* text) {
        if (asked && !given) {
            user_msg_warning(DIAG::user_msg_context(), "%s", text);
            given = true;
        }
    };
    warn_once(o.debug_symbols, listing.warned_debug, "Cannot dump debug symbols from an ELF file");
    warn_once(o.cnull_symbols, listing.warned_cnull, "Cannot dump cnull symbols from an ELF file");
    warn_once(o.tag_info_symbols, listing.warned_tag_info, "Cannot dump tag info symbols from an ELF file");
    if (o.dynamic_symbols && object->file_type() != OF_FILE_EXECUTABLE && object->file_type() != OF_FILE_SHARED) {
        user_msg_warning(DIAG::user_msg_context(),
                         "Cannot access dynamic symbol table. \"%s\" is not an executable or shared object.", name);
        return false;
    }
    return true;
}

OF_SYMBOL_TABLE* choose_table(OBJECT_FILE* object, const NM_OPTIONS& o) {
    if (!o.dynamic_symbols) return object->symbol_table();
    ELF_FILE* elf = as_elf_file(object);
    if (!elf || !elf->has_dynamic_segment()) return nullptr;
    ELF_DYNAMIC_DB* db = elf->dynamic_db();
    return db ? db->dynamic_symbol_table() : nullptr;
}

// QXCOFF storage classes that only the inclusion options list: debugging symbols, and tag information.
bool is_debug_class(uint32_t c) {
    using namespace QXCOFF;
    return c == C_BLOCK || c == C_FCN || c == C_FILE || c == C_LINE;
}

bool is_tag_class(uint32_t c) {
    using namespace QXCOFF;
    switch (c) {
    case C_MOS: case C_STRTAG: case C_MOU: case C_UNTAG: case C_TPDEF: case C_ENTAG: case C_MOE:
    case C_EOS: case C_GRPTAG: case C_SMOG: case C_EMOG: case C_EOG: return true;
    default: return false;
    }
}

// `qxcoff`: the symbol's file is a QXCOFF file, whose storage classes the inclusion options look at.
bool passes_filters(OF_SYMBOL* s, const NM_OPTIONS& o, bool qxcoff) {
    if (o.undefined_only && s->kind() != OF_SYM_UNDEFINED) return false;
    if (o.globals_only && s->binding() != OF_BIND_GLOBAL && s->binding() != OF_BIND_WEAK) return false;
    if (const QXCOFF_SYMBOL* q = qxcoff ? as_qxcoff_symbol(s) : nullptr) {
        const uint32_t c = q->storage_class();
        if (c == QXCOFF::C_NULL && !o.cnull_symbols) return false;
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

// Takes what the sort and the listing need of a symbol that passed the filters, so that the symbol object
// can go.
void keep(NM_LISTING& listing, OF_SYMBOL* s, bool qxcoff) {
    const char* name = s->name() ? s->name() : "";
    const size_t length = std::strlen(name);
    if (!s->name_outlives_symbol()) name = listing.names.keep(name, length);
    listing.listed.push_back({name, static_cast<uint32_t>(length), s->value()});
    if (listing.options.long_form)
        listing.long_rows.push_back(long_fields(*s, qxcoff));
    else
        listing.letters.push_back(symbol_letter(*s));
}

}  // namespace

const char* NM_NAME_STORE::keep(const char* text, size_t length) {
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

void NM_NAME_STORE::clear() {
    blocks_.clear();
    used_ = 0;
}

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

void dump_symbols(OBJECT_FILE* object, NM_LISTING& listing, const char* name) {
    if (!format_allows(object, listing)) return;
    NM_OPTIONS o = listing.options;
    if (o.all_symbols) o.cnull_symbols = o.debug_symbols = o.tag_info_symbols = true;
    OF_SYMBOL_TABLE* table = choose_table(object, o);
    if (!table || table->count() == 0) return;
    LARGE_ARRAY<NM_LISTED>& listed = listing.listed;
    LARGE_ARRAY<char>& letters = listing.letters;
    LARGE_ARRAY<NM_LONG_FIELDS>& long_rows = listing.long_rows;
    LARGE_ARRAY<uint32_t>& order = listing.order;
    listed.clear();
    letters.clear();
    long_rows.clear();
    listing.names.clear();
    FILE* out = pffile(listing.output);
    if (o.long_form && !listing.longform_header_printed) {
        print_longform_header(out, *object, o.prepend_file_name);
        listing.longform_header_printed = true;
    }
    // Both forms keep only what they print of each symbol, so every symbol object goes back to its
    // table's pool as soon as it has been read.
    const bool qxcoff = object->format() == OF_FORMAT_QXCOFF;
    // The count is what the object's bytes hold, so it may size the lists.
    listed.reserve(table->count());
    if (o.long_form)
        long_rows.reserve(table->count());
    else
        letters.reserve(table->count());
    for (uint32_t i = 0; i < table->count();) {
        OF_SYMBOL* s = table->symbol_at(i);
        const uint32_t next = table->next_index(i);
        if (s && passes_filters(s, o, qxcoff)) keep(listing, s, qxcoff);
        if (s) table->drop_symbol(i);
        i = next;
    }
    order.resize(listed.size());
    if (o.no_sort) {
        for (uint32_t k = 0; k < order.size(); ++k) order[k] = k;
    } else if (o.sort_by_value) {
        order_by_value(listing.sort_space, listed.data(), listed.size(), o.reverse_sort, order.data());
    } else {
        order_by_name(listing.sort_space, listed.data(), listed.size(), o.reverse_sort, order.data());
    }
    // The lines go through the lists and the names in sorted order, that is anywhere: what a line prints
    // is asked for ahead of its turn (these hints stay in the loops, where the compiler keeps them).
    const size_t n = order.size();
    if (o.long_form) {
        LONG_FORM_WRITER writer(out, *object, name, o.prepend_file_name);
        for (size_t i = 0; i < n; ++i) {
            if (i + 16 < n) {
                platform_prefetch(&listed[order[i + 16]]);
                platform_prefetch(&long_rows[order[i + 16]]);
            }
            if (i + 8 < n) {
                const NM_LISTED& ahead = listed[order[i + 8]];
                platform_prefetch(ahead.name);
                platform_prefetch(ahead.name + ahead.length);
            }
            writer.dump_one_sym_longform(long_rows[order[i]], listed[order[i]]);
        }
        return;
    }
    SHORT_FORM_WRITER writer(out);
    const size_t name_length = o.prepend_file_name ? std::strlen(name) : 0;
    for (size_t i = 0; i < n; ++i) {
        if (i + 16 < n) {
            platform_prefetch(&listed[order[i + 16]]);
            platform_prefetch(&letters[order[i + 16]]);
        }
        if (i + 8 < n) {
            const NM_LISTED& ahead = listed[order[i + 8]];
            platform_prefetch(ahead.name);
            platform_prefetch(ahead.name + ahead.length);
        }
        const uint32_t k = order[i];
        writer.line(o.prepend_file_name ? name : nullptr, name_length, listed[k].value, letters[k], listed[k]);
    }
}
