// The QXCOFF symbol table on the writing side: adding symbols, renumbering with everything that refers to
// symbols, and the steps of entering "locked".
#include <algorithm>
#include <cstring>
#include <vector>

#include "ofe/coff/qxcoff_defs.h"
#include "ofe/coff/qxcoff_file.h"
#include "ofe/coff/qxcoff_reloc.h"
#include "ofe/coff/qxcoff_string_table.h"
#include "ofe/coff/qxcoff_symbol.h"
#include "ofe/of_build_attr.h"
#include "util/data_map.h"

namespace OFE {

using namespace QXCOFF;

namespace {

bool named(const QXCOFF_SYMBOL* s, const char* name) { return s && s->name() && std::strcmp(s->name(), name) == 0; }

bool first_derived_is_function(const QXCOFF_SYMBOL* s) { return ((s->coff_type() >> N_TSHIFT) & 3u) == DT_FCN; }

// Maps an index an auxiliary entry holds; 0 (none) stays 0, a removed one becomes 0.
uint32_t map_aux_index(uint32_t index, const std::vector<uint32_t>& old_to_new, uint32_t new_count) {
    if (index == 0) return 0;
    if (index == old_to_new.size()) return new_count;  // one past the last entry
    const uint32_t now = index < old_to_new.size() ? old_to_new[index] : OF_SYMBOL_TABLE::REMOVED;
    return now == OF_SYMBOL_TABLE::REMOVED ? 0 : now;
}

}  // namespace

OF_SYMBOL* QXCOFF_SYMBOL_TABLE::add_symbol() { return add_symbol(C_EXT, 0); }

QXCOFF_SYMBOL* QXCOFF_SYMBOL_TABLE::add_symbol(uint8_t storage_class, uint32_t aux_entries) {
    auto* s = static_cast<QXCOFF_SYMBOL*>(OF_SYMBOL_TABLE::add_symbol());
    if (!s) return nullptr;
    aux_entries = std::min<uint32_t>(aux_entries, 0xFF);
    s->entry_.n_sclass = storage_class;
    s->entry_.n_numaux = static_cast<uint8_t>(aux_entries);
    if (aux_entries > 0) {
        s->aux_ = std::make_unique<QXCOFF_AUX>();
        s->aux_->kind = qxcoff_aux_kind(file()->format_version(), storage_class, 0, aux_entries);
        // A new symbol's auxiliary entries start as zeros, whatever the table's old bytes hold there.
        s->aux_bytes_.assign(size_t{aux_entries} * SYMENT::SIZE, 0);
        reserve_entries(aux_entries);
    }
    return s;
}

uint32_t QXCOFF_SYMBOL_TABLE::entries_of(uint32_t index) const {
    const uint32_t next = next_index(index);
    return std::min(next, count()) - index;
}

void QXCOFF_SYMBOL_TABLE::renumber_apply(const std::vector<uint32_t>& old_to_new, uint32_t new_count) {
    QXCOFF_FILE* f = qxcoff_file();
    // Auxiliary entries keep the bytes they had at their old place.
    for (uint32_t i = 0; i < count(); i = next_index(i))
        if (auto* s = static_cast<QXCOFF_SYMBOL*>(symbol_at(i))) s->capture_aux_bytes(f->symbol_data());
    for (uint32_t i = 0; i < count(); i = next_index(i)) {
        auto* s = static_cast<QXCOFF_SYMBOL*>(symbol_at(i));
        QXCOFF_AUX* a = s ? s->aux_for_change() : nullptr;
        if (!a) continue;
        switch (a->kind) {
        case QXCOFF_AUX_END_OF_STRUCT:
        case QXCOFF_AUX_ARRAY:
        case QXCOFF_AUX_TYPED: a->tag_index = map_aux_index(a->tag_index, old_to_new, new_count); break;
        case QXCOFF_AUX_FUNCTION:
            a->tag_index = map_aux_index(a->tag_index, old_to_new, new_count);
            a->next_index = map_aux_index(a->next_index, old_to_new, new_count);
            break;
        case QXCOFF_AUX_TAG:
        case QXCOFF_AUX_BLOCK: a->next_index = map_aux_index(a->next_index, old_to_new, new_count); break;
        default: break;
        }
    }
    QXCOFF_SECTION_TABLE* sections = f->section_table();
    for (uint32_t i = 0; i < sections->count(); ++i) {
        QXCOFF_SECTION* section = sections->qxcoff_section_at(i);
        if (!section) continue;
        section->reloc_table()->renumber_symbols(old_to_new);
        section->lnno_table()->renumber_symbols(old_to_new);
        if (section->is_group() && section->data().size() >= 8) {
            // A group's second word is its signature symbol.
            DATA_MAP& data = section->data();
            data.set_cursor(4);
            const uint32_t old = data.read_u32();
            data.set_cursor(4);
            data.write_u32(old < old_to_new.size() ? old_to_new[old] : REMOVED);
        }
    }
    if (OF_BUILD_ATTR_TABLE* attributes = f->build_attribute_table()) attributes->renumber_symbols(old_to_new);
    OF_SYMBOL_TABLE::renumber_apply(old_to_new, new_count);
}

int32_t QXCOFF_SYMBOL_TABLE::on_progress(int32_t new_state) {
    if (new_state != OF_STATE_LOCKED || effective_state() >= new_state) return 0;
    build_all_symbols();
    remove_null_symbols();
    arrange_groups();
    match_scopes();
    store_names();
    write_images();
    return 0;
}

void QXCOFF_SYMBOL_TABLE::remove_null_symbols() {
    std::vector<uint32_t> order;
    uint32_t removed_until = 0;
    bool removing = false;
    for (uint32_t i = 0; i < count(); i = next_index(i)) {
        const auto* s = static_cast<const QXCOFF_SYMBOL*>(symbol_at(i));
        if (i < removed_until) continue;
        if (s && s->storage_class() == C_NULL) {
            removing = true;
            // A C_NULL entry that stands for a function takes the function's debugging entries with it: up to
            // where its ".bf" entry says the function ends.
            const uint32_t next = next_index(i);
            const auto* bf = next < count() ? static_cast<const QXCOFF_SYMBOL*>(symbol_at(next)) : nullptr;
            if (named(bf, ".bf") && bf->aux() && bf->aux()->next_index > next)
                removed_until = std::min(bf->aux()->next_index, count());
            continue;
        }
        order.push_back(i);
    }
    if (removing) renumber(order);
}

void QXCOFF_SYMBOL_TABLE::arrange_groups() {
    // Locals with the defined functions (whose debugging entries follow them), then the other globals that
    // are not undefined, then the undefined globals; each group keeps the table's order. A global function
    // that is neither defined nor undefined (absolute, say) goes with the second group.
    std::vector<uint32_t> groups[3];
    for (uint32_t i = 0; i < count(); i = next_index(i)) {
        const auto* s = static_cast<const QXCOFF_SYMBOL*>(symbol_at(i));
        if (!s) continue;
        const OF_SYMBOL_KIND kind = s->kind();
        if (s->binding() == OF_BIND_LOCAL || (kind == OF_SYM_DEFINED && first_derived_is_function(s)))
            groups[0].push_back(i);
        else if (s->binding() == OF_BIND_GLOBAL && kind == OF_SYM_UNDEFINED)
            groups[2].push_back(i);
        else
            groups[1].push_back(i);
    }
    std::vector<uint32_t> order = groups[0];
    order.insert(order.end(), groups[1].begin(), groups[1].end());
    order.insert(order.end(), groups[2].begin(), groups[2].end());
    bool moved = false;
    for (uint32_t k = 0, i = 0; k < order.size() && !moved; ++k, i = next_index(i)) moved = order[k] != i;
    if (moved) renumber(order);
}

void QXCOFF_SYMBOL_TABLE::match_scopes() {
    // Each scope points past its closing entry: functions and their ".bf" past ".ef", blocks past ".eb",
    // structures past their end-of-structure entry.
    std::vector<uint32_t> open;
    const auto close = [&](uint32_t index, uint32_t after) {
        if (QXCOFF_AUX* a = static_cast<QXCOFF_SYMBOL*>(symbol_at(index))->aux_for_change()) a->next_index = after;
    };
    const auto unbalanced = [&] {
        file()->report_error(OF_ERR_CORRUPTED,
                             "debug symbols that delimit function and lexical block scopes are not balanced");
    };
    for (uint32_t i = 0; i < count(); i = next_index(i)) {
        auto* s = static_cast<QXCOFF_SYMBOL*>(symbol_at(i));
        if (!s) continue;
        const uint32_t cls = s->storage_class();
        const uint32_t after = next_index(i);
        if (cls == C_FCN && named(s, ".ef")) {
            if (open.size() < 2) return unbalanced();
            close(open.back(), after);
            open.pop_back();
            close(open.back(), after);
            open.pop_back();
        } else if (cls == C_BLOCK && named(s, ".eb")) {
            if (open.empty()) return unbalanced();
            close(open.back(), after);
            open.pop_back();
        } else if (cls == C_EOS) {
            if (open.empty()) return unbalanced();
            auto* tag = static_cast<QXCOFF_SYMBOL*>(symbol_at(open.back()));
            close(open.back(), after);
            open.pop_back();
            // The end of a structure repeats its tag's size and type.
            s->entry_.n_type = tag->entry_.n_type;
            if (s->aux_ && tag->aux()) s->aux_->size = tag->aux()->size;
        } else if ((cls == C_FCN && named(s, ".bf")) || (cls == C_BLOCK && named(s, ".bb")) || cls == C_STRTAG ||
                   cls == C_UNTAG || cls == C_ENTAG) {
            open.push_back(i);
        } else if (cls < 100 && cls != C_EXTREF && cls != C_TPDEF && first_derived_is_function(s)) {
            // A function opens a scope when its debugging entries follow it (a ".bf" next); without them it
            // has nothing to close.
            const auto* next = after < count() ? static_cast<const QXCOFF_SYMBOL*>(symbol_at(after)) : nullptr;
            if ((next && next->storage_class() == C_FCN && named(next, ".bf")) || cls == C_NULL) open.push_back(i);
        }
    }
    if (!open.empty()) unbalanced();
}

void QXCOFF_SYMBOL_TABLE::store_names() {
    QXCOFF_STRING_TABLE* strings = qxcoff_file()->string_table();
    for (uint32_t i = 0; i < count(); i = next_index(i)) {
        auto* s = static_cast<QXCOFF_SYMBOL*>(symbol_at(i));
        if (!s) continue;
        const char* text = s->name() ? s->name() : "";
        const size_t length = std::strlen(text);
        QXCOFF_SYMBOL_ENTRY& e = s->entry_;
        std::memset(e.n_name, 0, sizeof e.n_name);
        e.n_offset = 0;
        if (length >= 1 && length <= SYMENT::NAME_SIZE)
            std::memcpy(e.n_name, text, length);
        else
            e.n_offset = strings->add_string(text);
    }
}

void QXCOFF_SYMBOL_TABLE::write_images() {
    DATA_MAP& data = qxcoff_file()->symbol_data();
    data.reset();
    data.set_big_endian(qxcoff_file()->machine_endian() == OF_ENDIAN_BIG);
    for (uint32_t i = 0; i < count(); i = next_index(i))
        if (const auto* s = static_cast<const QXCOFF_SYMBOL*>(symbol_at(i))) s->encode(data, uint64_t{i} * SYMENT::SIZE);
    data.set_size(uint64_t{count()} * SYMENT::SIZE);
}

}  // namespace OFE
