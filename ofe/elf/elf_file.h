// ELF_FILE: the object file of the 32-bit ELF format; its file header and header queries.
#pragma once

#include <cstdint>

#include "ofe/object_file.h"

namespace OFE {

// The ELF file header, field for field, in host byte order.
struct ELF_HEADER {
    uint8_t e_ident[16] = {};
    uint16_t e_type = 0;
    uint16_t e_machine = 0;
    uint32_t e_version = 0;
    uint32_t e_entry = 0;
    uint32_t e_phoff = 0;
    uint32_t e_shoff = 0;
    uint32_t e_flags = 0;
    uint16_t e_ehsize = 0;
    uint16_t e_phentsize = 0;
    uint16_t e_phnum = 0;
    uint16_t e_shentsize = 0;
    uint16_t e_shnum = 0;
    uint16_t e_shstrndx = 0;
};

class ELF_FILE : public OBJECT_FILE {
public:
    explicit ELF_FILE(const OF_FILE_INFO& info);

    uint32_t format_version() const override { return header_.e_version == 1 ? 4 : 0; }
    // e_type when it is 1 to 4, else 0.
    uint32_t file_type() const override;
    // The target of e_machine; 0x10000 + e_machine when it has no target id of its own.
    OF_TARGET target() const override;
    uint32_t entry_point() const override { return header_.e_entry; }
    // EI_DATA 1 little, 2 big, else 0.
    uint32_t endian() const override;
    // Reads the file header and the counts the tables are read with.
    int read(const OF_FILE_INFO& info) override;

    const ELF_HEADER& header() const { return header_; }
    // Number of section headers: e_shnum, or the size field of section 0 under extended numbering.
    uint32_t section_count() const { return section_count_; }

private:
    ELF_HEADER header_;
    uint32_t section_count_ = 0;
};

}  // namespace OFE
