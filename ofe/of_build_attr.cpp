// Build-attribute tables: the tag vocabularies, the parse with its result rules, and the model's operations.
#include "ofe/of_build_attr.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "ofe/machine/of_machine_db.h"
#include "ofe/object_file.h"
#include "ofe/of_section.h"
#include "util/data_map.h"

namespace OFE {

namespace {

// Whether the last index access found an entry.
bool index_valid_flag = true;

}  // namespace

// ---- Vocabularies ----

const OFBA_TAG_DESC* OFBA_VOCABULARY::find(uint32_t tag) const {
    const auto it = tags_.find(tag);
    return it == tags_.end() ? nullptr : &it->second;
}

const OFBA_TAG_DESC* OFBA_VOCABULARY::add(uint32_t tag, const char* name) {
    OFBA_TAG_DESC& desc = tags_[tag];
    desc.tag = tag;
    desc.name = name ? name : "";
    desc.vendor = vendor_;
    return &desc;
}

void OFBA_VOCABULARY::add_all(std::span<const VALUE_NAME> tags) {
    for (const VALUE_NAME& t : tags) add(t.value, t.name);
}

OFBA_VOCABULARY& ofba_vocabulary(const char* vendor, OF_MACHINE_DB& db) {
    static std::map<std::pair<std::string, OF_TARGET>, OFBA_VOCABULARY> vocabularies;
    std::pair<std::string, OF_TARGET> key(vendor ? vendor : "", db.target());
    auto it = vocabularies.find(key);
    if (it != vocabularies.end()) return it->second;
    it = vocabularies.emplace(key, OFBA_VOCABULARY(key.first)).first;
    static const VALUE_NAME scopes[] = {{1, "Tag_File"}, {2, "Tag_Section"}, {3, "Tag_Symbol"}};
    it->second.add_all(scopes);
    db.register_attribute_tags(key.first.c_str(), it->second);
    return it->second;
}

// ---- Attributes ----

void OFBA_ATTR::set_numeric_value(uint32_t value) {
    OF_BUILD_ATTR_TABLE* table = list_->vendor()->table();
    if (!table->may_change()) return;
    number_ = value;
    table->set_modified();
}

void OFBA_ATTR::set_string_value(const char* value) {
    OF_BUILD_ATTR_TABLE* table = list_->vendor()->table();
    if (!table->may_change()) return;
    text_ = value ? value : "";
    table->set_modified();
}

int32_t OFBA_ATTR::parse(DATA_MAP& data) {
    OFBA_VENDOR_SCN* vendor = list_->vendor();
    OF_MACHINE_DB& db = *vendor->table()->file()->machine_db();
    OFBA_VOCABULARY& vocabulary = vendor->vocabulary();
    const char* vendor_name = vendor->name();
    const uint32_t tag = data.read_uleb128();
    int32_t result = 0;
    desc_ = vocabulary.find(tag);
    if (!desc_) {
        // An unknown tag joins the vocabulary for good; files read later know it by this name.
        char name[24];
        std::snprintf(name, sizeof name, "Tag_0x%x", tag);
        desc_ = vocabulary.add(tag, name);
        if (db.attribute_parameter_kind(vendor_name, tag) == OFBA_KIND_UNKNOWN) return -2;
        // The ABI vendors mark the tags that may be ignored with bit 6; other vendors' tags all matter.
        result = is_abi_attribute_vendor(vendor_name) && (tag & 64) != 0 ? 0 : -1;
    }
    int32_t own = 0;
    if (db.parse_attribute_parameter(*this, data, own)) return own;
    kind_ = db.attribute_parameter_kind(vendor_name, tag);
    switch (kind_) {
    case OFBA_KIND_NUMBER: number_ = data.read_uleb128(); break;
    case OFBA_KIND_NUMBER_STRING:
        number_ = data.read_uleb128();
        text_ = data.read_string();
        break;
    case OFBA_KIND_STRING: text_ = data.read_string(); break;
    default: return -2;
    }
    return result;
}

// ---- Attribute lists ----

OFBA_ATTR_LIST::~OFBA_ATTR_LIST() = default;

std::string OFBA_ATTR_LIST::tag_name() const {
    if (desc_) return desc_->name;
    char name[24];
    std::snprintf(name, sizeof name, "Tag_0x%x", tag_);
    return name;
}

OFBA_ATTR* OFBA_ATTR_LIST::find_attribute(uint32_t tag) const {
    for (const auto& a : attributes_)
        if (a->desc_ && a->desc_->tag == tag) return a.get();
    return nullptr;
}

OFBA_ATTR* OFBA_ATTR_LIST::add_attribute(uint32_t tag) {
    OF_BUILD_ATTR_TABLE* table = vendor_->table();
    if (!table->may_change()) return nullptr;
    auto attribute = std::make_unique<OFBA_ATTR>(this, attribute_count());
    OFBA_VOCABULARY& vocabulary = vendor_->vocabulary();
    attribute->desc_ = vocabulary.find(tag);
    if (!attribute->desc_) {
        char name[24];
        std::snprintf(name, sizeof name, "Tag_0x%x", tag);
        attribute->desc_ = vocabulary.add(tag, name);
    }
    attribute->kind_ = table->file()->machine_db()->attribute_parameter_kind(vendor_->name(), tag);
    attributes_.push_back(std::move(attribute));
    table->set_modified();
    return attributes_.back().get();
}

bool OFBA_ATTR_LIST::index_valid() { return index_valid_flag; }

void OFBA_ATTR_LIST::set_index_valid(bool valid) { index_valid_flag = valid; }

uint32_t OFBA_ATTR_LIST::index_entry(uint32_t position) const {
    set_index_valid(position < indexes_.size());
    return position < indexes_.size() ? indexes_[position] : 0;
}

void OFBA_ATTR_LIST::renumber_symbols(const std::vector<uint32_t>& old_to_new) {
    if (tag_ != OFBA_TAG_SYMBOL || indexes_.empty()) return;
    const std::vector<uint32_t> before = indexes_;
    std::vector<uint32_t> kept;
    for (uint32_t p = 0; p < before.size(); ++p) {
        const uint32_t old = index_entry(p);
        const uint32_t now = old < old_to_new.size() ? old_to_new[old] : 0xFFFFFFFFu;
        if (now != 0xFFFFFFFFu) kept.push_back(stored_number(now));
    }
    if (kept != before) {
        indexes_ = std::move(kept);
        vendor_->table()->set_modified();
    }
}

void OF_BUILD_ATTR_TABLE::renumber_symbols(const std::vector<uint32_t>& old_to_new) {
    for (const auto& vendor : vendors_)
        for (uint32_t i = 0; i < vendor->list_count(); ++i) vendor->list_at(i)->renumber_symbols(old_to_new);
}

uint32_t OFBA_ATTR_LIST::set_index_entry(uint32_t position, uint32_t index) {
    if (position >= indexes_.size()) return index_count();
    OF_BUILD_ATTR_TABLE* table = vendor_->table();
    if (!table->may_change()) return position;
    indexes_[position] = index;
    table->set_modified();
    return position;
}

uint32_t OFBA_ATTR_LIST::append_index_entry(uint32_t index) {
    OF_BUILD_ATTR_TABLE* table = vendor_->table();
    if (!table->may_change()) return index_count();
    indexes_.push_back(index);
    table->set_modified();
    return index_count() - 1;
}

uint32_t OFBA_ATTR_LIST::entry_or_report(uint32_t scope, uint32_t position, const char* what) {
    if (tag_ == scope) return index_entry(position);
    vendor_->table()->file()->report_error(OF_ERR_ILLEGAL_OPERATION, "cannot access %s index in a %s attribute list",
                                           what, tag_name().c_str());
    return index_entry(index_count());  // the value of a missing entry
}

bool OFBA_ATTR_LIST::entries_or_report(uint32_t scope, std::vector<uint32_t>& out, const char* what) {
    out.clear();
    if (tag_ != scope) {
        vendor_->table()->file()->report_error(
            OF_ERR_ILLEGAL_OPERATION, "cannot access %s indexes in a %s attribute list", what, tag_name().c_str());
        return false;
    }
    for (uint32_t i = 0; i < index_count(); ++i) out.push_back(index_entry(i));
    return true;
}

uint32_t OFBA_ATTR_LIST::symbol_index(uint32_t position) {
    return entry_or_report(OFBA_TAG_SYMBOL, position, "symbol");
}

uint32_t OFBA_ATTR_LIST::section_index(uint32_t position) {
    return entry_or_report(OFBA_TAG_SECTION, position, "section");
}

bool OFBA_ATTR_LIST::symbol_indexes(std::vector<uint32_t>& out) {
    return entries_or_report(OFBA_TAG_SYMBOL, out, "symbol");
}

bool OFBA_ATTR_LIST::section_indexes(std::vector<uint32_t>& out) {
    return entries_or_report(OFBA_TAG_SECTION, out, "section");
}

int32_t OFBA_ATTR_LIST::parse(DATA_MAP& data, uint64_t limit) {
    const uint64_t start = data.cursor();
    parsed_ = true;
    tag_ = data.read_uleb128();
    size_ = data.read_u32();
    desc_ = vendor_->vocabulary().find(tag_);
    if (size_ == 0) return -1;
    const uint64_t end = start + size_;
    if (!desc_) {
        data.set_cursor(end);
        return -1;
    }
    if (tag_ == OFBA_TAG_SECTION || tag_ == OFBA_TAG_SYMBOL) {
        // Past the bytes held a zero ends the indexes, so this loop needs no other bound.
        while (data.cursor() < end) {
            const uint32_t number = data.read_uleb128();
            if (number == 0) break;
            indexes_.push_back(number);
        }
    }
    int32_t running = 0;
    while (data.cursor() < end) {
        // Beyond the bytes the input holds only zeros remain: they would add failed attributes and nothing else.
        if (data.cursor() >= limit) {
            data.set_cursor(end);
            return running | -1;
        }
        attributes_.push_back(std::make_unique<OFBA_ATTR>(this, attribute_count()));
        running |= attributes_.back()->parse(data);
        // Results are ORed, so a -2 after an earlier -1 does not end the list.
        if (running == -2) {
            data.set_cursor(end);
            return -1;
        }
    }
    return running;
}

// ---- Vendor subsections ----

OFBA_VENDOR_SCN::~OFBA_VENDOR_SCN() = default;

void OFBA_VENDOR_SCN::set_name(const char* name) {
    if (!table_->may_change()) return;
    name_ = name ? name : "";
    vocabulary_ = nullptr;
    table_->set_modified();
}

OFBA_VOCABULARY& OFBA_VENDOR_SCN::vocabulary() {
    if (!vocabulary_) vocabulary_ = &ofba_vocabulary(name_.c_str(), *table_->file()->machine_db());
    return *vocabulary_;
}

std::unique_ptr<OFBA_ATTR_LIST> OFBA_VENDOR_SCN::make_list(uint32_t index) {
    return std::make_unique<OFBA_ATTR_LIST>(this, index);
}

OFBA_ATTR_LIST* OFBA_VENDOR_SCN::append_list() {
    lists_.push_back(make_list(list_count()));
    return lists_.back().get();
}

OFBA_ATTR_LIST* OFBA_VENDOR_SCN::add_list(uint32_t tag) {
    if (!table_->may_change()) return nullptr;
    OFBA_ATTR_LIST* list = append_list();
    list->tag_ = tag;
    list->desc_ = vocabulary().find(tag);
    table_->set_modified();
    return list;
}

OFBA_ATTR* OFBA_VENDOR_SCN::find_file_attribute(uint32_t tag) const {
    for (const auto& list : lists_)
        if (list->tag() == OFBA_TAG_FILE)
            if (OFBA_ATTR* a = list->find_attribute(tag)) return a;
    return nullptr;
}

int32_t OFBA_VENDOR_SCN::parse(DATA_MAP& data, uint64_t limit) {
    const uint64_t start = data.cursor();
    length_ = data.read_u32();
    if (length_ == 0 || length_ > data.size()) {
        // The rest of the section cannot be found any more.
        data.set_cursor(data.size());
        return -1;
    }
    name_ = data.read_string();
    vocabulary_ = nullptr;
    const uint64_t end = start + length_;
    int32_t result = 0;
    while (data.cursor() < end) {
        if (data.cursor() >= limit) {
            data.set_cursor(end);
            return result | -1;
        }
        result |= append_list()->parse(data, limit);
    }
    return result;
}

// ---- Tables ----

OF_BUILD_ATTR_TABLE::OF_BUILD_ATTR_TABLE(OF_SECTION* section)
    : OF_STATE_MACHINE(section->owner()), section_(section) {}

OF_BUILD_ATTR_TABLE::~OF_BUILD_ATTR_TABLE() = default;

bool OF_BUILD_ATTR_TABLE::may_change() {
    return owner()->require_at_most_state(OF_STATE_OPEN) == 0 && require_at_most_state(OF_STATE_OPEN) == 0;
}

std::unique_ptr<OFBA_VENDOR_SCN> OF_BUILD_ATTR_TABLE::make_vendor(uint32_t index) {
    return std::make_unique<OFBA_VENDOR_SCN>(this, index);
}

OFBA_VENDOR_SCN* OF_BUILD_ATTR_TABLE::find_vendor(const char* name, uint32_t first) const {
    if (!name) return nullptr;
    for (uint32_t i = first; i < vendors_.size(); ++i)
        if (std::strcmp(vendors_[i]->name(), name) == 0) return vendors_[i].get();
    return nullptr;
}

OFBA_VENDOR_SCN* OF_BUILD_ATTR_TABLE::add_vendor(const char* name) {
    if (!may_change()) return nullptr;
    vendors_.push_back(make_vendor(vendor_count()));
    OFBA_VENDOR_SCN* vendor = vendors_.back().get();
    vendor->set_name(name);
    set_modified();
    return vendor;
}

int32_t OF_BUILD_ATTR_TABLE::parse() {
    if (!section_) return parse_result_ = -1;
    if (!vendors_.empty()) return 0;
    DATA_MAP& data = section_->data();
    data.load();
    const uint64_t size = data.size();
    const uint64_t limit = std::min(size, data.bytes_held());
    data.set_cursor(0);
    format_version_ = data.read_u8();
    int32_t result = 0;
    // Each subsection moves the cursor on by at least its length field, or to the end.
    while (data.cursor() < size) {
        vendors_.push_back(make_vendor(vendor_count()));
        result |= vendors_.back()->parse(data, limit);
    }
    return parse_result_ = result;
}

}  // namespace OFE
