// The ELF program header table.
#include "ofe/elf/elf_segment.h"

#include <algorithm>
#include <functional>
#include <queue>

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_file.h"
#include "ofe/machine/of_machine_db.h"
#include "ofe/elf/elf_names.h"
#include "ofe/elf/elf_section.h"

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

// ---- Writing: contents ----

ELF_PROGRAM_HEADER& ELF_SEGMENT::header_for_change() { return table_->headers_for_change()[index_]; }

bool ELF_SEGMENT::add_item(ELF_SEGMENT_ITEM item) {
    if (table_->require_at_most_state(OF_STATE_OPEN) != 0) return false;
    records_contents_ = true;
    if (std::find(contents_.begin(), contents_.end(), item) == contents_.end()) contents_.push_back(item);
    return true;
}

bool ELF_SEGMENT::add_file_header() { return add_item({ELF_ITEM_FILE_HEADER, 0}); }

bool ELF_SEGMENT::add_section(const OF_SECTION* section) {
    return section && add_item({ELF_ITEM_SECTION, section->index()});
}

bool ELF_SEGMENT::add_segment(const ELF_SEGMENT* segment) {
    if (!segment) return false;
    if (header().p_type != ELF::PT_LOAD) {
        owner()->report_error(OF_ERR_ILLEGAL_OPERATION, "illegal attempt to add a segment to a non-PT_LOAD segment");
        return false;
    }
    return add_item({ELF_ITEM_SEGMENT, segment->index()});
}

void ELF_SEGMENT::clear_contents() {
    contents_.clear();
    records_contents_ = true;
}

// ---- Writing: the table ----

std::vector<ELF_PROGRAM_HEADER>& ELF_SEGMENT_TABLE::headers_for_change() {
    // The entries past the kept ones are all zeros; a change needs them all (at most 65535).
    if (headers_.size() < count_) headers_.resize(count_);
    loads_indexed_ = false;
    return headers_;
}

ELF_SEGMENT* ELF_SEGMENT_TABLE::add_segment(const ELF_PROGRAM_HEADER& header, ELF_SEGMENT* within) {
    if (require_at_most_state(OF_STATE_OPEN) != 0) return nullptr;
    if (count_ == 0xFFFF) {
        file_->report_error(OF_ERR_ILLEGAL_OPERATION, "%s: the program header table holds 65535 entries already",
                            file_->display_name());
        return nullptr;
    }
    if (within && within->header().p_type != ELF::PT_LOAD) {
        file_->report_error(OF_ERR_ILLEGAL_OPERATION, "illegal attempt to add a segment to a non-PT_LOAD segment");
        return nullptr;
    }
    if (frozen_)
        file_->report_error(OF_ERR_WARNING, "size of program header table has been frozen; cannot add new segments "
                                            "after the PT_PHDR segment has been allocated");
    headers_for_change().push_back(header);
    deleted_.push_back(false);
    const uint32_t index = count_++;
    ELF_SEGMENT* segment = segment_at(index);
    segment->records_contents_ = true;  // what it holds is what it is given
    if (within) (void)within->add_segment(segment);
    return segment;
}

bool ELF_SEGMENT_TABLE::delete_segment(uint32_t index) {
    if (require_at_most_state(OF_STATE_OPEN) != 0 || index >= count_ || deleted_[index]) return false;
    deleted_[index] = true;
    modified_ = true;
    loads_indexed_ = false;
    return true;
}

uint32_t ELF_SEGMENT_TABLE::remove_empty_loads() {
    uint32_t removed = 0;
    for (uint32_t i = 0; i < count_; ++i) {
        if (deleted_[i] || raw_header(i).p_type != ELF::PT_LOAD) continue;
        // A segment read from the file holds what it held until its contents are recomputed.
        const auto held = segments_.find(i);
        if (held != segments_.end() && held->second->records_contents_ && held->second->contents_.empty() &&
            delete_segment(i))
            ++removed;
    }
    return removed;
}

ELF_SEGMENT* ELF_SEGMENT_TABLE::find_load_by_section(uint32_t section_index) {
    const ELF_SEGMENT_ITEM item{ELF_ITEM_SECTION, section_index};
    for (const auto& [i, segment] : segments_) {
        if (deleted_[i] || raw_header(i).p_type != ELF::PT_LOAD) continue;
        const std::vector<ELF_SEGMENT_ITEM>& held = segment->contents_;
        if (std::find(held.begin(), held.end(), item) != held.end()) return segment.get();
    }
    return nullptr;
}

namespace {

// Whether [start, start + size) lies within the memory image of `h` (64-bit sums, which cannot wrap).
bool within_memory(const ELF_PROGRAM_HEADER& h, uint32_t start, uint32_t size) {
    return start >= h.p_vaddr && uint64_t{start} + size <= uint64_t{h.p_vaddr} + h.p_memsz;
}

}  // namespace

int32_t ELF_SEGMENT_TABLE::recompute_contents() { return find_contents(false); }

int32_t ELF_SEGMENT_TABLE::find_missing_contents() { return find_contents(true); }

int32_t ELF_SEGMENT_TABLE::find_contents(bool only_missing) {
    if (require_at_most_state(OF_STATE_OPEN) != 0) return -1;
    ELF_SECTION_TABLE* sections = file_->section_table();
    // The allocated sections by address, so that each segment looks only at those in its range.
    struct PLACE {
        uint32_t address, size, index;
        bool tls_nobits;
    };
    std::vector<PLACE> allocated;
    for (uint32_t k = 1; k < sections->count(); ++k) {
        const ELF_SECTION* s = sections->elf_section_at(k);
        const ELF_SECTION_HEADER& h = s->header();
        if (!(h.sh_flags & ELF::SHF_ALLOC)) continue;
        allocated.push_back({h.sh_addr, h.sh_size, k, (h.sh_flags & ELF::SHF_TLS) && h.sh_type == ELF::SHT_NOBITS});
    }
    std::stable_sort(allocated.begin(), allocated.end(),
                     [](const PLACE& a, const PLACE& b) { return a.address < b.address; });
    for (uint32_t i = 0; i < count_; ++i) {
        if (deleted_[i]) continue;
        ELF_SEGMENT* segment = segment_at(i);
        if (only_missing && segment->records_contents_) continue;
        segment->clear_contents();
        const ELF_PROGRAM_HEADER& h = raw_header(i);
        if (h.p_type == ELF::PT_PHDR || h.p_memsz == 0) continue;
        std::vector<ELF_SEGMENT_ITEM>& held = segment->contents_;
        if (h.p_type == ELF::PT_LOAD) {
            if (h.p_offset == 0 && h.p_filesz >= ELF::EHDR::SIZE) held.push_back({ELF_ITEM_FILE_HEADER, 0});
            for (uint32_t j = 0; j < count_; ++j) {
                const ELF_PROGRAM_HEADER& other = raw_header(j);
                if (j != i && !deleted_[j] && other.p_type != ELF::PT_LOAD && other.p_memsz > 0 &&
                    within_memory(h, other.p_vaddr, other.p_memsz))
                    held.push_back({ELF_ITEM_SEGMENT, j});
            }
        }
        auto from = std::lower_bound(allocated.begin(), allocated.end(), h.p_vaddr,
                                     [](const PLACE& p, uint32_t address) { return p.address < address; });
        for (; from != allocated.end() && uint64_t{from->address} < uint64_t{h.p_vaddr} + h.p_memsz; ++from)
            if (within_memory(h, from->address, from->size) && (!from->tls_nobits || h.p_type == ELF::PT_TLS))
                held.push_back({ELF_ITEM_SECTION, from->index});
    }
    return 0;
}

bool ELF_SEGMENT_TABLE::lays_out_afresh() const {
    for (const auto& [i, segment] : segments_)
        if (!deleted_[i] && segment->records_contents_) return true;
    return false;
}

void ELF_SEGMENT_TABLE::drop_deleted() {
    if (!modified_) return;
    std::vector<uint32_t> map(count_, 0xFFFFFFFF);
    std::vector<ELF_PROGRAM_HEADER>& headers = headers_for_change();
    uint32_t next = 0;
    for (uint32_t i = 0; i < count_; ++i) {
        if (deleted_[i]) continue;
        map[i] = next;
        headers[next++] = headers[i];
    }
    std::map<uint32_t, std::unique_ptr<ELF_SEGMENT>> kept;
    for (auto& [i, segment] : segments_) {
        if (map[i] == 0xFFFFFFFF) continue;
        segment->index_ = static_cast<uint16_t>(map[i]);
        std::vector<ELF_SEGMENT_ITEM>& held = segment->contents_;
        for (ELF_SEGMENT_ITEM& item : held)
            if (item.kind == ELF_ITEM_SEGMENT) item.index = item.index < count_ ? map[item.index] : 0xFFFFFFFF;
        std::erase_if(held, [](const ELF_SEGMENT_ITEM& item) { return item.index == 0xFFFFFFFF; });
        kept[map[i]] = std::move(segment);
    }
    segments_ = std::move(kept);
    headers.resize(next);
    count_ = static_cast<uint16_t>(next);
    deleted_.assign(count_, false);
    modified_ = false;
}

void ELF_SEGMENT_TABLE::renumber_sections(const std::vector<uint32_t>& map) {
    for (auto& [i, segment] : segments_) {
        std::vector<ELF_SEGMENT_ITEM>& held = segment->contents_;
        for (ELF_SEGMENT_ITEM& item : held)
            if (item.kind == ELF_ITEM_SECTION) item.index = renumbered_index(map, item.index);
        // Section 0 is never held, so 0 marks a section that went.
        std::erase_if(held,
                      [](const ELF_SEGMENT_ITEM& item) { return item.kind == ELF_ITEM_SECTION && item.index == 0; });
    }
}

int32_t ELF_SEGMENT_TABLE::on_progress(int32_t new_state) {
    for (auto& [i, segment] : segments_)
        if (segment->progress_to_state(new_state) != 0) return -1;
    return 0;
}

int32_t ELF_SEGMENT_TABLE::on_revert(int32_t target_state) {
    for (auto& [i, segment] : segments_)
        if (segment->revert_to_state(target_state) != 0) return -1;
    return 0;
}

}  // namespace OFE
