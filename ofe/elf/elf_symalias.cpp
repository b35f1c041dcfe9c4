// The symbol alias section: its format-version and vendor checks, the pairs, renumbering and writing.
#include "ofe/elf/elf_symalias.h"

#include <string>

#include "DIAG/user_msg_api.h"
#include "ofe/elf/elf_defs.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_section.h"
#include "ofe/machine/of_machine_db.h"
#include "util/data_map.h"
#include "util/pfile.h"

namespace OFE {

namespace {

// The section type that marks the alias section: the machine database's.
uint32_t alias_section_type(const OBJECT_FILE& file) { return file.machine_db()->alias_section_type(); }

const char* display_name(const OBJECT_FILE& file) {
    if (file.name() && *file.name()) return file.name();
    const char* handle_name = pfname(file.info().handle);
    return *handle_name ? handle_name : "(unknown file)";
}

}  // namespace

bool is_symalias_section(const ELF_SECTION& section) {
    return section.header().sh_type == alias_section_type(*section.owner());
}

ELF_SYMALIAS_TABLE::ELF_SYMALIAS_TABLE(ELF_SECTION* section) : OF_STATE_MACHINE(section->owner()), section_(section) {
    (void)read();
}

ELF_SYMALIAS_TABLE::~ELF_SYMALIAS_TABLE() = default;

int ELF_SYMALIAS_TABLE::read() {
    if (read_ || !owner()->info().handle || !pairs_.empty()) return 0;
    read_ = true;
    const char* name = display_name(*owner());
    const uint32_t length = section_->header().sh_size;
    DATA_MAP& data = section_->data();
    if (data.size() < ELF::QX_ALIAS::version_size) {
        user_msg_warning(DIAG::user_msg_context(),
                         "The file \"%s\" does not specify a valid extended symbol alias table format. All symbol "
                         "aliases will be ignored. Updating your tool chain to the latest version should resolve "
                         "this issue. ",
                         name);
        return -1;
    }
    data.set_cursor(ELF::QX_ALIAS::version_major);
    const uint8_t major = data.read_u8();
    const uint8_t minor = data.read_u8();
    const uint8_t update = data.read_u8();
    if (major >= 2 || minor != 0) {
        user_msg_warning(DIAG::user_msg_context(),
                         "The file \"%s\" uses a new symbol alias table format version which is not supported by "
                         "this tool version. All symbol aliases will be ignored. Updating your linker to the latest "
                         "version should resolve this issue. ",
                         name);
        return -1;
    }
    if (major == 0) {
        user_msg_warning(DIAG::user_msg_context(),
                         "The file \"%s\" uses a symbol alias table format version which is no longer supported. "
                         "All symbol aliases will be ignored. Updating your assembler to the latest version should "
                         "resolve this issue. ",
                         name);
        return -1;
    }
    if (update != 0)
        user_msg_remark(DIAG::user_msg_context(),
                        "The file \"%s\" uses a symbol alias table format version which may contain optional data "
                        "this tool cannot interpret. Some symbol aliases may be ignored. Updating your linker to the "
                        "latest version should resolve this issue. ",
                        name);
    if (data.size() < ELF::QX_ALIAS::vendor) {
        user_msg_warning(DIAG::user_msg_context(),
                         "The file \"%s\" does not specify a valid symbol alias table format. All symbol aliases "
                         "will be ignored. Updating your tool chain to the latest version should resolve this "
                         "issue. ",
                         name);
        return -1;
    }
    data.set_cursor(ELF::QX_ALIAS::count);
    const uint32_t count = data.read_u16();
    const std::string vendor = data.read_string();
    // The count is 16-bit: the pairs it claims are few enough to read even where the file has no bytes.
    if (vendor.size() + uint64_t{ELF::QX_ALIAS::PAIR_SIZE} * count + ELF::QX_ALIAS::vendor + 1 > length) return -1;
    if (vendor != owner()->vendor_name()) {
        user_msg_warning(DIAG::user_msg_context(),
                         "The file \"%s\" has been processed by a non-QX vendor, and its symbol aliases may be "
                         "invalid. All symbol aliases will be ignored.",
                         name);
        return -1;
    }
    data.set_cursor(ELF::QX_ALIAS::vendor + vendor.size() + 1);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t symbol = data.read_u32();
        const uint32_t alias = data.read_u32();
        if (symbol != alias) pairs_.emplace_back(symbol, alias);
    }
    return 0;
}

void ELF_SYMALIAS_TABLE::add_pair(uint32_t symbol, uint32_t alias) {
    if (owner()->require_at_most_state(OF_STATE_OPEN) != 0) return;
    pairs_.emplace_back(symbol, alias);
    changed_ = true;
}

void ELF_SYMALIAS_TABLE::renumber(const std::vector<uint32_t>& old_to_new) {
    constexpr uint32_t removed = 0xFFFFFFFF;
    auto map = [&](uint32_t index) { return index < old_to_new.size() ? old_to_new[index] : removed; };
    std::vector<PAIR> kept;
    for (const PAIR& p : pairs_)
        if (map(p.first) != removed && map(p.second) != removed) kept.emplace_back(map(p.first), map(p.second));
    pairs_ = std::move(kept);
    changed_ = true;
}

int32_t ELF_SYMALIAS_TABLE::on_progress(int32_t new_state) {
    if (new_state != OF_STATE_LOCKED || effective_state() >= new_state || !changed_) return 0;
    static const char vendor[] = "QX";
    DATA_MAP& data = section_->data();
    data.reset();
    data.write_bytes("\x01\x00\x00\x00", ELF::QX_ALIAS::version_size);
    data.write_u16(static_cast<uint16_t>(std::min<size_t>(pairs_.size(), 0xFFFF)));
    data.write_string(vendor);
    for (size_t i = 0; i < pairs_.size() && i < 0xFFFF; ++i) {
        data.write_u32(pairs_[i].first);
        data.write_u32(pairs_[i].second);
    }
    ELF_SECTION_HEADER& h = section_->header();
    h.sh_type = alias_section_type(*owner());
    h.sh_entsize = ELF::QX_ALIAS::PAIR_SIZE;
    h.sh_size = static_cast<uint32_t>(data.size());
    return 0;
}

}  // namespace OFE
