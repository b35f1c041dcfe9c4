// The build-attribute table of the QXCOFF section "$build.attributes", whose section and symbol lists hold
// index + 1.
#pragma once

#include <cstdint>
#include <memory>

#include "ofe/of_build_attr.h"

namespace OFE {

class QXCOFF_BA_ATTR_LIST : public OFBA_ATTR_LIST {
public:
    using OFBA_ATTR_LIST::OFBA_ATTR_LIST;
    // The stored number - 1; 0xFFFFFFFF past the end.
    uint32_t index_entry(uint32_t position) const override;
    // Both store index + 1.
    uint32_t set_index_entry(uint32_t position, uint32_t index) override;
    uint32_t append_index_entry(uint32_t index) override;

protected:
    uint32_t stored_number(uint32_t index) const override { return index + 1; }
};

class QXCOFF_BA_VENDOR_SCN : public OFBA_VENDOR_SCN {
public:
    using OFBA_VENDOR_SCN::OFBA_VENDOR_SCN;

protected:
    std::unique_ptr<OFBA_ATTR_LIST> make_list(uint32_t index) override;
};

// The table of the QXCOFF section "$build.attributes".
class QXCOFF_BUILD_ATTR_TABLE : public OF_BUILD_ATTR_TABLE {
public:
    using OF_BUILD_ATTR_TABLE::OF_BUILD_ATTR_TABLE;

protected:
    std::unique_ptr<OFBA_VENDOR_SCN> make_vendor(uint32_t index) override;
    uint32_t section_number(uint32_t index) const override { return index + 1; }
};

}  // namespace OFE
