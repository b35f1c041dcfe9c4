// Laying a program header table out for writing: the table after the file header, each PT_LOAD segment's
// image with what it holds at its addresses, and the other segments around the sections they hold.
#include <algorithm>

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_section.h"
#include "ofe/elf/elf_segment.h"

namespace OFE {

namespace {

constexpr uint64_t largest_offset = 0xFFFFFFFFu;

uint64_t round_down(uint64_t value, uint32_t alignment) {
    return alignment > 1 ? value / alignment * alignment : value;
}

bool holds(const ELF_SEGMENT* segment, ELF_SEGMENT_ITEM item) {
    const std::vector<ELF_SEGMENT_ITEM>& held = segment->contents();
    return std::find(held.begin(), held.end(), item) != held.end();
}

}  // namespace

uint32_t ELF_SEGMENT_TABLE::layout_header_table() {
    ELF_HEADER& file_header = file_->header_for_change();
    const uint32_t size = uint32_t{count_} * ELF::PHDR::SIZE;
    file_header.e_phoff = count_ > 0 ? ELF::EHDR::SIZE : 0;
    file_header.e_phentsize = ELF::PHDR::SIZE;
    file_header.e_phnum = count_;
    for (ELF_PROGRAM_HEADER& h : headers_for_change()) {
        if (h.p_type != ELF::PT_PHDR) continue;
        h.p_offset = file_header.e_phoff;
        h.p_filesz = h.p_memsz = size;
        if (h.p_align == 0) h.p_align = 4;
    }
    frozen_ = true;
    return file_header.e_phoff + size;
}

int32_t ELF_SEGMENT_TABLE::layout() {
    if (laying_out_) {
        file_->report_error(OF_ERR_INTERNAL,
                            "recursive call detected to a method that does not support recursive calls");
        return -1;
    }
    laying_out_ = true;
    const int32_t result = lay_out_segments();
    laying_out_ = false;
    return result;
}

int32_t ELF_SEGMENT_TABLE::lay_out_segments() {
    drop_deleted();
    ELF_SECTION_TABLE* sections = file_->section_table();
    placed_.assign(sections->count(), false);
    header_end_ = layout_header_table();
    std::vector<ELF_PROGRAM_HEADER>& headers = headers_for_change();
    // Visits each segment other than PT_LOAD and PT_PHDR that holds sections, with those sections by address;
    // stops at the first visit that fails.
    const auto each_section_holder = [&](const auto& visit) {
        for (uint32_t i = 0; i < count_; ++i) {
            if (headers[i].p_type == ELF::PT_LOAD || headers[i].p_type == ELF::PT_PHDR) continue;
            std::vector<ELF_SECTION*> held;
            if (const auto found = segments_.find(i); found != segments_.end())
                for (const ELF_SEGMENT_ITEM& item : found->second->contents())
                    if (item.kind == ELF_ITEM_SECTION && item.index < sections->count())
                        held.push_back(sections->elf_section_at(item.index));
            if (held.empty()) continue;
            std::stable_sort(held.begin(), held.end(), [](const ELF_SECTION* a, const ELF_SECTION* b) {
                return a->header().sh_addr < b->header().sh_addr;
            });
            if (visit(i, headers[i], held) != 0) return -1;
        }
        return 0;
    };

    // Such a segment spans its sections' addresses; the PT_LOAD holding it checks them.
    (void)each_section_holder([](uint32_t, ELF_PROGRAM_HEADER& h, const std::vector<ELF_SECTION*>& held) {
        uint64_t end = 0;
        for (const ELF_SECTION* s : held) end = std::max(end, uint64_t{s->header().sh_addr} + s->header().sh_size);
        h.p_vaddr = held.front()->header().sh_addr;
        h.p_memsz = static_cast<uint32_t>(end - h.p_vaddr);
        return 0;
    });
    // The program header table is loaded with the file header, by the PT_LOAD segment that holds the PT_PHDR.
    for (uint32_t i = 0; i < count_; ++i) {
        if (headers[i].p_type != ELF::PT_PHDR) continue;
        const bool loaded = std::any_of(segments_.begin(), segments_.end(), [&](const auto& entry) {
            return headers[entry.first].p_type == ELF::PT_LOAD && holds(entry.second.get(), {ELF_ITEM_SEGMENT, i});
        });
        if (!loaded) {
            file_->report_error(OF_ERR_ILLEGAL_OPERATION,
                                "a PT_PHDR segment exists, but it is not contained by a PT_LOAD segment; PT_PHDR "
                                "segments are required to be allocated to memory");
            return -1;
        }
    }
    uint64_t at = header_end_;
    for (uint32_t i = 0; i < count_; ++i)
        if (headers[i].p_type == ELF::PT_LOAD && lay_out_load(i, at) != 0) return -1;

    // The other segments' file images follow their sections, wherever the PT_LOAD segments put them.
    const int32_t spanned = each_section_holder([&](uint32_t i, ELF_PROGRAM_HEADER& h,
                                                    const std::vector<ELF_SECTION*>& held) {
        uint64_t end = 0;
        for (const ELF_SECTION* s : held) {
            if (!placed_[s->index()]) {
                file_->report_error(OF_ERR_ILLEGAL_OPERATION,
                                    "%s: section \"%s\" of the %s segment %u lies in no PT_LOAD segment",
                                    file_->display_name(), s->name() ? s->name() : "", type_name_of(h.p_type), i);
                return -1;
            }
            end = std::max<uint64_t>(end, s->header().sh_offset + (s->has_raw_data() ? s->header().sh_size : 0));
        }
        h.p_offset = held.front()->header().sh_offset;
        h.p_filesz = static_cast<uint32_t>(std::max<uint64_t>(end, h.p_offset) - h.p_offset);
        const ELF_SEGMENT* load = find_load_by_section(held.front()->index());
        h.p_paddr = load ? h.p_vaddr + (load->header().p_paddr - load->header().p_vaddr) : h.p_vaddr;
        return 0;
    });
    if (spanned != 0) return -1;
    image_end_ = at;
    return 0;
}

int32_t ELF_SEGMENT_TABLE::lay_out_load(uint32_t index, uint64_t& at) {
    ELF_SECTION_TABLE* sections = file_->section_table();
    ELF_PROGRAM_HEADER& h = headers_[index];
    const ELF_SEGMENT* segment = segment_at(index);
    const uint32_t alignment = std::max<uint32_t>(h.p_align, 1);
    // What the segment holds: the headers (the file header, or the PT_PHDR that follows it), the other segments,
    // and the sections by address.
    bool holds_headers = false;
    std::vector<uint32_t> inner;
    std::vector<ELF_SECTION*> held;
    for (const ELF_SEGMENT_ITEM& item : segment->contents()) {
        if (item.kind == ELF_ITEM_FILE_HEADER) holds_headers = true;
        if (item.kind == ELF_ITEM_SEGMENT && item.index < count_) {
            inner.push_back(item.index);
            if (headers_[item.index].p_type == ELF::PT_PHDR) holds_headers = true;
        }
        if (item.kind == ELF_ITEM_SECTION && item.index > 0 && item.index < sections->count())
            held.push_back(sections->elf_section_at(item.index));
    }
    std::stable_sort(held.begin(), held.end(), [](const ELF_SECTION* a, const ELF_SECTION* b) {
        return a->header().sh_addr < b->header().sh_addr;
    });
    const uint64_t headers_size = holds_headers ? header_end_ : 0;
    if (h.p_vaddr == 0 && !held.empty()) {
        const uint64_t lowest = held.front()->header().sh_addr;
        h.p_vaddr = static_cast<uint32_t>(
            !holds_headers ? lowest : lowest >= headers_size ? round_down(lowest - headers_size, alignment) : 0);
    }
    if (h.p_paddr == 0) h.p_paddr = h.p_vaddr;
    uint64_t start = 0;
    if (holds_headers) {
        if (h.p_vaddr % alignment != 0) {
            file_->report_error(OF_ERR_ILLEGAL_OPERATION,
                                "%s: the PT_LOAD segment %u holds the file header at offset 0, so its address "
                                "(0x%08x) must be a multiple of its alignment (%u)",
                                file_->display_name(), index, h.p_vaddr, alignment);
            return -1;
        }
    } else {
        // The first offset from `at` on that is congruent to the address.
        start = at + (h.p_vaddr % alignment + alignment - at % alignment) % alignment;
    }
    uint64_t next = start + headers_size;  // the first file byte that nothing holds yet
    uint64_t file_end = next;
    uint64_t memory_end = h.p_vaddr + headers_size;
    for (uint32_t j : inner) {
        ELF_PROGRAM_HEADER& x = headers_[j];
        if (x.p_type == ELF::PT_PHDR) {
            x.p_vaddr = h.p_vaddr + x.p_offset;
            x.p_paddr = h.p_paddr + x.p_offset;
            continue;
        }
        if (x.p_vaddr < h.p_vaddr) {
            file_->report_error(OF_ERR_ILLEGAL_OPERATION,
                                "program segment contains a segment whose vaddr (0x%08x) is less than the program "
                                "segments (0x%08x)",
                                x.p_vaddr, h.p_vaddr);
            return -1;
        }
        memory_end = std::max(memory_end, uint64_t{x.p_vaddr} + x.p_memsz);
    }
    for (ELF_SECTION* s : held) {
        ELF_SECTION_HEADER& sh = s->header();
        if (sh.sh_addr < h.p_vaddr) {
            file_->report_error(OF_ERR_ILLEGAL_OPERATION,
                                "program segment contains a section whose vaddr (0x%08x) is less than the program "
                                "segments (0x%08x)",
                                sh.sh_addr, h.p_vaddr);
            return -1;
        }
        const uint64_t offset = start + (sh.sh_addr - h.p_vaddr);
        if (offset < next) {
            file_->report_error(OF_ERR_ILLEGAL_OPERATION,
                                "%s: section \"%s\" at 0x%08x overlaps what the PT_LOAD segment %u holds before it",
                                file_->display_name(), s->name() ? s->name() : "", sh.sh_addr, index);
            return -1;
        }
        const uint64_t bytes = s->has_raw_data() ? sh.sh_size : 0;
        if (offset + bytes > largest_offset) {
            file_end = offset + bytes;
            break;  // reported below
        }
        sh.sh_offset = static_cast<uint32_t>(offset);
        placed_[s->index()] = true;
        if (bytes > 0) next = file_end = std::max(file_end, offset + bytes);
        memory_end = std::max(memory_end, uint64_t{sh.sh_addr} + sh.sh_size);
    }
    if (file_end > largest_offset || memory_end - h.p_vaddr > largest_offset) {
        file_->report_error(OF_ERR_ILLEGAL_OPERATION, "%s: the object would be larger than 4 GiB",
                            file_->display_name());
        return -1;
    }
    h.p_offset = static_cast<uint32_t>(start);
    h.p_filesz = static_cast<uint32_t>(file_end - start);
    h.p_memsz = static_cast<uint32_t>(memory_end - h.p_vaddr);
    at = std::max(at, file_end);
    return 0;
}

}  // namespace OFE
