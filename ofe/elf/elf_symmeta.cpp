// Symbol metadata: reading and writing the ".symtab_meta" section, and the metadata accessors and merge
// of ELF symbols.
#include "ofe/elf/elf_symmeta.h"

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_section.h"
#include "ofe/elf/elf_symbol.h"
#include "util/data_map.h"

namespace OFE {

namespace {

const char* const meta_section_name = ".symtab_meta";

bool is_text_kind(uint32_t kind) { return kind == ELF::QX_META_TEXT || kind == ELF::QX_META_STRING; }

}  // namespace

void read_symbol_metadata(ELF_FILE* file, uint32_t table_index, ELF_SYMBOL_METADATA_MAP& records) {
    if (!file->info().handle) return;
    auto* s = static_cast<ELF_SECTION*>(file->section_table()->find_by_name(meta_section_name));
    if (!s || !s->has_raw_data() || s->data().size() == 0) return;
    if (s->header().sh_link != 0 && s->header().sh_link != table_index) return;
    DATA_MAP& data = s->data();
    data.set_cursor(0);
    if (data.read_u8() != ELF::QX_SYMTAB_META_VERSION) {
        file->report_error(OF_ERR_WARNING, "Invalid format specified for symbol metadata section (.symtab_meta)");
        return;
    }
    // Every entry moves the cursor on, and past the bytes the file holds an entry reads as kind 0, which
    // ends the reading: the loop is bounded by the bytes present, whatever sh_size claims.
    while (data.cursor() < data.size()) {
        const uint32_t kind = data.read_uleb128();
        std::string text;
        uint32_t number = 0;
        if (is_text_kind(kind))
            text = data.read_string();
        else
            number = data.read_uleb128();
        const uint32_t index = data.read_uleb128();
        std::unique_ptr<ELF_SYMBOL_METADATA>& record = records[index];
        if (!record) record = std::make_unique<ELF_SYMBOL_METADATA>();
        ELF_SYMBOL_METADATA& m = *record;
        switch (kind) {
        case ELF::QX_META_MARK_A: m.mark_a = true; break;
        case ELF::QX_META_LOCATION:
            m.has_location = true;
            m.location = number;
            break;
        case ELF::QX_META_MARK_D: m.mark_d = true; break;
        case ELF::QX_META_TEXT:
            m.has_text = true;
            m.text = std::move(text);
            break;
        case ELF::QX_META_STRING: m.strings.insert(std::move(text)); break;
        case ELF::QX_META_MARK_B: m.mark_b = true; break;
        case ELF::QX_META_MARK_C: m.mark_c = true; break;
        default:
            file->report_error(OF_ERR_WARNING,
                               "Invalid meta-info kind encountered in symbol metadata section (.symtab_meta)");
            return;
        }
    }
}

void write_symbol_metadata(const ELF_SYMBOL_METADATA_MAP& records, DATA_MAP& data) {
    data.write_u8(ELF::QX_SYMTAB_META_VERSION);
    for (const auto& entry : records) {
        const uint32_t index = entry.first;
        const ELF_SYMBOL_METADATA& m = *entry.second;
        auto number = [&](uint32_t kind, uint32_t value) {
            data.write_uleb128(kind);
            data.write_uleb128(value);
            data.write_uleb128(index);
        };
        auto text = [&](uint32_t kind, const std::string& value) {
            data.write_uleb128(kind);
            data.write_string(value.c_str());
            data.write_uleb128(index);
        };
        if (m.mark_a) number(ELF::QX_META_MARK_A, 1);
        if (m.has_location) number(ELF::QX_META_LOCATION, m.location);
        if (m.mark_d) number(ELF::QX_META_MARK_D, 1);
        if (m.has_text) text(ELF::QX_META_TEXT, m.text);
        for (const std::string& s : m.strings) text(ELF::QX_META_STRING, s);
        if (m.mark_b) number(ELF::QX_META_MARK_B, 1);
        if (m.mark_c) number(ELF::QX_META_MARK_C, 1);
    }
}

// ---- The metadata accessors of ELF_SYMBOL ----

ELF_SYMBOL_METADATA* ELF_SYMBOL::metadata_for_change() {
    if (!may_change()) return nullptr;
    if (!metadata_) metadata_ = elf_table()->metadata_record(index());
    elf_table()->mark_metadata_changed();
    return metadata_;
}

void ELF_SYMBOL::set_metadata_mark_a(bool on) {
    if (ELF_SYMBOL_METADATA* m = metadata_for_change()) m->mark_a = on;
}

void ELF_SYMBOL::set_metadata_mark_b(bool on) {
    if (ELF_SYMBOL_METADATA* m = metadata_for_change()) m->mark_b = on;
}

void ELF_SYMBOL::set_metadata_mark_c(bool on) {
    if (ELF_SYMBOL_METADATA* m = metadata_for_change()) m->mark_c = on;
}

void ELF_SYMBOL::set_metadata_mark_d(bool on) {
    if (ELF_SYMBOL_METADATA* m = metadata_for_change()) m->mark_d = on;
}

void ELF_SYMBOL::set_metadata_location(uint32_t address) {
    if (ELF_SYMBOL_METADATA* m = metadata_for_change()) {
        m->has_location = true;
        m->location = address;
    }
}

void ELF_SYMBOL::set_metadata_text(const char* text) {
    if (ELF_SYMBOL_METADATA* m = metadata_for_change()) {
        m->has_text = true;
        m->text = text ? text : "";
    }
}

std::set<std::string> ELF_SYMBOL::metadata_strings() const {
    return metadata_ ? metadata_->strings : std::set<std::string>{};
}

void ELF_SYMBOL::add_metadata_string(const char* text) {
    if (ELF_SYMBOL_METADATA* m = metadata_for_change()) m->strings.insert(text ? text : "");
}

bool ELF_SYMBOL::merge_metadata(const OF_SYMBOL* other) {
    if (!other || !other->has_metadata() || other == this) return true;
    ELF_SYMBOL_METADATA* m = metadata_for_change();
    if (!m) return true;
    m->mark_a |= other->metadata_mark_a();
    m->mark_b |= other->metadata_mark_b();
    m->mark_c |= other->metadata_mark_c();
    m->mark_d |= other->metadata_mark_d();
    bool agreed = true;
    if (other->has_metadata_location()) {
        if (m->has_location && m->location != other->metadata_location()) {
            table()->file()->report_error(OF_ERR_WARNING,
                                          "Multiple location attributes applied to the same symbol must agree on "
                                          "the address argument specified for the location");
            agreed = false;
        } else {
            m->has_location = true;
            m->location = other->metadata_location();
        }
    }
    if (other->has_metadata_text()) {
        m->has_text = true;
        m->text = other->metadata_text();
    }
    for (const std::string& s : other->metadata_strings()) m->strings.insert(s);
    return agreed;
}

}  // namespace OFE
