// The build-attribute queries of OBJECT_FILE: the table, vendor subsections, attributes, vendor and producer.
#include <cstdio>

#include "ofe/machine/of_machine_db.h"
#include "ofe/object_file.h"
#include "ofe/of_build_attr.h"

namespace OFE {

bool OBJECT_FILE::build_attributes_supported() const { return machine_db_->build_attributes_supported(); }

OFBA_VENDOR_SCN* OBJECT_FILE::qx_vendor_section() {
    OF_BUILD_ATTR_TABLE* table = build_attribute_table();
    return table ? table->find_vendor("QX") : nullptr;
}

OFBA_VENDOR_SCN* OBJECT_FILE::abi_vendor_section() {
    OF_BUILD_ATTR_TABLE* table = build_attribute_table();
    return table ? table->find_vendor(machine_db_->abi_vendor_name()) : nullptr;
}

OFBA_ATTR* OBJECT_FILE::find_build_attribute(const char* vendor, uint32_t tag) {
    OF_BUILD_ATTR_TABLE* table = build_attribute_table();
    OFBA_VENDOR_SCN* section = table ? table->find_vendor(vendor) : nullptr;
    return section ? section->find_file_attribute(tag) : nullptr;
}

OFBA_ATTR* OBJECT_FILE::get_or_add_build_attribute(const char* vendor, uint32_t tag) {
    OF_BUILD_ATTR_TABLE* table = build_attribute_table_for_change();
    if (!table) return nullptr;
    OFBA_VENDOR_SCN* section = table->find_vendor(vendor);
    if (!section && !(section = table->add_vendor(vendor))) return nullptr;
    if (OFBA_ATTR* found = section->find_file_attribute(tag)) return found;
    OFBA_ATTR_LIST* list = nullptr;
    for (uint32_t i = 0; i < section->list_count() && !list; ++i)
        if (section->list_at(i)->tag() == OFBA_TAG_FILE) list = section->list_at(i);
    if (!list && !(list = section->add_list(OFBA_TAG_FILE))) return nullptr;
    return list->add_attribute(tag);
}

void OBJECT_FILE::set_producer(const char* name, uint32_t major, uint32_t minor, uint32_t patch) {
    if (require_at_most_state(OF_STATE_OPEN) != 0 || !build_attributes_supported()) return;
    if (OFBA_ATTR* attribute = get_or_add_build_attribute("QX", TAG::QX_PRODUCER_NAME))
        attribute->set_string_value(name);
    const uint32_t parts[][2] = {
        {TAG::QX_PRODUCER_MAJOR, major}, {TAG::QX_PRODUCER_MINOR, minor}, {TAG::QX_PRODUCER_PATCH, patch}};
    for (const auto& [tag, value] : parts)
        if (OFBA_ATTR* attribute = get_or_add_build_attribute("QX", tag)) attribute->set_numeric_value(value + 1);
}

std::string OBJECT_FILE::vendor_name() {
    OF_BUILD_ATTR_TABLE* table = build_attribute_table();
    if (!table || table->vendor_count() == 0) return "";
    return table->find_vendor("QX") ? "QX" : table->vendor_at(0)->name();
}

std::string OBJECT_FILE::producer_name() {
    const OFBA_ATTR* name = find_build_attribute("QX", TAG::QX_PRODUCER_NAME);
    return name ? name->string_value() : "";
}

bool OBJECT_FILE::has_producer_version() {
    const OFBA_ATTR* major = find_build_attribute("QX", TAG::QX_PRODUCER_MAJOR);
    return major && major->numeric_value() != 0;
}

namespace {

// A version part stored plus 1: 0 when it is absent or 0.
uint32_t version_part(OBJECT_FILE& file, uint32_t tag) {
    const OFBA_ATTR* part = file.find_build_attribute("QX", tag);
    return part && part->numeric_value() != 0 ? part->numeric_value() - 1 : 0;
}

}  // namespace

uint32_t OBJECT_FILE::producer_major() { return version_part(*this, TAG::QX_PRODUCER_MAJOR); }
uint32_t OBJECT_FILE::producer_minor() { return version_part(*this, TAG::QX_PRODUCER_MINOR); }
uint32_t OBJECT_FILE::producer_patch() { return version_part(*this, TAG::QX_PRODUCER_PATCH); }

std::string OBJECT_FILE::producer_version() {
    if (!OBJECT_FILE::has_producer_version()) return "";
    char text[40];
    std::snprintf(text, sizeof text, "%u.%u.%u", OBJECT_FILE::producer_major(), OBJECT_FILE::producer_minor(),
                  OBJECT_FILE::producer_patch());
    return text;
}

}  // namespace OFE
