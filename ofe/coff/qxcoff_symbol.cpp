// QXCOFF symbol tables: sizing, reading entries and their first auxiliary entry, names, the symbol
// model's answers and the setters.
#include "ofe/coff/qxcoff_symbol.h"

#include <algorithm>
#include <cstring>

#include "ofe/coff/qxcoff_defs.h"
#include "ofe/coff/qxcoff_file.h"
#include "ofe/coff/qxcoff_names.h"
#include "ofe/coff/qxcoff_string_table.h"

namespace OFE {

using namespace QXCOFF;

namespace {

// Storage classes whose symbols are global.
constexpr uint8_t global_classes[] = {C_EXT,    C_EXTREF, C_UEXT,      C_EXTLAB, C_SYSTEM,
                                      C_EXTREG, C_EXTREFREG, C_EXTDEF, C_EMOG};

uint32_t first_derived_type(uint32_t n_type) { return (n_type >> N_TSHIFT) & 3u; }

}  // namespace

uint8_t qxcoff_aux_kind(uint32_t format_version, uint32_t n_sclass, uint32_t n_type, uint32_t n_numaux) {
    if (n_numaux == 0) return QXCOFF_AUX_NONE;
    // Version "2" files describe their source files through section-style entries.
    if (format_version != VERSION_2 && n_sclass == C_FILE) return QXCOFF_AUX_FILE;
    switch (n_sclass) {
    case C_LABEL: return QXCOFF_AUX_NONE;
    case C_STRTAG:
    case C_UNTAG:
    case C_ENTAG: return QXCOFF_AUX_TAG;
    case C_TPDEF: return QXCOFF_AUX_TYPED;
    case C_BLOCK:
    case C_FCN: return QXCOFF_AUX_BLOCK;
    case C_EOS: return QXCOFF_AUX_END_OF_STRUCT;
    default: break;
    }
    if (first_derived_type(n_type) == DT_FCN) return QXCOFF_AUX_FUNCTION;
    if (first_derived_type(n_type) == DT_ARY) return QXCOFF_AUX_ARRAY;
    return n_type != 0 ? QXCOFF_AUX_TYPED : QXCOFF_AUX_SECTION;
}

// ---- QXCOFF_SYMBOL ----

QXCOFF_SYMBOL::QXCOFF_SYMBOL(QXCOFF_SYMBOL_TABLE* table, uint32_t index) : OF_SYMBOL(table, index) {}

QXCOFF_SYMBOL::~QXCOFF_SYMBOL() = default;

void QXCOFF_SYMBOL::name_from_entry() {
    std::memcpy(inline_name_, entry_.n_name, SYMENT::NAME_SIZE);
    inline_name_[SYMENT::NAME_SIZE] = 0;
    assign_name(inline_name_, NAME_IN_OBJECT);
}

QXCOFF_SYMBOL_TABLE* QXCOFF_SYMBOL::qxcoff_table() const { return static_cast<QXCOFF_SYMBOL_TABLE*>(table()); }

bool QXCOFF_SYMBOL::has_section() const {
    return entry_.n_scnum != N_UNDEF && entry_.n_scnum != N_ABS && entry_.n_scnum != N_DEBUG;
}

uint32_t QXCOFF_SYMBOL::section_index() const { return static_cast<uint32_t>(int32_t{entry_.n_scnum} - 1); }

uint32_t QXCOFF_SYMBOL::size() const {
    switch (aux_kind()) {
    case QXCOFF_AUX_TAG:
    case QXCOFF_AUX_END_OF_STRUCT:
    case QXCOFF_AUX_FUNCTION:
    case QXCOFF_AUX_ARRAY:
    case QXCOFF_AUX_TYPED: return aux_->size;
    case QXCOFF_AUX_SECTION: return aux_->section_length;
    default: return 0;
    }
}

OF_SYMBOL_KIND QXCOFF_SYMBOL::kind() const {
    if (has_section()) return OF_SYM_DEFINED;
    switch (entry_.n_scnum) {
    case N_UNDEF: return OF_SYM_UNDEFINED;
    case N_ABS: return OF_SYM_ABSOLUTE;
    default: return OF_SYM_DEBUG;
    }
}

OF_SYMBOL_BINDING QXCOFF_SYMBOL::binding() const {
    if (entry_.n_sclass == C_NULL) return OF_BIND_NONE;
    for (uint8_t c : global_classes)
        if (entry_.n_sclass == c) return OF_BIND_GLOBAL;
    return OF_BIND_LOCAL;
}

OF_SYMBOL_TYPE QXCOFF_SYMBOL::type() const {
    if (entry_.n_sclass == C_FILE) return OF_TYPE_FILE;
    if (aux_kind() == QXCOFF_AUX_SECTION) return OF_TYPE_SECTION;
    if (!has_section() || entry_.n_sclass == C_LABEL) return OF_TYPE_NONE;
    return OF_TYPE_OBJECT;
}

bool QXCOFF_SYMBOL::is_label() const { return entry_.n_sclass == C_STATLAB || entry_.n_sclass == C_EXTLAB; }

bool QXCOFF_SYMBOL::is_blocked() const { return entry_.n_type == T_BLOCKED; }

void QXCOFF_SYMBOL::write_back() { qxcoff_table()->write_back(*this); }

void QXCOFF_SYMBOL::set_storage_class(uint8_t storage_class) {
    if (!may_change()) return;
    entry_.n_sclass = storage_class;
    if (aux_) aux_->kind = qxcoff_aux_kind(table()->file()->format_version(), entry_.n_sclass, entry_.n_type, 1);
    changed();
}

void QXCOFF_SYMBOL::set_coff_type(uint16_t type) {
    if (!may_change()) return;
    entry_.n_type = type;
    if (aux_) aux_->kind = qxcoff_aux_kind(table()->file()->format_version(), entry_.n_sclass, entry_.n_type, 1);
    changed();
}

void QXCOFF_SYMBOL::set_aux(const QXCOFF_AUX& aux) {
    if (!may_change()) return;
    if (entry_.n_numaux == 0 || !aux_) {
        table()->file()->report_error(OF_ERR_ILLEGAL_OPERATION, "symbol \"%s\" has no auxiliary entry",
                                      name() ? name() : "");
        return;
    }
    *aux_ = aux;
    aux_->kind = qxcoff_aux_kind(table()->file()->format_version(), entry_.n_sclass, entry_.n_type, 1);
    changed();
}

void QXCOFF_SYMBOL::capture_aux_bytes(DATA_MAP& data) {
    if (entry_.n_numaux == 0 || !aux_bytes_.empty()) return;
    aux_bytes_.assign(size_t{entry_.n_numaux} * SYMENT::SIZE, 0);
    data.set_cursor(uint64_t{index() + 1u} * SYMENT::SIZE);
    data.read_bytes(aux_bytes_.data(), aux_bytes_.size());
}

void QXCOFF_SYMBOL::set_value(uint32_t value) {
    if (!may_change()) return;
    entry_.n_value = value;
    changed();
}

void QXCOFF_SYMBOL::set_section_id(uint32_t index) {
    if (!may_change()) return;
    entry_.n_scnum = static_cast<int16_t>(index + 1);
    changed();
}

void QXCOFF_SYMBOL::set_size(uint32_t size) {
    if (!may_change()) return;
    switch (aux_kind()) {
    case QXCOFF_AUX_TAG:
    case QXCOFF_AUX_END_OF_STRUCT:
    case QXCOFF_AUX_FUNCTION:
    case QXCOFF_AUX_ARRAY:
    case QXCOFF_AUX_TYPED: aux_->size = size; break;
    case QXCOFF_AUX_SECTION: aux_->section_length = size; break;
    default:
        table()->file()->report_error(OF_ERR_ILLEGAL_OPERATION, "Cannot set size of symbols with storage class %s",
                                      qxcoff_storage_class_name(entry_.n_sclass));
        return;
    }
    changed();
}

void QXCOFF_SYMBOL::set_kind(OF_SYMBOL_KIND kind) {
    if (!may_change()) return;
    OBJECT_FILE* file = table()->file();
    switch (kind) {
    case OF_SYM_UNDEFINED: entry_.n_scnum = N_UNDEF; break;
    case OF_SYM_ABSOLUTE: entry_.n_scnum = N_ABS; break;
    case OF_SYM_DEBUG: entry_.n_scnum = N_DEBUG; break;
    case OF_SYM_DEFINED:
        file->report_error(OF_ERR_ILLEGAL_OPERATION,
                           "To mark a symbol as being defined, you must use set_section() to set its section "
                           "reference");
        return;
    default: file->report_error(OF_ERR_ILLEGAL_OPERATION, "Invalid symbol kind %x", kind); return;
    }
    changed();
}

void QXCOFF_SYMBOL::set_binding(OF_SYMBOL_BINDING binding) {
    if (!may_change()) return;
    OBJECT_FILE* file = table()->file();
    switch (binding) {
    case OF_BIND_GLOBAL: entry_.n_sclass = entry_.n_sclass == C_STATLAB ? C_EXTLAB : C_EXT; break;
    case OF_BIND_LOCAL: entry_.n_sclass = entry_.n_sclass == C_EXTLAB ? C_STATLAB : C_STAT; break;
    case OF_BIND_WEAK:
        file->report_error(OF_ERR_ILLEGAL_OPERATION, "Weak symbol binding not supported for QX-COFF");
        return;
    default: file->report_error(OF_ERR_ILLEGAL_OPERATION, "Invalid symbol binding value 0x%x", binding); return;
    }
    changed();
}

void QXCOFF_SYMBOL::set_blocked() {
    if (!may_change()) return;
    entry_.n_type = T_BLOCKED;
    changed();
}

const QXCOFF_SYMBOL* as_qxcoff_symbol(const OF_SYMBOL* symbol) {
    // Every symbol of a QXCOFF file's tables is a QXCOFF_SYMBOL; the file's format decides once.
    if (!symbol || !symbol->table() || !symbol->table()->file()->require_format(OF_FORMAT_QXCOFF, not_qxcoff_message))
        return nullptr;
    return static_cast<const QXCOFF_SYMBOL*>(symbol);
}

QXCOFF_SYMBOL* as_qxcoff_symbol(OF_SYMBOL* symbol) {
    return const_cast<QXCOFF_SYMBOL*>(as_qxcoff_symbol(static_cast<const OF_SYMBOL*>(symbol)));
}

// ---- QXCOFF_SYMBOL_TABLE ----

QXCOFF_SYMBOL_TABLE::QXCOFF_SYMBOL_TABLE(QXCOFF_FILE* file) : OF_SYMBOL_TABLE(file) {
    offset_ = file->symbol_table_offset();
    uint32_t count = offset_ == 0 ? 0 : file->symbol_table_claimed();
    if (file->info().handle && count > 0) {
        // Only the entries whose bytes the object holds are listed.
        count = file->entries_held("symbol table", offset_, count, SYMENT::SIZE, SYMENT::SIZE);
        file->map_bytes(file->symbol_data(), offset_, uint64_t{count} * SYMENT::SIZE);
    }
    set_count(count);
}

QXCOFF_SYMBOL_TABLE::~QXCOFF_SYMBOL_TABLE() = default;

QXCOFF_FILE* QXCOFF_SYMBOL_TABLE::qxcoff_file() const { return static_cast<QXCOFF_FILE*>(file()); }

uint32_t QXCOFF_SYMBOL_TABLE::entry_size() const { return SYMENT::SIZE; }

OF_SECTION_TABLE* QXCOFF_SYMBOL_TABLE::section_table() const { return qxcoff_file()->section_table(); }

uint32_t QXCOFF_SYMBOL_TABLE::next_index(uint32_t index) const {
    // Building the symbol only fills the table's cache of entries read.
    const OF_SYMBOL* s = const_cast<QXCOFF_SYMBOL_TABLE*>(this)->symbol_at(index);
    return index + (s ? static_cast<const QXCOFF_SYMBOL*>(s)->aux_count() : 0) + 1;
}

OF_SYMBOL* QXCOFF_SYMBOL_TABLE::make_symbol(uint32_t index) { return new QXCOFF_SYMBOL(this, index); }

void QXCOFF_SYMBOL_TABLE::build_symbol(uint32_t index) {
    if (!file()->info().handle || exists(index) || index >= count()) return;
    QXCOFF_FILE* f = qxcoff_file();
    auto* symbol = static_cast<QXCOFF_SYMBOL*>(make_symbol(index));
    QXCOFF_SYMBOL_ENTRY& e = symbol->entry_;
    DATA_MAP& data = f->symbol_data();
    const uint64_t base = uint64_t{index} * SYMENT::SIZE;
    DATA_MAP_ENTRY entry(data, base, SYMENT::SIZE);
    entry.copy(SYMENT::n_name, e.n_name, SYMENT::NAME_SIZE);
    const bool by_offset = e.n_name[0] == 0 && e.n_name[1] == 0 && e.n_name[2] == 0 && e.n_name[3] == 0;
    if (by_offset) e.n_offset = entry.u32(SYMENT::n_offset);
    e.n_value = entry.u32(SYMENT::n_value);
    e.n_scnum = static_cast<int16_t>(entry.u16(SYMENT::n_scnum));
    e.n_type = entry.u16(SYMENT::n_type);
    e.n_sclass = entry.u8(SYMENT::n_sclass);
    e.n_numaux = entry.u8(SYMENT::n_numaux);

    if (by_offset) {
        // A missing string table or an offset past its end leaves the symbol nameless. The name stays in
        // the string table's bytes, which outlive the symbol object.
        symbol->set_name_in_table(f->string_table()->get_string(e.n_offset));
    } else {
        symbol->name_from_entry();
    }

    // A label keeps no auxiliary entries: the walk then visits the next entry as a symbol.
    if (e.n_sclass == C_LABEL) e.n_numaux = 0;
    if (e.n_numaux > 0) {
        auto aux = std::make_unique<QXCOFF_AUX>();
        aux->kind = qxcoff_aux_kind(f->format_version(), e.n_sclass, e.n_type, e.n_numaux);
        DATA_MAP_ENTRY a(data, base + SYMENT::SIZE, SYMENT::SIZE);
        switch (aux->kind) {
        case QXCOFF_AUX_TAG:
            aux->size = a.u32(AUXENT::x_size);
            aux->next_index = a.u32(AUXENT::x_endndx);
            break;
        case QXCOFF_AUX_END_OF_STRUCT:
        case QXCOFF_AUX_TYPED:
            aux->tag_index = a.u32(AUXENT::x_tagndx);
            aux->size = a.u32(AUXENT::x_size);
            break;
        case QXCOFF_AUX_FUNCTION:
            aux->tag_index = a.u32(AUXENT::x_tagndx);
            aux->size = a.u32(AUXENT::x_size);
            aux->lnno_offset = a.u32(AUXENT::x_lnnoptr);
            aux->next_index = a.u32(AUXENT::x_endndx);
            break;
        case QXCOFF_AUX_BLOCK:
            aux->register_mask = a.u32(AUXENT::x_regmask);
            aux->line = a.u16(AUXENT::x_lnno);
            aux->line_entries = a.u16(AUXENT::x_nlines);
            aux->frame_size = a.u32(AUXENT::x_framesz);
            aux->next_index = a.u32(AUXENT::x_endndx);
            break;
        case QXCOFF_AUX_ARRAY:
            aux->tag_index = a.u32(AUXENT::x_tagndx);
            aux->size = a.u32(AUXENT::x_size);
            for (uint32_t d = 0; d < AUXENT::DIMENSIONS; ++d) aux->dimensions[d] = a.u16(AUXENT::x_dimen + 2 * d);
            break;
        case QXCOFF_AUX_FILE:
            a.copy(AUXENT::x_fname, aux->file_name, AUXENT::FNAME_SIZE);
            break;
        case QXCOFF_AUX_SECTION:
            aux->section_length = a.u32(AUXENT::x_scnlen);
            aux->relocations = a.u16(AUXENT::x_nreloc);
            aux->line_numbers = a.u16(AUXENT::x_nlinno);
            break;
        default: break;
        }
        symbol->aux_ = std::move(aux);
    }
    store(index, symbol);
}

void QXCOFF_SYMBOL_TABLE::build_all_symbols() {
    for (uint32_t i = 0; i < count(); i = next_index(i)) (void)symbol_at(i);
    qxcoff_file()->symbol_data().unload();
}

void QXCOFF_SYMBOL_TABLE::write_back(const QXCOFF_SYMBOL& symbol) {
    symbol.encode(qxcoff_file()->symbol_data(), uint64_t{symbol.index()} * SYMENT::SIZE);
}

void QXCOFF_SYMBOL::encode(DATA_MAP& data, uint64_t base) const {
    const QXCOFF_SYMBOL_ENTRY& e = entry_;
    data.set_cursor(base + SYMENT::n_name);
    data.write_bytes(e.n_name, SYMENT::NAME_SIZE);
    if (e.n_name[0] == 0 && e.n_name[1] == 0 && e.n_name[2] == 0 && e.n_name[3] == 0) {
        data.set_cursor(base + SYMENT::n_offset);
        data.write_u32(e.n_offset);
    }
    data.set_cursor(base + SYMENT::n_value);
    data.write_u32(e.n_value);
    data.write_u16(static_cast<uint16_t>(e.n_scnum));
    data.write_u16(e.n_type);
    data.write_u8(e.n_sclass);
    data.write_u8(e.n_numaux);
    // A label keeps no auxiliary entries (its count reads as 0), so the entry after it is never touched here.
    if (e.n_numaux == 0) return;
    // The auxiliary entries as they were read (zeros for new ones), then the first one's fields over them
    // (a label's stay all zeros).
    const uint64_t at = base + SYMENT::SIZE;
    std::vector<uint8_t> bytes(size_t{e.n_numaux} * SYMENT::SIZE, 0);
    if (e.n_sclass != C_LABEL) std::copy_n(aux_bytes_.begin(), std::min(aux_bytes_.size(), bytes.size()), bytes.begin());
    data.set_cursor(at);
    data.write_bytes(bytes.data(), bytes.size());
    const QXCOFF_AUX* a = aux();
    if (!a || e.n_sclass == C_LABEL) return;
    auto u32 = [&](uint32_t field, uint32_t value) {
        data.set_cursor(at + field);
        data.write_u32(value);
    };
    auto u16 = [&](uint32_t field, uint16_t value) {
        data.set_cursor(at + field);
        data.write_u16(value);
    };
    switch (a->kind) {
    case QXCOFF_AUX_TAG:
        u32(AUXENT::x_size, a->size);
        u32(AUXENT::x_endndx, a->next_index);
        break;
    case QXCOFF_AUX_END_OF_STRUCT:
    case QXCOFF_AUX_TYPED:
        u32(AUXENT::x_tagndx, a->tag_index);
        u32(AUXENT::x_size, a->size);
        break;
    case QXCOFF_AUX_FUNCTION:
        u32(AUXENT::x_tagndx, a->tag_index);
        u32(AUXENT::x_size, a->size);
        u32(AUXENT::x_lnnoptr, a->lnno_offset);
        u32(AUXENT::x_endndx, a->next_index);
        break;
    case QXCOFF_AUX_BLOCK:
        u32(AUXENT::x_regmask, a->register_mask);
        u16(AUXENT::x_lnno, a->line);
        u16(AUXENT::x_nlines, a->line_entries);
        u32(AUXENT::x_framesz, a->frame_size);
        u32(AUXENT::x_endndx, a->next_index);
        break;
    case QXCOFF_AUX_ARRAY:
        u32(AUXENT::x_tagndx, a->tag_index);
        u32(AUXENT::x_size, a->size);
        for (uint32_t d = 0; d < AUXENT::DIMENSIONS; ++d) u16(AUXENT::x_dimen + 2 * d, a->dimensions[d]);
        break;
    case QXCOFF_AUX_FILE:
        data.set_cursor(at + AUXENT::x_fname);
        data.write_bytes(a->file_name, AUXENT::FNAME_SIZE);
        break;
    case QXCOFF_AUX_SECTION:
        u32(AUXENT::x_scnlen, a->section_length);
        u16(AUXENT::x_nreloc, a->relocations);
        u16(AUXENT::x_nlinno, a->line_numbers);
        break;
    default: break;
    }
}

}  // namespace OFE
