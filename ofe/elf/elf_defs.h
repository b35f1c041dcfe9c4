// The 32-bit ELF on-disk layout: field offsets within each record, and the constants of its fields.
//
// Nothing here reads bytes. Readers place a DATA_MAP cursor at a record's start plus a field offset and read
// the field with the width noted beside it, in the file's byte order; no struct is ever laid over file bytes.
// Field offsets sit in one namespace per record and carry the field's own name, so that a reader says
// `base + EHDR::e_shnum` and reads a 16-bit value there.
#pragma once

#include <cstdint>

namespace OFE::ELF {

// ---- Identification (the first 16 bytes of every ELF file) ----

inline constexpr uint32_t EI_NIDENT = 16;

// Indexes into e_ident.
inline constexpr uint32_t EI_MAG0 = 0;
inline constexpr uint32_t EI_MAG1 = 1;
inline constexpr uint32_t EI_MAG2 = 2;
inline constexpr uint32_t EI_MAG3 = 3;
inline constexpr uint32_t EI_CLASS = 4;
inline constexpr uint32_t EI_DATA = 5;
inline constexpr uint32_t EI_VERSION = 6;
inline constexpr uint32_t EI_OSABI = 7;
inline constexpr uint32_t EI_ABIVERSION = 8;
inline constexpr uint32_t EI_PAD = 9;  // 7 bytes, kept as read

inline constexpr uint8_t ELFMAG0 = 0x7f;
inline constexpr uint8_t ELFMAG1 = 'E';
inline constexpr uint8_t ELFMAG2 = 'L';
inline constexpr uint8_t ELFMAG3 = 'F';

// EI_CLASS. Only the 32-bit layout is read; the class is named, never checked.
inline constexpr uint8_t ELFCLASSNONE = 0;
inline constexpr uint8_t ELFCLASS32 = 1;
inline constexpr uint8_t ELFCLASS64 = 2;

// EI_DATA.
inline constexpr uint8_t ELFDATANONE = 0;
inline constexpr uint8_t ELFDATA2LSB = 1;
inline constexpr uint8_t ELFDATA2MSB = 2;

// EI_VERSION and e_version.
inline constexpr uint32_t EV_NONE = 0;
inline constexpr uint32_t EV_CURRENT = 1;

// EI_OSABI. Values 4 and 5 are not assigned.
inline constexpr uint8_t ELFOSABI_NONE = 0;
inline constexpr uint8_t ELFOSABI_HPUX = 1;
inline constexpr uint8_t ELFOSABI_NETBSD = 2;
inline constexpr uint8_t ELFOSABI_LINUX = 3;
inline constexpr uint8_t ELFOSABI_SOLARIS = 6;
inline constexpr uint8_t ELFOSABI_AIX = 7;
inline constexpr uint8_t ELFOSABI_IRIX = 8;
inline constexpr uint8_t ELFOSABI_FREEBSD = 9;
inline constexpr uint8_t ELFOSABI_TRU64 = 10;
inline constexpr uint8_t ELFOSABI_MODESTO = 11;
inline constexpr uint8_t ELFOSABI_OPENBSD = 12;
inline constexpr uint8_t ELFOSABI_OPENVMS = 13;
inline constexpr uint8_t ELFOSABI_NSK = 14;
inline constexpr uint8_t ELFOSABI_AROS = 15;

// ---- File header (ELF32_Ehdr) ----

namespace EHDR {
inline constexpr uint32_t e_ident = 0;       // EI_NIDENT bytes, never byte-swapped
inline constexpr uint32_t e_type = 16;       // 16-bit
inline constexpr uint32_t e_machine = 18;    // 16-bit
inline constexpr uint32_t e_version = 20;    // 32-bit
inline constexpr uint32_t e_entry = 24;      // 32-bit
inline constexpr uint32_t e_phoff = 28;      // 32-bit
inline constexpr uint32_t e_shoff = 32;      // 32-bit
inline constexpr uint32_t e_flags = 36;      // 32-bit
inline constexpr uint32_t e_ehsize = 40;     // 16-bit
inline constexpr uint32_t e_phentsize = 42;  // 16-bit
inline constexpr uint32_t e_phnum = 44;      // 16-bit
inline constexpr uint32_t e_shentsize = 46;  // 16-bit
inline constexpr uint32_t e_shnum = 48;      // 16-bit; 0 with e_shoff set: the count is section 0's sh_size
inline constexpr uint32_t e_shstrndx = 50;   // 16-bit; SHN_XINDEX: the index is section 0's sh_link
inline constexpr uint32_t SIZE = 52;
}  // namespace EHDR

// e_type.
inline constexpr uint16_t ET_NONE = 0;
inline constexpr uint16_t ET_REL = 1;
inline constexpr uint16_t ET_EXEC = 2;
inline constexpr uint16_t ET_DYN = 3;
inline constexpr uint16_t ET_CORE = 4;

// e_machine values of the targets the library knows. The full vocabulary is the machine table of
// elf_names.cpp.
inline constexpr uint16_t EM_NONE = 0;
inline constexpr uint16_t EM_ARM = 40;
inline constexpr uint16_t EM_WREN = 105;
inline constexpr uint16_t EM_QX_GULL = 140;
inline constexpr uint16_t EM_QX_KITE = 141;
inline constexpr uint16_t EM_QX_LOON = 142;
inline constexpr uint16_t EM_QX_KNOT = 143;
inline constexpr uint16_t EM_QX_RILL = 144;
inline constexpr uint16_t EM_QX_SKUA = 145;

// ---- Section header (ELF32_Shdr): ten 32-bit fields ----

namespace SHDR {
inline constexpr uint32_t sh_name = 0;
inline constexpr uint32_t sh_type = 4;
inline constexpr uint32_t sh_flags = 8;
inline constexpr uint32_t sh_addr = 12;
inline constexpr uint32_t sh_offset = 16;
inline constexpr uint32_t sh_size = 20;
inline constexpr uint32_t sh_link = 24;
inline constexpr uint32_t sh_info = 28;
inline constexpr uint32_t sh_addralign = 32;
inline constexpr uint32_t sh_entsize = 36;
inline constexpr uint32_t SIZE = 40;  // bytes read per entry; e_shentsize only spaces the entries
}  // namespace SHDR

// sh_type. Values 12 and 13 are not assigned.
inline constexpr uint32_t SHT_NULL = 0;
inline constexpr uint32_t SHT_PROGBITS = 1;
inline constexpr uint32_t SHT_SYMTAB = 2;
inline constexpr uint32_t SHT_STRTAB = 3;
inline constexpr uint32_t SHT_RELA = 4;
inline constexpr uint32_t SHT_HASH = 5;
inline constexpr uint32_t SHT_DYNAMIC = 6;
inline constexpr uint32_t SHT_NOTE = 7;
inline constexpr uint32_t SHT_NOBITS = 8;
inline constexpr uint32_t SHT_REL = 9;
inline constexpr uint32_t SHT_SHLIB = 10;
inline constexpr uint32_t SHT_DYNSYM = 11;
inline constexpr uint32_t SHT_INIT_ARRAY = 14;
inline constexpr uint32_t SHT_FINI_ARRAY = 15;
inline constexpr uint32_t SHT_PREINIT_ARRAY = 16;
inline constexpr uint32_t SHT_GROUP = 17;
inline constexpr uint32_t SHT_SYMTAB_SHNDX = 18;
// Symbol versioning; meaningful only in files that carry version information.
inline constexpr uint32_t SHT_GNU_verdef = 0x6ffffffd;
inline constexpr uint32_t SHT_GNU_verneed = 0x6ffffffe;
inline constexpr uint32_t SHT_GNU_versym = 0x6fffffff;
// Processor-specific: build attributes, on targets that support them.
inline constexpr uint32_t SHT_ATTRIBUTES = 0x70000003;
// The maker's own section types: the extended section flags and pages, and the symbol alias table.
inline constexpr uint32_t SHT_QX_SH_FLAGS = 0x7f000005;
inline constexpr uint32_t SHT_QX_SYMBOL_ALIAS = 0x7f000006;
inline constexpr uint32_t SHT_QX_SH_PAGE = 0x7f000007;

// sh_flags bits.
inline constexpr uint32_t SHF_WRITE = 0x1;
inline constexpr uint32_t SHF_ALLOC = 0x2;
inline constexpr uint32_t SHF_EXECINSTR = 0x4;
inline constexpr uint32_t SHF_MERGE = 0x10;
inline constexpr uint32_t SHF_STRINGS = 0x20;
inline constexpr uint32_t SHF_INFO_LINK = 0x40;
inline constexpr uint32_t SHF_LINK_ORDER = 0x80;
inline constexpr uint32_t SHF_OS_NONCONFORMING = 0x100;
inline constexpr uint32_t SHF_GROUP = 0x200;
inline constexpr uint32_t SHF_TLS = 0x400;

// Extended section flags, one word per section in the extended flags section.
inline constexpr uint32_t QX_SHF_NONE = 0;
inline constexpr uint32_t QX_SHF_INVALID = 0x1;
inline constexpr uint32_t QX_SHF_RETAIN = 0x2;
inline constexpr uint32_t QX_SHF_BOUND = 0x4;
inline constexpr uint32_t QX_SHF_RETAINREFS = 0x8;
inline constexpr uint32_t QX_SHF_NOINIT = 0x10;
inline constexpr uint32_t QX_SHF_PRESERVE = 0x20;
inline constexpr uint32_t QX_SHF_UPDATE = 0x40;

// Header of the extended section attribute sections (flags and page). Entry j holds the value of
// section j of the file.
namespace QX_EXT_ATTR {
inline constexpr uint32_t version_major = 0;  // 8-bit; 1 is the format read, 0 obsolete, 2 and up newer
inline constexpr uint32_t version_minor = 1;  // 8-bit; must be 0
inline constexpr uint32_t version_update = 2;  // 8-bit; not 0 when newer optional data may follow
inline constexpr uint32_t version_size = 4;   // the least data that holds the version; bytes 4 to 19 are reserved
inline constexpr uint32_t count = 20;         // 32-bit entry count
inline constexpr uint32_t entry_size = 24;    // 16-bit
inline constexpr uint32_t entries = 26;       // first entry; also the least data that holds the header
}  // namespace QX_EXT_ATTR

// Special section indexes (st_shndx, e_shstrndx).
inline constexpr uint16_t SHN_UNDEF = 0;
inline constexpr uint16_t SHN_LORESERVE = 0xff00;
inline constexpr uint16_t SHN_ABS = 0xfff1;
inline constexpr uint16_t SHN_COMMON = 0xfff2;
inline constexpr uint16_t SHN_XINDEX = 0xffff;

// ---- Symbol table entry (ELF32_Sym) ----

namespace SYM {
inline constexpr uint32_t st_name = 0;    // 32-bit offset in the linked string table
inline constexpr uint32_t st_value = 4;   // 32-bit
inline constexpr uint32_t st_size = 8;    // 32-bit
inline constexpr uint32_t st_info = 12;   // 8-bit: binding in the high 4 bits, type in the low 4
inline constexpr uint32_t st_other = 13;  // 8-bit: visibility in the low 2 bits
inline constexpr uint32_t st_shndx = 14;  // 16-bit
inline constexpr uint32_t SIZE = 16;      // also the entry size when sh_entsize is 0
}  // namespace SYM

// Relocation entry: Elf32_Rel (8 bytes), Elf32_Rela (12 bytes).
namespace REL {
inline constexpr uint32_t r_offset = 0;  // u32
inline constexpr uint32_t r_info = 4;    // u32: symbol index << 8 | type
inline constexpr uint32_t r_addend = 8;  // s32, Elf32_Rela only
inline constexpr uint32_t SIZE = 8;
inline constexpr uint32_t SIZE_A = 12;
}  // namespace REL

// Binding (ELF32_ST_BIND).
inline constexpr uint8_t STB_LOCAL = 0;
inline constexpr uint8_t STB_GLOBAL = 1;
inline constexpr uint8_t STB_WEAK = 2;

// Type (ELF32_ST_TYPE).
inline constexpr uint8_t STT_NOTYPE = 0;
inline constexpr uint8_t STT_OBJECT = 1;
inline constexpr uint8_t STT_FUNC = 2;
inline constexpr uint8_t STT_SECTION = 3;
inline constexpr uint8_t STT_FILE = 4;
inline constexpr uint8_t STT_COMMON = 5;
inline constexpr uint8_t STT_TLS = 6;

// Visibility (ELF32_ST_VISIBILITY).
inline constexpr uint8_t STV_DEFAULT = 0;
inline constexpr uint8_t STV_INTERNAL = 1;
inline constexpr uint8_t STV_HIDDEN = 2;
inline constexpr uint8_t STV_PROTECTED = 3;

constexpr uint8_t ELF32_ST_BIND(uint8_t st_info) { return static_cast<uint8_t>(st_info >> 4); }
constexpr uint8_t ELF32_ST_TYPE(uint8_t st_info) { return static_cast<uint8_t>(st_info & 0xf); }
constexpr uint8_t ELF32_ST_INFO(uint8_t bind, uint8_t type) {
    return static_cast<uint8_t>((bind << 4) | (type & 0xf));
}
constexpr uint8_t ELF32_ST_VISIBILITY(uint8_t st_other) { return static_cast<uint8_t>(st_other & 0x3); }

// Symbol version indexes, one 16-bit word per dynamic symbol in the SHT_GNU_versym section.
inline constexpr uint16_t VER_NDX_LOCAL = 0;
inline constexpr uint16_t VER_NDX_GLOBAL = 1;
inline constexpr uint16_t VER_NDX_LORESERVE = 0xff00;
inline constexpr uint16_t VER_NDX_ELIMINATE = 0xff01;
inline constexpr uint16_t VERSYM_HIDDEN = 0x8000;  // below VER_NDX_LORESERVE: the symbol is hidden

// ---- Symbol versioning records (SHT_GNU_verdef, SHT_GNU_verneed) ----
//
// Each record and auxiliary entry names the next by an offset from its own start; 0 ends a chain.

namespace VERDEF {
inline constexpr uint32_t vd_version = 0;  // 16-bit
inline constexpr uint32_t vd_flags = 2;    // 16-bit, VER_FLG_* bits
inline constexpr uint32_t vd_ndx = 4;      // 16-bit, the version index symbols carry
inline constexpr uint32_t vd_cnt = 6;      // 16-bit, number of auxiliary entries
inline constexpr uint32_t vd_hash = 8;     // 32-bit, ELF hash of the first name
inline constexpr uint32_t vd_aux = 12;     // 32-bit, first auxiliary entry from this record
inline constexpr uint32_t vd_next = 16;    // 32-bit, next record from this one
inline constexpr uint32_t SIZE = 20;
}  // namespace VERDEF

namespace VERDAUX {
inline constexpr uint32_t vda_name = 0;  // 32-bit offset in the dynamic string table
inline constexpr uint32_t vda_next = 4;  // 32-bit
inline constexpr uint32_t SIZE = 8;
}  // namespace VERDAUX

namespace VERNEED {
inline constexpr uint32_t vn_version = 0;  // 16-bit
inline constexpr uint32_t vn_cnt = 2;      // 16-bit, number of auxiliary entries
inline constexpr uint32_t vn_file = 4;     // 32-bit offset in the dynamic string table
inline constexpr uint32_t vn_aux = 8;      // 32-bit
inline constexpr uint32_t vn_next = 12;    // 32-bit
inline constexpr uint32_t SIZE = 16;
}  // namespace VERNEED

namespace VERNAUX {
inline constexpr uint32_t vna_hash = 0;   // 32-bit
inline constexpr uint32_t vna_flags = 4;  // 16-bit
inline constexpr uint32_t vna_other = 6;  // 16-bit, the version index symbols carry
inline constexpr uint32_t vna_name = 8;   // 32-bit
inline constexpr uint32_t vna_next = 12;  // 32-bit
inline constexpr uint32_t SIZE = 16;
}  // namespace VERNAUX

// vd_version and vn_version.
inline constexpr uint16_t VER_DEF_NONE = 0;
inline constexpr uint16_t VER_DEF_CURRENT = 1;
// vd_flags and vna_flags bits.
inline constexpr uint16_t VER_FLG_BASE = 0x1;
inline constexpr uint16_t VER_FLG_WEAK = 0x2;
// The highest version index a requirement may carry; from VER_NDX_LORESERVE up the values are reserved.
inline constexpr uint16_t VER_NDX_HIGHEST = 0xfeff;

// ---- The maker's symbol alias section (SHT_QX_SYMBOL_ALIAS, ".QX.symbol.alias") ----

namespace QX_ALIAS {
inline constexpr uint32_t version_major = 0;   // 8-bit; 1 is the format read, 0 obsolete, 2 and up newer
inline constexpr uint32_t version_minor = 1;   // 8-bit; must be 0
inline constexpr uint32_t version_update = 2;  // 8-bit; not 0 when newer optional data may follow
inline constexpr uint32_t version_size = 4;    // byte 3 is reserved
inline constexpr uint32_t count = 4;           // 16-bit pair count
inline constexpr uint32_t vendor = 6;          // NUL-terminated vendor name; the pairs follow it
inline constexpr uint32_t PAIR_SIZE = 8;       // two 32-bit symbol indexes
}  // namespace QX_ALIAS

// ---- The maker's symbol metadata section (".symtab_meta") ----
//
// A format byte, then entries to the end of the data: kind (ULEB128), value (a NUL-terminated string
// for the two text kinds, else ULEB128), symbol index (ULEB128).

inline constexpr uint32_t SHT_QX_SYMTAB_META = 0x6fff4c09;
inline constexpr uint8_t QX_SYMTAB_META_VERSION = 1;
inline constexpr uint32_t QX_META_MARK_A = 1;
inline constexpr uint32_t QX_META_LOCATION = 2;
inline constexpr uint32_t QX_META_MARK_D = 3;
inline constexpr uint32_t QX_META_TEXT = 4;
inline constexpr uint32_t QX_META_STRING = 5;
inline constexpr uint32_t QX_META_MARK_B = 6;
inline constexpr uint32_t QX_META_MARK_C = 7;

// ---- Symbol hash table (SHT_HASH): 32-bit words ----

namespace HASH {
inline constexpr uint32_t nbucket = 0;
inline constexpr uint32_t nchain = 4;
inline constexpr uint32_t buckets = 8;  // nbucket words, then nchain chain words
}  // namespace HASH

// ---- Dynamic entry (ELF32_Dyn) ----

namespace DYN {
inline constexpr uint32_t d_tag = 0;  // 32-bit, unsigned
inline constexpr uint32_t d_un = 4;   // 32-bit: d_val or d_ptr
inline constexpr uint32_t SIZE = 8;   // also the entry size when sh_entsize is 0
}  // namespace DYN

// d_tag. DT_ENCODING and DT_PREINIT_ARRAY share the value 32; the tag means DT_PREINIT_ARRAY.
inline constexpr uint32_t DT_NULL = 0;
inline constexpr uint32_t DT_NEEDED = 1;
inline constexpr uint32_t DT_PLTRELSZ = 2;
inline constexpr uint32_t DT_PLTGOT = 3;
inline constexpr uint32_t DT_HASH = 4;
inline constexpr uint32_t DT_STRTAB = 5;
inline constexpr uint32_t DT_SYMTAB = 6;
inline constexpr uint32_t DT_RELA = 7;
inline constexpr uint32_t DT_RELASZ = 8;
inline constexpr uint32_t DT_RELAENT = 9;
inline constexpr uint32_t DT_STRSZ = 10;
inline constexpr uint32_t DT_SYMENT = 11;
inline constexpr uint32_t DT_INIT = 12;
inline constexpr uint32_t DT_FINI = 13;
inline constexpr uint32_t DT_SONAME = 14;
inline constexpr uint32_t DT_RPATH = 15;
inline constexpr uint32_t DT_SYMBOLIC = 16;
inline constexpr uint32_t DT_REL = 17;
inline constexpr uint32_t DT_RELSZ = 18;
inline constexpr uint32_t DT_RELENT = 19;
inline constexpr uint32_t DT_PLTREL = 20;
inline constexpr uint32_t DT_DEBUG = 21;
inline constexpr uint32_t DT_TEXTREL = 22;
inline constexpr uint32_t DT_JMPREL = 23;
inline constexpr uint32_t DT_BIND_NOW = 24;
inline constexpr uint32_t DT_INIT_ARRAY = 25;
inline constexpr uint32_t DT_FINI_ARRAY = 26;
inline constexpr uint32_t DT_INIT_ARRAYSZ = 27;
inline constexpr uint32_t DT_FINI_ARRAYSZ = 28;
inline constexpr uint32_t DT_RUNPATH = 29;
inline constexpr uint32_t DT_FLAGS = 30;
inline constexpr uint32_t DT_ENCODING = 32;
inline constexpr uint32_t DT_PREINIT_ARRAY = 32;
inline constexpr uint32_t DT_PREINIT_ARRAYSZ = 33;
// Symbol versioning.
inline constexpr uint32_t DT_GNU_HASH = 0x6ffffef5;  // the GNU hash table: what today's linkers write
inline constexpr uint32_t DT_VERSYM = 0x6ffffff0;
inline constexpr uint32_t DT_VERDEF = 0x6ffffffc;
inline constexpr uint32_t DT_VERDEFNUM = 0x6ffffffd;
inline constexpr uint32_t DT_VERNEED = 0x6ffffffe;
inline constexpr uint32_t DT_VERNEEDNUM = 0x6fffffff;

// ---- Program header (ELF32_Phdr): eight 32-bit fields ----

namespace PHDR {
inline constexpr uint32_t p_type = 0;
inline constexpr uint32_t p_offset = 4;
inline constexpr uint32_t p_vaddr = 8;    // run address
inline constexpr uint32_t p_paddr = 12;   // load address
inline constexpr uint32_t p_filesz = 16;
inline constexpr uint32_t p_memsz = 20;
inline constexpr uint32_t p_flags = 24;
inline constexpr uint32_t p_align = 28;
inline constexpr uint32_t SIZE = 32;  // bytes read per entry; e_phentsize only spaces the entries
}  // namespace PHDR

// p_type.
inline constexpr uint32_t PT_NULL = 0;
inline constexpr uint32_t PT_LOAD = 1;
inline constexpr uint32_t PT_DYNAMIC = 2;
inline constexpr uint32_t PT_INTERP = 3;
inline constexpr uint32_t PT_NOTE = 4;
inline constexpr uint32_t PT_SHLIB = 5;
inline constexpr uint32_t PT_PHDR = 6;
inline constexpr uint32_t PT_TLS = 7;

// p_flags bits.
inline constexpr uint32_t PF_X = 0x1;
inline constexpr uint32_t PF_W = 0x2;
inline constexpr uint32_t PF_R = 0x4;

}  // namespace OFE::ELF
