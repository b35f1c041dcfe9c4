// Writing QXCOFF files: the file's and the sections' steps into "locked", the layout of "formatted" and the
// writing of "saved".
#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>

#include "ofe/coff/qxcoff_build_attr.h"
#include "ofe/coff/qxcoff_defs.h"
#include "ofe/coff/qxcoff_file.h"
#include "ofe/coff/qxcoff_reloc.h"
#include "ofe/coff/qxcoff_string_table.h"
#include "ofe/coff/qxcoff_symbol.h"
#include "util/data_map.h"

namespace OFE {

using namespace QXCOFF;

namespace {

// What versions "0" and "1" keep of a count: its low 16 bits, reported from 65536 on.
uint32_t narrow_count(QXCOFF_FILE* file, uint32_t count, const char* what) {
    if (file->format_version() == VERSION_2 || count <= 0xFFFF) return count;
    file->report_error(OF_ERR_VALUE_TRUNCATED, "QX-COFF Version %s only supports up to %hu %s entries",
                       file->version_name(), static_cast<unsigned short>(0xFFFF), what);
    return count & 0xFFFF;
}

}  // namespace

// ---- Sections ----

int32_t QXCOFF_SECTION::on_progress(int32_t new_state) {
    if (new_state != OF_STATE_LOCKED || effective_state() >= new_state) return 0;
    QXCOFF_FILE* file = qxcoff_file();
    const uint32_t unit = address_unit_bits();
    const uint32_t unit_bytes = unit >= 8 ? unit / 8 : 1;
    if (has_raw_data()) {
        // The data fill whole address units; a short last unit is padded with zeros.
        const uint64_t bytes = raw_data_.size();
        raw_data_.set_size((bytes + unit_bytes - 1) / unit_bytes * unit_bytes);
        header_.s_size = static_cast<uint32_t>(raw_data_.size() / unit_bytes);
    }
    // Names of up to 8 characters stand in the header; longer ones (version "2") in the string table.
    const char* text = name() ? name() : "";
    const size_t length = std::strlen(text);
    std::memset(header_.s_name, 0, sizeof header_.s_name);
    header_.s_stroff = 0;
    if (length <= SCNHDR::NAME_SIZE || file->format_version() != VERSION_2)
        std::memcpy(header_.s_name, text, std::min<size_t>(length, SCNHDR::NAME_SIZE));
    else
        header_.s_stroff = file->string_table()->add_string(text);
    QXCOFF_LNNO_TABLE* lines = lnno_table();
    lines->remove_marked();
    header_.s_nreloc = narrow_count(file, reloc_table()->count(), "relocation");
    header_.s_nlnno = narrow_count(file, lines->count(), "line number");
    reloc_table()->encode();
    lines->encode();
    if (is_group() && raw_data_.size() >= 8) {
        raw_data_.set_cursor(4);
        const uint32_t signature = raw_data_.read_u32();
        OF_SYMBOL_TABLE* symbols = file->symbol_table();
        if (!symbols || signature >= symbols->count() || !symbols->symbol_at(signature))
            file->report_error(OF_ERR_CORRUPTED, "a symbol has not been specified for the group section %s", text);
    }
    return 0;
}

void QXCOFF_SECTION::encode_header(DATA_MAP& data, uint64_t at) const {
    const bool wide = qxcoff_file()->format_version() == VERSION_2;
    data.set_cursor(at + SCNHDR::s_name);
    data.write_bytes(header_.s_name, SCNHDR::NAME_SIZE);
    if (wide && header_.s_name[0] == 0 && header_.s_name[1] == 0 && header_.s_name[2] == 0 && header_.s_name[3] == 0) {
        data.set_cursor(at + SCNHDR::s_stroff);
        data.write_u32(header_.s_stroff);
    }
    data.set_cursor(at + SCNHDR::s_paddr);
    data.write_u32(header_.s_paddr);
    data.write_u32(header_.s_vaddr);
    data.write_u32(header_.s_size);
    data.write_u32(header_.s_scnptr);
    data.write_u32(header_.s_relptr);
    data.write_u32(header_.s_lnnoptr);
    if (wide) {
        data.write_u32(header_.s_nreloc);
        data.write_u32(header_.s_nlnno);
        data.write_u32(header_.s_flags);
        data.write_u8(header_.s_mwidth);
        data.write_u8(0);
        data.write_u16(header_.s_page);
    } else {
        data.write_u16(static_cast<uint16_t>(header_.s_nreloc));
        data.write_u16(static_cast<uint16_t>(header_.s_nlnno));
        data.write_u16(static_cast<uint16_t>(header_.s_flags));
        data.write_u8(0);
        data.write_u8(static_cast<uint8_t>(header_.s_page));
    }
}

// ---- The section table ----

void QXCOFF_SECTION_TABLE::prepare_for_writing() {
    for (uint32_t i = 0; i < count(); ++i) {
        QXCOFF_SECTION* s = qxcoff_section_at(i);
        if (!s) continue;
        (void)s->build_attribute_table();
        s->reloc_table()->read_all();
        s->lnno_table()->read_all();
        s->data().detach();
        s->reloc_data().detach();
        s->lnno_data().detach();
    }
    headers_.detach();
}

int32_t QXCOFF_SECTION_TABLE::on_progress(int32_t new_state) {
    for (uint32_t i = 0; i < count(); ++i)
        if (OF_SECTION* s = section_at(i); s && s->progress_to_state(new_state) != 0) return -1;
    return 0;
}

int32_t QXCOFF_SECTION_TABLE::on_revert(int32_t target_state) {
    for (uint32_t i = 0; i < count(); ++i)
        if (OF_SECTION* s = section_at(i); s && s->revert_to_state(target_state) != 0) return -1;
    return 0;
}

// ---- The file ----

int32_t QXCOFF_FILE::on_revert(int32_t target_state) {
    if (qxcoff_symbol_table()->revert_to_state(target_state) != 0) return -1;
    if (string_table()->revert_to_state(target_state) != 0) return -1;
    if (OF_BUILD_ATTR_TABLE* attributes = build_attribute_table())
        if (attributes->revert_to_state(target_state) != 0) return -1;
    return section_table()->revert_to_state(target_state);
}

int32_t QXCOFF_FILE::lock_for_writing() {
    if (file_header_size() == 0 || section_table()->header_size() == 0) return -1;
    // Everything the file holds comes into memory; the input is not read again.
    QXCOFF_SECTION_TABLE* sections = section_table();
    // Deleted sections go first, and what refers to sections follows the others to their new numbers.
    if (sections->deleted() && sections->renumber() != 0) return -1;
    sections->prepare_for_writing();
    QXCOFF_SYMBOL_TABLE* symbols = qxcoff_symbol_table();
    for (uint32_t i = 0; i < symbols->count(); i = symbols->next_index(i))
        if (auto* s = static_cast<QXCOFF_SYMBOL*>(symbols->symbol_at(i))) s->capture_aux_bytes(symbol_data_);
    symbol_data_.detach();
    QXCOFF_STRING_TABLE* strings = string_table();
    string_data_.detach();
    header_.f_opthdr = has_optional_header() ? AOUTHDR::SIZE : 0;

    // The tables first: the symbols (their order decides the indexes the sections' tables refer to), then the
    // build attributes (their section's data), then the sections.
    if (symbols->progress_to_state(OF_STATE_LOCKED) != 0) return -1;
    if (OF_BUILD_ATTR_TABLE* attributes = build_attribute_table())
        if (attributes->progress_to_state(OF_STATE_LOCKED) != 0) return -1;
    if (sections->progress_to_state(OF_STATE_LOCKED) != 0) return -1;
    // The length word counts the whole table.
    if (string_data_.size() >= STRTAB_LENGTH_SIZE) {
        string_data_.set_cursor(0);
        string_data_.write_u32(static_cast<uint32_t>(string_data_.size()));
    }
    if (strings->progress_to_state(OF_STATE_LOCKED) != 0) return -1;

    if (header_.f_timdat == 0) header_.f_timdat = static_cast<uint32_t>(std::time(nullptr));
    header_.f_nscns = static_cast<uint16_t>(sections->count());
    header_.f_nsyms = symbols->count();
    if (has_optional_header()) {
        optional_.o_magic = OPTIONAL_MAGIC;
        const auto size_of = [&](const char* name) {
            const OF_SECTION* s = sections->find_by_name(name);
            return s ? s->size() : 0u;
        };
        const auto start_of = [&](const char* name) {
            const OF_SECTION* s = sections->find_by_name(name);
            return s ? s->run_address() : 0u;
        };
        optional_.o_tsize = size_of(".text");
        optional_.o_dsize = size_of(".data");
        optional_.o_bsize = size_of(".bss");
        optional_.o_text_start = start_of(".text");
        optional_.o_data_start = start_of(".data");
    }
    if (const OF_SECTION* icode = sections->find_by_name(".icode")) {
        header_.f_flags = static_cast<uint16_t>(header_.f_flags | F_ICODE);
        for (uint32_t i = 0; i < sections->count(); ++i) {
            QXCOFF_SECTION* s = sections->qxcoff_section_at(i);
            if (s && s != icode) s->set_flags(s->flags() | STYP_ICODE);
        }
    }
    return 0;
}

int32_t QXCOFF_FILE::lay_out() {
    QXCOFF_SECTION_TABLE* sections = section_table();
    QXCOFF_SYMBOL_TABLE* symbols = qxcoff_symbol_table();
    uint64_t at = uint64_t{file_header_size()} + header_.f_opthdr;
    sections->set_table_offset(static_cast<uint32_t>(at));
    at += uint64_t{sections->count()} * sections->header_size();
    // Raw data, then relocations, then line numbers, section after section, without gaps.
    for (uint32_t i = 0; i < sections->count(); ++i) {
        QXCOFF_SECTION* s = sections->qxcoff_section_at(i);
        const uint64_t bytes = s->has_raw_data() ? s->data().size() : 0;
        s->header().s_scnptr = bytes ? static_cast<uint32_t>(at) : 0;
        at += bytes;
    }
    for (uint32_t i = 0; i < sections->count(); ++i) {
        QXCOFF_SECTION* s = sections->qxcoff_section_at(i);
        const uint64_t bytes = s->reloc_data().size();
        s->header().s_relptr = bytes ? static_cast<uint32_t>(at) : 0;
        at += bytes;
    }
    for (uint32_t i = 0; i < sections->count(); ++i) {
        QXCOFF_SECTION* s = sections->qxcoff_section_at(i);
        const uint64_t bytes = s->lnno_data().size();
        s->header().s_lnnoptr = bytes ? static_cast<uint32_t>(at) : 0;
        // A function's auxiliary entry points at the entry that starts its lines.
        QXCOFF_LNNO_TABLE* lines = s->lnno_table();
        for (uint32_t k = 0; k < lines->count(); ++k) {
            const QXCOFF_LNNO* e = lines->entry(k);
            if (!e || e->l_lnno != 0) continue;
            auto* function = static_cast<QXCOFF_SYMBOL*>(symbols->symbol_at(e->l_addr));
            QXCOFF_AUX* aux = function ? function->aux_for_change() : nullptr;
            if (aux && aux->kind == QXCOFF_AUX_FUNCTION)
                aux->lnno_offset = QXCOFF_LNNO_TABLE::entry_offset(static_cast<uint32_t>(at), k);
        }
        at += bytes;
    }
    symbols->write_images();
    symbols->set_offset(static_cast<uint32_t>(at));
    const uint64_t string_length = string_data_.size() > STRTAB_LENGTH_SIZE ? string_data_.size() : 0;
    // Without symbols and strings the table offset is 0, and a reader looks for strings after the last block
    // stored; when no section stores one, that place lies in the section headers, so the offset (of an empty
    // table at the end) is kept.
    const bool blocks = at > uint64_t{sections->table_offset()} + uint64_t{sections->count()} * sections->header_size();
    const bool keep_offset = symbols->count() > 0 || string_length > 0 || (sections->count() > 0 && !blocks);
    header_.f_symptr = keep_offset ? static_cast<uint32_t>(at) : 0;
    symbols_valid_ = true;
    at += uint64_t{symbols->count()} * SYMENT::SIZE;
    string_offset_ = string_length ? static_cast<uint32_t>(at) : 0;
    string_length_ = static_cast<uint32_t>(string_length);
    at += string_length;
    if (at > 0xFFFFFFFFu) {
        report_error(OF_ERR_ILLEGAL_OPERATION, "%s: the object would be larger than 4 GiB", display_name());
        return -1;
    }
    mutable_info().size = static_cast<uint32_t>(at);
    if (sections->progress_to_state(OF_STATE_FORMATTED) != 0) return -1;
    if (symbols->progress_to_state(OF_STATE_FORMATTED) != 0) return -1;
    return string_table()->progress_to_state(OF_STATE_FORMATTED);
}

int32_t QXCOFF_FILE::write_out() {
    const uint32_t header_size = file_header_size();
    DATA_MAP head;
    head.set_big_endian(control_endian_ == OF_ENDIAN_BIG);
    head.write_u16(header_.f_magic);
    head.write_u16(header_.f_nscns);
    head.write_u32(header_.f_timdat);
    head.write_u32(header_.f_symptr);
    head.write_u32(header_.f_nsyms);
    head.write_u16(header_.f_opthdr);
    head.write_u16(header_.f_flags);
    if (header_size > FILHDR::f_target_id) head.write_u16(header_.f_target_id);
    if (has_optional_header()) {
        head.set_cursor(header_size + AOUTHDR::o_magic);
        head.write_u16(optional_.o_magic);
        head.write_u16(optional_.o_vstamp);
        head.write_u32(optional_.o_tsize);
        head.write_u32(optional_.o_dsize);
        head.write_u32(optional_.o_bsize);
        head.write_u32(optional_.o_entry);
        head.write_u32(optional_.o_text_start);
        head.write_u32(optional_.o_data_start);
    }
    QXCOFF_SECTION_TABLE* sections = section_table();
    const uint32_t header_bytes = sections->header_size();
    for (uint32_t i = 0; i < sections->count(); ++i)
        sections->qxcoff_section_at(i)->encode_header(head, sections->table_offset() + uint64_t{i} * header_bytes);
    if (put_file_data(head, 0) != 0) return -1;
    for (uint32_t i = 0; i < sections->count(); ++i) {
        QXCOFF_SECTION* s = sections->qxcoff_section_at(i);
        const QXCOFF_SECTION_HEADER& h = s->header();
        if (h.s_scnptr && put_file_data(s->data(), h.s_scnptr) != 0) return -1;
        if (h.s_relptr && put_file_data(s->reloc_data(), h.s_relptr) != 0) return -1;
        if (h.s_lnnoptr && put_file_data(s->lnno_data(), h.s_lnnoptr) != 0) return -1;
    }
    if (header_.f_symptr && symbol_data_.size() && put_file_data(symbol_data_, header_.f_symptr) != 0) return -1;
    if (string_length_ && put_file_data(string_data_, string_offset_) != 0) return -1;
    if (sections->progress_to_state(OF_STATE_SAVED) != 0) return -1;
    if (qxcoff_symbol_table()->progress_to_state(OF_STATE_SAVED) != 0) return -1;
    return string_table()->progress_to_state(OF_STATE_SAVED);
}

}  // namespace OFE
