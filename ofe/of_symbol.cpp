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

OF_SECTION* OF_SYMBOL::section() const {
    return has_section() ? table_->section_table()->section_at(section_index()) : nullptr;
}

OF_SYMBOL* OF_SYMBOL::alias_ring_last() {
    OF_SYMBOL* s = this;
    while (s->alias_link_ && s->alias_link_ != this) s = s->alias_link_;
    return s;
}

void OF_SYMBOL::set_section(const OF_SECTION* section) {
    if (!section || section->table() != table_->section_table()) return;
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
    if (!file()->info().handle || index >= count_ || !exists(index) || symbols_[index - first_]->alias_link()) return;
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

}  // namespace OFE
