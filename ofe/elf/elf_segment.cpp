// The ELF program header table.
#include "ofe/elf/elf_segment.h"

#include <algorithm>
#include <functional>
#include <queue>

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_file.h"
#include "ofe/machine/of_machine_db.h"
#include "ofe/elf/elf_names.h"

namespace OFE {

ELF_SEGMENT::ELF_SEGMENT(ELF_SEGMENT_TABLE* table, uint16_t index)
    : OF_STATE_MACHINE(table->owner()), table_(table), index_(index) {}

const ELF_PROGRAM_HEADER& ELF_SEGMENT::header() const { return table_->raw_header(index_); }

const char* ELF_SEGMENT::type_name() const { return table_->type_name_of(header().p_type); }

const char* ELF_SEGMENT::flag_name(uint32_t bit) const {
    const char* own = table_->file()->machine_db()->segment_flag_name(bit);
    return own ? own : elf_segment_flag_name(bit);
}

const char* ELF_SEGMENT::flags_text() const { return elf_segment_flags_text(header().p_flags); }

ELF_SEGMENT_TABLE::ELF_SEGMENT_TABLE(ELF_FILE* file) : OF_STATE_MACHINE(file), file_(file) {}

ELF_SEGMENT_TABLE::~ELF_SEGMENT_TABLE() = default;

namespace {

bool all_zero(const ELF_PROGRAM_HEADER& h) {
    return (h.p_type | h.p_offset | h.p_vaddr | h.p_paddr | h.p_filesz | h.p_memsz | h.p_flags | h.p_align) == 0;
}

}  // namespace

int ELF_SEGMENT_TABLE::read(uint32_t offset, uint32_t entry_size, uint16_t count) {
    if (require_at_most_state(OF_STATE_OPEN) != 0) return 0;
    headers_.clear();
    segments_.clear();
    deleted_.clear();
    load_ranges_.clear();
    loads_indexed_ = false;
    count_ = 0;
    if (count == 0) return 0;
    count_ = count;
    entry_size_ = entry_size;
    offset_ = offset;
    DATA_MAP map;
    file_->get_file_data(map, offset, count * entry_size);
    map.load();
    // An entry that starts where the file's bytes have ended reads as zeros, and so does every entry of
    // a table whose entry size is 0 (the table then covers no bytes). Only the entries before those are
    // read, and of them only up to the last one that is not all zeros is kept.
    const uint64_t held = map.bytes_held();
    const uint64_t readable = entry_size == 0 ? 0 : std::min<uint64_t>(count, (held + entry_size - 1) / entry_size);
    headers_.resize(static_cast<size_t>(readable));
    for (uint32_t i = 0; i < readable; ++i) {
        ELF_PROGRAM_HEADER& h = headers_[i];
        map.set_cursor(uint64_t{i} * entry_size);
        h.p_type = map.read_u32();
        h.p_offset = map.read_u32();
        h.p_vaddr = map.read_u32();
        h.p_paddr = map.read_u32();
        h.p_filesz = map.read_u32();
        h.p_memsz = map.read_u32();
        h.p_flags = map.read_u32();
        h.p_align = map.read_u32();
    }
    while (!headers_.empty() && all_zero(headers_.back())) headers_.pop_back();
    deleted_.assign(count, false);
    return 0;
}

const ELF_PROGRAM_HEADER& ELF_SEGMENT_TABLE::raw_header(uint32_t index) const {
    static const ELF_PROGRAM_HEADER zeros;
    return index < headers_.size() ? headers_[index] : zeros;
}

ELF_SEGMENT* ELF_SEGMENT_TABLE::segment_at(uint32_t index) {
    if (index >= count_) return nullptr;
    std::unique_ptr<ELF_SEGMENT>& slot = segments_[index];
    if (!slot) {
        slot = std::make_unique<ELF_SEGMENT>(this, static_cast<uint16_t>(index));
        const ELF_PROGRAM_HEADER& h = raw_header(index);
        if (file_->info().handle) file_->get_file_data(slot->data_, h.p_offset, h.p_filesz);
    }
    return slot.get();
}

const char* ELF_SEGMENT_TABLE::type_name_of(uint32_t type) const {
    const char* own = file_->machine_db()->segment_type_name(type);
    return own ? own : elf_segment_type_name(type);
}

ELF_SEGMENT* ELF_SEGMENT_TABLE::find_by_type(uint32_t type, uint32_t start) {
    for (uint32_t i = start; i < headers_.size(); ++i)
        if (!deleted_[i] && headers_[i].p_type == type) return segment_at(i);
    // The entries past the kept ones are PT_NULL.
    if (type == ELF::PT_NULL)
        for (uint32_t i = std::max<uint32_t>(start, static_cast<uint32_t>(headers_.size())); i < count_; ++i)
            if (!deleted_[i]) return segment_at(i);
    return nullptr;
}

void ELF_SEGMENT_TABLE::index_loads() {
    loads_indexed_ = true;
    load_ranges_.clear();
    // A sweep over the PT_LOAD segments' starts and ends (as 64-bit sums, which cannot wrap): between two
    // consecutive positions the same segments hold every address, and the first of them in table order
    // answers. Segments left behind stay in the queue until they reach its top.
    struct EDGE {
        uint64_t at;
        uint32_t index;
        bool opens;
    };
    std::vector<EDGE> edges;
    for (uint32_t i = 0; i < headers_.size(); ++i) {
        const ELF_PROGRAM_HEADER& h = headers_[i];
        if (h.p_type != ELF::PT_LOAD || h.p_memsz == 0) continue;
        edges.push_back({h.p_vaddr, i, true});
        edges.push_back({uint64_t{h.p_vaddr} + h.p_memsz, i, false});
    }
    std::sort(edges.begin(), edges.end(), [](const EDGE& a, const EDGE& b) { return a.at < b.at; });
    std::priority_queue<uint32_t, std::vector<uint32_t>, std::greater<>> holding;
    std::vector<bool> ended(headers_.size(), false);
    uint32_t current = none;
    for (size_t k = 0; k < edges.size();) {
        const uint64_t at = edges[k].at;
        for (; k < edges.size() && edges[k].at == at; ++k) {
            if (edges[k].opens)
                holding.push(edges[k].index);
            else
                ended[edges[k].index] = true;
        }
        while (!holding.empty() && ended[holding.top()]) holding.pop();
        const uint32_t first = holding.empty() ? none : holding.top();
        if (first != current) {
            load_ranges_.push_back({at, first});
            current = first;
        }
    }
}

ELF_SEGMENT* ELF_SEGMENT_TABLE::find_load_by_address(uint32_t address, uint32_t start) {
    if (!loads_indexed_) index_loads();
    const auto after = std::upper_bound(load_ranges_.begin(), load_ranges_.end(), uint64_t{address},
                                        [](uint64_t a, const LOAD_RANGE& r) { return a < r.start; });
    if (after == load_ranges_.begin()) return nullptr;
    const uint32_t first = std::prev(after)->index;
    if (first == none) return nullptr;
    if (first >= start) return segment_at(first);
    // A segment before `start` holds the address: the later ones are searched one by one.
    for (uint32_t i = start; i < headers_.size(); ++i) {
        const ELF_PROGRAM_HEADER& h = headers_[i];
        if (h.p_type == ELF::PT_LOAD && h.p_vaddr <= address && address - h.p_vaddr < h.p_memsz)
            return segment_at(i);
    }
    return nullptr;
}

ELF_SEGMENT* ELF_SEGMENT_TABLE::find_by_offset(uint32_t offset, uint32_t type, uint32_t start) {
    // The entries past the kept ones have no file bytes and hold no offset.
    for (uint32_t i = start; i < headers_.size(); ++i) {
        const ELF_PROGRAM_HEADER& h = headers_[i];
        if ((type == 0 || h.p_type == type) && h.p_offset <= offset && offset - h.p_offset < h.p_filesz)
            return segment_at(i);
    }
    return nullptr;
}

}  // namespace OFE
