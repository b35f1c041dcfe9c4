// The ELF program header table: raw headers read with the file, segments made on first request,
// and the searches by type, address and offset.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ofe/of_state_machine.h"
#include "util/data_map.h"

namespace OFE {

class ELF_FILE;
class ELF_SEGMENT_TABLE;

// One program header, field for field, in host byte order.
struct ELF_PROGRAM_HEADER {
    uint32_t p_type = 0;
    uint32_t p_offset = 0;
    uint32_t p_vaddr = 0;
    uint32_t p_paddr = 0;
    uint32_t p_filesz = 0;
    uint32_t p_memsz = 0;
    uint32_t p_flags = 0;
    uint32_t p_align = 0;
};

class ELF_SEGMENT : public OF_STATE_MACHINE {
public:
    ELF_SEGMENT(ELF_SEGMENT_TABLE* table, uint16_t index);

    const ELF_PROGRAM_HEADER& header() const;
    uint16_t index() const { return index_; }
    // The segment's file bytes (p_filesz at p_offset), read on first use.
    DATA_MAP& data() { return data_; }
    // The type's name: the target's own, else "PT_NULL" ... "PT_TLS", else "PT_UNKNOWN (0x%x)".
    const char* type_name() const;
    // One flag bit's name: "PF_X", "PF_W", "PF_R", else "PF_0x%x".
    const char* flag_name(uint32_t bit) const;
    // Three characters: r or -, w or -, x or -.
    const char* flags_text() const;

private:
    friend class ELF_SEGMENT_TABLE;
    ELF_SEGMENT_TABLE* table_;
    uint16_t index_;
    DATA_MAP data_;
};

class ELF_SEGMENT_TABLE : public OF_STATE_MACHINE {
public:
    explicit ELF_SEGMENT_TABLE(ELF_FILE* file);
    ~ELF_SEGMENT_TABLE() override;

    // Reads `count` headers of `entry_size` bytes at `offset`; entries past the end of the file
    // read as zeros. Returns 0.
    int read(uint32_t offset, uint32_t entry_size, uint16_t count);
    uint16_t count() const { return static_cast<uint16_t>(headers_.size()); }
    uint32_t entry_size() const { return entry_size_; }
    // The segment at `index`, made and loaded on first request; null beyond the count.
    ELF_SEGMENT* segment_at(uint32_t index);
    const ELF_PROGRAM_HEADER& raw_header(uint32_t index) const { return headers_[index]; }
    // The first segment from `start` on whose p_type is `type`; null when none.
    ELF_SEGMENT* find_by_type(uint32_t type, uint32_t start = 0);
    // The first PT_LOAD segment from `start` on with p_vaddr <= address < p_vaddr + p_memsz.
    ELF_SEGMENT* find_load_by_address(uint32_t address, uint32_t start = 0);
    // The first segment (of `type`, or of any type when 0) with p_offset <= offset < p_offset + p_filesz.
    ELF_SEGMENT* find_by_offset(uint32_t offset, uint32_t type = 0, uint32_t start = 0);
    ELF_FILE* file() const { return file_; }
    // "Program Segment Table": one compact table, or one block per segment when the file's dump is
    // detailed. Sizes count address units. Nothing for an empty table.
    void dump(FILE* out);

private:
    ELF_FILE* file_;
    std::vector<ELF_PROGRAM_HEADER> headers_;
    std::vector<std::unique_ptr<ELF_SEGMENT>> segments_;
    std::vector<bool> deleted_;
    uint32_t entry_size_ = 0;
    uint32_t offset_ = 0;
};

}  // namespace OFE
