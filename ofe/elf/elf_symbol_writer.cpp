// ELF symbol tables on the writing side: the checks and steps of entering "locked", and renumbering with what
// refers to the table's symbols.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_reloc.h"
#include "ofe/elf/elf_section.h"
#include "ofe/elf/elf_symalias.h"
#include "ofe/elf/elf_symbol.h"
#include "ofe/of_build_attr.h"
#include "util/data_map.h"

namespace OFE {

namespace {

bool is_null_symbol(const ELF_SYMBOL& s) {
    const ELF_SYMBOL_ENTRY& e = s.entry();
    return (!s.name() || !*s.name()) && e.st_value == 0 && e.st_size == 0 && e.st_info == 0 && e.st_other == 0 &&
           e.st_shndx == 0;
}

}  // namespace

int32_t ELF_SYMBOL_TABLE::on_progress(int32_t new_state) {
    if (new_state != OF_STATE_LOCKED || effective_state() >= new_state) return 0;
    build_all_symbols();
    if (count() > 0 && !is_null_symbol(*static_cast<ELF_SYMBOL*>(symbol_at(0)))) {
        file()->report_error(OF_ERR_INTERNAL, "symbol 0 is not a NULL symbol");
        return -1;
    }
    ELF_SECTION_HEADER& h = section_->header();
    const auto binding_of = [&](uint32_t i) { return symbol_at(i)->binding(); };
    // A static table lists its locals first; one that does not is put in that order.
    if (h.sh_type == ELF::SHT_SYMTAB) {
        std::vector<uint32_t> locals, others;
        for (uint32_t i = 1; i < count(); ++i) (binding_of(i) == OF_BIND_LOCAL ? locals : others).push_back(i);
        const bool ordered = locals.empty() || others.empty() || locals.back() < others.front();
        if (!ordered) {
            std::vector<uint32_t> order{0};
            order.insert(order.end(), locals.begin(), locals.end());
            order.insert(order.end(), others.begin(), others.end());
            renumber(order);
        }
    }
    // (An empty table read from a file keeps what it says.)
    if ((h.sh_type == ELF::SHT_SYMTAB && (count() > 0 || !section_->from_input())) || !section_->from_input()) {
        uint32_t first = count() > 0 ? 1 : 0;
        while (first < count() && binding_of(first) == OF_BIND_LOCAL) ++first;
        h.sh_info = first;
    }
    // Names where the string table does not hold them at st_name already.
    if (ELF_STRING_TABLE* strings = string_table()) {
        h.sh_link = strings->section()->index();
        for (uint32_t i = 0; i < count(); ++i) {
            auto* s = static_cast<ELF_SYMBOL*>(symbol_at(i));
            const char* name = s->name() ? s->name() : "";
            const char* stored = strings->get_string(s->entry().st_name);
            if (!stored || std::strcmp(stored, name) != 0) s->entry().st_name = strings->add_string(name);
        }
    }
    // Every entry, and the extended section indexes where a symbol needs one.
    DATA_MAP& data = section_->data();
    data.reset();
    data.set_big_endian(elf_file()->big_endian_structures());
    bool extended = false;
    for (uint32_t i = 0; i < count(); ++i) {
        const auto* s = static_cast<const ELF_SYMBOL*>(symbol_at(i));
        write_back(*s);
        extended |= s->entry().st_shndx == ELF::SHN_XINDEX;
    }
    data.set_size(uint64_t{count()} * entry_size_);
    if (h.sh_entsize == 0) h.sh_entsize = entry_size_;
    if (h.sh_addralign == 0) h.sh_addralign = 4;
    h.sh_size = static_cast<uint32_t>(data.size());
    ELF_SECTION_TABLE* sections = elf_file()->section_table();
    if (extended) {
        ELF_SECTION* shndx = nullptr;
        for (uint32_t i = 0; i < sections->count() && !shndx; ++i) {
            ELF_SECTION* s = sections->elf_section_at(i);
            if (s->header().sh_type == ELF::SHT_SYMTAB_SHNDX && s->header().sh_link == section_->index()) shndx = s;
        }
        // A file of fewer than 0xff00 sections does not read its index table: one it holds stays as it is.
        const bool keep = shndx && shndx->from_input() && sections->count() < ELF::SHN_LORESERVE;
        if (!shndx) {
            const std::string name = std::string(table_name()) + "_shndx";
            shndx = static_cast<ELF_SECTION*>(sections->add_section(name.c_str()));
            if (!shndx) return -1;
            shndx->header().sh_type = ELF::SHT_SYMTAB_SHNDX;
            shndx->header().sh_entsize = 4;
            shndx->header().sh_addralign = 4;
            shndx->header().sh_link = section_->index();
        }
        DATA_MAP& words = shndx->data();
        if (!keep) {
            words.reset();
            words.set_big_endian(elf_file()->big_endian_structures());
            for (uint32_t i = 0; i < count(); ++i) {
                const auto* s = static_cast<const ELF_SYMBOL*>(symbol_at(i));
                words.write_u32(s->entry().st_shndx == ELF::SHN_XINDEX ? s->extended_index() : 0);
            }
        }
    }
    // Metadata that changed are written to the table's metadata section.
    if (metadata_changed_) {
        ELF_SECTION* meta = static_cast<ELF_SECTION*>(sections->find_by_name(".symtab_meta"));
        if (!meta) {
            meta = static_cast<ELF_SECTION*>(sections->add_section(".symtab_meta"));
            if (!meta) return -1;
            meta->header().sh_type = ELF::SHT_QX_SYMTAB_META;
            meta->header().sh_addralign = 1;
        }
        meta->header().sh_link = section_->index();
        DATA_MAP& bytes = meta->data();
        bytes.reset();
        write_symbol_metadata(metadata_, bytes);
        metadata_changed_ = false;
    }
    return 0;
}

void ELF_SYMBOL_TABLE::renumber_apply(const std::vector<uint32_t>& old_to_new, uint32_t new_count) {
    ELF_FILE* f = elf_file();
    ELF_SECTION_TABLE* sections = f->section_table();
    const uint32_t self = section_->index();
    const auto map = [&](uint32_t old) { return old < old_to_new.size() ? old_to_new[old] : REMOVED; };
    for (uint32_t i = 0; i < sections->count(); ++i) {
        ELF_SECTION* s = sections->elf_section_at(i);
        ELF_SECTION_HEADER& h = s->header();
        if (h.sh_link != self) continue;
        if (ELF_RELOC_TABLE* relocs = s->relocation_table()) relocs->renumber_symbols(old_to_new);
        // A group names its signature symbol in sh_info.
        if (h.sh_type == ELF::SHT_GROUP && map(h.sh_info) != REMOVED) h.sh_info = map(h.sh_info);
    }
    // The alias pairs and the build attributes' symbol lists refer to the file's static table.
    if (section_->header().sh_type == ELF::SHT_SYMTAB) {
        for (uint32_t i = 0; i < sections->count(); ++i)
            if (ELF_SYMALIAS_TABLE* aliases = sections->elf_section_at(i)->symalias_table()) aliases->renumber(old_to_new);
        if (OF_BUILD_ATTR_TABLE* attributes = f->build_attribute_table()) attributes->renumber_symbols(old_to_new);
    }
    ELF_SYMBOL_METADATA_MAP moved;
    for (auto& [index, record] : metadata_)
        if (map(index) != REMOVED) moved[map(index)] = std::move(record);
    if (!metadata_.empty()) metadata_changed_ = true;
    metadata_ = std::move(moved);
    OF_SYMBOL_TABLE::renumber_apply(old_to_new, new_count);
}

}  // namespace OFE
