// QXCOFF relocation and line-number entries: decoding by version and template, and their dumps.
#include "ofe/coff/qxcoff_reloc.h"

#include <algorithm>
#include <map>
#include <string>

#include "ofe/coff/qxcoff_defs.h"
#include "ofe/coff/qxcoff_file.h"
#include "ofe/coff/qxcoff_section.h"
#include "ofe/coff/qxcoff_symbol.h"
#include "ofe/of_symbol.h"
#include "ofe/machine/of_machine_db.h"
#include "ofe/of_text_table.h"
#include "util/data_map.h"

namespace OFE {

using namespace QXCOFF;

// ---- QXCOFF_RELOC ----

QXCOFF_RELOC::QXCOFF_RELOC(QXCOFF_RELOC_TABLE* table, uint32_t index, const QXCOFF_RELOC_IMAGE& image,
                           const OF_RELOC_ENTRY* entry)
    : OF_RELOC(table, index), image_(image), entry_(entry) {}

uint32_t QXCOFF_RELOC::template_flags() const {
    const OF_RELOC_TEMPLATE* t = templ();
    return t ? t->flags : 0;
}

bool QXCOFF_RELOC::refers_to_symbol() const {
    return (template_flags() & TEMPLATE_HAS_SYMBOL) != 0 && image_.r_symndx != 0xFFFFFFFFu;
}

bool QXCOFF_RELOC::has_no_symbol() const {
    return (template_flags() & TEMPLATE_HAS_SYMBOL) != 0 && image_.r_symndx == 0xFFFFFFFFu;
}

uint32_t QXCOFF_RELOC::field_bit_offset() const {
    if (template_flags() & TEMPLATE_FIELD) return image_.field[0];
    return templ() ? templ()->bit_offset : 0;
}

uint32_t QXCOFF_RELOC::field_width() const {
    if (template_flags() & TEMPLATE_FIELD) return image_.field[1];
    return templ() ? templ()->field_width : 0;
}

uint32_t QXCOFF_RELOC::field_word_size() const {
    if (template_flags() & TEMPLATE_FIELD) return image_.field[2];
    return templ() ? templ()->container_width : 0;
}

uint32_t QXCOFF_RELOC::push_value() const {
    if (refers_to_symbol()) {
        const OF_SYMBOL* s = symbol();
        return s ? s->value() : 0;
    }
    const auto* t = static_cast<const QXCOFF_RELOC_TABLE*>(table());
    if (t->entry_size() == RELOC_SIZE_V0 && !(template_flags() & TEMPLATE_HAS_SYMBOL)) return image_.operand;
    return image_.r_symndx;
}

void QXCOFF_RELOC::add_dump_rows(OF_TEXT_TABLE& rows) const {
    const uint32_t flags = template_flags();
    if (flags & TEMPLATE_PUSH)
        rows.add_pair((flags & TEMPLATE_PUSH_PC) ? "PC Value:" : "Value:", text_of("0x%08x", push_value()));
    if (flags & TEMPLATE_FIELD) {
        rows.add_pair("Field Offset:", text_of("%u", field_bit_offset()));
        rows.add_pair("Field Size:", text_of("%u", field_width()));
        rows.add_pair("Field Word Size:", text_of("%u", field_word_size()));
    }
    if ((flags & TEMPLATE_SIZED) && !(flags & TEMPLATE_UNSIZED)) rows.add_pair("Size:", text_of("%u", image_.r_disp));
    if (flags & TEMPLATE_DISPLACEMENT) rows.add_pair("Displacement:", text_of("0x%04x", image_.r_disp));
}

void QXCOFF_RELOC::set_address(uint32_t address) {
    if (table()->may_change()) image_.r_vaddr = address;
}

void QXCOFF_RELOC::set_type(uint32_t type) {
    if (!table()->may_change()) return;
    image_.r_type = static_cast<uint16_t>(type);
    entry_ = relocation_vocabulary(static_cast<QXCOFF_RELOC_TABLE*>(table())->qxcoff_file()).find_type(image_.r_type);
}

void QXCOFF_RELOC::set_symbol_index(uint32_t index) {
    if (!table()->may_change()) return;
    // The symbol slot and the operand are the same bytes.
    image_.r_symndx = image_.operand = index;
    for (int i = 0; i < 3; ++i) image_.field[i] = static_cast<uint8_t>(index >> (8 * i));
}

void QXCOFF_RELOC::set_displacement(uint16_t displacement) {
    if (table()->may_change()) image_.r_disp = displacement;
}

void QXCOFF_RELOC::set_field(uint8_t bit_offset, uint8_t width, uint8_t word_size) {
    if (!table()->may_change()) return;
    image_.field[0] = bit_offset;
    image_.field[1] = width;
    image_.field[2] = word_size;
    image_.r_symndx = (image_.r_symndx & 0xFF000000u) | uint32_t{bit_offset} | uint32_t{width} << 8 |
                      uint32_t{word_size} << 16;
    image_.operand = image_.r_symndx;
}

void QXCOFF_RELOC::encode(DATA_MAP& data, uint64_t at, bool version_0) const {
    const uint32_t flags = template_flags();
    data.set_cursor(at + RELOC::r_vaddr);
    data.write_u32(image_.r_vaddr);
    data.set_cursor(at + RELOC::r_operand);
    if (flags & TEMPLATE_FIELD) {
        // Single bytes in file order, never swapped: the field's offset, width and word size first.
        const uint8_t bytes[4] = {image_.field[0], image_.field[1], image_.field[2],
                                  static_cast<uint8_t>(image_.r_symndx >> 24)};
        data.write_bytes(bytes, sizeof bytes);
    } else if (version_0 && (flags & TEMPLATE_HAS_SYMBOL)) {
        data.write_u16(static_cast<uint16_t>(image_.r_symndx));
    } else {
        data.write_u32(version_0 ? image_.operand : image_.r_symndx);
    }
    if (!version_0 || (flags & TEMPLATE_HAS_SYMBOL)) {
        data.set_cursor(at + (version_0 ? RELOC::r_disp_v0 : RELOC::r_disp_v1));
        data.write_u16(image_.r_disp);
    }
    data.set_cursor(at + (version_0 ? RELOC::r_type_v0 : RELOC::r_type_v1));
    data.write_u16(image_.r_type);
}

// ---- QXCOFF_RELOC_TABLE ----

namespace {

// How many of the `claimed` entries of a section's table at `offset` the object holds; a shortfall is
// reported and the count cut to what is there.
uint32_t entries_held(QXCOFF_SECTION* section, const char* what, uint32_t offset, uint32_t claimed,
                      uint32_t entry_size) {
    if (claimed == 0 || entry_size == 0) return 0;
    const std::string table = std::string(what) + " table of section \"" + (section->name() ? section->name() : "") + "\"";
    return section->qxcoff_file()->entries_held(table.c_str(), offset, claimed, entry_size, entry_size);
}

}  // namespace

QXCOFF_RELOC_TABLE::QXCOFF_RELOC_TABLE(QXCOFF_SECTION* section) : OF_RELOC_TABLE(section) {
    entry_size_ = section->qxcoff_file()->reloc_entry_size();
    const QXCOFF_SECTION_HEADER& h = section->header();
    set_count(entries_held(section, "relocation", h.s_relptr, h.s_nreloc, entry_size_));
}

QXCOFF_SECTION* QXCOFF_RELOC_TABLE::qxcoff_section() const { return static_cast<QXCOFF_SECTION*>(section()); }

QXCOFF_FILE* QXCOFF_RELOC_TABLE::qxcoff_file() const { return qxcoff_section()->qxcoff_file(); }

uint32_t QXCOFF_RELOC_TABLE::file_offset() const { return qxcoff_section()->header().s_relptr; }

std::unique_ptr<OF_RELOC> QXCOFF_RELOC_TABLE::read_reloc(uint32_t index) {
    DATA_MAP& data = qxcoff_section()->reloc_data();
    const uint64_t at = uint64_t{index} * entry_size_;
    const bool v0 = entry_size_ == RELOC_SIZE_V0;
    QXCOFF_RELOC_IMAGE image;
    // The type first: its template decides how the middle bytes read.
    data.set_cursor(at + (v0 ? RELOC::r_type_v0 : RELOC::r_type_v1));
    image.r_type = data.read_u16();
    const OF_RELOC_ENTRY* entry = relocation_vocabulary(qxcoff_file()).find_type(image.r_type);
    const uint32_t flags = entry && entry->templ ? entry->templ->flags : 0;

    data.set_cursor(at + RELOC::r_vaddr);
    image.r_vaddr = data.read_u32();
    data.set_cursor(at + RELOC::r_operand);
    if (flags & TEMPLATE_FIELD) {
        uint8_t bytes[4];
        data.read_bytes(bytes, sizeof bytes);
        std::copy_n(bytes, 3, image.field);
        // The slot is kept in file order; as a number it reads the way the host would see those bytes.
        image.r_symndx = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
        image.operand = image.r_symndx;
    } else if (v0 && (flags & TEMPLATE_HAS_SYMBOL)) {
        image.r_symndx = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(data.read_u16())));
    } else {
        image.operand = data.read_u32();
        image.r_symndx = image.operand;
    }
    data.set_cursor(at + (v0 ? RELOC::r_disp_v0 : RELOC::r_disp_v1));
    if (v0 && !(flags & TEMPLATE_HAS_SYMBOL))
        image.r_disp = 0;  // the operand covers bytes 4 to 7
    else
        image.r_disp = data.read_u16();
    return std::make_unique<QXCOFF_RELOC>(this, index, image, entry);
}

OF_RELOC* QXCOFF_RELOC_TABLE::add_reloc(uint32_t address, uint32_t type, uint32_t symbol_index) {
    QXCOFF_RELOC_IMAGE image;
    image.r_vaddr = address;
    image.r_type = static_cast<uint16_t>(type);
    const OF_RELOC_ENTRY* entry = relocation_vocabulary(qxcoff_file()).find_type(image.r_type);
    auto reloc = std::make_unique<QXCOFF_RELOC>(this, count(), image, entry);
    reloc->image_.r_symndx = reloc->image_.operand = symbol_index;
    for (int i = 0; i < 3; ++i) reloc->image_.field[i] = static_cast<uint8_t>(symbol_index >> (8 * i));
    return append(std::move(reloc));
}

void QXCOFF_RELOC_TABLE::renumber_symbols(const std::vector<uint32_t>& old_to_new) {
    read_all();
    for (uint32_t i = 0; i < count(); ++i) {
        auto* r = static_cast<QXCOFF_RELOC*>(reloc_at(i));
        if (!r->refers_to_symbol()) continue;
        const uint32_t old = r->image_.r_symndx;
        // A version "0" slot holds a signed 16-bit index; -1 (no symbol) is not a symbol to map.
        const uint32_t now = old < old_to_new.size() ? old_to_new[old] : OF_SYMBOL_TABLE::REMOVED;
        r->image_.r_symndx = r->image_.operand = now;
    }
}

void QXCOFF_RELOC_TABLE::encode() {
    read_all();
    DATA_MAP& data = qxcoff_section()->reloc_data();
    data.reset();
    data.set_big_endian(qxcoff_file()->machine_endian() == OF_ENDIAN_BIG);
    const bool v0 = entry_size_ == RELOC_SIZE_V0;
    for (uint32_t i = 0; i < count(); ++i)
        static_cast<QXCOFF_RELOC*>(reloc_at(i))->encode(data, uint64_t{i} * entry_size_, v0);
    data.set_size(uint64_t{count()} * entry_size_);
}

// ---- QXCOFF_LNNO_TABLE ----

QXCOFF_LNNO_TABLE::QXCOFF_LNNO_TABLE(QXCOFF_SECTION* section)
    : OF_STATE_MACHINE(section->qxcoff_file()), section_(section) {
    const QXCOFF_SECTION_HEADER& h = section->header();
    const uint32_t count = entries_held(section, "line number", h.s_lnnoptr, h.s_nlnno, LINENO_SIZE);
    entries_.resize(count);
    read_.resize(count);
}

uint32_t QXCOFF_LNNO_TABLE::file_offset() const { return section_->header().s_lnnoptr; }

const QXCOFF_LNNO* QXCOFF_LNNO_TABLE::entry(uint32_t index) {
    if (index >= count()) {
        owner()->report_error(OF_ERR_ILLEGAL_OPERATION, "request for line number entry %ld which does not exist",
                              static_cast<long>(index));
        return nullptr;
    }
    if (!read_[index]) {
        DATA_MAP& data = section_->lnno_data();
        data.set_cursor(uint64_t{index} * LINENO_SIZE + LINENO::l_addr);
        entries_[index].l_addr = data.read_u32();
        entries_[index].l_lnno = data.read_u16();
        read_[index] = true;
    }
    return &entries_[index];
}

void QXCOFF_LNNO_TABLE::mark_for_removal(uint32_t index) {
    if (index >= count()) return;
    if (removal_.size() < count()) removal_.resize(count());
    removal_[index] = true;
}

void QXCOFF_LNNO_TABLE::read_all() {
    for (uint32_t i = 0; i < count(); ++i)
        if (!read_[i]) (void)entry(i);
}

int64_t QXCOFF_LNNO_TABLE::add_entry(uint32_t address, uint16_t line) {
    if (owner()->require_at_most_state(OF_STATE_OPEN) != 0) return -1;
    entries_.push_back({address, line});
    read_.push_back(true);
    return static_cast<int64_t>(entries_.size()) - 1;
}

void QXCOFF_LNNO_TABLE::renumber_symbols(const std::vector<uint32_t>& old_to_new) {
    read_all();
    bool dropping = false;
    for (uint32_t i = 0; i < count(); ++i) {
        QXCOFF_LNNO& e = entries_[i];
        if (e.l_lnno == 0) {
            e.l_addr = e.l_addr < old_to_new.size() ? old_to_new[e.l_addr] : OF_SYMBOL_TABLE::REMOVED;
            dropping = e.l_addr == OF_SYMBOL_TABLE::REMOVED;
        }
        if (dropping) mark_for_removal(i);
    }
}

void QXCOFF_LNNO_TABLE::remove_marked() {
    read_all();
    if (removal_.empty()) return;
    size_t kept = 0;
    for (size_t i = 0; i < entries_.size(); ++i)
        if (!(i < removal_.size() && removal_[i])) entries_[kept++] = entries_[i];
    entries_.resize(kept);
    read_.assign(kept, true);
    removal_.clear();
}

void QXCOFF_LNNO_TABLE::encode() {
    read_all();
    DATA_MAP& data = section_->lnno_data();
    data.reset();
    data.set_big_endian(section_->qxcoff_file()->machine_endian() == OF_ENDIAN_BIG);
    for (const QXCOFF_LNNO& e : entries_) {
        data.write_u32(e.l_addr);
        data.write_u16(e.l_lnno);
    }
}

namespace {

// What the line dump needs of the symbol table, gathered in one walk: the file each symbol belongs to
// (the nearest C_FILE entry before it).
class FILE_NAMES {
public:
    explicit FILE_NAMES(QXCOFF_SYMBOL_TABLE* symbols) {
        if (!symbols) return;
        for (uint32_t i = 0; i < symbols->count(); i = symbols->next_index(i)) {
            const QXCOFF_SYMBOL* s = as_qxcoff_symbol(symbols->symbol_at(i));
            if (!s || s->storage_class() != C_FILE) continue;
            const QXCOFF_AUX* aux = s->aux();
            starts_[i] = aux && aux->kind == QXCOFF_AUX_FILE ? aux->file_name : (s->name() ? s->name() : "");
        }
    }
    const char* file_of(uint32_t symbol_index) const {
        auto it = starts_.upper_bound(symbol_index);
        if (it == starts_.begin()) return "";
        return std::prev(it)->second.c_str();
    }

private:
    std::map<uint32_t, std::string> starts_;
};

}  // namespace

void QXCOFF_LNNO_TABLE::dump(FILE* out) {
    const char* name = section_->name();
    std::fprintf(out, "\n Line Number Table for Section %u (\"%s\")\n\n", section_->section_id(), name ? name : "");
    QXCOFF_SYMBOL_TABLE* symbols = section_->qxcoff_file()->qxcoff_symbol_table();
    const FILE_NAMES files(symbols);
    OF_TEXT_TABLE rows;
    rows.add_headings({"file", "function", "address", "line"});
    uint32_t bf_line = 1;
    for (uint32_t i = 0; i < count(); ++i) {
        const QXCOFF_LNNO& e = *entry(i);
        if (e.l_lnno != 0) {
            rows.add_row({"", "", text_of("0x%08x", e.l_addr), text_of("%d", e.l_lnno + static_cast<int>(bf_line) - 1)});
            continue;
        }
        // A function starts: its symbol, then the ".bf" entry that follows it gives the first line.
        const QXCOFF_SYMBOL* function = as_qxcoff_symbol(symbols->symbol_at(e.l_addr));
        bf_line = 1;
        uint32_t address = 0;
        const char* function_name = nullptr;
        if (function) {
            address = function->value();
            function_name = function->name();
            const QXCOFF_SYMBOL* bf = as_qxcoff_symbol(symbols->symbol_at(symbols->next_index(e.l_addr)));
            if (bf && bf->name() && std::string(bf->name()) == ".bf" && bf->aux_kind() == QXCOFF_AUX_BLOCK)
                bf_line = bf->aux()->line;
        }
        rows.add_row({files.file_of(e.l_addr), function_name && *function_name ? function_name : "(none)",
                      text_of("0x%08x", address), ""});
    }
    rows.print(out);
}

}  // namespace OFE
