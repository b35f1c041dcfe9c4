// QXCOFF_STRING_TABLE: the length word kept in step with the table's data.
#include "ofe/coff/qxcoff_string_table.h"

#include "ofe/coff/qxcoff_file.h"
#include "util/data_map.h"

namespace OFE {

QXCOFF_STRING_TABLE::QXCOFF_STRING_TABLE(QXCOFF_FILE* file, DATA_MAP* data)
    : OF_STRING_TABLE(data, file) {}

void QXCOFF_STRING_TABLE::prepare_for_writing() {
    if (owner()->info().handle) OF_STRING_TABLE_MANAGER::prepare_for_writing();
}

void QXCOFF_STRING_TABLE::clear() {
    if (owner()->require_at_most_state(OF_STATE_OPEN) != 0) return;
    OF_STRING_TABLE_MANAGER::clear();
    data()->set_cursor(0);
    data()->write_u32(0);
}

uint32_t QXCOFF_STRING_TABLE::add_string(const char* text) {
    if (owner()->require_at_most_state(OF_STATE_OPEN) != 0) return 0;
    const uint32_t offset = OF_STRING_TABLE_MANAGER::add_string(text);
    data()->set_cursor(0);
    data()->write_u32(static_cast<uint32_t>(data()->size()));
    return offset;
}

}  // namespace OFE
