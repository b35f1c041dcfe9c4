// ELF symbol versioning: reading the record chains, rewriting them, dumping them, and naming the
// versions of dynamic symbols.
#include "ofe/elf/elf_version.h"

#include <algorithm>

#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_dynamic.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_section.h"
#include "ofe/elf/elf_symbol.h"
#include "ofe/elf/elf_symbol_hash.h"
#include "ofe/machine/of_machine_db.h"
#include "ofe/of_text_table.h"
#include "util/data_map.h"

namespace OFE {

namespace {

void add_flag_pairs(OF_TEXT_TABLE& table, uint16_t flags) {
    table.add_pair("Flags:", text_of("0x%04hx", flags));
    for (unsigned bit = 0; bit < 16; ++bit)
        if (flags & (1u << bit)) table.add_pair("Flag:", elf_version_flag_name(static_cast<uint16_t>(1u << bit)));
}

const char* name_of(const ELF_FILE* file) { return file->name() ? file->name() : ""; }

// The first section of `type` in a file that carries version information.
ELF_SECTION* first_section_of_type(ELF_FILE* file, uint32_t type) {
    if (!file->carries_version_info()) return nullptr;
    ELF_SECTION_TABLE* sections = file->section_table();
    for (uint32_t i = 1; i < sections->count(); ++i)
        if (ELF_SECTION* s = sections->elf_section_at(i); s && s->header().sh_type == type) return s;
    return nullptr;
}

// Where a kind of version record keeps its links: its first auxiliary entry and the next record, both
// counted from the record; an auxiliary entry's next one, counted from the entry. A link of 0 ends a chain.
struct VERSION_CHAIN {
    uint32_t count_field;     // 16-bit: the auxiliary entries a record has; with 0 none is visited
    uint32_t aux_field;       // 32-bit
    uint32_t next_field;      // 32-bit
    uint32_t aux_next_field;  // 32-bit
};
constexpr VERSION_CHAIN definitions{ELF::VERDEF::vd_cnt, ELF::VERDEF::vd_aux, ELF::VERDEF::vd_next,
                                    ELF::VERDAUX::vda_next};
constexpr VERSION_CHAIN requirements{ELF::VERNEED::vn_cnt, ELF::VERNEED::vn_aux, ELF::VERNEED::vn_next,
                                     ELF::VERNAUX::vna_next};

// What a walk does after a record or an auxiliary entry.
enum class WALK { ON, NEXT_RECORD, STOP };

// Walks the records of `data` from offset 0 and each record's auxiliary entries, while they start before
// `size`: on_record(offset) returns false to end the walk; on_aux(offset) says whether to go on along the
// record's entries, to go on with the next record, or to stop. The offsets only grow (64-bit sums of
// 32-bit links, a 0 ending each chain), so every walk ends inside the data.
template <class ON_RECORD, class ON_AUX>
void walk_version_chain(DATA_MAP& data, uint64_t size, const VERSION_CHAIN& chain, ON_RECORD on_record,
                        ON_AUX on_aux) {
    auto u16 = [&](uint64_t at) {
        data.set_cursor(at);
        return data.read_u16();
    };
    auto u32 = [&](uint64_t at) {
        data.set_cursor(at);
        return data.read_u32();
    };
    for (uint64_t at = 0; at < size;) {
        if (!on_record(at)) return;
        if (u16(at + chain.count_field) != 0) {
            for (uint64_t aux = at + u32(at + chain.aux_field); aux < size;) {
                const WALK then = on_aux(aux);
                if (then == WALK::STOP) return;
                if (then == WALK::NEXT_RECORD) break;
                const uint32_t next = u32(aux + chain.aux_next_field);
                if (next == 0) break;
                aux += next;
            }
        }
        const uint32_t next = u32(at + chain.next_field);
        if (next == 0) return;
        at += next;
    }
}

// The index a symbol's version word refers to, or 0 when it can name no record.
uint16_t record_index(ELF_SYMBOL& symbol) {
    if (!symbol.has_version_index() || symbol.version_index() >= ELF::VER_NDX_LORESERVE) return 0;
    const uint16_t index = symbol.version_index() & static_cast<uint16_t>(~ELF::VERSYM_HIDDEN);
    return index < 2 ? 0 : index;
}

}  // namespace

std::string elf_version_revision_name(uint16_t version) {
    if (version == ELF::VER_DEF_NONE) return "VER_DEF_NONE";
    if (version == ELF::VER_DEF_CURRENT) return "VER_DEF_CURRENT";
    return text_of("VER_DEF_0x%04hx", version);
}

std::string elf_version_flag_name(uint16_t bit) {
    if (bit == ELF::VER_FLG_BASE) return "VER_FLG_BASE";
    if (bit == ELF::VER_FLG_WEAK) return "VER_FLG_WEAK";
    return text_of("VER_FLG_0x%04hx", bit);
}

void ELF_VERDEF::add_name(const char* name) {
    if (names.empty()) hash = elf_hash(name);
    names.emplace_back(name);
}

ELF_VNDEP& ELF_VERNEED::add_dependency(const char* name, uint16_t other, uint16_t flags) {
    dependencies.push_back({elf_hash(name), flags, other, name});
    return dependencies.back();
}

// ---- ELF_VERSION_TABLE ----

ELF_VERSION_TABLE::ELF_VERSION_TABLE(ELF_SECTION* section) : OF_STATE_MACHINE(section->owner()), section_(section) {}

ELF_VERSION_TABLE::~ELF_VERSION_TABLE() = default;

ELF_FILE* ELF_VERSION_TABLE::elf_file() const { return static_cast<ELF_FILE*>(owner()); }

void ELF_VERSION_TABLE::ensure_read() {
    if (read_) return;
    read_ = true;
    if (!owner()->info().handle) return;
    // Honest records, their auxiliary entries and the names they copy never add up to more than the
    // object holds; chains that overlap or revisit strings to grow the work stop there.
    budget_ = 2 * uint64_t{owner()->bytes_present()} + 4096;
    read_records(section_->data());
}

bool ELF_VERSION_TABLE::spend(uint64_t cost) {
    if (cost > budget_) {
        budget_ = 0;
        return false;
    }
    budget_ -= cost;
    return true;
}

ELF_STRING_TABLE* ELF_VERSION_TABLE::string_table() {
    if (strings_looked_up_) return strings_;
    strings_looked_up_ = true;
    strings_ = elf_file()->dynamic_string_table();
    return strings_;
}

std::string ELF_VERSION_TABLE::name_at(uint32_t offset) {
    const char* text = string_table() ? strings_->get_string(offset) : nullptr;
    return text ? text : "(null)";
}

uint32_t ELF_VERSION_TABLE::string_offset(const std::string& text) {
    return string_table() ? strings_->add_string(text.c_str()) : 0;
}

int32_t ELF_VERSION_TABLE::on_progress(int32_t new_state) {
    if (new_state != OF_STATE_LOCKED || effective_state() >= new_state) return 0;
    ensure_read();
    DATA_MAP& data = section_->data();
    data.reset();
    write_records(data);
    section_->header().sh_size = static_cast<uint32_t>(data.size());
    return 0;
}

// ---- ELF_VERDEF_TABLE ----

void ELF_VERDEF_TABLE::read_records(DATA_MAP& data) {
    const auto on_record = [&](uint64_t at) {
        if (!spend(ELF::VERDEF::SIZE)) return false;
        auto record = std::make_unique<ELF_VERDEF>();
        ELF_VERDEF& d = *record;
        data.set_cursor(at);
        d.version = data.read_u16();
        d.flags = data.read_u16();
        d.index = data.read_u16();
        d.count = data.read_u16();
        d.hash = data.read_u32();
        d.aux = data.read_u32();
        d.next = data.read_u32();
        d.number = static_cast<uint32_t>(records_.size());
        highest_index_ = std::max<uint32_t>(highest_index_, d.index + 1u);
        records_.push_back(std::move(record));
        return true;
    };
    const auto on_name = [&](uint64_t at) {
        data.set_cursor(at + ELF::VERDAUX::vda_name);
        const std::string text = name_at(data.read_u32());
        if (!spend(ELF::VERDAUX::SIZE + text.size())) return WALK::STOP;
        records_.back()->add_name(text.c_str());
        return WALK::ON;
    };
    walk_version_chain(data, data.size(), definitions, on_record, on_name);
}

void ELF_VERDEF_TABLE::write_records(DATA_MAP& data) {
    for (size_t r = 0; r < records_.size(); ++r) {
        ELF_VERDEF& d = *records_[r];
        const auto names = static_cast<uint32_t>(d.names.size());
        d.count = static_cast<uint16_t>(names);
        d.aux = names ? ELF::VERDEF::SIZE : 0;
        d.next = r + 1 < records_.size() ? ELF::VERDEF::SIZE + ELF::VERDAUX::SIZE * names : 0;
        data.write_u16(d.version);
        data.write_u16(d.flags);
        data.write_u16(d.index);
        data.write_u16(d.count);
        data.write_u32(d.hash);
        data.write_u32(d.aux);
        data.write_u32(d.next);
        for (uint32_t n = 0; n < names; ++n) {
            data.write_u32(string_offset(d.names[n]));
            data.write_u32(n + 1 < names ? ELF::VERDAUX::SIZE : 0);
        }
    }
}

uint32_t ELF_VERDEF_TABLE::count() {
    ensure_read();
    return static_cast<uint32_t>(records_.size());
}

ELF_VERDEF* ELF_VERDEF_TABLE::record(uint32_t i) { return i < count() ? records_[i].get() : nullptr; }

ELF_VERDEF* ELF_VERDEF_TABLE::find_index(uint16_t index) {
    for (uint32_t i = 0; i < count(); ++i)
        if (records_[i]->index == index) return records_[i].get();
    return nullptr;
}

ELF_VERDEF* ELF_VERDEF_TABLE::add_record() {
    ensure_read();
    if (owner()->require_at_most_state(OF_STATE_OPEN) != 0) return nullptr;
    records_.push_back(std::make_unique<ELF_VERDEF>());
    records_.back()->number = static_cast<uint32_t>(records_.size() - 1);
    return records_.back().get();
}

uint32_t ELF_VERDEF_TABLE::highest_version_index() {
    ensure_read();
    return highest_index_;
}

void ELF_VERDEF_TABLE::dump(FILE* out) {
    if (count() == 0) return;
    std::fprintf(out, "\n Version Definition Records in \"%s\"\n\n", name_of(elf_file()));
    for (const auto& record : records_) {
        const ELF_VERDEF& d = *record;
        std::fprintf(out, "    <%d>\n", static_cast<int>(d.number));
        OF_TEXT_TABLE fields(8);
        fields.add_pair("Version:", elf_version_revision_name(d.version));
        fields.add_pair("Index:", text_of("%hd", static_cast<short>(d.index)));
        fields.add_pair("Hash Value:", text_of("%u", d.hash));
        fields.add_pair("# Aux Entries:", text_of("%u", static_cast<unsigned>(d.names.size())));
        add_flag_pairs(fields, d.flags);
        fields.print(out);
        std::fputc('\n', out);
        OF_TEXT_TABLE names(8);
        for (size_t n = 0; n < d.names.size(); ++n)
            names.add_row({text_of("Version Name %u:", static_cast<unsigned>(n + 1)), d.names[n],
                           n == 0 ? "(default)" : ""});
        names.print(out);
    }
}

// ---- ELF_VERNEED_TABLE ----

void ELF_VERNEED_TABLE::read_records(DATA_MAP& data) {
    const auto on_record = [&](uint64_t at) {
        auto record = std::make_unique<ELF_VERNEED>();
        ELF_VERNEED& n = *record;
        data.set_cursor(at);
        n.version = data.read_u16();
        n.count = data.read_u16();
        const uint32_t file = data.read_u32();
        n.aux = data.read_u32();
        n.next = data.read_u32();
        n.file = name_at(file);
        if (!spend(ELF::VERNEED::SIZE + n.file.size())) return false;
        n.number = static_cast<uint32_t>(records_.size());
        records_.push_back(std::move(record));
        return true;
    };
    const auto on_dependency = [&](uint64_t at) {
        data.set_cursor(at);
        ELF_VNDEP dep;
        dep.hash = data.read_u32();
        dep.flags = data.read_u16();
        dep.other = data.read_u16();
        dep.name = name_at(data.read_u32());
        if (!spend(ELF::VERNAUX::SIZE + dep.name.size())) return WALK::STOP;
        records_.back()->dependencies.push_back(std::move(dep));
        return WALK::ON;
    };
    walk_version_chain(data, data.size(), requirements, on_record, on_dependency);
}

void ELF_VERNEED_TABLE::write_records(DATA_MAP& data) {
    for (size_t r = 0; r < records_.size(); ++r) {
        ELF_VERNEED& n = *records_[r];
        const auto deps = static_cast<uint32_t>(n.dependencies.size());
        n.count = static_cast<uint16_t>(deps);
        n.aux = deps ? ELF::VERNEED::SIZE : 0;
        n.next = r + 1 < records_.size() ? ELF::VERNEED::SIZE + ELF::VERNAUX::SIZE * deps : 0;
        data.write_u16(n.version);
        data.write_u16(n.count);
        data.write_u32(string_offset(n.file));
        data.write_u32(n.aux);
        data.write_u32(n.next);
        for (uint32_t i = 0; i < deps; ++i) {
            const ELF_VNDEP& dep = n.dependencies[i];
            data.write_u32(dep.hash);
            data.write_u16(dep.flags);
            data.write_u16(dep.other);
            data.write_u32(string_offset(dep.name));
            data.write_u32(i + 1 < deps ? ELF::VERNAUX::SIZE : 0);
        }
    }
}

uint32_t ELF_VERNEED_TABLE::count() {
    ensure_read();
    return static_cast<uint32_t>(records_.size());
}

ELF_VERNEED* ELF_VERNEED_TABLE::record(uint32_t i) { return i < count() ? records_[i].get() : nullptr; }

ELF_VERNEED* ELF_VERNEED_TABLE::add_record(const char* file_name) {
    ensure_read();
    if (owner()->require_at_most_state(OF_STATE_OPEN) != 0) return nullptr;
    records_.push_back(std::make_unique<ELF_VERNEED>());
    records_.back()->file = file_name ? file_name : "";
    records_.back()->number = static_cast<uint32_t>(records_.size() - 1);
    return records_.back().get();
}

const ELF_VNDEP* ELF_VERNEED_TABLE::find_dependency(uint16_t index) {
    if (index < 2 || index > ELF::VER_NDX_HIGHEST) return nullptr;
    const uint16_t wanted = index & static_cast<uint16_t>(~ELF::VERSYM_HIDDEN);
    for (uint32_t i = 0; i < count(); ++i)
        for (const ELF_VNDEP& dep : records_[i]->dependencies)
            if (dep.other == wanted) return &dep;
    return nullptr;
}

void ELF_VERNEED_TABLE::dump(FILE* out) {
    std::fprintf(out, "\n Version Needed Records in \"%s\"\n\n", name_of(elf_file()));
    for (uint32_t i = 0; i < count(); ++i) {
        const ELF_VERNEED& n = *records_[i];
        std::fprintf(out, "    <%d>\n", static_cast<int>(n.number));
        OF_TEXT_TABLE fields(8);
        fields.add_pair("Version:", elf_version_revision_name(n.version));
        fields.add_pair("File:", n.file);
        fields.add_pair("# Aux Entries:", text_of("%u", static_cast<unsigned>(n.dependencies.size())));
        fields.print(out);
        for (size_t d = 0; d < n.dependencies.size(); ++d) {
            const ELF_VNDEP& dep = n.dependencies[d];
            std::fprintf(out, "Dependency #%d\n", static_cast<int>(d + 1));
            OF_TEXT_TABLE dep_fields(8);
            dep_fields.add_pair("Hash Value:", text_of("%u", dep.hash));
            dep_fields.add_pair("Name:", dep.name);
            dep_fields.add_pair("Other (Index):", text_of("%hu", dep.other));
            add_flag_pairs(dep_fields, dep.flags);
            dep_fields.print(out);
        }
    }
}

// ---- Lookups of a file ----

ELF_VERDEF_TABLE* elf_verdef_table(ELF_FILE* file) {
    ELF_SECTION* s = first_section_of_type(file, ELF::SHT_GNU_verdef);
    return s ? s->verdef_table() : nullptr;
}

ELF_VERNEED_TABLE* elf_verneed_table(ELF_FILE* file) {
    ELF_SECTION* s = first_section_of_type(file, ELF::SHT_GNU_verneed);
    return s ? s->verneed_table() : nullptr;
}

const char* elf_symbol_version_defined(ELF_SYMBOL& symbol) {
    const uint16_t index = record_index(symbol);
    ELF_VERDEF_TABLE* table = index ? elf_verdef_table(static_cast<ELF_FILE*>(symbol.table()->file())) : nullptr;
    const ELF_VERDEF* d = table ? table->find_index(index) : nullptr;
    return d && !d->names.empty() ? d->names.front().c_str() : nullptr;
}

const char* elf_symbol_version_needed(ELF_SYMBOL& symbol) {
    const uint16_t index = record_index(symbol);
    ELF_VERNEED_TABLE* table = index ? elf_verneed_table(static_cast<ELF_FILE*>(symbol.table()->file())) : nullptr;
    const ELF_VNDEP* dep = table ? table->find_dependency(index) : nullptr;
    return dep ? dep->name.c_str() : nullptr;
}

uint32_t elf_version_records_size(ELF_FILE* file, uint32_t offset, uint32_t records, bool needs) {
    const uint32_t present = file->bytes_present();
    if (offset >= present || records == 0) return 0;
    DATA_MAP map;
    file->get_file_data(map, offset, present - offset);
    map.set_big_endian(file->machine_db()->section_data_endian() == OF_ENDIAN_BIG);
    map.load();
    const uint64_t held = map.bytes_held();
    const uint32_t record_size = needs ? ELF::VERNEED::SIZE : ELF::VERDEF::SIZE;
    const uint32_t aux_size = needs ? ELF::VERNAUX::SIZE : ELF::VERDAUX::SIZE;
    // The walk never takes more steps than the bytes could hold entries, whatever the chains say.
    uint64_t steps = held / ELF::VERDAUX::SIZE + 2;
    uint64_t end = 0;
    uint32_t seen = 0;
    const auto on_record = [&](uint64_t at) {
        if (seen++ == records || at + record_size > held || steps-- == 0) return false;
        end = std::max(end, at + record_size);
        return true;
    };
    const auto on_aux = [&](uint64_t at) {
        if (steps-- == 0) return WALK::STOP;
        if (at + aux_size > held) return WALK::NEXT_RECORD;
        end = std::max(end, at + aux_size);
        return WALK::ON;
    };
    walk_version_chain(map, held, needs ? requirements : definitions, on_record, on_aux);
    return static_cast<uint32_t>(end);
}

}  // namespace OFE
