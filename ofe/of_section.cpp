// The format-neutral section table: lazy sections, the four finds, adding and loading.
#include "ofe/of_section.h"

#include <cstring>

#include "ofe/machine/of_machine_db.h"
#include "ofe/object_file.h"

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

void OF_SECTION_TABLE::load_all() {
    if (!file()->info().handle) return;
    for (uint32_t i = 0; i < count_; ++i)
        if (OF_SECTION* s = section_at(i)) s->data().load();
    all_loaded_ = true;
}

void OF_SECTION_TABLE::clear() {
    if (require_at_most_state(OF_STATE_OPEN) != 0) return;
    reset_sections(0);
}

}  // namespace OFE
