// QXCOFF build attributes: lists that store index + 1, and the table that makes them.
#include "ofe/coff/qxcoff_build_attr.h"

namespace OFE {

uint32_t QXCOFF_BA_ATTR_LIST::index_entry(uint32_t position) const {
    if (position >= index_count()) {
        set_index_valid(false);
        return 0xFFFFFFFF;
    }
    return OFBA_ATTR_LIST::index_entry(position) - 1;
}

uint32_t QXCOFF_BA_ATTR_LIST::set_index_entry(uint32_t position, uint32_t index) {
    return OFBA_ATTR_LIST::set_index_entry(position, index + 1);
}

uint32_t QXCOFF_BA_ATTR_LIST::append_index_entry(uint32_t index) {
    return OFBA_ATTR_LIST::append_index_entry(index + 1);
}

std::unique_ptr<OFBA_ATTR_LIST> QXCOFF_BA_VENDOR_SCN::make_list(uint32_t index) {
    return std::make_unique<QXCOFF_BA_ATTR_LIST>(this, index);
}

std::unique_ptr<OFBA_VENDOR_SCN> QXCOFF_BUILD_ATTR_TABLE::make_vendor(uint32_t index) {
    return std::make_unique<QXCOFF_BA_VENDOR_SCN>(this, index);
}

}  // namespace OFE
