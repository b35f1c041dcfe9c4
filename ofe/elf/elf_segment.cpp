// The ELF program header table.
#include "ofe/elf/elf_segment.h"

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_file.h"
#include "ofe/machine/of_machine_db.h"
#include "ofe/elf/elf_names.h"

namespace OFE {

ELF_SEGMENT::ELF_SEGMENT(ELF_SEGMENT_TABLE* table, uint16_t index)
    : OF_STATE_MACHINE(table->owner()), table_(table), index_(index) {}

const ELF_PROGRAM_HEADER& ELF_SEGMENT::header() const { return table_->raw_header(index_); }

const char* ELF_SEGMENT::type_name() const {
    const char* own = table_->file()->machine_db()->segment_type_name(header().p_type);
    return own ? own : elf_segment_type_name(header().p_type);
}

const char* ELF_SEGMENT::flag_name(uint32_t bit) const {
    const char* own = table_->file()->machine_db()->segment_flag_name(bit);
    return own ? own : elf_segment_flag_name(bit);
}

const char* ELF_SEGMENT::flags_text() const { return elf_segment_flags_text(header().p_flags); }

ELF_SEGMENT_TABLE::ELF_SEGMENT_TABLE(ELF_FILE* file) : OF_STATE_MACHINE(file), file_(file) {}

ELF_SEGMENT_TABLE::~ELF_SEGMENT_TABLE() = default;

int ELF_SEGMENT_TABLE::read(uint32_t offset, uint32_t entry_size, uint16_t count) {
    if (require_at_most_state(OF_STATE_OPEN) != 0) return 0;
    headers_.clear();
    segments_.clear();
    deleted_.clear();
    if (count == 0) return 0;
    entry_size_ = entry_size;
    offset_ = offset;
    DATA_MAP map;
    file_->get_file_data(map, offset, count * entry_size);
    headers_.resize(count);
    segments_.resize(count);
    deleted_.assign(count, false);
    for (uint32_t i = 0; i < count; ++i) {
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
    return 0;
}

ELF_SEGMENT* ELF_SEGMENT_TABLE::segment_at(uint32_t index) {
    if (index >= headers_.size()) return nullptr;
    if (!segments_[index]) {
        segments_[index] = std::make_unique<ELF_SEGMENT>(this, static_cast<uint16_t>(index));
        if (file_->info().handle)
            file_->get_file_data(segments_[index]->data_, headers_[index].p_offset, headers_[index].p_filesz);
    }
    return segments_[index].get();
}

ELF_SEGMENT* ELF_SEGMENT_TABLE::find_by_type(uint32_t type, uint32_t start) {
    for (uint32_t i = start; i < headers_.size(); ++i)
        if (!deleted_[i] && headers_[i].p_type == type) return segment_at(i);
    return nullptr;
}

ELF_SEGMENT* ELF_SEGMENT_TABLE::find_load_by_address(uint32_t address, uint32_t start) {
    for (uint32_t i = start; i < headers_.size(); ++i) {
        const ELF_PROGRAM_HEADER& h = headers_[i];
        if (h.p_type == ELF::PT_LOAD && h.p_vaddr <= address && address - h.p_vaddr < h.p_memsz)
            return segment_at(i);
    }
    return nullptr;
}

ELF_SEGMENT* ELF_SEGMENT_TABLE::find_by_offset(uint32_t offset, uint32_t type, uint32_t start) {
    for (uint32_t i = start; i < headers_.size(); ++i) {
        const ELF_PROGRAM_HEADER& h = headers_[i];
        if ((type == 0 || h.p_type == type) && h.p_offset <= offset && offset - h.p_offset < h.p_filesz)
            return segment_at(i);
    }
    return nullptr;
}

}  // namespace OFE
