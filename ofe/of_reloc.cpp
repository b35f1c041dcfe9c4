// Relocation tables: slots filled on first access, symbol lookups and the dump.
#include "ofe/of_reloc.h"

#include "ofe/machine/of_machine_db.h"
#include "ofe/object_file.h"
#include "ofe/of_section.h"
#include "ofe/of_symbol.h"
#include "ofe/of_text_table.h"

namespace OFE {

uint32_t OF_RELOC::offset_in_section() const { return address() - table_->section()->load_address(); }

const OF_RELOC_TEMPLATE* OF_RELOC::templ() const {
    const OF_RELOC_ENTRY* entry = vocabulary_entry();
    return entry ? entry->templ : nullptr;
}

const char* OF_RELOC::type_name() const {
    const OF_RELOC_ENTRY* entry = vocabulary_entry();
    return entry ? entry->name : nullptr;
}

OF_SYMBOL* OF_RELOC::symbol() const { return refers_to_symbol() ? table_->symbol_at(symbol_index()) : nullptr; }

OF_RELOC_TABLE::OF_RELOC_TABLE(OF_SECTION* section)
    : OF_STATE_MACHINE(section->table()->file()), section_(section) {}

OF_RELOC_TABLE::~OF_RELOC_TABLE() = default;

void OF_RELOC_TABLE::set_count(uint32_t count) {
    count_ = count;
    slots_.clear();
    slots_.resize(count);
}

OF_RELOC* OF_RELOC_TABLE::reloc_at(uint32_t index) {
    if (index >= count_) return nullptr;
    if (!slots_[index]) slots_[index] = read_reloc(index);
    return slots_[index].get();
}

void OF_RELOC_TABLE::read_all() {
    for (uint32_t i = 0; i < count_; ++i) (void)reloc_at(i);
}

OF_RELOC* OF_RELOC_TABLE::append(std::unique_ptr<OF_RELOC> reloc) {
    if (owner()->require_at_most_state(OF_STATE_OPEN) != 0) return nullptr;
    // The entries before it are still read from the file on first access; this one never is.
    slots_.resize(count_);
    slots_.push_back(std::move(reloc));
    count_ = static_cast<uint32_t>(slots_.size());
    return slots_.back().get();
}

bool OF_RELOC_TABLE::may_change() const { return owner()->require_at_most_state(OF_STATE_LOCKED) == 0; }

OF_SYMBOL* OF_RELOC_TABLE::symbol_at(uint32_t index) const {
    OF_SYMBOL_TABLE* symbols = section_->table()->file()->symbol_table();
    return symbols ? symbols->symbol_at(index) : nullptr;
}

void OF_RELOC_TABLE::dump(FILE* out) {
    for (uint32_t i = 0; i < count_; ++i) {
        OF_RELOC* reloc = reloc_at(i);
        std::fprintf(out, "    <%u>\n", i);
        OF_TEXT_TABLE rows(8);
        rows.add_pair("Address:", text_of("0x%08x", reloc->address()));
        const char* name = reloc->type_name();
        rows.add_pair("Type:", text_of("%s (%u)", name ? name : "unknown", reloc->type()));
        if (!reloc->refers_to_symbol()) {
            rows.add_pair("Symbol:", "(none)");
        } else {
            const OF_SYMBOL* symbol = reloc->symbol();
            const char* symbol_name = symbol && symbol->name() ? symbol->name() : "";
            rows.add_pair("Symbol:", text_of("\"%s\" (%u)", symbol_name, reloc->symbol_index()));
        }
        reloc->add_dump_rows(rows);
        rows.print(out);
    }
}

}  // namespace OFE
