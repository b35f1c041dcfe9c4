// Laying ELF files out for writing ("formatted"): a file whose program headers were read keeps what its segments
// hold where it was; a file whose segments record their contents has them laid out by the segment table; every
// other part goes after them, or, in a file without segments, everything is placed afresh.
#include <algorithm>
#include <vector>

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_section.h"
#include "ofe/elf/elf_segment.h"

namespace OFE {

namespace {

uint64_t align_up(uint64_t offset, uint32_t alignment) {
    return alignment > 1 ? (offset + alignment - 1) / alignment * alignment : offset;
}

// A section's file offset follows its alignment up to a page: a larger alignment is one of addresses, which the
// file need not repeat (and a damaged header's would leave gigabytes of gap).
constexpr uint32_t LARGEST_FILE_ALIGNMENT = 0x1000;

// The segment whose file image holds the first byte of the section; null when none does.
const ELF_PROGRAM_HEADER* holder(ELF_SEGMENT_TABLE* segments, const ELF_SECTION_HEADER& h) {
    for (uint32_t i = 0; i < segments->count(); ++i) {
        const ELF_PROGRAM_HEADER& p = segments->raw_header(i);
        if (p.p_filesz > 0 && p.p_offset <= h.sh_offset && h.sh_offset - p.p_offset < p.p_filesz) return &p;
    }
    return nullptr;
}

}  // namespace

bool ELF_FILE::keeps_segment_layout() {
    ELF_SEGMENT_TABLE* segments = segment_table();
    return segments->count() > 0 && !segments->lays_out_afresh();
}

int32_t ELF_FILE::lay_out() {
    ELF_SECTION_TABLE* sections = section_table();
    ELF_SEGMENT_TABLE* segments = segment_table();
    const bool keep = keeps_segment_layout();
    uint64_t at = ELF::EHDR::SIZE;
    std::vector<bool> placed(sections->count(), false);
    if (keep) {
        // The header, the program header table and every segment's bytes stay; so does each section that a
        // segment holds, as long as it still fits there.
        at = std::max<uint64_t>(at, uint64_t{header_.e_phoff} + uint64_t{segments->count()} * ELF::PHDR::SIZE);
        for (uint32_t i = 0; i < segments->count(); ++i) {
            // (Only bytes the file holds: the table and the segments' bytes were checked when locking.)
            const ELF_PROGRAM_HEADER& p = segments->raw_header(i);
            if (p.p_filesz > 0) at = std::max<uint64_t>(at, uint64_t{p.p_offset} + p.p_filesz);
        }
        for (uint32_t i = 1; i < sections->count(); ++i) {
            ELF_SECTION* s = sections->elf_section_at(i);
            const ELF_SECTION_HEADER& h = s->header();
            const ELF_PROGRAM_HEADER* p = holder(segments, h);
            // Allocated sections keep their places whether or not a segment's bytes hold them (.bss).
            if (!p && !(s->allocated() && s->from_input())) continue;
            const uint64_t bytes = s->has_raw_data() ? h.sh_size : 0;
            if (p && uint64_t{h.sh_offset} + bytes > uint64_t{p->p_offset} + p->p_filesz) {
                report_error(OF_ERR_ILLEGAL_OPERATION,
                             "%s: section \"%s\" no longer fits in the segment at file offset 0x%x that holds it",
                             display_name(), s->name() ? s->name() : "", p->p_offset);
                return -1;
            }
            placed[i] = true;
            if (bytes > 0) at = std::max<uint64_t>(at, uint64_t{h.sh_offset} + bytes);
        }
    } else if (segments->count() > 0) {
        if (segments->layout() != 0) return -1;
        at = std::max(at, segments->image_end());
        for (uint32_t i = 1; i < sections->count(); ++i) placed[i] = segments->placed_section(i);
    } else {
        header_.e_phoff = 0;
    }
    // The rest in index order, each at its alignment.
    for (uint32_t i = 1; i < sections->count(); ++i) {
        if (placed[i]) continue;
        ELF_SECTION* s = sections->elf_section_at(i);
        ELF_SECTION_HEADER& h = s->header();
        if (h.sh_type == ELF::SHT_NULL) continue;
        at = align_up(at, std::min(h.sh_addralign, LARGEST_FILE_ALIGNMENT));
        h.sh_offset = static_cast<uint32_t>(at);
        if (s->has_raw_data()) at += h.sh_size;
    }
    if (sections->count() > 0) {
        ELF_SECTION_HEADER& zero = sections->elf_section_at(0)->header();
        zero.sh_offset = 0;
        at = align_up(at, 4);
        header_.e_shoff = static_cast<uint32_t>(at);
        at += uint64_t{sections->count()} * ELF::SHDR::SIZE;
    } else {
        header_.e_shoff = 0;
    }
    if (at > 0xFFFFFFFFu) {
        report_error(OF_ERR_ILLEGAL_OPERATION, "%s: the object would be larger than 4 GiB", display_name());
        return -1;
    }
    mutable_info().size = static_cast<uint32_t>(at);
    if (sections->progress_to_state(OF_STATE_FORMATTED) != 0) return -1;
    return segments->progress_to_state(OF_STATE_FORMATTED);
}

}  // namespace OFE
