// The ELF program header table: raw headers read with the file, segments made on first request, the searches
// by type, address, offset and section, and the writing side (segments added with their contents and laid out).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "ofe/of_state_machine.h"
#include "ofe/of_types.h"
#include "util/data_map.h"

namespace OFE {

class ELF_FILE;
class ELF_SEGMENT_TABLE;
class OF_SECTION;

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

// What a segment holds, as the layout places it: the ELF file header (with the program header table after
// it), a section by its index, or another segment by its index.
enum ELF_SEGMENT_ITEM_KIND : uint32_t { ELF_ITEM_FILE_HEADER = 1, ELF_ITEM_SECTION = 2, ELF_ITEM_SEGMENT = 3 };
struct ELF_SEGMENT_ITEM {
    uint32_t kind = 0;
    uint32_t index = 0;
    bool operator==(const ELF_SEGMENT_ITEM&) const = default;
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

    // ---- Writing ----
    // The header as it is stored; each change is the file's to write.
    ELF_PROGRAM_HEADER& header_for_change();
    // Whether the segment records its contents (made by `add_segment`, added to, or recomputed by the table),
    // and what it holds.
    bool records_contents() const { return records_contents_; }
    const std::vector<ELF_SEGMENT_ITEM>& contents() const { return contents_; }
    // Adds the file header, a section or a segment to the contents (each requires the table "open"; false when
    // it refuses). Only a PT_LOAD segment holds other segments: anything else reports code 5 "illegal attempt to
    // add a segment to a non-PT_LOAD segment" and holds nothing more. An item held already is not added again.
    bool add_file_header();
    bool add_section(const OF_SECTION* section);
    bool add_segment(const ELF_SEGMENT* segment);
    // Empties the contents; the segment still records them.
    void clear_contents();

private:
    friend class ELF_SEGMENT_TABLE;
    bool add_item(ELF_SEGMENT_ITEM item);

    ELF_SEGMENT_TABLE* table_;
    uint16_t index_;
    DATA_MAP data_;
    bool records_contents_ = false;
    std::vector<ELF_SEGMENT_ITEM> contents_;
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
    // detailed (with "Contains:" rows for a segment that records its contents). Sizes count address units.
    // Nothing for an empty table.
    void dump(FILE* out);

    // ---- Writing ----
    //
    // A file is built with segments this way: the sections get their addresses (sh_addr) and the PT_LOAD
    // segments their p_type, p_flags and p_align, and what each holds: the file header first when it is to be
    // loaded, the PT_PHDR segment (a PT_LOAD holding it holds the file header as well), then sections. The
    // layout (entering "formatted") follows these rules:
    // - The program header table follows the file header at offset 52 (`layout_header_table`); its size is
    //   then frozen. A PT_PHDR segment covers it, at the address where its PT_LOAD segment loads it.
    // - A PT_LOAD's p_vaddr is where its image starts: sections below it are refused. A p_vaddr of 0 is the
    //   layout's to choose: the lowest address the segment holds, or, when it holds the file header, the
    //   highest address aligned to p_align that leaves room for the headers below its first section.
    // - Its image is contiguous: each item lies at p_offset + (address - p_vaddr), so file offsets are
    //   congruent to addresses modulo p_align. The PT_LOAD holding the file header starts at offset 0 (its
    //   p_vaddr must then be a multiple of p_align); each other one at the first such offset after the
    //   bytes before it. Items that would overlap (a section placed on the headers or on the section before
    //   it) are refused.
    // - p_filesz ends with the last byte of a section with file bytes; p_memsz with the last address held,
    //   SHT_NOBITS sections included. A p_paddr of 0 becomes p_vaddr.
    // - Any other segment that holds sections spans them (they must lie in a PT_LOAD segment); one that
    //   holds none keeps what was set.
    // A table read from a file keeps its layout as read until one of its entries records contents
    // (`recompute_contents` finds them from the addresses) or entries are added; then the entries read
    // that record none have theirs found when the file is locked, and the table is laid out afresh. Deleted
    // entries leave the table when the file is locked.

    // Adds an entry with `header` (offsets and sizes are the layout's) at the end of the table and, when
    // `within` is given, to that segment's contents; requires "open". A `within` that is not PT_LOAD reports
    // code 5 "illegal attempt to add a segment to a non-PT_LOAD segment" and adds nothing (null). After the
    // table's size was frozen, code 4 "size of program header table has been frozen; ..." is reported and
    // the segment added all the same.
    ELF_SEGMENT* add_segment(const ELF_PROGRAM_HEADER& header, ELF_SEGMENT* within = nullptr);
    // Marks the entry deleted (the searches skip it) and the table modified; requires "open". False when the
    // state forbids it or there is no such live entry.
    bool delete_segment(uint32_t index);
    bool is_deleted(uint32_t index) const { return index < deleted_.size() && deleted_[index]; }
    bool modified() const { return modified_; }
    // Deletes every live PT_LOAD segment that records its contents and holds nothing (a segment read from the
    // file records none until they are recomputed); the number deleted.
    uint32_t remove_empty_loads();
    // The first live PT_LOAD segment whose contents hold the section; null when none does.
    ELF_SEGMENT* find_load_by_section(uint32_t section_index);
    // Every live entry's contents found anew from the addresses (requires "open"; -1 when it refuses): a
    // PT_LOAD holds the file header when its file image starts at 0 and covers it, and every other segment
    // and allocated section whose addresses lie within its memory image; any other segment the allocated
    // sections within it. Thread-local SHT_NOBITS sections belong to PT_TLS segments only.
    int32_t recompute_contents();
    // The same for the live entries that record no contents (those read from the file), so that entries added
    // to a table read from a file keep what they were given.
    int32_t find_missing_contents();
    // Fixes the table's size: adding a segment afterwards is reported (code 4).
    void freeze() { frozen_ = true; }
    bool frozen() const { return frozen_; }
    // Whether the layout builds the table afresh from its contents (see above), because a live entry records
    // them, rather than keeping the layout as read.
    bool lays_out_afresh() const;
    // Places the program header table after the file header (e_phoff, e_phentsize, e_phnum), sizes every
    // PT_PHDR segment to it and freezes the table; the offset where the table ends.
    uint32_t layout_header_table();
    // Lays the segments and the sections they hold out by the rules above; 0, or -1 after a report. A call
    // made while a layout is under way reports code 7 "recursive call detected to a method that does not
    // support recursive calls" and does nothing.
    int32_t layout();
    // After a layout: where the segments' file images end, and whether it placed a section.
    uint64_t image_end() const { return image_end_; }
    bool placed_section(uint32_t section_index) const {
        return section_index < placed_.size() && placed_[section_index];
    }
    // Removes the deleted entries; the later ones move down and the contents follow.
    void drop_deleted();
    // The contents follow the sections to their new indexes; removed sections leave them.
    void renumber_sections(const std::vector<uint32_t>& map);
    // Every segment follows the table into the writing states and back.
    int32_t on_progress(int32_t new_state) override;
    int32_t on_revert(int32_t target_state) override;

private:
    friend class ELF_SEGMENT;
    // A stretch of addresses, from `start` up to the next stretch's start, and the first PT_LOAD segment
    // in table order that holds every one of them (`none` when no segment does).
    struct LOAD_RANGE {
        uint64_t start;
        uint32_t index;
    };
    static constexpr uint32_t none = 0xFFFFFFFF;
    void index_loads();
    // Every header kept (count entries), for a change; the address index is made again on the next search.
    std::vector<ELF_PROGRAM_HEADER>& headers_for_change();
    int32_t find_contents(bool only_missing);
    int32_t lay_out_segments();
    int32_t lay_out_load(uint32_t index, uint64_t& at);

    ELF_FILE* file_;
    std::vector<ELF_PROGRAM_HEADER> headers_;  // the entries up to the last one the bytes make non-zero
    std::map<uint32_t, std::unique_ptr<ELF_SEGMENT>> segments_;
    std::vector<bool> deleted_;
    std::vector<LOAD_RANGE> load_ranges_;
    bool loads_indexed_ = false;
    uint16_t count_ = 0;
    uint32_t entry_size_ = 0;
    uint32_t offset_ = 0;
    bool frozen_ = false;
    bool modified_ = false;
    bool laying_out_ = false;
    uint32_t header_end_ = 0;  // where the program header table ends, during a layout
    uint64_t image_end_ = 0;
    std::vector<bool> placed_;
};

}  // namespace OFE
