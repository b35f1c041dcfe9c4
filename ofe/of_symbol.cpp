// The symbol table: symbols built on first access, finds, drops and removal marks.
#include "ofe/of_symbol.h"

#include <algorithm>
#include <cstring>

#include "DIAG/user_msg_api.h"
#include "ofe/object_file.h"
#include "ofe/of_section.h"

namespace OFE {

const char* symbol_kind_name(uint32_t kind) {
    static const char* const names[] = {"unknown", "undefined", "defined", "absolute", "common", "debug"};
    return kind < 6 ? names[kind] : "unknown";
}

const char* symbol_binding_name(uint32_t binding) {
    static const char* const names[] = {"unknown", "local", "global", "weak"};
    return binding < 4 ? names[binding] : "unknown";
}

const char* symbol_type_name(uint32_t type) {
    static const char* const names[] = {"none", "object", "function", "section", "file", "common", "tls"};
    return type < 7 ? names[type] : "unknown";
}

OF_SYMBOL::~OF_SYMBOL() { assign_name(nullptr, NAME_IN_TABLE); }

void OF_SYMBOL::assign_name(const char* name, NAME_STORAGE storage) {
    if (name_storage_ == NAME_ON_HEAP) delete[] name_;
    name_ = name;
    name_storage_ = storage;
}

void OF_SYMBOL::set_name_copy(const char* name) {
    char* copy = nullptr;
    if (name) {
        const size_t length = std::strlen(name) + 1;
        copy = new char[length];
        std::memcpy(copy, name, length);
    }
    assign_name(copy, NAME_ON_HEAP);
}

bool OF_SYMBOL::may_change() const { return table_->file()->require_at_most_state(OF_STATE_LOCKED) == 0; }

void OF_SYMBOL::changed() {
    if (table_->effective_state() == OF_STATE_LOCKED) write_back();
}

void OF_SYMBOL::set_name(const char* name) {
    if (!may_change()) return;
    set_name_copy(name);
    changed();
}

OF_SECTION* OF_SYMBOL::section() const {
    return has_section() ? table_->section_table()->section_at(section_index()) : nullptr;
}

OF_SYMBOL* OF_SYMBOL::alias_ring_last() {
    OF_SYMBOL* s = this;
    while (s->alias_link_ && s->alias_link_ != this) s = s->alias_link_;
    return s;
}

void OF_SYMBOL::set_section(const OF_SECTION* section) {
    if (!section || section->table() != table_->section_table() || !may_change()) return;
    set_section_id(section->index());
}

void OF_SYMBOL::make_near_common() {
    table_->file()->report_error(OF_ERR_INTERNAL, "symbol does not support setting near-common");
}

void OF_SYMBOL::set_alias_link(OF_SYMBOL* symbol) {
    if (symbol == this) user_msg_die(DIAG::user_msg_context(), "OF_SYMBOL::set_alias_link", "assertion failed: sym != this");
    alias_link_ = symbol;
}

OF_SYMBOL_TABLE::~OF_SYMBOL_TABLE() {
    for (OF_SYMBOL* s : symbols_) delete s;
}

void OF_SYMBOL_TABLE::set_count(uint32_t count) {
    drop_all_symbols();
    for (OF_SYMBOL* s : symbols_) delete s;
    symbols_.clear();
    first_ = 0;
    count_ = count;
}

void OF_SYMBOL_TABLE::store(uint32_t index, OF_SYMBOL* symbol) {
    if (symbols_.empty()) first_ = index;
    if (index < first_) {
        // Slots in front: at least as many as there are, so that building downwards stays linear.
        const uint32_t room = static_cast<uint32_t>(std::min<size_t>(first_, symbols_.size()));
        const uint32_t new_first = std::min(index, first_ - room);
        symbols_.insert(symbols_.begin(), first_ - new_first, nullptr);
        first_ = new_first;
    }
    const size_t at = index - first_;
    if (at == symbols_.size()) {
        symbols_.push_back(symbol);  // the common case: symbols built in table order
        return;
    }
    if (at > symbols_.size()) symbols_.resize(at + 1, nullptr);
    delete symbols_[at];
    symbols_[at] = symbol;
}

OF_SYMBOL* OF_SYMBOL_TABLE::symbol_at(uint32_t index) {
    if (index >= count_) return nullptr;
    if (!exists(index)) build_symbol(index);
    return exists(index) ? symbols_[index - first_] : nullptr;
}

OF_SYMBOL* OF_SYMBOL_TABLE::find_by_name(const char* name, uint32_t start) {
    for (uint32_t i = start; i < count_; i = next_index(i)) {
        OF_SYMBOL* s = symbol_at(i);
        if (s && std::strcmp(s->name() ? s->name() : "", name) == 0) return s;
    }
    return nullptr;
}

OF_SYMBOL* OF_SYMBOL_TABLE::add_symbol() {
    if (require_at_most_state(OF_STATE_OPEN) != 0) return nullptr;
    const uint32_t index = count_;
    OF_SYMBOL* symbol = make_symbol(index);
    store(index, symbol);
    ++count_;
    return symbol;
}

void OF_SYMBOL_TABLE::drop_symbol(uint32_t index) {
    // After a renumbering the file's bytes no longer hold the symbols in their order: every object stays.
    if (!file()->info().handle || !old_to_new_.empty()) return;
    if (index >= count_ || !exists(index) || symbols_[index - first_]->alias_link()) return;
    delete symbols_[index - first_];
    symbols_[index - first_] = nullptr;
    while (!symbols_.empty() && !symbols_.back()) symbols_.pop_back();
    if (symbols_.empty()) first_ = 0;
}

void OF_SYMBOL_TABLE::drop_all_symbols() {
    for (size_t k = 0; k < symbols_.size(); ++k) drop_symbol(first_ + static_cast<uint32_t>(k));
}

void OF_SYMBOL_TABLE::mark_for_removal(uint32_t index) {
    if (require_at_most_state(OF_STATE_OPEN) != 0) return;
    if (removal_marks_.size() <= index >> 3) removal_marks_.resize((index >> 3) + 1, 0);
    removal_marks_[index >> 3] = static_cast<uint8_t>(removal_marks_[index >> 3] | (1u << (index & 7)));
    any_marked_ = true;
}

bool OF_SYMBOL_TABLE::marked_for_removal(uint32_t index) const {
    return any_marked_ && (index >> 3) < removal_marks_.size() && (removal_marks_[index >> 3] >> (index & 7)) & 1;
}

void OF_SYMBOL_TABLE::build_all_symbols() {
    for (uint32_t i = 0; i < count_; i = next_index(i)) (void)symbol_at(i);
}

void OF_SYMBOL_TABLE::remove_symbol(uint32_t index) {
    if (require_at_most_state(OF_STATE_OPEN) != 0 || index >= count_) return;
    mark_for_removal(index);
    remove_marked();
}

void OF_SYMBOL_TABLE::remove_marked() {
    if (require_at_most_state(OF_STATE_OPEN) != 0) return;
    if (!any_marked_) return;
    std::vector<uint32_t> order;
    for (uint32_t i = 0; i < count_; i = next_index(i))
        if (!marked_for_removal(i)) order.push_back(i);
    renumber(order);
}

std::vector<uint32_t> OF_SYMBOL_TABLE::renumber_prepare(const std::vector<uint32_t>& order, uint32_t& new_count) {
    std::vector<uint32_t> map(count_, REMOVED);
    uint32_t next = 0;
    for (const uint32_t old : order) {
        if (old >= count_ || map[old] != REMOVED) continue;  // an index past the end, or listed twice
        // The entries a symbol covers move with it.
        const uint32_t n = std::min(std::max(entries_of(old), 1u), count_ - old);
        for (uint32_t k = 0; k < n; ++k) map[old + k] = next + k;
        next += n;
    }
    new_count = next;
    return map;
}

uint32_t OF_SYMBOL_TABLE::renumber_map(uint32_t old_index) const {
    if (old_to_new_.empty()) return old_index;
    return old_index < old_to_new_.size() ? old_to_new_[old_index] : REMOVED;
}

void OF_SYMBOL_TABLE::renumber(const std::vector<uint32_t>& order) {
    // Every symbol is an object before they move: none is read from the file's old order afterwards.
    build_all_symbols();
    uint32_t new_count = 0;
    const std::vector<uint32_t> map = renumber_prepare(order, new_count);
    renumber_apply(map, new_count);
}

void OF_SYMBOL_TABLE::renumber_apply(const std::vector<uint32_t>& old_to_new, uint32_t new_count) {
    std::vector<OF_SYMBOL*> moved(new_count, nullptr);
    for (size_t k = 0; k < symbols_.size(); ++k) {
        OF_SYMBOL* s = symbols_[k];
        if (!s) continue;
        const uint32_t old = first_ + static_cast<uint32_t>(k);
        const uint32_t now = old < old_to_new.size() ? old_to_new[old] : REMOVED;
        if (now == REMOVED || now >= new_count) {
            delete s;
            continue;
        }
        s->index_ = now;
        moved[now] = s;
    }
    symbols_ = std::move(moved);
    first_ = 0;
    count_ = new_count;
    removal_marks_.clear();
    any_marked_ = false;
    // Compose with an earlier renumbering, so that the map always leads from the indexes as read.
    if (old_to_new_.empty()) {
        old_to_new_ = old_to_new;
    } else {
        for (uint32_t& at : old_to_new_)
            if (at != REMOVED) at = at < old_to_new.size() ? old_to_new[at] : REMOVED;
    }
}

}  // namespace OFE
