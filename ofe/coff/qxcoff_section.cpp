// QXCOFF sections: reading the header table, materialising sections, their meaning and their setters.
#include "ofe/coff/qxcoff_section.h"

#include <cstring>
#include <string>

#include "ofe/coff/qxcoff_defs.h"
#include "ofe/coff/qxcoff_file.h"
#include "ofe/coff/qxcoff_reloc.h"
#include "ofe/coff/qxcoff_string_table.h"
#include "ofe/machine/of_machine_db.h"
#include "ofe/coff/qxcoff_build_attr.h"
#include "ofe/of_symbol.h"

namespace OFE {

using namespace QXCOFF;

namespace {

bool first_word_zero(const uint8_t* name) { return name[0] == 0 && name[1] == 0 && name[2] == 0 && name[3] == 0; }

// The inline name: the 8 bytes cut at the first NUL (no terminator when all 8 are used).
std::string inline_name(const uint8_t* bytes) {
    const void* nul = std::memchr(bytes, 0, SCNHDR::NAME_SIZE);
    const size_t length = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - bytes) : SCNHDR::NAME_SIZE;
    return std::string(reinterpret_cast<const char*>(bytes), length);
}

}  // namespace

// ---- QXCOFF_SECTION ----

QXCOFF_SECTION::QXCOFF_SECTION(OF_SECTION_TABLE* table, uint32_t index) : OF_SECTION(table, index) {}

QXCOFF_SECTION::~QXCOFF_SECTION() = default;

QXCOFF_FILE* QXCOFF_SECTION::qxcoff_file() const { return static_cast<QXCOFF_FILE*>(owner()); }

bool QXCOFF_SECTION::is_build_attribute_section() const {
    return name() && std::strcmp(name(), "$build.attributes") == 0;
}

QXCOFF_RELOC_TABLE* QXCOFF_SECTION::reloc_table() {
    if (!reloc_table_) reloc_table_ = std::make_unique<QXCOFF_RELOC_TABLE>(this);
    return reloc_table_.get();
}

OF_RELOC_TABLE* QXCOFF_SECTION::reloc_table_for_change() { return reloc_table(); }

uint32_t QXCOFF_SECTION::reloc_table_count() { return header_.s_nreloc != 0 && reloc_table()->count() != 0 ? 1 : 0; }

OF_RELOC_TABLE* QXCOFF_SECTION::reloc_table_at(uint32_t index) {
    return index == 0 && reloc_table_count() != 0 ? reloc_table() : nullptr;
}

QXCOFF_LNNO_TABLE* QXCOFF_SECTION::lnno_table() {
    if (!lnno_table_) lnno_table_ = std::make_unique<QXCOFF_LNNO_TABLE>(this);
    return lnno_table_.get();
}

QXCOFF_BUILD_ATTR_TABLE* QXCOFF_SECTION::build_attribute_table() {
    if (!is_build_attribute_section()) return nullptr;
    if (!build_attribute_table_) {
        build_attribute_table_ = std::make_unique<QXCOFF_BUILD_ATTR_TABLE>(this);
        // A part that fails to parse only leaves the table with less in it.
        (void)build_attribute_table_->parse();
    }
    return build_attribute_table_.get();
}

bool QXCOFF_SECTION::may_change() const { return owner()->require_at_most_state(OF_STATE_LOCKED) == 0; }

void QXCOFF_SECTION::set_name(const char* name) {
    if (!may_change()) return;
    if (name && qxcoff_file()->format_version() != VERSION_2 && std::strlen(name) > SCNHDR::NAME_SIZE) {
        owner()->report_error(OF_ERR_VALUE_TRUNCATED,
                              "QX-COFF Version %s only supports section names of up to 8 characters",
                              qxcoff_file()->version_name());
        set_name_unchecked(std::string(name, SCNHDR::NAME_SIZE).c_str());
        return;
    }
    set_name_unchecked(name);
}

void QXCOFF_SECTION::set_load_address(uint32_t address) {
    if (may_change()) header_.s_vaddr = address;
}

void QXCOFF_SECTION::set_run_address(uint32_t address) {
    if (may_change()) header_.s_paddr = address;
}

void QXCOFF_SECTION::set_page(uint32_t page) {
    if (!may_change()) return;
    if (qxcoff_file()->format_version() != VERSION_2 && page > 0xFF) {
        owner()->report_error(OF_ERR_VALUE_TRUNCATED, "QX-COFF Version %s supports a maximum of %u pages",
                              qxcoff_file()->version_name(), 255u);
        page &= 0xFF;
    }
    header_.s_page = static_cast<uint16_t>(page);
}

bool QXCOFF_SECTION::has_raw_data() const {
    if (header_.s_flags & (STYP_BSS | STYP_NOLOAD | STYP_DSECT)) return false;
    // A header read from a file with neither flags nor data offset describes no stored bytes.
    if (from_input_ && header_.s_flags == 0 && header_.s_scnptr == 0) return false;
    return true;
}

uint32_t QXCOFF_SECTION::alignment() const {
    return 1u << ((header_.s_flags & STYP_ALIGN_MASK) >> STYP_ALIGN_SHIFT);
}

void QXCOFF_SECTION::set_alignment(uint32_t alignment) {
    if (!may_change()) return;
    if (alignment & (alignment - 1)) {
        owner()->report_error(OF_ERR_ILLEGAL_OPERATION, "only powers of 2 are valid alignment values");
        return;
    }
    uint32_t log = 0;
    while (log < 15 && (1u << log) < alignment) ++log;
    header_.s_flags = (header_.s_flags & ~STYP_ALIGN_MASK) | (log << STYP_ALIGN_SHIFT);
}

bool QXCOFF_SECTION::uses_blocking() const { return (header_.s_flags & STYP_BLOCK) != 0; }

void QXCOFF_SECTION::set_blocking(bool on) {
    set_flags(on ? header_.s_flags | STYP_BLOCK : header_.s_flags & ~STYP_BLOCK);
}

bool QXCOFF_SECTION::allocated() const {
    if (header_.s_flags & STYP_COPY) return false;
    return (header_.s_flags & STYP_DSECT) == 0;
}

void QXCOFF_SECTION::set_allocated(bool on) {
    set_flags(on ? header_.s_flags & ~(STYP_DSECT | STYP_NOLOAD | STYP_COPY) : header_.s_flags | STYP_COPY);
}

bool QXCOFF_SECTION::loaded() const { return allocated() && (header_.s_flags & STYP_NOLOAD) == 0; }

bool QXCOFF_SECTION::is_code() const { return (header_.s_flags & STYP_TEXT) != 0; }
bool QXCOFF_SECTION::is_data() const { return (header_.s_flags & STYP_DATA) != 0; }
bool QXCOFF_SECTION::is_bss() const { return (header_.s_flags & STYP_BSS) != 0; }

void QXCOFF_SECTION::make_code() { set_flags((header_.s_flags & ~STYP_KIND_MASK) | STYP_TEXT); }
void QXCOFF_SECTION::make_data() { set_flags((header_.s_flags & ~STYP_KIND_MASK) | STYP_DATA); }
void QXCOFF_SECTION::make_bss() { set_flags((header_.s_flags & ~STYP_KIND_MASK) | STYP_BSS); }

bool QXCOFF_SECTION::is_group() const {
    return qxcoff_file()->format_version() == VERSION_2 && (header_.s_flags & STYP_IS_GROUP) != 0;
}

uint32_t QXCOFF_SECTION::address_unit_bits() const {
    return static_cast<QXCOFF_SECTION_TABLE*>(table())->unit_bits(header_);
}

void QXCOFF_SECTION::set_memory_width(uint32_t bits) {
    if (!may_change()) return;
    if (qxcoff_file()->format_version() != VERSION_2) {
        owner()->report_error(OF_ERR_ILLEGAL_OPERATION,
                              "QX-COFF Version %s does not support the mwidth section header field",
                              qxcoff_file()->version_name());
        return;
    }
    header_.s_mwidth = static_cast<uint8_t>(bits);
}

uint32_t QXCOFF_SECTION::size() const {
    if (!has_raw_data()) return header_.s_size;
    const uint32_t unit = address_unit_bits();
    return unit == 0 ? header_.s_size : static_cast<uint32_t>(raw_data_.size() * 8 / unit);
}

void QXCOFF_SECTION::set_size(uint32_t units) {
    if (!may_change()) return;
    if (has_raw_data())
        raw_data_.set_size(uint64_t{units} * (address_unit_bits() / 8));
    else
        header_.s_size = units;
}

void QXCOFF_SECTION::set_flags(uint32_t flags) {
    if (!may_change()) return;
    uint32_t result = (flags & ~STYP_ALIGN_MASK) | (header_.s_flags & STYP_ALIGN_MASK);
    if (qxcoff_file()->format_version() != VERSION_2 && result > 0xFFFF) {
        owner()->report_error(OF_ERR_VALUE_TRUNCATED, "QX-COFF Version %s only supports up to %lu flags",
                              qxcoff_file()->version_name(), 16ul);
        result &= 0xFFFF;
    }
    header_.s_flags = result;
}

// ---- QXCOFF_SECTION_TABLE ----

QXCOFF_SECTION_TABLE::QXCOFF_SECTION_TABLE(QXCOFF_FILE* file) : OF_SECTION_TABLE(file, 0) {}

QXCOFF_SECTION_TABLE::~QXCOFF_SECTION_TABLE() = default;

QXCOFF_FILE* QXCOFF_SECTION_TABLE::qxcoff_file() const { return static_cast<QXCOFF_FILE*>(file()); }

uint32_t QXCOFF_SECTION_TABLE::header_size() {
    switch (qxcoff_file()->format_version()) {
    case VERSION_0:
    case VERSION_1: return SCNHDR::SIZE_V0;
    case VERSION_2: return SCNHDR::SIZE_V2;
    default: file()->report_error(OF_ERR_CORRUPTED, "Invalid QX-COFF version"); return 0;
    }
}

int QXCOFF_SECTION_TABLE::read_headers(uint32_t offset, uint32_t count) {
    reset_sections(0);
    const uint32_t size = header_size();
    if (size == 0) return -1;
    set_entry_size(size);
    offset_ = offset;
    // Only as many headers as the object's bytes hold: the claimed count never sizes the work.
    count = file()->entries_held("section header table", offset, count, size, size);
    reset_sections(count);
    qxcoff_file()->map_bytes(headers_, offset, uint64_t{count} * size);
    return 0;
}

void QXCOFF_SECTION_TABLE::decode_header(uint32_t index, QXCOFF_SECTION_HEADER& h) {
    h = QXCOFF_SECTION_HEADER{};
    if (index >= count()) return;
    const bool wide = entry_size() == SCNHDR::SIZE_V2;
    const uint64_t base = uint64_t{index} * entry_size();
    headers_.set_cursor(base + SCNHDR::s_name);
    headers_.read_bytes(h.s_name, SCNHDR::NAME_SIZE);
    if (wide && first_word_zero(h.s_name)) {
        headers_.set_cursor(base + SCNHDR::s_stroff);
        h.s_stroff = headers_.read_u32();
    }
    headers_.set_cursor(base + SCNHDR::s_paddr);
    h.s_paddr = headers_.read_u32();
    h.s_vaddr = headers_.read_u32();
    h.s_size = headers_.read_u32();
    h.s_scnptr = headers_.read_u32();
    h.s_relptr = headers_.read_u32();
    h.s_lnnoptr = headers_.read_u32();
    if (wide) {
        h.s_nreloc = headers_.read_u32();
        h.s_nlnno = headers_.read_u32();
        h.s_flags = headers_.read_u32();
        h.s_mwidth = headers_.read_u8();
        headers_.set_cursor(base + SCNHDR::s_page_v2);
        h.s_page = headers_.read_u16();
    } else {
        h.s_nreloc = headers_.read_u16();
        h.s_nlnno = headers_.read_u16();
        h.s_flags = headers_.read_u16();
        headers_.set_cursor(base + SCNHDR::s_page_v0);
        h.s_page = headers_.read_u8();
    }
    // A section without units has no data, wherever its data offset points.
    if (h.s_size == 0) h.s_scnptr = 0;
}

uint32_t QXCOFF_SECTION_TABLE::unit_bits(const QXCOFF_SECTION_HEADER& h) const {
    if (qxcoff_file()->format_version() == VERSION_2 && h.s_mwidth != 0) return h.s_mwidth;
    return file()->machine_db()->address_unit_bits();
}

std::unique_ptr<OF_SECTION> QXCOFF_SECTION_TABLE::make_section(uint32_t index) {
    return std::make_unique<QXCOFF_SECTION>(this, index);
}

void QXCOFF_SECTION_TABLE::materialise_section(uint32_t index) {
    if (!file()->info().handle || exists(index) || index >= count()) return;
    auto owned = std::make_unique<QXCOFF_SECTION>(this, index);
    QXCOFF_SECTION* s = owned.get();
    store(index, std::move(owned));
    QXCOFF_SECTION_HEADER& h = s->header_;
    decode_header(index, h);
    s->from_input_ = true;
    QXCOFF_FILE* f = qxcoff_file();
    if (s->has_raw_data()) f->map_bytes(s->raw_data_, h.s_scnptr, uint64_t{unit_bits(h)} * h.s_size / 8);
    // Section data follow the target's byte order, not the control byte order of the headers.
    const bool big = f->machine_db()->section_data_endian(s) == OF_ENDIAN_BIG;
    s->raw_data_.set_big_endian(big);
    s->data_swapped_ = big != (OBJECT_FILE::host_endian() == OF_ENDIAN_BIG);
    if (f->format_version() == VERSION_2 && first_word_zero(h.s_name))
        s->set_name_unchecked(f->string_table()->get_string(h.s_stroff));
    else
        s->set_name_unchecked(inline_name(h.s_name).c_str());
    f->map_bytes(s->relocs_, h.s_relptr, uint64_t{h.s_nreloc} * f->reloc_entry_size());
    f->map_bytes(s->lnnos_, h.s_lnnoptr, uint64_t{h.s_nlnno} * LINENO_SIZE);
}

OF_SECTION* QXCOFF_SECTION_TABLE::add_section(const char* name) {
    if (count() >= 65533) {
        file()->report_error(OF_ERR_ILLEGAL_OPERATION, "Attempt to create too many QX COFF sections");
        return nullptr;
    }
    return OF_SECTION_TABLE::add_section(name);
}

void QXCOFF_SECTION_TABLE::renumber_references(const std::vector<uint32_t>& map) {
    if (OF_SYMBOL_TABLE* symbols = file()->symbol_table()) renumber_symbol_sections(*symbols, map);
}

}  // namespace OFE
