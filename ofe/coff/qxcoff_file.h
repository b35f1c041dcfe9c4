// QXCOFF_FILE: the object file of the tool chain's own COFF format.
#pragma once

#include "ofe/object_file.h"

namespace OFE {

class QXCOFF_FILE : public OBJECT_FILE {
public:
    explicit QXCOFF_FILE(const OF_FILE_INFO& info) : OBJECT_FILE(info) {}

    uint32_t file_type() const override { return OF_FILE_NONE; }
    uint32_t entry_point() const override { return 0; }
    // The headers of the three versions are not read yet: the object holds no sections or symbols.
    int read(const OF_FILE_INFO& info) override;
    OF_SECTION_TABLE* section_table() override { return nullptr; }
    OF_SYMBOL_TABLE* symbol_table() override { return nullptr; }
};

}  // namespace OFE
