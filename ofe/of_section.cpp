// The format-neutral section table: lazy sections, the four finds, adding and loading.
#include "ofe/of_section.h"

#include <cstring>

#include "ofe/machine/of_machine_db.h"
#include "ofe/object_file.h"
#include "ofe/of_symbol.h"

namespace OFE {

OF_SECTION::OF_SECTION(OF_SECTION_TABLE* table, uint32_t index)
    : OF_STATE_MACHINE(table->file()), table_(table), index_(index) {}

void OF_SECTION::set_name(const char* name) {
    if (owner()->require_at_most_state(OF_STATE_LOCKED) != 0) return;
    set_name_unchecked(name);
}

void OF_SECTION::set_name_unchecked(const char* name) {
    has_name_ = name != nullptr;
    name_ = name ? name : "";
}

uint32_t OF_SECTION::section_id() const { return table_->section_id(index_); }

DATA_MAP& OF_SECTION::raw_data() {
    if (!has_raw_data())
        owner()->report_error(OF_ERR_WARNING,
                              "accessing the raw data of section \"%s\" which is uninitialized according to its "
                              "section attributes; changes to raw data may be lost",
                              name() ? name() : "");
    return raw_data_;
}

OF_SECTION_TABLE::OF_SECTION_TABLE(OBJECT_FILE* file, uint32_t entry_size)
    : OF_STATE_MACHINE(file), entry_size_(entry_size) {}

OF_SECTION_TABLE::~OF_SECTION_TABLE() = default;

void OF_SECTION_TABLE::reset_sections(uint32_t count) {
    sections_.clear();
    ids_.clear();
    count_ = count;
    // The slots grow as sections are made, so a huge claimed count costs nothing until used.
    all_loaded_ = false;
}

void OF_SECTION_TABLE::store(uint32_t index, std::unique_ptr<OF_SECTION> section) {
    if (index >= sections_.size()) sections_.resize(static_cast<size_t>(index) + 1);
    sections_[index] = std::move(section);
}

OF_SECTION* OF_SECTION_TABLE::section_at(uint32_t index) {
    if (index >= count_) return nullptr;
    if (is_deleted(index)) return deleted_placeholder_.get();
    if (!exists(index)) materialise_section(index);
    return exists(index) ? sections_[index].get() : nullptr;
}

OF_SECTION* OF_SECTION_TABLE::find_by_name(const char* name, uint32_t start) {
    for (uint32_t i = start; i < count_; ++i) {
        OF_SECTION* s = section_at(i);
        if (s && std::strcmp(s->name() ? s->name() : "", name) == 0) return s;
    }
    return nullptr;
}

OF_SECTION* OF_SECTION_TABLE::find_by_run_address(uint32_t address, uint32_t start) {
    for (uint32_t i = start; i < count_; ++i) {
        OF_SECTION* s = section_at(i);
        if (s && s->allocated() && s->run_address() <= address && address - s->run_address() < s->size()) return s;
    }
    return nullptr;
}

OF_SECTION* OF_SECTION_TABLE::find_by_load_address(uint32_t address, uint32_t start) {
    for (uint32_t i = start; i < count_; ++i) {
        OF_SECTION* s = section_at(i);
        if (s && s->allocated() && s->load_address() <= address && address - s->load_address() < s->size())
            return s;
    }
    return nullptr;
}

OF_SECTION* OF_SECTION_TABLE::find_by_file_offset(uint32_t offset, uint32_t start) {
    for (uint32_t i = start; i < count_; ++i) {
        OF_SECTION* s = section_at(i);
        if (!s) continue;
        const uint64_t length = s->raw_data().size();
        if (s->raw_data_offset() <= offset && offset - s->raw_data_offset() < length) return s;
    }
    return nullptr;
}

OF_SECTION* OF_SECTION_TABLE::add_section(const char* name) {
    if (require_at_most_state(OF_STATE_OPEN) != 0) return nullptr;
    const uint32_t index = count_;
    store(index, make_section(index));
    // Every section without an id of its own keeps its index as its id, also those read before this one.
    while (ids_.size() <= index) ids_.push_back(static_cast<uint32_t>(ids_.size()));
    ++count_;
    OF_SECTION* s = sections_[index].get();
    if (name) s->set_name(name);
    s->data().set_big_endian(file()->machine_db()->section_data_endian(s) == OF_ENDIAN_BIG);
    if (name && std::strncmp(name, ".debug", 6) == 0) {
        s->set_allocated(false);
        s->set_memory_width(8);
    }
    return s;
}

bool OF_SECTION_TABLE::delete_section(uint32_t index) {
    if (require_at_most_state(OF_STATE_OPEN) != 0 || index >= count_ || is_deleted(index)) return false;
    if (index < sections_.size()) sections_[index].reset();
    if (deleted_marks_.size() <= index) deleted_marks_.resize(static_cast<size_t>(index) + 1, false);
    deleted_marks_[index] = true;
    if (!deleted_placeholder_) {
        deleted_placeholder_ = make_section(NO_INDEX);
        deleted_placeholder_->set_name_unchecked("__QX_deleted_section");
    }
    deleted_ = true;
    return true;
}

int32_t OF_SECTION_TABLE::renumber() {
    if (renumbering_) {
        file()->report_error(OF_ERR_INTERNAL, "recursive call detected to a method that does not support recursive calls");
        return -1;
    }
    if (require_at_most_state(OF_STATE_OPEN) != 0) return -1;
    renumbering_ = true;
    // Every remaining section is made from its header first: headers are read by their old indexes.
    for (uint32_t i = 0; i < count_; ++i)
        if (!is_deleted(i) && !exists(i)) materialise_section(i);
    renumber_map_.assign(count_, NO_INDEX);
    uint32_t next = 0;
    for (uint32_t i = 0; i < count_; ++i) {
        if (is_deleted(i)) continue;
        renumber_map_[i] = next;
        if (i < sections_.size() && sections_[i]) sections_[i]->index_ = next;
        if (next != i) store(next, std::move(sections_[i]));
        ++next;
    }
    sections_.resize(next);
    ids_.clear();  // every id is its index again
    count_ = next;
    deleted_marks_.clear();
    deleted_ = false;
    deleted_placeholder_.reset();
    renumber_references(renumber_map_);
    renumbering_ = false;
    return 0;
}

void OF_SECTION_TABLE::renumber_symbol_sections(OF_SYMBOL_TABLE& symbols, const std::vector<uint32_t>& map) {
    for (uint32_t i = 0; i < symbols.count(); i = symbols.next_index(i)) {
        OF_SYMBOL* s = symbols.symbol_at(i);
        if (!s || !s->has_section()) continue;
        const uint32_t old = s->section_index();
        if (old >= map.size()) continue;
        if (map[old] == NO_INDEX)
            s->set_kind(OF_SYM_UNDEFINED);
        else if (map[old] != old)
            s->set_section_id(map[old]);
    }
}

void OF_SECTION_TABLE::load_all() {
    if (!file()->info().handle) return;
    for (uint32_t i = 0; i < count_; ++i)
        if (OF_SECTION* s = section_at(i)) s->data().load();
    all_loaded_ = true;
}

void OF_SECTION_TABLE::clear() {
    if (require_at_most_state(OF_STATE_OPEN) != 0) return;
    reset_sections(0);
    deleted_marks_.clear();
    deleted_ = false;
    deleted_placeholder_.reset();
}

// ---- Section symbols ----

OF_SYMBOL* OF_SECTION::section_symbol() {
    OF_SYMBOL_TABLE* symbols = owner()->symbol_table();
    if (!symbols) return nullptr;
    if (section_symbol_index_ != 0)
        if (OF_SYMBOL* s = symbols->symbol_at(section_symbol_index_ - 1)) return s;
    OF_SYMBOL* s = find_section_symbol();
    if (!s) s = make_section_symbol();
    section_symbol_index_ = s ? s->index() + 1 : 0;
    return s;
}

OF_SYMBOL* OF_SECTION::find_section_symbol() {
    OF_SYMBOL_TABLE* symbols = owner()->symbol_table();
    if (!symbols) return nullptr;
    for (uint32_t i = 0; i < symbols->count(); i = symbols->next_index(i)) {
        OF_SYMBOL* s = symbols->symbol_at(i);
        if (s && s->type() == OF_TYPE_SECTION && s->section() == this &&
            (s->value() == 0 || s->value() == run_address()))
            return s;
    }
    return nullptr;
}

OF_SYMBOL* OF_SECTION::make_section_symbol() {
    OF_SYMBOL_TABLE* symbols = owner()->symbol_table();
    OF_SYMBOL* s = symbols ? symbols->add_symbol() : nullptr;
    if (!s) return nullptr;
    s->set_name_copy(name() ? name() : "");
    s->set_section(this);
    apply_section_symbol_settings(*s);
    return s;
}

}  // namespace OFE
