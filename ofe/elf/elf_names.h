// The names and descriptions printed for ELF header, section, symbol, segment and dynamic-tag values.
//
// Every function here gives the format's own generic text. Where a machine database may name a value first
// (OS/ABI, section types and flags, extended flags, segment types and flags, processor dynamic tags), the
// caller asks it before calling these.
//
// Returned texts are static, except the fallbacks built from an unknown value: those are formatted into a
// process-wide ring of 8 static buffers, so a text stays valid until 8 more have been formatted (enough for
// one printed line); callers that keep a text longer copy it. Not thread-safe, like the rest of the library.
#pragma once

#include <cstdint>
#include <span>

namespace OFE {

// ---- File header ----

// EI_CLASS: "ELFCLASSNONE", "ELFCLASS32", "ELFCLASS64"; "ELFCLASSUNKNOWN" otherwise.
const char* elf_class_name(uint8_t ei_class);
// EI_CLASS: "invalid class", "32-bit objects", "64-bit objects"; "unknown class" otherwise.
const char* elf_class_description(uint8_t ei_class);
// EI_DATA: "ELFDATANONE", "ELFDATA2LSB", "ELFDATA2MSB"; "ELFDATAUNKNOWN" otherwise.
const char* elf_data_name(uint8_t ei_data);
// EI_DATA: "unspecified endian", "little endian", "big endian"; "ELFDATAUNKNOWN" otherwise.
const char* elf_data_description(uint8_t ei_data);
// EI_OSABI: "ELFOSABI_NONE" ... "ELFOSABI_AROS"; "ELFOSABI_0x%02x" (ring buffer) for 4, 5 and 16 up.
const char* elf_osabi_name(uint8_t ei_osabi);
// EI_OSABI: "None specified" ... "Amiga Research OS"; the same "ELFOSABI_0x%02x" text for unlisted values.
const char* elf_osabi_description(uint8_t ei_osabi);
// e_type: "ET_NONE" ... "ET_CORE"; "unknown file type" otherwise.
const char* elf_type_name(uint16_t e_type);
// e_type: "no file type", "relocatable file" ... "core file"; "unknown file type" otherwise.
const char* elf_type_description(uint16_t e_type);
// e_machine: the symbolic name ("EM_ARM"); "EM_UNKNOWN" for a value without an entry or above 159.
const char* elf_machine_name(uint32_t e_machine);
// e_machine: the description ("Advanced RISC Machines ARM"); "unknown machine" likewise.
const char* elf_machine_description(uint32_t e_machine);

// ---- Sections ----

// The section types whose names depend on the file and its target.
struct ELF_SECTION_TYPE_SCOPE {
    bool versions = false;          // the file carries version information: the SHT_GNU_* types
    bool build_attributes = false;  // the target supports build attributes: SHT_ATTRIBUTES
    bool qx_flags_type = false;     // the target identifies the extended flags section by type
    bool qx_page_type = false;      // the target identifies the extended page section by type
};
// sh_type: "SHT_NULL" ... "SHT_SYMTAB_SHNDX" and the types enabled by `scope`; "SHT_0x%08x" (ring) otherwise.
const char* elf_section_type_name(uint32_t sh_type, const ELF_SECTION_TYPE_SCOPE& scope);
// One sh_flags bit: "SHF_WRITE" ... "SHF_TLS"; "SHF_0x%08x" (ring) for any other bit or value.
const char* elf_section_flag_name(uint32_t bit);
// One extended section flag value: "QX_SHF_NONE" (0) ... "QX_SHF_UPDATE"; "QX_SHF_0x%08x" (ring) otherwise.
const char* elf_ext_flag_name(uint32_t value);
// st_shndx: "SHN_UNDEF", "SHN_ABS" or "SHN_COMMON"; null for any other index (the section names itself).
const char* elf_special_index_name(uint32_t shndx);

// ---- Symbols ----

// Binding from st_info: "STB_LOCAL", "STB_GLOBAL", "STB_WEAK" when st_info is below 48; "STB_UNKNOWN" otherwise.
const char* elf_symbol_binding_name(uint8_t st_info);
// Type from st_info's low 4 bits: "STT_NOTYPE" ... "STT_TLS" for 0 to 6; "STT_UNKNOWN" otherwise.
const char* elf_symbol_type_name(uint8_t st_info);
// Visibility from st_other's low 2 bits: "STV_DEFAULT", "STV_INTERNAL", "STV_HIDDEN" or "STV_PROTECTED".
const char* elf_symbol_visibility_name(uint8_t st_other);
// A dynamic symbol's version word as the symbol dump shows it: "VER_NDX_LOCAL", "VER_NDX_GLOBAL",
// "VER_NDX_ELIMINATE", else "%hu" or "VER_NDX_0x%04hx" (ring) followed by " (deprecated)" when the
// hidden bit marks the symbol; the three named indexes carry no suffix.
const char* elf_version_index_text(uint16_t versym);

// ---- Segments ----

// p_type: "PT_NULL" ... "PT_TLS"; "PT_UNKNOWN (0x%x)" (ring) otherwise.
const char* elf_segment_type_name(uint32_t p_type);
// One p_flags bit: "PF_X", "PF_W", "PF_R"; "PF_0x%x" (ring) for any other bit or value.
const char* elf_segment_flag_name(uint32_t bit);
// p_flags as three characters (ring): 'r' for PF_R, 'w' for PF_W, 'x' for PF_X, each '-' when clear.
const char* elf_segment_flags_text(uint32_t p_flags);

// ---- Dynamic tags ----

// How an entry's d_un is used.
enum DT_UN_USE : uint8_t { DT_UN_IGNORED = 0, DT_UN_VAL = 1, DT_UN_PTR = 2, DT_UN_UNSPECIFIED = 3 };
// Whether a tag must appear in an executable or a shared object; only DT_ENCODING leaves it unspecified.
enum DT_REQUIREMENT : uint8_t {
    DT_REQ_IGNORED = 0,
    DT_REQ_MANDATORY = 1,
    DT_REQ_OPTIONAL = 2,
    DT_REQ_UNSPECIFIED = 3,
};

// The static description of one dynamic tag.
struct DT_INFO {
    const char* name;
    uint32_t tag;
    DT_UN_USE d_un_use;
    DT_REQUIREMENT exec_requirement;
    DT_REQUIREMENT so_requirement;
};

// The 34 generic tags, DT_NULL to DT_PREINIT_ARRAYSZ, in the order a tag index is filled.
std::span<const DT_INFO> elf_generic_dt_infos();
// The 5 symbol-versioning tags, all optional; they count only for files that carry version information.
std::span<const DT_INFO> elf_version_dt_infos();
// DT_GNU_HASH, known in every file.
std::span<const DT_INFO> elf_gnu_dt_infos();
// The last row of `table` with `tag` (a later row replaces an earlier one), or null.
const DT_INFO* find_dt_info(std::span<const DT_INFO> table, uint32_t tag);
// d_un use of a tag that no table lists: unspecified below 32 and from 0x6ffff001 to 0x6fffffff,
// else d_ptr for an even tag and d_val for an odd one. Such a tag is optional in both kinds of file.
DT_UN_USE elf_unlisted_dt_un_use(uint32_t tag);
// The generic name of a tag (versioning tags only when `versions`); "DT_0x%x" (ring) otherwise.
const char* elf_dynamic_tag_name(uint32_t tag, bool versions);

}  // namespace OFE
