// The ELF program header table: raw headers read with the file, segments made on first request,
// and the searches by type, address and offset.
#pragma once

#include <cstdint>
#include <map>
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
    // read as zeros. Returns 0. Only the entries the file's bytes make are kept: the count stays what
    // the header says, and every later entry is the all-zero (PT_NULL) header, which costs nothing.
    int read(uint32_t offset, uint32_t entry_size, uint16_t count);
    uint16_t count() const { return count_; }
    uint32_t entry_size() const { return entry_size_; }
    // The segment at `index`, made and loaded on first request; null beyond the count.
    ELF_SEGMENT* segment_at(uint32_t index);
    // The header at `index` (below the count).
    const ELF_PROGRAM_HEADER& raw_header(uint32_t index) const;
    // The first segment from `start` on whose p_type is `type`; null when none.
    ELF_SEGMENT* find_by_type(uint32_t type, uint32_t start = 0);
    // The first PT_LOAD segment from `start` on with p_vaddr <= address < p_vaddr + p_memsz. The
    // PT_LOAD segments are indexed by address on the first search, so each search takes logarithmic time.
    ELF_SEGMENT* find_load_by_address(uint32_t address, uint32_t start = 0);
    // The first segment (of `type`, or of any type when 0) with p_offset <= offset < p_offset + p_filesz.
    ELF_SEGMENT* find_by_offset(uint32_t offset, uint32_t type = 0, uint32_t start = 0);
    ELF_FILE* file() const { return file_; }
    // A type's name: the target's own, else the generic one.
    const char* type_name_of(uint32_t type) const;
    // "Program Segment Table": one compact table, or one block per segment when the file's dump is
    // detailed. Sizes count address units. Nothing for an empty table.
    void dump(FILE* out);

private:
    // A stretch of addresses, from `start` up to the next stretch's start, and the first PT_LOAD segment
    // in table order that holds every one of them (`none` when no segment does).
    struct LOAD_RANGE {
        uint64_t start;
        uint32_t index;
    };
    static constexpr uint32_t none = 0xFFFFFFFF;
    void index_loads();

    ELF_FILE* file_;
    std::vector<ELF_PROGRAM_HEADER> headers_;  // the entries up to the last one the bytes make non-zero
    std::map<uint32_t, std::unique_ptr<ELF_SEGMENT>> segments_;
    std::vector<bool> deleted_;
    std::vector<LOAD_RANGE> load_ranges_;
    bool loads_indexed_ = false;
    uint16_t count_ = 0;
    uint32_t entry_size_ = 0;
    uint32_t offset_ = 0;
};

}  // namespace OFE
