// The QXCOFF on-disk layout: field offsets within each record of the three versions, and the constants
// of their fields.
//
// Nothing here reads bytes. Readers place a DATA_MAP cursor at a record's start plus a field offset and
// read the field with the width noted beside it, in the file's control byte order; no struct is ever laid
// over file bytes. Versions are the format versions 1, 2 and 3 (named "0", "1" and "2" in messages).
#pragma once

#include <cstdint>

namespace OFE::QXCOFF {

// ---- Format versions ----

inline constexpr uint32_t VERSION_0 = 1;
inline constexpr uint32_t VERSION_1 = 2;
inline constexpr uint32_t VERSION_2 = 3;

// f_magic of versions "1" and "2"; version "0" holds the target id there instead, one of these.
inline constexpr uint16_t MAGIC_VERSION_1 = 0x00C1;
inline constexpr uint16_t MAGIC_VERSION_2 = 0x00C2;
inline constexpr uint16_t VERSION_0_TARGET_FIRST = 0x0090;
inline constexpr uint16_t VERSION_0_TARGET_LAST = 0x00A3;

// ---- File header (20 bytes in version "0", 22 in versions "1" and "2") ----

namespace FILHDR {
inline constexpr uint32_t f_magic = 0;      // u16
inline constexpr uint32_t f_nscns = 2;      // u16
inline constexpr uint32_t f_timdat = 4;     // u32
inline constexpr uint32_t f_symptr = 8;     // u32
inline constexpr uint32_t f_nsyms = 12;     // u32
inline constexpr uint32_t f_opthdr = 16;    // u16
inline constexpr uint32_t f_flags = 18;     // u16
inline constexpr uint32_t f_target_id = 20; // u16, versions "1" and "2" only
inline constexpr uint32_t SIZE_V0 = 20;
inline constexpr uint32_t SIZE_V1 = 22;
// Identification maps this many bytes, enough for either header.
inline constexpr uint32_t MAP_SIZE = 24;
}  // namespace FILHDR

// f_flags.
inline constexpr uint16_t F_VERS0 = 0x0000;
inline constexpr uint16_t F_RELFLG = 0x0001;
inline constexpr uint16_t F_EXEC = 0x0002;
inline constexpr uint16_t F_LNNO = 0x0004;
inline constexpr uint16_t F_LSYMS = 0x0008;
inline constexpr uint16_t F_VERS1 = 0x0010;
inline constexpr uint16_t F_VERS2 = 0x0020;
inline constexpr uint16_t F_VERS3 = 0x0040;
inline constexpr uint16_t F_VERS4 = 0x0080;
inline constexpr uint16_t F_LITTLE = 0x0100;
inline constexpr uint16_t F_BIG = 0x0200;
inline constexpr uint16_t F_SYMMERGE = 0x1000;
inline constexpr uint16_t F_ICODE = 0x2000;
inline constexpr uint16_t F_CPU_MASK = 0x00F0;     // the processor-version bits; their meaning is the target's
inline constexpr uint16_t F_ENDIAN_MASK = 0x0300;

// ---- Optional header (28 bytes, right after the file header when f_opthdr is 28) ----

namespace AOUTHDR {
inline constexpr uint32_t o_magic = 0;        // u16
inline constexpr uint32_t o_vstamp = 2;       // u16
inline constexpr uint32_t o_tsize = 4;        // u32
inline constexpr uint32_t o_dsize = 8;        // u32
inline constexpr uint32_t o_bsize = 12;       // u32
inline constexpr uint32_t o_entry = 16;       // u32
inline constexpr uint32_t o_text_start = 20;  // u32
inline constexpr uint32_t o_data_start = 24;  // u32
inline constexpr uint32_t SIZE = 28;
}  // namespace AOUTHDR

inline constexpr uint16_t OPTIONAL_MAGIC = 0x0108;

// ---- Section header (40 bytes in versions "0" and "1", 48 in version "2") ----

namespace SCNHDR {
inline constexpr uint32_t s_name = 0;     // 8 bytes; version "2": zero first word, then the string offset (u32)
inline constexpr uint32_t s_stroff = 4;   // u32, version "2" with a zero first name word
inline constexpr uint32_t s_paddr = 8;    // u32
inline constexpr uint32_t s_vaddr = 12;   // u32
inline constexpr uint32_t s_size = 16;    // u32, in address units
inline constexpr uint32_t s_scnptr = 20;  // u32
inline constexpr uint32_t s_relptr = 24;  // u32
inline constexpr uint32_t s_lnnoptr = 28; // u32
inline constexpr uint32_t NAME_SIZE = 8;
// Versions "0" and "1".
inline constexpr uint32_t s_nreloc_v0 = 32;  // u16
inline constexpr uint32_t s_nlnno_v0 = 34;   // u16
inline constexpr uint32_t s_flags_v0 = 36;   // u16
inline constexpr uint32_t s_page_v0 = 39;    // u8 (38 is reserved)
inline constexpr uint32_t SIZE_V0 = 40;
// Version "2".
inline constexpr uint32_t s_nreloc_v2 = 32;  // u32
inline constexpr uint32_t s_nlnno_v2 = 36;   // u32
inline constexpr uint32_t s_flags_v2 = 40;   // u32
inline constexpr uint32_t s_mwidth_v2 = 44;  // u8 (45 is reserved)
inline constexpr uint32_t s_page_v2 = 46;    // u16
inline constexpr uint32_t SIZE_V2 = 48;
}  // namespace SCNHDR

// s_flags. Bits 8 to 11 hold the base-2 logarithm of the alignment, not a flag.
inline constexpr uint32_t STYP_REG = 0x000000;
inline constexpr uint32_t STYP_DSECT = 0x000001;
inline constexpr uint32_t STYP_NOLOAD = 0x000002;
inline constexpr uint32_t STYP_GROUP = 0x000004;
inline constexpr uint32_t STYP_PAD = 0x000008;
inline constexpr uint32_t STYP_COPY = 0x000010;
inline constexpr uint32_t STYP_TEXT = 0x000020;
inline constexpr uint32_t STYP_DATA = 0x000040;
inline constexpr uint32_t STYP_BSS = 0x000080;
inline constexpr uint32_t STYP_ALIGN_MASK = 0x000F00;
inline constexpr uint32_t STYP_ALIGN_SHIFT = 8;
inline constexpr uint32_t STYP_BLOCK = 0x001000;
inline constexpr uint32_t STYP_PASS = 0x002000;
inline constexpr uint32_t STYP_CLINK = 0x004000;
inline constexpr uint32_t STYP_VECTOR = 0x008000;
inline constexpr uint32_t STYP_PADDED = 0x010000;   // this bit and those above: version "2" only
inline constexpr uint32_t STYP_ICODE = 0x020000;
inline constexpr uint32_t STYP_LGT = 0x040000;
inline constexpr uint32_t STYP_IS_GROUP = 0x080000;
inline constexpr uint32_t STYP_IN_GROUP = 0x100000;
inline constexpr uint32_t STYP_KIND_MASK = 0x0000FF;  // the low flag bits that make_code and friends replace

// ---- Relocation entry (10 bytes in version "0", 12 in versions "1" and "2") ----

namespace RELOC {
inline constexpr uint32_t r_vaddr = 0;      // u32
inline constexpr uint32_t r_operand = 4;    // version "0": s16 r_symndx and u16 r_disp, or one u32 operand;
                                            // versions "1", "2": u32 r_symndx. Field templates: three bytes
inline constexpr uint32_t r_disp_v0 = 6;    // u16
inline constexpr uint32_t r_type_v0 = 8;    // u16
inline constexpr uint32_t r_disp_v1 = 8;    // u16
inline constexpr uint32_t r_type_v1 = 10;   // u16
}  // namespace RELOC

inline constexpr uint32_t RELOC_SIZE_V0 = 10;
inline constexpr uint32_t RELOC_SIZE_V1 = 12;

// Template flags that decide how an entry's middle bytes are laid out and dumped.
inline constexpr uint32_t TEMPLATE_HAS_SYMBOL = 0x4;
inline constexpr uint32_t TEMPLATE_PUSH = 0x10;
inline constexpr uint32_t TEMPLATE_SIZED = 0x80;
inline constexpr uint32_t TEMPLATE_FIELD = 0x100;
inline constexpr uint32_t TEMPLATE_UNSIZED = 0x200;
inline constexpr uint32_t TEMPLATE_PUSH_PC = 0x400;
inline constexpr uint32_t TEMPLATE_DISPLACEMENT = 0x800;

// ---- Line-number entry (6 bytes) ----

namespace LINENO {
inline constexpr uint32_t l_addr = 0;  // u32: an address, or (l_lnno 0) the function's symbol index
inline constexpr uint32_t l_lnno = 4;  // u16: line relative to the function's ".bf" line; 0 opens a function
}  // namespace LINENO

inline constexpr uint32_t LINENO_SIZE = 6;

// ---- Symbol entry and auxiliary entry (18 bytes each) ----

namespace SYMENT {
inline constexpr uint32_t n_name = 0;     // 8 bytes; a zero first word means: string offset in bytes 4-7
inline constexpr uint32_t n_offset = 4;   // u32, with a zero first name word
inline constexpr uint32_t n_value = 8;    // u32
inline constexpr uint32_t n_scnum = 12;   // u16, signed
inline constexpr uint32_t n_type = 14;    // u16
inline constexpr uint32_t n_sclass = 16;  // u8
inline constexpr uint32_t n_numaux = 17;  // u8
inline constexpr uint32_t NAME_SIZE = 8;
inline constexpr uint32_t SIZE = 18;
}  // namespace SYMENT

// n_scnum values that name no section.
inline constexpr int16_t N_UNDEF = 0;
inline constexpr int16_t N_ABS = -1;
inline constexpr int16_t N_DEBUG = -2;

// n_type: basic type in bits 0-3, then six 2-bit derived-type fields from bit 4.
inline constexpr uint16_t N_BTMASK = 0x000F;
inline constexpr uint32_t N_TSHIFT = 4;
inline constexpr uint16_t DT_NON = 0;
inline constexpr uint16_t DT_PTR = 1;
inline constexpr uint16_t DT_FCN = 2;
inline constexpr uint16_t DT_ARY = 3;
inline constexpr uint16_t T_BLOCKED = 0x8080;  // the whole n_type of a blocked symbol

// Auxiliary entry fields, by offset within the 18 bytes; which ones an entry holds follows from its kind.
namespace AUXENT {
inline constexpr uint32_t x_tagndx = 0;    // u32: end of structure, function, array, typed
inline constexpr uint32_t x_regmask = 0;   // u32: block
inline constexpr uint32_t x_scnlen = 0;    // u32: section
inline constexpr uint32_t x_fname = 0;     // 18 characters: file, never swapped
inline constexpr uint32_t x_size = 4;      // u32: tag, end of structure, function, array, typed
inline constexpr uint32_t x_lnno = 4;      // u16: block
inline constexpr uint32_t x_nreloc = 4;    // u16: section
inline constexpr uint32_t x_nlines = 6;    // u16: block
inline constexpr uint32_t x_nlinno = 6;    // u16: section
inline constexpr uint32_t x_lnnoptr = 8;   // u32: function
inline constexpr uint32_t x_framesz = 8;   // u32: block
inline constexpr uint32_t x_dimen = 8;     // four u16: array
inline constexpr uint32_t x_endndx = 12;   // u32: tag, function, block
inline constexpr uint32_t FNAME_SIZE = 18;
inline constexpr uint32_t DIMENSIONS = 4;
}  // namespace AUXENT

// Storage classes (n_sclass).
inline constexpr uint8_t C_NULL = 0;
inline constexpr uint8_t C_AUTO = 1;
inline constexpr uint8_t C_EXT = 2;
inline constexpr uint8_t C_STAT = 3;
inline constexpr uint8_t C_REG = 4;
inline constexpr uint8_t C_EXTREF = 5;
inline constexpr uint8_t C_LABEL = 6;
inline constexpr uint8_t C_ULABEL = 7;
inline constexpr uint8_t C_MOS = 8;
inline constexpr uint8_t C_ARG = 9;
inline constexpr uint8_t C_STRTAG = 10;
inline constexpr uint8_t C_MOU = 11;
inline constexpr uint8_t C_UNTAG = 12;
inline constexpr uint8_t C_TPDEF = 13;
inline constexpr uint8_t C_USTATIC = 14;
inline constexpr uint8_t C_ENTAG = 15;
inline constexpr uint8_t C_MOE = 16;
inline constexpr uint8_t C_REGPARM = 17;
inline constexpr uint8_t C_FIELD = 18;
inline constexpr uint8_t C_UEXT = 19;
inline constexpr uint8_t C_STATLAB = 20;
inline constexpr uint8_t C_EXTLAB = 21;
inline constexpr uint8_t C_VREG = 22;
inline constexpr uint8_t C_SYSTEM = 23;
inline constexpr uint8_t C_STATREG = 24;
inline constexpr uint8_t C_EXTREG = 25;
inline constexpr uint8_t C_EXTREFREG = 26;
inline constexpr uint8_t C_VARARG = 27;
inline constexpr uint8_t C_EXTDEF = 28;
inline constexpr uint8_t C_USTATREG = 29;
inline constexpr uint8_t C_BLOCK = 100;
inline constexpr uint8_t C_FCN = 101;
inline constexpr uint8_t C_EOS = 102;
inline constexpr uint8_t C_FILE = 103;
inline constexpr uint8_t C_LINE = 104;
inline constexpr uint8_t C_ALIAS = 105;
inline constexpr uint8_t C_PREF = 106;
inline constexpr uint8_t C_GRPTAG = 107;
inline constexpr uint8_t C_SMOG = 108;
inline constexpr uint8_t C_EMOG = 109;
inline constexpr uint8_t C_EOG = 110;

// ---- String table ----

// The table starts with a 32-bit length that counts its own 4 bytes, so string offsets start at 4.
inline constexpr uint32_t STRTAB_LENGTH_SIZE = 4;

}  // namespace OFE::QXCOFF
