// ELF sections: reading the header table, materialising sections, their meaning and contents.
#include "ofe/elf/elf_section.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_dynamic.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_reloc.h"
#include "ofe/elf/elf_segment.h"
#include "ofe/elf/elf_symalias.h"
#include "ofe/elf/elf_symbol.h"
#include "ofe/elf/elf_version.h"
#include "ofe/machine/of_machine_db.h"
#include "ofe/elf/elf_build_attr.h"
#include "util/banner.h"

namespace OFE {

namespace {

// The standard sections: type, entry size and flags to copy, and the address unit (0: the target's).
struct SECTION_TEMPLATE {
    const char* name;
    uint32_t sh_type;
    uint32_t sh_entsize;
    uint32_t sh_flags;
    uint32_t unit_bits;
    bool versions_only;  // present only in files that carry version information
};

const SECTION_TEMPLATE section_templates[] = {
    {".bss", 8, 0, 0x3, 0, false},
    {".comment", 1, 0, 0, 8, false},
    {".data", 1, 0, 0x3, 0, false},
    {".data1", 1, 0, 0x3, 0, false},
    {".debug", 1, 0, 0, 8, false},
    {".dynamic", 6, 8, 0x2, 8, false},
    {".dynstr", 3, 1, 0x22, 8, false},
    {".dynsym", 11, 16, 0x2, 8, false},
    {".fini", 1, 0, 0x6, 0, false},
    {".fini_array", 15, 0, 0x3, 0, false},
    {".got", 1, 4, 0x3, 0, false},
    {".hash", 5, 0, 0x2, 8, false},
    {".init", 1, 0, 0x6, 0, false},
    {".init_array", 14, 0, 0x3, 0, false},
    {".interp", 1, 0, 0, 8, false},
    {".line", 1, 0, 0, 8, false},
    {".note", 7, 0, 0, 8, false},
    {".plt", 1, 0, 0, 8, false},
    {".preinit_array", 16, 0, 0x3, 0, false},
    {".rel", 9, 8, 0, 8, false},
    {".rela", 4, 12, 0, 8, false},
    {".rodata", 1, 0, 0x2, 0, false},
    {".rodata1", 1, 0, 0x2, 0, false},
    {".shstrtab", 3, 1, 0x20, 8, false},
    {".strtab", 3, 1, 0x20, 8, false},
    {".symtab", 2, 16, 0, 8, false},
    {".symtab_shndx", 18, 4, 0, 8, false},
    {".tbss", 8, 0, 0x403, 0, false},
    {".tdata", 1, 0, 0x403, 0, false},
    {".tdata1", 1, 0, 0x403, 0, false},
    {".text", 1, 0, 0x6, 0, false},
    {"__QX_build_attributes", 0x70000003, 0, 0, 8, false},
    {".QX.section.flags", 0x7f000005, 0, 0, 8, false},
    {".QX.symbol.alias", 0x7f000006, 0, 0, 8, false},
    {".QX.section.page", 0x7f000007, 0, 0, 8, false},
    {".gnu.version", 0x6fffffff, 2, 0x2, 0, true},
    {".gnu.version_d", 0x6ffffffd, 0, 0x2, 0, true},
    {".gnu.version_r", 0x6ffffffe, 0, 0x2, 0, true},
};

const SECTION_TEMPLATE* find_template(const char* name, bool versions) {
    if (!name) return nullptr;
    // Sections are made for every object listed: names are told apart by length before their bytes.
    static const auto lengths = [] {
        std::array<size_t, std::size(section_templates)> l{};
        for (size_t i = 0; i < l.size(); ++i) l[i] = std::strlen(section_templates[i].name);
        return l;
    }();
    const size_t length = std::strlen(name);
    for (size_t i = 0; i < lengths.size(); ++i) {
        const SECTION_TEMPLATE& t = section_templates[i];
        if (lengths[i] == length && std::memcmp(t.name, name, length) == 0 && (versions || !t.versions_only))
            return &t;
    }
    return nullptr;
}

}  // namespace

// ---- ELF_STRING_TABLE ----

ELF_STRING_TABLE::ELF_STRING_TABLE(ELF_SECTION* section)
    : OF_STRING_TABLE(&section->data(), section->owner()), section_(section) {}

const char* ELF_STRING_TABLE::table_name() const { return section_->name() ? section_->name() : ""; }

void ELF_STRING_TABLE::prepare_for_writing() {
    if (owner()->info().handle) OF_STRING_TABLE_MANAGER::prepare_for_writing();
}

void ELF_STRING_TABLE::clear() {
    if (owner()->require_at_most_state(OF_STATE_OPEN) != 0) return;
    OF_STRING_TABLE_MANAGER::clear();
    OF_STRING_TABLE_MANAGER::add_string("");
}

uint32_t ELF_STRING_TABLE::add_string(const char* text) {
    if (owner()->require_at_most_state(OF_STATE_OPEN) != 0) return 0;
    return OF_STRING_TABLE_MANAGER::add_string(text);
}

// ---- ELF_SECTION ----

ELF_SECTION::ELF_SECTION(OF_SECTION_TABLE* table, uint32_t index) : OF_SECTION(table, index) {}

ELF_SECTION::~ELF_SECTION() = default;

ELF_FILE* ELF_SECTION::elf_file() const { return static_cast<ELF_FILE*>(owner()); }

uint32_t ELF_SECTION::load_address() {
    if (ELF_SEGMENT* seg = elf_file()->segment_table()->find_load_by_address(header_.sh_addr))
        return header_.sh_addr - seg->header().p_vaddr + seg->header().p_paddr;
    return explicit_load_address_ != 0 ? explicit_load_address_ : header_.sh_addr;
}

bool ELF_SECTION::has_raw_data() const {
    return header_.sh_type != ELF::SHT_NULL && header_.sh_type != ELF::SHT_NOBITS;
}

bool ELF_SECTION::may_change() const { return owner()->require_at_most_state(OF_STATE_LOCKED) == 0; }

void ELF_SECTION::set_run_address(uint32_t address) {
    if (may_change()) header_.sh_addr = address;
}

void ELF_SECTION::set_load_address(uint32_t address) {
    if (may_change()) explicit_load_address_ = address;
}

void ELF_SECTION::set_size(uint32_t units) {
    if (!may_change()) return;
    const uint64_t bytes = uint64_t{units} * std::max<uint32_t>(address_unit_bits_ / 8, 1);
    if (has_raw_data())
        raw_data_.set_size(bytes);
    else
        header_.sh_size = static_cast<uint32_t>(bytes);
}

void ELF_SECTION::set_type(uint32_t type) {
    if (may_change()) header_.sh_type = type;
}

void ELF_SECTION::set_flags(uint32_t flags) {
    if (may_change()) header_.sh_flags = flags;
}

void ELF_SECTION::set_link(uint32_t link) {
    if (may_change()) header_.sh_link = link;
}

void ELF_SECTION::set_info(uint32_t info) {
    if (may_change()) header_.sh_info = info;
}

void ELF_SECTION::set_entry_size(uint32_t size) {
    if (may_change()) header_.sh_entsize = size;
}

namespace {

// A section group's members (the words after its flag word, in the byte order of the file's structures) follow
// their sections to their new indexes; a deleted member leaves the group. Only the bytes the file holds are read.
void renumber_group_members(DATA_MAP& words, bool big, const std::vector<uint32_t>& map) {
    const bool data_big = words.big_endian();
    words.set_big_endian(big);
    const std::span<const uint8_t> held = words.view();
    if (held.size() >= 4) {
        std::vector<uint32_t> members;
        for (size_t at = 4; at + 4 <= held.size(); at += 4)
            if (const uint32_t index = renumbered_index(map, words.u32_at(held.data() + at)); index != 0)
                members.push_back(index);
        words.set_cursor(4);
        for (const uint32_t index : members) words.write_u32(index);
        words.set_size(4 + 4 * uint64_t{members.size()});
    }
    words.set_big_endian(data_big);
}

// Type and flags from the standard section of that name.
void take_kind(ELF_SECTION& s, const char* name) {
    const SECTION_TEMPLATE* t = find_template(name, false);
    s.set_type(t->sh_type);
    s.set_flags(t->sh_flags);
}

}  // namespace

void ELF_SECTION::make_code() { take_kind(*this, ".text"); }
void ELF_SECTION::make_data() { take_kind(*this, ".data"); }

void ELF_SECTION::make_bss() {
    const uint32_t bytes = static_cast<uint32_t>(raw_data_.size());
    take_kind(*this, ".bss");
    // What the data held becomes the size of the uninitialised section.
    if (header_.sh_size == 0) header_.sh_size = bytes;
}

OF_RELOC_TABLE* ELF_SECTION::reloc_table_for_change() {
    if (reloc_table_count() > 0) return reloc_table_at(0);
    ELF_SECTION_TABLE* sections = elf_file()->section_table();
    // The kind of relocation the file already uses; REL by default.
    bool addends = false;
    for (uint32_t i = 0; i < sections->count() && !addends; ++i)
        addends = sections->elf_section_at(i)->header().sh_type == ELF::SHT_RELA;
    ELF_SECTION* relocations = sections->add_relocation_section(this, addends);
    return relocations ? relocations->relocation_table() : nullptr;
}

int32_t ELF_SECTION::on_progress(int32_t new_state) {
    if (new_state != OF_STATE_LOCKED || effective_state() >= new_state) return 0;
    if (has_raw_data()) header_.sh_size = static_cast<uint32_t>(raw_data_.size());
    return 0;
}

void ELF_SECTION::set_alignment(uint32_t alignment) {
    if (!may_change()) return;
    if (alignment == 0 || (alignment & (alignment - 1)) != 0) {
        owner()->report_error(OF_ERR_ILLEGAL_OPERATION, "only powers of 2 are valid alignment values");
        return;
    }
    header_.sh_addralign = alignment;
}

bool ELF_SECTION::allocated() const { return (header_.sh_flags & ELF::SHF_ALLOC) != 0; }

void ELF_SECTION::set_allocated(bool on) {
    if (owner()->require_at_most_state(OF_STATE_LOCKED) != 0) return;
    header_.sh_flags = on ? header_.sh_flags | ELF::SHF_ALLOC : header_.sh_flags & ~ELF::SHF_ALLOC;
}

bool ELF_SECTION::is_code() const { return (header_.sh_flags & ELF::SHF_EXECINSTR) != 0; }

bool ELF_SECTION::is_data() const {
    // The extended attribute and alias sections have types of their own, never SHT_PROGBITS.
    return header_.sh_type == ELF::SHT_PROGBITS && !is_code();
}

bool ELF_SECTION::is_bss() const { return header_.sh_type == ELF::SHT_NOBITS && allocated() && !is_code(); }

bool ELF_SECTION::is_group() const { return header_.sh_type == ELF::SHT_GROUP; }

uint32_t ELF_SECTION::size() const {
    const uint32_t bytes = has_raw_data() ? static_cast<uint32_t>(raw_data_.size()) : header_.sh_size;
    const uint32_t unit_bytes = address_unit_bits_ / 8;
    return unit_bytes > 1 ? bytes / unit_bytes : bytes;
}

void ELF_SECTION::compute_address_unit() {
    if (is_group()) {
        address_unit_bits_ = 8;
        return;
    }
    const SECTION_TEMPLATE* t = find_template(name(), true);
    address_unit_bits_ = t && t->unit_bits != 0 ? t->unit_bits : owner()->machine_db()->address_unit_bits();
}

ELF_STRING_TABLE* ELF_SECTION::string_table() {
    if (header_.sh_type != ELF::SHT_STRTAB) return nullptr;
    if (!string_table_) string_table_ = std::make_unique<ELF_STRING_TABLE>(this);
    return string_table_.get();
}

ELF_SYMBOL_TABLE* ELF_SECTION::symbol_table() {
    if (header_.sh_type != ELF::SHT_SYMTAB && header_.sh_type != ELF::SHT_DYNSYM) return nullptr;
    if (!symbol_table_) symbol_table_ = std::make_unique<ELF_SYMBOL_TABLE>(this);
    return symbol_table_.get();
}

uint32_t ELF_SECTION::ext_flags() const {
    return static_cast<ELF_SECTION_TABLE*>(table())->extended_value(0, index());
}

void ELF_SECTION::apply_section_symbol_settings(OF_SYMBOL& symbol) {
    symbol.set_binding(OF_BIND_LOCAL);
    if (ELF_SYMBOL* elf = as_elf_symbol(&symbol)) elf->set_type(OF_TYPE_SECTION);
}

void ELF_SECTION::set_ext_flags(uint32_t flags) {
    static_cast<ELF_SECTION_TABLE*>(table())->set_extended_value(0, index(), flags);
}

int32_t ELF_SECTION::page() const {
    return static_cast<int32_t>(static_cast<ELF_SECTION_TABLE*>(table())->extended_value(1, index()));
}

ELF_DYNAMIC_TABLE* ELF_SECTION::dynamic_table() {
    if (header_.sh_type != ELF::SHT_DYNAMIC) return nullptr;
    if (!dynamic_table_) dynamic_table_ = std::make_unique<ELF_DYNAMIC_TABLE>(this);
    return dynamic_table_.get();
}

ELF_VERDEF_TABLE* ELF_SECTION::verdef_table() {
    if (header_.sh_type != ELF::SHT_GNU_verdef || !elf_file()->carries_version_info()) return nullptr;
    if (!verdef_table_) verdef_table_ = std::make_unique<ELF_VERDEF_TABLE>(this);
    return verdef_table_.get();
}

ELF_VERNEED_TABLE* ELF_SECTION::verneed_table() {
    if (header_.sh_type != ELF::SHT_GNU_verneed || !elf_file()->carries_version_info()) return nullptr;
    if (!verneed_table_) verneed_table_ = std::make_unique<ELF_VERNEED_TABLE>(this);
    return verneed_table_.get();
}

ELF_SYMALIAS_TABLE* ELF_SECTION::symalias_table() {
    if (!is_symalias_section(*this)) return nullptr;
    if (!symalias_table_) symalias_table_ = std::make_unique<ELF_SYMALIAS_TABLE>(this);
    return symalias_table_.get();
}

ELF_BUILD_ATTR_TABLE* ELF_SECTION::build_attribute_table() {
    if (header_.sh_type != ELF::SHT_ATTRIBUTES || !owner()->build_attributes_supported()) return nullptr;
    if (!build_attribute_table_) {
        build_attribute_table_ = std::make_unique<ELF_BUILD_ATTR_TABLE>(this);
        // A part that fails to parse only leaves the table with less in it.
        (void)build_attribute_table_->parse();
    }
    return build_attribute_table_.get();
}

uint32_t ELF_SECTION::entries_held(uint32_t entry_size, uint32_t min_entry, uint32_t claimed, const char* what) {
    if (!owner()->info().handle || claimed == 0 || !has_raw_data()) return claimed;
    // The object's own bytes only: an archive member's section must not run into the next member.
    const std::string table = std::string(what) + " \"" + (name() ? name() : "") + "\"";
    return owner()->entries_held(table.c_str(), header_.sh_offset, claimed, entry_size, min_entry);
}

const ELF_SECTION* as_elf_section(const OF_SECTION* section) {
    if (!section || !section->owner()->require_format(OF_FORMAT_ELF, not_elf_message)) return nullptr;
    return static_cast<const ELF_SECTION*>(section);
}

ELF_SECTION* as_elf_section(OF_SECTION* section) {
    return const_cast<ELF_SECTION*>(as_elf_section(static_cast<const OF_SECTION*>(section)));
}

// ---- ELF_SECTION_TABLE ----

ELF_SECTION_TABLE::ELF_SECTION_TABLE(ELF_FILE* file) : OF_SECTION_TABLE(file, ELF::SHDR::SIZE) {}

ELF_SECTION_TABLE::~ELF_SECTION_TABLE() = default;

ELF_FILE* ELF_SECTION_TABLE::elf_file() const { return static_cast<ELF_FILE*>(file()); }

const std::vector<uint32_t>& ELF_SECTION_TABLE::relocation_sections_of(uint32_t index) {
    if (!relocation_sections_found_) {
        relocation_sections_found_ = true;
        for (uint32_t i = 0; i < count(); ++i) {
            const ELF_SECTION_HEADER& h = elf_section_at(i)->header();
            if (h.sh_type == ELF::SHT_REL || h.sh_type == ELF::SHT_RELA) relocation_sections_[h.sh_info].push_back(i);
        }
    }
    static const std::vector<uint32_t> none;
    const auto it = relocation_sections_.find(index);
    return it == relocation_sections_.end() ? none : it->second;
}

int ELF_SECTION_TABLE::read_headers(uint32_t offset, uint32_t entry_size, uint32_t count) {
    reset_sections(0);
    relocation_sections_.clear();
    relocation_sections_found_ = false;
    attributes_looked_up_ = false;
    if (count == 0) return 0;
    // Only as many headers as the object's bytes hold: a count from the file never sizes the work.
    count = file()->entries_held("section header table", offset, count, entry_size, ELF::SHDR::SIZE);
    set_entry_size(entry_size);
    offset_ = offset;
    reset_sections(count);
    const uint64_t span = count == 0 ? 0 : uint64_t{count - 1} * entry_size + ELF::SHDR::SIZE;
    file()->get_file_data(headers_, offset, static_cast<uint32_t>(span));
    return 0;
}

std::unique_ptr<OF_SECTION> ELF_SECTION_TABLE::make_section(uint32_t index) {
    return std::make_unique<ELF_SECTION>(this, index);
}

void ELF_SECTION_TABLE::materialise_section(uint32_t index) {
    if (!file()->info().handle || exists(index)) return;
    store(index, make_section(index));
    auto* s = static_cast<ELF_SECTION*>(section_at(index));
    s->from_input_ = true;
    ELF_SECTION_HEADER& h = s->header();
    DATA_MAP_ENTRY entry(headers_, uint64_t{index} * entry_size(), ELF::SHDR::SIZE);
    h.sh_name = entry.u32(ELF::SHDR::sh_name);
    h.sh_type = entry.u32(ELF::SHDR::sh_type);
    h.sh_flags = entry.u32(ELF::SHDR::sh_flags);
    h.sh_addr = entry.u32(ELF::SHDR::sh_addr);
    h.sh_offset = entry.u32(ELF::SHDR::sh_offset);
    h.sh_size = entry.u32(ELF::SHDR::sh_size);
    h.sh_link = entry.u32(ELF::SHDR::sh_link);
    h.sh_info = entry.u32(ELF::SHDR::sh_info);
    h.sh_addralign = entry.u32(ELF::SHDR::sh_addralign);
    h.sh_entsize = entry.u32(ELF::SHDR::sh_entsize);
    if (s->has_raw_data()) file()->get_file_data(s->data(), h.sh_offset, h.sh_size);
    s->data().set_big_endian(file()->machine_db()->section_data_endian(s) == OF_ENDIAN_BIG);
    if (ELF_STRING_TABLE* names = section_name_table())
        if (const char* name = names->get_string(h.sh_name)) s->set_name(name);
    s->compute_address_unit();
}

OF_SECTION* ELF_SECTION_TABLE::add_section(const char* name) {
    if (require_at_most_state(OF_STATE_OPEN) != 0) return nullptr;
    attributes_looked_up_ = false;
    relocation_sections_found_ = false;
    relocation_sections_.clear();
    if (count() == 0) static_cast<ELF_SECTION*>(OF_SECTION_TABLE::add_section(nullptr))->compute_address_unit();
    auto* s = static_cast<ELF_SECTION*>(OF_SECTION_TABLE::add_section(name));
    if (!s) return nullptr;
    if (const SECTION_TEMPLATE* t = find_template(name, elf_file()->carries_version_info())) {
        s->header().sh_type = t->sh_type;
        s->header().sh_flags = t->sh_flags;
        s->header().sh_entsize = t->sh_entsize;
    }
    s->compute_address_unit();
    return s;
}

int32_t ELF_SECTION_TABLE::renumber() {
    const ELF_SECTION* first = count() > 0 ? elf_section_at(0) : nullptr;
    if (first && !is_deleted(0) && first->header().sh_type != ELF::SHT_NULL) {
        file()->report_error(OF_ERR_INTERNAL, "section 0 is not a NULL section");
        return -1;
    }
    return OF_SECTION_TABLE::renumber();
}

void ELF_SECTION_TABLE::renumber_references(const std::vector<uint32_t>& map) {
    // Links between sections: sh_link always, sh_info where it names a section (relocations, and any
    // section that says so with SHF_INFO_LINK).
    for (uint32_t i = 0; i < count(); ++i) {
        ELF_SECTION_HEADER& h = elf_section_at(i)->header();
        h.sh_link = renumbered_index(map, h.sh_link);
        if (h.sh_type == ELF::SHT_REL || h.sh_type == ELF::SHT_RELA || (h.sh_flags & ELF::SHF_INFO_LINK) != 0)
            h.sh_info = renumbered_index(map, h.sh_info);
        if (h.sh_type == ELF::SHT_GROUP)
            renumber_group_members(elf_section_at(i)->data(), elf_file()->big_endian_structures(), map);
    }
    for (uint32_t i = 0; i < count(); ++i)
        if (ELF_SYMBOL_TABLE* symbols = elf_section_at(i)->symbol_table()) renumber_symbol_sections(*symbols, map);
    for (std::map<uint32_t, uint32_t>& values : extended_) {
        std::map<uint32_t, uint32_t> moved;
        for (const auto& [index, value] : values)
            if (index < map.size() && map[index] != NO_INDEX) moved[map[index]] = value;
        values = std::move(moved);
    }
    relocation_sections_.clear();
    relocation_sections_found_ = false;
    attributes_looked_up_ = false;
    elf_file()->renumber_sections(map);
}

ELF_SECTION* ELF_SECTION_TABLE::build_attribute_section() {
    if (!attributes_looked_up_) {
        attributes_looked_up_ = true;
        attributes_index_ = 0;
        for (uint32_t i = 0; i < count() && attributes_index_ == 0; ++i) {
            const ELF_SECTION* s = elf_section_at(i);
            if (s && s->header().sh_type == ELF::SHT_ATTRIBUTES) attributes_index_ = i + 1;
        }
    }
    return attributes_index_ != 0 ? elf_section_at(attributes_index_ - 1) : nullptr;
}

ELF_STRING_TABLE* ELF_SECTION_TABLE::section_name_table() {
    uint32_t index = elf_file()->header().e_shstrndx;
    if (index == ELF::SHN_XINDEX) {
        ELF_SECTION* zero = elf_section_at(0);
        index = zero ? zero->header().sh_link : 0;
    }
    if (index == 0) return nullptr;
    ELF_SECTION* s = elf_section_at(index);
    return s ? s->string_table() : nullptr;
}

}  // namespace OFE

namespace OFE {

namespace {

// The extended attribute sections: role 0 holds flags (every target), role 1 pages (Rill and Knot).
constexpr uint32_t role_types[2] = {ELF::SHT_QX_SH_FLAGS, ELF::SHT_QX_SH_PAGE};

}  // namespace

bool role_supported(OF_TARGET target, uint32_t role) {
    return role == 0 || target == OF_TARGET_RILL || target == OF_TARGET_KNOT;
}

void ELF_SECTION_TABLE::set_extended_value(uint32_t kind, uint32_t section_index, uint32_t value) {
    if (kind > 1) return;
    (void)extended_value(kind, section_index);  // what the file holds is read first, then replaced
    if (value != 0)
        extended_[kind][section_index] = value;
    else
        extended_[kind].erase(section_index);
}

uint32_t ELF_SECTION_TABLE::extended_value(uint32_t kind, uint32_t section_index) {
    if (!extended_read_) {
        extended_read_ = true;
        for (uint32_t role = 0; role < 2; ++role)
            if (role_supported(file()->target(), role)) read_extended_attributes(role, extended_[role]);
    }
    if (kind > 1) return 0;
    const auto it = extended_[kind].find(section_index);
    return it == extended_[kind].end() ? 0 : it->second;
}

void ELF_SECTION_TABLE::read_extended_attributes(uint32_t role, std::map<uint32_t, uint32_t>& values) {
    ELF_SECTION* holder = nullptr;
    for (uint32_t i = 0; i < count() && !holder; ++i) {
        ELF_SECTION* s = elf_section_at(i);
        if (s && s->header().sh_type == role_types[role]) holder = s;
    }
    if (!holder) return;
    // The advice names the tool that reads the file.
    const char* const tool = banner_title();
    DATA_MAP& data = holder->data();
    const uint32_t length = holder->header().sh_size;
    auto invalid = [&] {
        file()->report_error(OF_ERR_WARNING,
                             "Invalid QX extended section attributes format. All extended section attributes will "
                             "be ignored. Tool chain update recommended.");
    };
    if (length < ELF::QX_EXT_ATTR::version_size) return invalid();
    data.set_cursor(0);
    const uint8_t major = data.read_u8();
    const uint8_t minor = data.read_u8();
    const uint8_t update = data.read_u8();
    if (major >= 2 || minor != 0) {
        file()->report_error(OF_ERR_WARNING,
                             "Unrecognized QX extended section attributes format. All extended section attributes "
                             "will be ignored. %s update recommended.",
                             tool);
        return;
    }
    if (major == 0) {
        file()->report_error(OF_ERR_WARNING,
                             "Obsolete QX extended section attributes format. All extended section attributes will "
                             "be ignored. %s update recommended.",
                             tool);
        return;
    }
    if (update != 0)
        file()->report_error(OF_ERR_WARNING,
                             "Updated extended section attributes format. Some extended section attributes may be "
                             "ignored. %s update recommended.",
                             tool);
    if (length < ELF::QX_EXT_ATTR::entries) return invalid();
    data.set_cursor(ELF::QX_EXT_ATTR::count);
    const uint32_t entries = data.read_u32();
    const uint32_t entry_size = data.read_u16();
    if (uint64_t{ELF::QX_EXT_ATTR::entries} + uint64_t{entries} * entry_size > length) return invalid();
    if (entries == 0 || entry_size == 0) return;
    // Entries are read only as far as the file holds bytes; the rest would all be zeros.
    data.load();
    const uint64_t held = data.bytes_held();
    const uint32_t width = std::min<uint32_t>(entry_size, 4);
    for (uint32_t j = 0; j < entries; ++j) {
        const uint64_t at = ELF::QX_EXT_ATTR::entries + uint64_t{j} * entry_size;
        if (at >= held) break;
        data.set_cursor(at);
        const uint32_t value = static_cast<uint32_t>(data.read_uint(width));
        if (value != 0) values[j] = value;
    }
}

}  // namespace OFE
