// The ELF dynamic section, its tag vocabulary and the database of dynamic-linking sections.
#include "ofe/elf/elf_dynamic.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_section.h"
#include "ofe/elf/elf_segment.h"
#include "ofe/elf/elf_symbol.h"
#include "ofe/elf/elf_version.h"
#include "ofe/machine/of_machine_db.h"
#include "ofe/of_text_table.h"

namespace OFE {

namespace {

bool is_string_tag(uint32_t tag) {
    return tag == ELF::DT_NEEDED || tag == ELF::DT_SONAME || tag == ELF::DT_RPATH || tag == ELF::DT_RUNPATH;
}

}  // namespace

// ---- ELF_DYNAMIC ----

ELF_DYNAMIC::ELF_DYNAMIC(ELF_DYNAMIC_TABLE* table, uint32_t index, uint32_t tag, uint32_t d_un, const DT_INFO* info)
    : table_(table), index_(index), tag_(tag), d_un_(d_un), info_(info) {}

bool ELF_DYNAMIC::uses(DT_UN_USE use, const char* what, const char* field) const {
    if (info_->d_un_use == use) return true;
    table_->owner()->report_error(OF_ERR_ILLEGAL_OPERATION, "invalid attempt to %s the %s field of a %s dynamic entry",
                                  what, field, info_->name);
    return false;
}

uint32_t ELF_DYNAMIC::get_val() const { return uses(DT_UN_VAL, "access", "val") ? d_un_ : 0; }

uint32_t ELF_DYNAMIC::get_ptr() const { return uses(DT_UN_PTR, "access", "ptr") ? d_un_ : 0; }

void ELF_DYNAMIC::set_val(uint32_t value) {
    if (!uses(DT_UN_VAL, "set", "val")) return;
    d_un_ = value;
    write_back();
}

void ELF_DYNAMIC::set_ptr(uint32_t value) {
    if (!uses(DT_UN_PTR, "set", "ptr")) return;
    d_un_ = value;
    write_back();
}

void ELF_DYNAMIC::clear_unused() {
    if (info_->d_un_use == DT_UN_IGNORED || info_->d_un_use == DT_UN_UNSPECIFIED) d_un_ = 0;
    write_back();
}

void ELF_DYNAMIC::write_back() {
    DATA_MAP& data = table_->section()->data();
    data.set_cursor(uint64_t{index_} * table_->entry_size() + ELF::DYN::d_un);
    data.write_u32(d_un_);
}

// ---- ELF_DYNAMIC_TABLE ----

ELF_DYNAMIC_TABLE::ELF_DYNAMIC_TABLE(ELF_SECTION* section)
    : OF_STATE_MACHINE(section->owner()),
      section_(section),
      entry_size_(section->header().sh_entsize ? section->header().sh_entsize : ELF::DYN::SIZE) {
    count_ = section->entries_held(entry_size_, ELF::DYN::SIZE, section->size() / entry_size_, "dynamic section");
}

ELF_DYNAMIC_TABLE::~ELF_DYNAMIC_TABLE() {
    for (ELF_DYNAMIC* e : entries_) delete e;
}

int32_t ELF_DYNAMIC_TABLE::on_progress(int32_t new_state) {
    if (new_state != OF_STATE_LOCKED) return 0;
    const uint32_t kind = elf_file()->file_type();
    bool present[34] = {};
    for (uint32_t i = 0; i < count_; ++i) {
        ELF_DYNAMIC* e = entry(i);
        e->clear_unused();
        if (e->tag() < 34) present[e->tag()] = true;
        if (e->tag() == ELF::DT_NULL) break;  // the meaningful part of the table ends here
    }
    if (kind != OF_FILE_EXECUTABLE && kind != OF_FILE_SHARED) return 0;
    const char* kind_name = kind == OF_FILE_EXECUTABLE ? "executable" : "shared object";
    for (uint32_t tag = 0; tag < 34; ++tag) {
        const DT_INFO* info = tag_info(tag);
        const DT_REQUIREMENT need = kind == OF_FILE_EXECUTABLE ? info->exec_requirement : info->so_requirement;
        if (need == DT_REQ_MANDATORY && !present[tag])
            owner()->report_error(OF_ERR_CORRUPTED,
                                  "a \"%s\" tag does not exist in the \"%s\" section; this tag is mandatory for %s files",
                                  info->name, section_->name() ? section_->name() : "", kind_name);
    }
    return 0;
}

ELF_FILE* ELF_DYNAMIC_TABLE::elf_file() const { return static_cast<ELF_FILE*>(owner()); }

const DT_INFO* ELF_DYNAMIC_TABLE::tag_info(uint32_t tag) {
    if (tags_.empty()) {
        for (const DT_INFO& row : elf_generic_dt_infos()) tags_[row.tag] = &row;
        if (elf_file()->carries_version_info())
            for (const DT_INFO& row : elf_version_dt_infos()) tags_[row.tag] = &row;
        for (const DT_INFO& row : elf_gnu_dt_infos()) tags_[row.tag] = &row;
    }
    const auto it = tags_.find(tag);
    if (it != tags_.end()) return it->second;
    made_names_.push_back("DT_0x" + [&] {
        char hex[9];
        std::snprintf(hex, sizeof hex, "%x", tag);
        return std::string(hex);
    }());
    made_rows_.push_back({made_names_.back().c_str(), tag, elf_unlisted_dt_un_use(tag), DT_REQ_OPTIONAL,
                          DT_REQ_OPTIONAL});
    return tags_[tag] = &made_rows_.back();
}

ELF_STRING_TABLE* ELF_DYNAMIC_TABLE::string_table() {
    if (strings_looked_up_) return strings_;
    strings_looked_up_ = true;
    strings_ = elf_file()->dynamic_string_table();
    return strings_;
}

ELF_DYNAMIC* ELF_DYNAMIC_TABLE::entry(uint32_t index) {
    if (index >= count_) return nullptr;
    if (index >= entries_.size()) entries_.resize(static_cast<size_t>(index) + 1, nullptr);
    if (!entries_[index]) {
        DATA_MAP& data = section_->data();
        data.set_cursor(uint64_t{index} * entry_size_);
        const uint32_t tag = data.read_u32();
        const uint32_t d_un = data.read_u32();
        auto* e = new ELF_DYNAMIC(this, index, tag, d_un, tag_info(tag));
        if (is_string_tag(tag))
            if (ELF_STRING_TABLE* strings = string_table())
                if (const char* text = strings->get_string(d_un)) e->set_string(text);
        entries_[index] = e;
    }
    return entries_[index];
}

void ELF_DYNAMIC_TABLE::dump(FILE* out) {
    if (count_ == 0) return;
    std::fprintf(out, "\n Dynamic Information in \"%s\"\n\n", elf_file()->name() ? elf_file()->name() : "");
    OF_TEXT_TABLE rows;
    rows.add_headings({"id", "tag", "value"});
    for (uint32_t i = 0; i < count_; ++i) {
        ELF_DYNAMIC* e = entry(i);
        std::string value;
        if (is_string_tag(e->tag()))
            value = e->get_string();
        else if (e->info().d_un_use == DT_UN_PTR)
            value = text_of("0x%08x", e->get_ptr());
        else if (e->info().d_un_use == DT_UN_VAL)
            value = text_of("%u", e->get_val());
        rows.add_row({text_of("%u", i), e->info().name, value});
    }
    rows.print(out);
}

// ---- ELF_DYNAMIC_DB ----

ELF_DYNAMIC_DB::ELF_DYNAMIC_DB(ELF_FILE* file) : OF_STATE_MACHINE(file), file_(file) {}

bool ELF_DYNAMIC_DB::to_offset(uint32_t address, uint32_t& offset) const {
    if (!virtual_addresses_) {
        offset = address;
        return true;
    }
    const ELF_SEGMENT* load = file_->segment_table()->find_load_by_address(address);
    if (!load) return false;
    offset = address - load->header().p_vaddr + load->header().p_offset;
    return true;
}

ELF_SECTION* ELF_DYNAMIC_DB::make_role_section(uint32_t r, const char* name, uint32_t offset, uint32_t size,
                                               uint32_t type) {
    auto* s = static_cast<ELF_SECTION*>(file_->section_table()->add_section(name));
    if (!s) return nullptr;
    ELF_SECTION_HEADER& h = s->header();
    if (type) h.sh_type = type;
    h.sh_offset = offset;
    h.sh_size = size;
    s->set_created_by_library(true);
    if (s->has_raw_data()) {
        file_->get_file_data(s->data(), offset, size);
        s->data().set_big_endian(file_->machine_db()->section_data_endian(s) == OF_ENDIAN_BIG);
    }
    roles_[r] = s->index();
    return s;
}

bool ELF_DYNAMIC_DB::use_section_headers() {
    if (std::strcmp(file_->machine_db()->abi_vendor_name(), "QX") != 0) return false;
    ELF_SECTION_TABLE* sections = file_->section_table();
    uint32_t dynamic = 0, symbols = 0, hash = 0;
    uint32_t versions[3] = {};  // SHT_GNU_versym, SHT_GNU_verdef, SHT_GNU_verneed
    const bool versioned = file_->carries_version_info();
    for (uint32_t i = 1; i < sections->count(); ++i) {
        const ELF_SECTION* s = sections->elf_section_at(i);
        if (!s) continue;
        const uint32_t type = s->header().sh_type;
        if (type == ELF::SHT_DYNAMIC && !dynamic) dynamic = i;
        if (type == ELF::SHT_DYNSYM && !symbols) symbols = i;
        if (type == ELF::SHT_HASH && !hash) hash = i;
        if (versioned && type == ELF::SHT_GNU_versym && !versions[0]) versions[0] = i;
        if (versioned && type == ELF::SHT_GNU_verdef && !versions[1]) versions[1] = i;
        if (versioned && type == ELF::SHT_GNU_verneed && !versions[2]) versions[2] = i;
    }
    if (!dynamic || !symbols) return false;
    roles_[DYN_ROLE_DYNAMIC] = dynamic;
    roles_[DYN_ROLE_SYMBOLS] = symbols;
    roles_[DYN_ROLE_STRINGS] = sections->elf_section_at(symbols)->header().sh_link;
    roles_[DYN_ROLE_HASH] = hash;
    roles_[DYN_ROLE_VERSYM] = versions[0];
    roles_[DYN_ROLE_VERDEF] = versions[1];
    roles_[DYN_ROLE_VERNEED] = versions[2];
    return true;
}

void ELF_DYNAMIC_DB::renumber_sections(const std::vector<uint32_t>& map) {
    for (uint32_t& index : roles_) index = renumbered_index(map, index);
}

bool ELF_DYNAMIC_DB::gnu_hash_symbol_count(uint32_t offset, uint32_t& count) const {
    const uint32_t present = file_->bytes_present();
    const char* name = file_->display_name();
    DATA_MAP map;
    if (offset < present) {
        file_->get_file_data(map, offset, present - offset);
        map.load();
    }
    const uint64_t held = offset < present ? map.bytes_held() : 0;
    auto word = [&](uint64_t at, uint32_t& value) {
        if (at + 4 > held) return false;
        map.set_cursor(at);
        value = map.read_u32();
        return true;
    };
    uint32_t nbuckets = 0, symoffset = 0, bloom_size = 0, bloom_shift = 0;
    if (!word(0, nbuckets) || !word(4, symoffset) || !word(8, bloom_size) || !word(12, bloom_shift)) {
        file_->report_error(OF_ERR_CORRUPTED, "GNU hash table of \"%s\" at offset 0x%x: the file ends inside its header",
                            name, offset);
        return false;
    }
    const uint64_t buckets = 16 + uint64_t{bloom_size} * 4;  // bloom words are 32-bit in a 32-bit file
    const uint64_t chains = buckets + uint64_t{nbuckets} * 4;
    // A bucket or a chain that leads past the bytes present is reported (the first one only); the symbols
    // that the rest of the table reaches are still counted. The work is bounded by the bytes present.
    bool reported = false;
    auto first_report = [&reported] { return !std::exchange(reported, true); };
    const uint32_t buckets_held =
        held > buckets ? static_cast<uint32_t>(std::min<uint64_t>(nbuckets, (held - buckets) / 4)) : 0;
    if (buckets_held < nbuckets && first_report())
        file_->report_error(OF_ERR_CORRUPTED,
                            "GNU hash table of \"%s\" at offset 0x%x: %u buckets, but the file ends after %u of them",
                            name, offset, nbuckets, buckets_held);
    uint32_t highest = 0;
    for (uint32_t b = 0; b < buckets_held; ++b) {
        uint32_t start = 0;
        (void)word(buckets + uint64_t{b} * 4, start);
        if (start < symoffset) continue;  // an empty bucket
        if (chains + (uint64_t{start} - symoffset) * 4 + 4 <= held)
            highest = std::max(highest, start);
        else if (first_report())
            file_->report_error(OF_ERR_CORRUPTED,
                                "GNU hash table of \"%s\" at offset 0x%x: bucket %u starts at symbol %u, past the end "
                                "of the file",
                                name, offset, b, start);
    }
    count = symoffset;
    if (highest < symoffset) return true;  // no usable bucket
    // The chain that starts highest ends at the last symbol: at an entry with bit 0 set.
    for (uint64_t i = highest;; ++i) {
        uint32_t link = 0;
        if (!word(chains + (i - symoffset) * 4, link)) {
            if (first_report())
                file_->report_error(OF_ERR_CORRUPTED,
                                    "GNU hash table of \"%s\" at offset 0x%x: the chain from symbol %u runs past the "
                                    "end of the file after symbol %u",
                                    name, offset, highest, static_cast<uint32_t>(std::min<uint64_t>(i - 1, 0xFFFFFFFFu)));
            count = static_cast<uint32_t>(std::min<uint64_t>(i, 0xFFFFFFFFu));
            return true;
        }
        if (link & 1) {
            count = static_cast<uint32_t>(std::min<uint64_t>(i + 1, 0xFFFFFFFFu));
            return true;
        }
    }
}

void ELF_DYNAMIC_DB::fill_from_file() {
    ELF_SEGMENT_TABLE* segments = file_->segment_table();
    ELF_SEGMENT* dynamic = segments->find_by_type(ELF::PT_DYNAMIC);
    if (!dynamic) return;
    const ELF_PROGRAM_HEADER& dh = dynamic->header();
    virtual_addresses_ = segments->find_by_offset(dh.p_offset, ELF::PT_LOAD) != nullptr;
    if (use_section_headers()) return;

    ELF_SECTION* dynamic_section = make_role_section(DYN_ROLE_DYNAMIC, ".dynamic", dh.p_offset, dh.p_filesz);
    if (dynamic_section) dynamic_section->header().sh_addr = virtual_addresses_ ? dh.p_vaddr : dh.p_offset;

    // The entries that locate the tables; a later entry of the same tag replaces an earlier one, except
    // for the string table, which the first DT_STRTAB and DT_STRSZ give.
    std::map<uint32_t, uint32_t> tags;
    uint32_t strtab = 0, strsz = 0;
    bool seen_strtab = false, seen_strsz = false;
    DATA_MAP& raw = dynamic->data();
    raw.load();
    const uint64_t entries = std::min<uint64_t>(raw.bytes_held(), dh.p_filesz) / ELF::DYN::SIZE;
    for (uint64_t i = 0; i < entries; ++i) {
        raw.set_cursor(i * ELF::DYN::SIZE);
        const uint32_t tag = raw.read_u32();
        const uint32_t value = raw.read_u32();
        if (tag == ELF::DT_NULL) break;
        tags[tag] = value;
        if (tag == ELF::DT_STRTAB && !seen_strtab) seen_strtab = true, strtab = value;
        if (tag == ELF::DT_STRSZ && !seen_strsz) seen_strsz = true, strsz = value;
    }
    auto has = [&](uint32_t tag) { return tags.count(tag) != 0; };
    uint32_t offset = 0;

    if (seen_strtab && seen_strsz && to_offset(strtab, offset)) {
        make_role_section(DYN_ROLE_STRINGS, ".dynstr", offset, strsz);
        if (dynamic_section) dynamic_section->header().sh_link = roles_[DYN_ROLE_STRINGS];
    }

    // How many dynamic symbols there are: from the SysV hash table, else the GNU one, else the section headers.
    uint32_t symbols = 0;
    ELF_SECTION* hash = nullptr;
    if (has(ELF::DT_HASH) && to_offset(tags[ELF::DT_HASH], offset)) {
        DATA_MAP words;
        file_->get_file_data(words, offset, 8);
        words.set_big_endian(file_->machine_db()->section_data_endian() == OF_ENDIAN_BIG);
        const uint32_t nbucket = words.read_u32();
        symbols = words.read_u32();
        const uint64_t size = 8 + 4 * (uint64_t{nbucket} + symbols);
        hash = make_role_section(DYN_ROLE_HASH, ".hash", offset,
                                 static_cast<uint32_t>(std::min<uint64_t>(size, 0xFFFFFFFFu)));
    } else if (has(ELF::DT_GNU_HASH) && to_offset(tags[ELF::DT_GNU_HASH], offset)) {
        if (!gnu_hash_symbol_count(offset, symbols)) symbols = 0;
    } else {
        ELF_SECTION_TABLE* sections = file_->section_table();
        for (uint32_t i = 1; i < sections->count(); ++i) {
            const ELF_SECTION* s = sections->elf_section_at(i);
            if (s && s->header().sh_type == ELF::SHT_DYNSYM && !s->created_by_library()) {
                const uint32_t entsize = s->header().sh_entsize ? s->header().sh_entsize : ELF::SYM::SIZE;
                symbols = s->header().sh_size / entsize;
                break;
            }
        }
    }

    if (has(ELF::DT_SYMTAB) && to_offset(tags[ELF::DT_SYMTAB], offset)) {
        const uint32_t entsize = has(ELF::DT_SYMENT) && tags[ELF::DT_SYMENT] ? tags[ELF::DT_SYMENT] : ELF::SYM::SIZE;
        const uint64_t size = uint64_t{symbols} * entsize;
        if (ELF_SECTION* s = make_role_section(DYN_ROLE_SYMBOLS, ".dynsym", offset,
                                               static_cast<uint32_t>(std::min<uint64_t>(size, 0xFFFFFFFFu)))) {
            s->header().sh_link = roles_[DYN_ROLE_STRINGS];
            s->header().sh_entsize = entsize;
            if (hash) hash->header().sh_link = s->index();
        }
    }

    // Symbol versions, in files that know the versioning tags: one version word per dynamic symbol, and
    // the definition and requirement records as far as their chains reach (all of a chain without a count).
    if (file_->carries_version_info()) {
        if (has(ELF::DT_VERSYM) && to_offset(tags[ELF::DT_VERSYM], offset))
            if (ELF_SECTION* s = make_role_section(DYN_ROLE_VERSYM, ".gnu.version", offset,
                                                   static_cast<uint32_t>(std::min<uint64_t>(uint64_t{symbols} * 2,
                                                                                            0xFFFFFFFFu))))
                s->header().sh_link = roles_[DYN_ROLE_SYMBOLS];
        const struct {
            uint32_t role, tag, count_tag;
            const char* name;
            bool needs;
        } records[] = {{DYN_ROLE_VERDEF, ELF::DT_VERDEF, ELF::DT_VERDEFNUM, ".gnu.version_d", false},
                       {DYN_ROLE_VERNEED, ELF::DT_VERNEED, ELF::DT_VERNEEDNUM, ".gnu.version_r", true}};
        for (const auto& r : records) {
            if (!has(r.tag) || !to_offset(tags[r.tag], offset)) continue;
            const uint32_t count = has(r.count_tag) ? tags[r.count_tag] : 0xFFFFFFFFu;
            if (ELF_SECTION* s = make_role_section(r.role, r.name, offset,
                                                   elf_version_records_size(file_, offset, count, r.needs)))
                s->header().sh_link = roles_[DYN_ROLE_STRINGS];
        }
    }

    // Relocations: the prefix follows DT_PLTREL; ".dyn" ones from DT_REL or DT_RELA, ".plt" ones from DT_JMPREL.
    const bool rel = has(ELF::DT_PLTREL) && tags[ELF::DT_PLTREL] == ELF::DT_REL;
    const std::string prefix = rel ? ".rel" : ".rela";
    const uint32_t rel_tag = has(ELF::DT_REL) ? ELF::DT_REL : ELF::DT_RELA;
    const uint32_t rel_size_tag = rel_tag == ELF::DT_REL ? ELF::DT_RELSZ : ELF::DT_RELASZ;
    if (has(rel_tag) && to_offset(tags[rel_tag], offset))
        make_role_section(DYN_ROLE_RELOCS, (prefix + ".dyn").c_str(), offset, tags[rel_size_tag],
                          rel_tag == ELF::DT_REL ? ELF::SHT_REL : ELF::SHT_RELA);
    if (has(ELF::DT_JMPREL) && to_offset(tags[ELF::DT_JMPREL], offset))
        make_role_section(DYN_ROLE_PLT_RELOCS, (prefix + ".plt").c_str(), offset, tags[ELF::DT_PLTRELSZ],
                          rel ? ELF::SHT_REL : ELF::SHT_RELA);
}

OF_SYMBOL_TABLE* ELF_DYNAMIC_DB::dynamic_symbol_table() {
    if (!roles_[DYN_ROLE_SYMBOLS]) return nullptr;
    ELF_SECTION* s = file_->section_table()->elf_section_at(roles_[DYN_ROLE_SYMBOLS]);
    return s ? s->symbol_table() : nullptr;
}

}  // namespace OFE
