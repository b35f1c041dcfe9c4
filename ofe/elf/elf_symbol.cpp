// ELF symbol tables: sizing, reading entries, names and extended indexes, and the setters.
#include "ofe/elf/elf_symbol.h"

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_section.h"
#include "ofe/machine/of_machine_db.h"

namespace OFE {

// ---- ELF_SYMBOL ----

ELF_SYMBOL::ELF_SYMBOL(ELF_SYMBOL_TABLE* table, uint32_t index) : OF_SYMBOL(table, index) {}

ELF_SYMBOL_TABLE* ELF_SYMBOL::elf_table() const { return static_cast<ELF_SYMBOL_TABLE*>(table()); }

bool ELF_SYMBOL::has_section() const {
    const uint16_t s = entry_.st_shndx;
    return s != ELF::SHN_UNDEF && (s == ELF::SHN_XINDEX || s < ELF::SHN_LORESERVE);
}

uint32_t ELF_SYMBOL::section_index() const {
    return entry_.st_shndx == ELF::SHN_XINDEX ? extended_index_ : entry_.st_shndx;
}

OF_SYMBOL_KIND ELF_SYMBOL::kind() const {
    if (has_section() || mark2()) return OF_SYM_DEFINED;
    switch (entry_.st_shndx) {
    case ELF::SHN_ABS: return OF_SYM_ABSOLUTE;
    case ELF::SHN_UNDEF: return OF_SYM_UNDEFINED;
    case ELF::SHN_COMMON: return OF_SYM_COMMON;
    default: return OF_SYM_KIND_UNKNOWN;
    }
}

OF_SYMBOL_BINDING ELF_SYMBOL::binding() const {
    // STB_LOCAL, STB_GLOBAL and STB_WEAK become local, global and weak, one more than their numbers.
    return entry_.st_info > 47 ? OF_BIND_NONE : static_cast<OF_SYMBOL_BINDING>((entry_.st_info >> 4) + 1u);
}

OF_SYMBOL_TYPE ELF_SYMBOL::type() const {
    // STT_OBJECT to STT_TLS keep their numbers.
    const uint32_t t = entry_.st_info & 15u;
    return t >= 1 && t <= 6 ? static_cast<OF_SYMBOL_TYPE>(t) : OF_TYPE_NONE;
}

void ELF_SYMBOL::write_back() { elf_table()->write_back(*this); }

void ELF_SYMBOL::set_visibility(uint32_t visibility) {
    if (!may_change()) return;
    entry_.st_other = static_cast<uint8_t>((entry_.st_other & ~3u) | (visibility & 3u));
    changed();
}

void ELF_SYMBOL::set_value(uint32_t value) {
    if (!may_change()) return;
    entry_.st_value = value;
    changed();
}

void ELF_SYMBOL::set_size(uint32_t size) {
    if (!may_change()) return;
    entry_.st_size = size;
    changed();
}

void ELF_SYMBOL::set_kind(OF_SYMBOL_KIND kind) {
    if (!may_change()) return;
    OBJECT_FILE* file = table()->file();
    switch (kind) {
    case OF_SYM_UNDEFINED: entry_.st_shndx = ELF::SHN_UNDEF; break;
    case OF_SYM_ABSOLUTE: entry_.st_shndx = ELF::SHN_ABS; break;
    case OF_SYM_COMMON: entry_.st_shndx = ELF::SHN_COMMON; break;
    case OF_SYM_DEFINED:
        file->report_error(OF_ERR_ILLEGAL_OPERATION,
                           "To mark a symbol as being defined, you must use set_section_id() to set its section "
                           "reference");
        return;
    default: file->report_error(OF_ERR_ILLEGAL_OPERATION, "Invalid symbol kind %x", kind); return;
    }
    extended_index_ = 0;
    changed();
}

void ELF_SYMBOL::set_binding(OF_SYMBOL_BINDING binding) {
    if (!may_change()) return;
    if (binding < OF_BIND_LOCAL || binding > OF_BIND_WEAK) {
        table()->file()->report_error(OF_ERR_ILLEGAL_OPERATION, "Invalid symbol binding value 0x%x", binding);
        return;
    }
    entry_.st_info = static_cast<uint8_t>(((binding - 1) << 4) | (entry_.st_info & 15u));
    changed();
}

void ELF_SYMBOL::set_type(OF_SYMBOL_TYPE type) {
    if (!may_change()) return;
    if (type > OF_TYPE_TLS) {
        table()->file()->report_error(OF_ERR_ILLEGAL_OPERATION, "Invalid symbol type value 0x%x", type);
        return;
    }
    entry_.st_info = static_cast<uint8_t>((entry_.st_info & 0xF0u) | type);
    changed();
}

void ELF_SYMBOL::make_near_common() {
    if (!may_change()) return;
    entry_.st_shndx = static_cast<uint16_t>(table()->file()->machine_db()->near_common_index());
    extended_index_ = 0;
    changed();
}

void ELF_SYMBOL::set_section_id(uint32_t index) {
    if (!may_change()) return;
    if (index < ELF::SHN_LORESERVE) {
        entry_.st_shndx = static_cast<uint16_t>(index);
        extended_index_ = 0;
    } else {
        entry_.st_shndx = ELF::SHN_XINDEX;
        extended_index_ = index;
    }
    changed();
}

const ELF_SYMBOL* as_elf_symbol(const OF_SYMBOL* symbol) {
    // Every symbol of an ELF file's tables is an ELF_SYMBOL; the file's format decides once.
    if (!symbol || !symbol->table() || !symbol->table()->file()->require_format(OF_FORMAT_ELF, not_elf_message))
        return nullptr;
    return static_cast<const ELF_SYMBOL*>(symbol);
}

ELF_SYMBOL* as_elf_symbol(OF_SYMBOL* symbol) {
    return const_cast<ELF_SYMBOL*>(as_elf_symbol(static_cast<const OF_SYMBOL*>(symbol)));
}

// ---- ELF_SYMBOL_TABLE ----

ELF_SYMBOL_TABLE::ELF_SYMBOL_TABLE(ELF_SECTION* section)
    : OF_SYMBOL_TABLE(section->owner()),
      section_(section),
      entry_size_(section->header().sh_entsize ? section->header().sh_entsize : ELF::SYM::SIZE) {
    (void)section->raw_data();  // warns when the section's bytes are uninitialised
    set_count(section->entries_held(entry_size_, ELF::SYM::SIZE, section->size() / entry_size_, "symbol table"));
}

ELF_SYMBOL_TABLE::~ELF_SYMBOL_TABLE() = default;

const char* ELF_SYMBOL_TABLE::table_name() const { return section_->name() ? section_->name() : ""; }

ELF_FILE* ELF_SYMBOL_TABLE::elf_file() const { return static_cast<ELF_FILE*>(file()); }

OF_SECTION_TABLE* ELF_SYMBOL_TABLE::section_table() const { return elf_file()->section_table(); }

ELF_STRING_TABLE* ELF_SYMBOL_TABLE::string_table() {
    if (strings_looked_up_) return strings_;
    strings_looked_up_ = true;
    ELF_SECTION_HEADER& h = section_->header();
    ELF_SECTION_TABLE* sections = elf_file()->section_table();
    ELF_SECTION* linked = nullptr;
    if (h.sh_link != 0) {
        linked = sections->elf_section_at(h.sh_link);
    } else if (h.sh_type == ELF::SHT_SYMTAB || h.sh_type == ELF::SHT_DYNSYM) {
        const char* wanted = h.sh_type == ELF::SHT_SYMTAB ? ".strtab" : ".dynstr";
        linked = static_cast<ELF_SECTION*>(sections->find_by_name(wanted));
        if (!linked) linked = static_cast<ELF_SECTION*>(sections->add_section(wanted));
        if (linked) h.sh_link = linked->index();
    }
    strings_ = linked ? linked->string_table() : nullptr;
    if (!strings_)
        file()->report_error(OF_ERR_INTERNAL, "string table for symbol table \"%s\" not found", table_name());
    return strings_;
}

ELF_SECTION* ELF_SYMBOL_TABLE::versym_section() {
    if (versym_looked_up_) return versym_;
    versym_looked_up_ = true;
    if (section_->header().sh_type != ELF::SHT_DYNSYM || !elf_file()->carries_version_info()) return nullptr;
    ELF_SECTION_TABLE* sections = elf_file()->section_table();
    for (uint32_t i = 1; i < sections->count() && !versym_; ++i) {
        ELF_SECTION* s = sections->elf_section_at(i);
        if (s && s->header().sh_type == ELF::SHT_GNU_versym && s->header().sh_link == section_->index()) versym_ = s;
    }
    return versym_;
}

ELF_SECTION* ELF_SYMBOL_TABLE::shndx_section() {
    if (shndx_looked_up_) return shndx_;
    shndx_looked_up_ = true;
    ELF_SECTION_TABLE* sections = elf_file()->section_table();
    if (sections->count() < ELF::SHN_LORESERVE) return nullptr;
    for (uint32_t i = 0; i < sections->count(); ++i) {
        ELF_SECTION* s = sections->elf_section_at(i);
        if (s && s->header().sh_type == ELF::SHT_SYMTAB_SHNDX && s->header().sh_link == section_->index()) {
            shndx_ = s;
            break;
        }
    }
    return shndx_;
}

void ELF_SYMBOL_TABLE::build_symbol(uint32_t index) {
    if (!file()->info().handle || exists(index)) return;
    auto* symbol = static_cast<ELF_SYMBOL*>(make_symbol(index));
    DATA_MAP& data = section_->data();
    ELF_SYMBOL_ENTRY& e = symbol->entry();
    DATA_MAP_ENTRY entry(data, uint64_t{index} * entry_size_, ELF::SYM::SIZE);
    e.st_name = entry.u32(ELF::SYM::st_name);
    e.st_value = entry.u32(ELF::SYM::st_value);
    e.st_size = entry.u32(ELF::SYM::st_size);
    e.st_info = entry.u8(ELF::SYM::st_info);
    e.st_other = entry.u8(ELF::SYM::st_other);
    e.st_shndx = entry.u16(ELF::SYM::st_shndx);
    if (e.st_shndx == ELF::SHN_XINDEX) {
        if (ELF_SECTION* shndx = shndx_section()) {
            shndx->data().set_cursor(uint64_t{index} * 4);
            symbol->set_extended_index(shndx->data().read_u32());
        }
    }
    if (ELF_SECTION* versym = versym_section()) {
        versym->data().set_cursor(uint64_t{index} * 2);
        symbol->set_version_index(versym->data().read_u16());
    }
    // The name stays in the string table's bytes, which outlive the symbol object.
    if (ELF_STRING_TABLE* strings = string_table()) symbol->set_name_in_table(strings->get_string(e.st_name));
    if (!metadata_read_) {
        metadata_read_ = true;
        read_symbol_metadata(elf_file(), section_->index(), metadata_);
    }
    if (const auto it = metadata_.find(index); it != metadata_.end()) symbol->attach_metadata(it->second.get());
    store(index, symbol);
}

ELF_SYMBOL_METADATA* ELF_SYMBOL_TABLE::metadata_record(uint32_t index) {
    std::unique_ptr<ELF_SYMBOL_METADATA>& record = metadata_[index];
    if (!record) record = std::make_unique<ELF_SYMBOL_METADATA>();
    return record.get();
}

OF_SYMBOL* ELF_SYMBOL_TABLE::make_symbol(uint32_t index) { return new ELF_SYMBOL(this, index); }

OF_SYMBOL* ELF_SYMBOL_TABLE::add_symbol() {
    if (require_at_most_state(OF_STATE_OPEN) != 0) return nullptr;
    if (count() == 0) (void)OF_SYMBOL_TABLE::add_symbol();
    auto* symbol = static_cast<ELF_SYMBOL*>(OF_SYMBOL_TABLE::add_symbol());
    if (symbol) symbol->entry().st_other = default_visibility_;
    return symbol;
}

void ELF_SYMBOL_TABLE::write_back(const ELF_SYMBOL& symbol) {
    DATA_MAP& data = section_->data();
    data.set_cursor(uint64_t{symbol.index()} * entry_size_);
    const ELF_SYMBOL_ENTRY& e = symbol.entry();
    data.write_u32(e.st_name);
    data.write_u32(e.st_value);
    data.write_u32(e.st_size);
    data.write_u8(e.st_info);
    data.write_u8(e.st_other);
    data.write_u16(e.st_shndx);
}

}  // namespace OFE
