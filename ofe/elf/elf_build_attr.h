// The build-attribute table of an ELF attributes section (type 0x70000003).
#pragma once

#include <cstdio>

#include "ofe/of_build_attr.h"

namespace OFE {

// The table of an ELF attributes section (type 0x70000003); its dump names the section.
class ELF_BUILD_ATTR_TABLE : public OF_BUILD_ATTR_TABLE {
public:
    using OF_BUILD_ATTR_TABLE::OF_BUILD_ATTR_TABLE;

protected:
    void dump_heading(FILE* out) override;
};

}  // namespace OFE
