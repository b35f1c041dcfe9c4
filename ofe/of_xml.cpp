// The XML description: writing it to handles and paths, and the elements every format shares.
#include <cstdio>

#include "ofe/object_file.h"
#include "ofe/machine/of_machine_db.h"
#include "ofe/of_build_attr.h"
#include "ofe/of_types.h"
#include "ofe/of_xml_writer.h"

namespace OFE {

void OBJECT_FILE::write_xml_to_handle(FILE* out) {
    OF_XML_WRITER xml(out);
    write_xml(xml);
}

int OBJECT_FILE::write_xml_to_path(const char* path) {
    FILE* out = std::fopen(path, "w");
    if (!out) {
        report_error(OF_ERR_FILE_ACCESS, "%s", "");
        return -1;
    }
    write_xml_to_handle(out);
    return std::fclose(out) == 0 ? 0 : -1;
}

void OBJECT_FILE::write_common_xml(OF_XML_WRITER& xml) {
    xml.open("object_file")
        .attribute("format", format_name(format()))
        .attribute("version", format_version_name(format_version()))
        .attribute("type", file_type_name(file_type()))
        .attribute("machine", machine_name())
        .attribute("endian", endian_name(endian()))
        .attribute_hex("entry", entry_point())
        .attribute("length", size());
    if (start_offset() != 0) xml.attribute_hex("archive_offset", start_offset());
    xml.close();
    if (OF_BUILD_ATTR_TABLE* attributes = build_attribute_table()) attributes->write_xml(xml);
}

void OF_BUILD_ATTR_TABLE::write_xml(OF_XML_WRITER& xml) {
    xml.open("build_attributes").attribute("format_version", std::string(1, static_cast<char>(format_version())));
    for (uint32_t v = 0; v < vendor_count(); ++v) {
        OFBA_VENDOR_SCN* vendor = vendor_at(v);
        xml.open("vendor").attribute("name", vendor->name());
        for (uint32_t l = 0; l < vendor->list_count(); ++l) {
            OFBA_ATTR_LIST* list = vendor->list_at(l);
            xml.open("attribute_list").attribute("tag", list->tag_name()).attribute("tag_number", list->tag());
            for (uint32_t index : list->stored_indexes()) xml.element("index", index);
            for (uint32_t a = 0; a < list->attribute_count(); ++a) {
                const OFBA_ATTR* attr = list->attribute_at(a);
                xml.open("attribute").attribute("tag", attr->tag_name()).attribute("tag_number", attr->tag());
                if (attr->kind() == OFBA_KIND_NUMBER || attr->kind() == OFBA_KIND_NUMBER_STRING)
                    xml.attribute("number", attr->numeric_value());
                if (attr->kind() == OFBA_KIND_STRING || attr->kind() == OFBA_KIND_NUMBER_STRING)
                    xml.attribute("string", attr->string_value());
                xml.close();
            }
            xml.close();
        }
        xml.close();
    }
    xml.close();
}

}  // namespace OFE
